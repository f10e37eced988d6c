// Mesh generators and normals: the exact index orders scenes rely on, the
// orientation of every face, zero-area faces, centre and the spare copies.
#include "geometry/mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

namespace {

void expectVec(const Vector3D& v, float x, float y, float z) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
}

// Vertex indices of face f, then (optionally) its texture-coordinate indices.
void expectFace(const Mesh& m, unsigned f, std::vector<int> v, std::vector<int> t = {}) {
    EXPECT_EQ(std::vector<int>(m.faces + 3 * f, m.faces + 3 * f + 3), v) << "face " << f;
    if (t.empty()) return;
    EXPECT_EQ(std::vector<int>(m.faceTexCoords + 3 * f, m.faceTexCoords + 3 * f + 3), t) << "face " << f;
}

bool isZero(const Vector3D& v) { return v.x == 0 && v.y == 0 && v.z == 0; }

Vector3D faceCentre(const Mesh& m, unsigned f) {
    const int* c = m.faces + 3 * f;
    return (m.vertices[c[0]] + m.vertices[c[1]] + m.vertices[c[2]]) / 3.0f;
}

// createNormals, then every face normal is a unit vector for which `ok`
// (face, normal, face centre) holds.
void checkEveryFace(Mesh& m, const std::function<bool(unsigned, const Vector3D&, const Vector3D&)>& ok) {
    m.createNormals();
    for (unsigned f = 0; f < m.faceAmount; ++f) {
        const Vector3D& n = m.faceNormals[f];
        ASSERT_NEAR(n.length(), 1.0f, 1e-5f) << "face " << f;
        ASSERT_TRUE(ok(f, n, faceCentre(m, f))) << "face " << f;
    }
}

} // namespace

TEST(Mesh, CubeLayoutAndNormals) {
    Mesh m;
    m.makeCube(1);
    ASSERT_EQ(m.verticeAmount, 8u);
    ASSERT_EQ(m.faceAmount, 12u);
    EXPECT_EQ(m.texCoordAmount, 4);
    const float corners[8][3] = {{-1, 1, 1}, {1, 1, 1},   {1, -1, 1},   {-1, -1, 1},
                                 {1, 1, -1}, {-1, 1, -1}, {-1, -1, -1}, {1, -1, -1}};
    for (int i = 0; i < 8; ++i) expectVec(m.vertices[i], corners[i][0], corners[i][1], corners[i][2]);
    expectFace(m, 3, {4, 7, 2}, {1, 2, 3});
    expectFace(m, 7, {3, 6, 5}, {2, 3, 0});
    expectFace(m, 11, {2, 7, 6}, {1, 2, 3});

    m.createNormals();
    expectVec(m.faceNormals[0], 0, 0, 1);
    // Each triangle counts once: only vertex 1 gets a body diagonal.
    const float d3 = 1 / std::sqrt(3.0f), r6 = std::sqrt(6.0f);
    EXPECT_FLOAT_EQ(m.vertexNormals[1].x, d3);
    EXPECT_FLOAT_EQ(m.vertexNormals[1].z, d3);
    expectVec(m.vertexNormals[0], -1.0f / 3, 2.0f / 3, 2.0f / 3);
    EXPECT_FLOAT_EQ(m.vertexNormals[3].x, -2 / r6);
    EXPECT_FLOAT_EQ(m.vertexNormals[3].y, -1 / r6);
    EXPECT_FLOAT_EQ(m.vertexNormals[3].z, 1 / r6);

    checkEveryFace(m, [](unsigned, const Vector3D& n, const Vector3D& c) { return n.dotProduct(c) > 0.99f; });
}

TEST(Mesh, CylinderLayoutAndInwardNormals) {
    Mesh m;
    m.makeCylinder(8, 1, 5);
    ASSERT_EQ(m.verticeAmount, 18u);
    ASSERT_EQ(m.faceAmount, 32u);
    EXPECT_EQ(m.texCoordAmount, 29);
    EXPECT_EQ(m.faceTexAmount, 32);
    expectVec(m.vertices[1], 0, 0.5f, 0);
    expectVec(m.vertices[2], 0, -0.5f, -5);
    expectVec(m.vertices[10], 0, 0.5f, -5);
    EXPECT_GT(m.vertices[3].x, 3.5f); // rings turn towards +x
    expectFace(m, 7, {0, 9, 2}, {0, 9, 10});          // bottom cap: vertices wrap, texture does not
    expectFace(m, 22, {9, 17, 2}, {18, 27, 19});      // side, last segment
    expectFace(m, 23, {2, 17, 10}, {19, 27, 28});
    expectFace(m, 24, {1, 11, 10}, {0, 3, 2});        // top cap
    // Caps: a disc inscribed in the image; side: s from 0 to 1 with the angle.
    EXPECT_EQ(m.texCoords[2].x, 0.5f);
    EXPECT_EQ(m.texCoords[2].y, 0.0f);
    EXPECT_NEAR(m.texCoords[10].x, 0.5f, 1e-5f); // j = n closes the circle
    EXPECT_EQ(m.texCoords[19].x, 1.0f);
    EXPECT_EQ(m.texCoords[28].y, 1.0f);

    checkEveryFace(m, [](unsigned f, const Vector3D& n, const Vector3D& c) {
        if (f < 8) return n.y > 0.99f;    // bottom cap looks up
        if (f >= 24) return n.y < -0.99f; // top cap looks down
        return n.x * c.x + n.z * c.z < 0.0f && n.y == 0.0f; // side looks at the axis
    });
}

TEST(Mesh, TyreLayoutAndNormalsIntoTheSolid) {
    Mesh m;
    m.makeTyre(8, 10, 3, 4);
    ASSERT_EQ(m.verticeAmount, 32u);
    ASSERT_EQ(m.faceAmount, 64u);
    EXPECT_EQ(m.faceTexAmount, 64);
    expectVec(m.vertices[8], 0, 10, 4);
    expectVec(m.vertices[16], 0, 13, -4);
    EXPECT_GT(m.vertices[1].x, 0.0f);
    expectFace(m, 15, {0, 8, 15}, {3, 2, 1}); // inner wall, last segment
    expectFace(m, 17, {17, 24, 25}, {3, 1, 2}); // outer wall
    expectFace(m, 33, {16, 17, 1});           // back side
    expectFace(m, 63, {31, 24, 8}, {1, 2, 3}); // front side, last segment

    checkEveryFace(m, [](unsigned f, const Vector3D& n, const Vector3D& c) {
        const float radial = n.x * c.x + n.y * c.y;
        if (f < 16) return radial > 0.0f && n.z == 0.0f; // inner wall: away from the axis
        if (f < 32) return radial < 0.0f && n.z == 0.0f; // outer wall: towards it
        return n.z > 0.99f;                              // back and front: +z
    });
}

TEST(Mesh, SphereLayoutSeamAndInwardNormals) {
    Mesh m;
    m.makeSphere(1, 64);
    ASSERT_EQ(m.verticeAmount, 4225u);
    ASSERT_EQ(m.faceAmount, 8192u);
    EXPECT_EQ(m.texCoordAmount, 4225);
    expectVec(m.vertices[0], 0, 1, 0);
    const Vector3D bottom = m.vertices[64 * 65 + 32];
    EXPECT_EQ(bottom.y, std::cos(3.14159f));
    EXPECT_LT(std::fabs(bottom.x) + std::fabs(bottom.z), 1e-5f); // with pi = 3.14159, not quite closed
    EXPECT_GT(bottom.z, 0.0f);                                   // half a turn from -z
    for (unsigned v = 0; v < m.verticeAmount; ++v) ASSERT_NEAR(m.vertices[v].length(), 1.0f, 1e-6f) << v;
    EXPECT_EQ(m.texCoords[65 * 3 + 16].x, 0.25f);
    EXPECT_EQ(m.texCoords[65 * 3 + 16].y, 3.0f / 64);
    // Ring 2, last column: vertices wrap to column 0, texture indices use column 64.
    const unsigned k = 64 * 2 + 63;
    expectFace(m, 2 * k, {193, 130, 258}, {193, 194, 258});
    expectFace(m, 2 * k + 1, {130, 195, 258}, {194, 259, 258});

    Mesh s;
    s.makeSphere(3, 12);
    s.createNormals();
    for (unsigned f = 0; f < s.faceAmount; ++f) {
        if (f % 2 == 0 && f < 2 * 12) { // two corners on the pole: zero area
            EXPECT_TRUE(isZero(s.faceNormals[f])) << f;
            continue;
        }
        EXPECT_NEAR(s.faceNormals[f].length(), 1.0f, 1e-5f) << f;
        EXPECT_LT(s.faceNormals[f].dotProduct(faceCentre(s, f)), 0.0f) << f;
    }
}

TEST(Mesh, ZeroAreaFacesSpreadNoNaN) {
    // Every vertex a face reaches gets a finite, inward unit normal, pole
    // included; column 64 (used by no face) keeps zero.
    Mesh s;
    s.makeSphere(1, 64);
    s.createNormals();
    for (unsigned v = 0; v < s.verticeAmount; ++v) {
        const Vector3D& n = s.vertexNormals[v];
        if (v % 65 == 64) {
            ASSERT_TRUE(isZero(n)) << v;
        } else {
            ASSERT_NEAR(n.length(), 1.0f, 1e-5f) << v; // false for NaN
            ASSERT_LT(n.dotProduct(s.vertices[v]), 0.0f) << v;
        }
    }

    // Bottom ring collapsed onto the bottom centre: the cap and every other
    // side face lose their area; vertex 0 is left with zero-area faces only.
    Mesh c;
    c.makeCylinder(8, 2, 1);
    for (int j = 0; j < 8; ++j) c.vertices[2 + j] = c.vertices[0];
    c.createNormals();
    for (unsigned f = 0; f < 24; ++f) {
        if (f < 8 || f % 2 == 0) EXPECT_TRUE(isZero(c.faceNormals[f])) << f;
        else EXPECT_NEAR(c.faceNormals[f].length(), 1.0f, 1e-6f) << f;
    }
    EXPECT_TRUE(isZero(c.vertexNormals[0]));
    for (unsigned v = 1; v < c.verticeAmount; ++v) EXPECT_NEAR(c.vertexNormals[v].length(), 1.0f, 1e-6f) << v;

    // The whole mesh collapsed to a point (a deformation factor of zero).
    Mesh p;
    p.makeSphere(1, 8);
    for (unsigned v = 0; v < p.verticeAmount; ++v) p.vertices[v] *= 0.0f;
    p.createNormals();
    for (unsigned f = 0; f < p.faceAmount; ++f) ASSERT_TRUE(isZero(p.faceNormals[f])) << f;
    for (unsigned v = 0; v < p.verticeAmount; ++v) ASSERT_TRUE(isZero(p.vertexNormals[v])) << v;
}

TEST(Mesh, CentreFlipAndSpareCopies) {
    Mesh m;
    m.makeCube(1);
    expectVec(m.getCenter(), 0, 0, 0);
    for (unsigned v = 0; v < 8; ++v) m.vertices[v] += Vector3D(5, 0, 0);
    expectVec(m.getCenter(), 5, 0, 0);
    m.centerize();
    expectVec(m.vertices[6], -1, -1, -1);

    Mesh s;
    s.makeSphere(2, 16);
    s.createNormals();
    const size_t bytes = s.verticeAmount * sizeof(Vector3D);
    const std::vector<Vector3D> normals(s.vertexNormals, s.vertexNormals + s.verticeAmount);
    const std::vector<Vector3D> positions(s.vertices, s.vertices + s.verticeAmount);
    const Vector3D face5 = s.faceNormals[5];
    s.flipNormals();
    EXPECT_EQ(s.vertexNormals[40].y, -normals[40].y);
    expectVec(s.faceNormals[5], face5.x, face5.y, face5.z); // face normals stay
    s.flipNormals();
    EXPECT_EQ(std::memcmp(normals.data(), s.vertexNormals, bytes), 0);

    // The per-frame pattern: push, deform, normals, pop; bit for bit.
    s.pushVertices();
    s.pushNormals();
    for (unsigned v = 0; v < s.verticeAmount; ++v) s.vertices[v] *= std::sin(s.vertices[v].x * 7.0f) * 0.4f + 0.7f;
    s.createNormals();
    EXPECT_NE(std::memcmp(normals.data(), s.vertexNormals, bytes), 0);
    s.popVertices();
    s.popNormals();
    EXPECT_EQ(std::memcmp(positions.data(), s.vertices, bytes), 0);
    EXPECT_EQ(std::memcmp(normals.data(), s.vertexNormals, bytes), 0);
}

TEST(Mesh, RebuildingSizesTheNormalArraysAfresh) {
    Mesh m;
    m.makeCube(1);
    m.createNormals();
    m.makeSphere(1, 16); // many more vertices and faces than the cube
    m.createNormals();   // the sanitizer build catches writes past the cube's arrays
    m.pushVertices();
    m.pushNormals();
    EXPECT_NEAR(m.vertexNormals[16 * 17 + 8].length(), 1.0f, 1e-5f);
}
