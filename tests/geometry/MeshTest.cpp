// Mesh generators and normals: the exact index orders scenes rely on, the
// orientation of every face, degenerate faces, centre and the spare copies.
#include "geometry/mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <functional>

namespace {

void expectVec(const Vector3D& v, float x, float y, float z) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
}

void expectFace(const Mesh& m, unsigned f, int a, int b, int c) {
    SCOPED_TRACE(f);
    EXPECT_EQ(m.faces[3 * f], a);
    EXPECT_EQ(m.faces[3 * f + 1], b);
    EXPECT_EQ(m.faces[3 * f + 2], c);
}

void expectTex(const Mesh& m, unsigned f, int a, int b, int c) {
    SCOPED_TRACE(f);
    EXPECT_EQ(m.faceTexCoords[3 * f], a);
    EXPECT_EQ(m.faceTexCoords[3 * f + 1], b);
    EXPECT_EQ(m.faceTexCoords[3 * f + 2], c);
}

bool finite(const Vector3D& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
bool isZero(const Vector3D& v) { return v.x == 0 && v.y == 0 && v.z == 0; }

Vector3D faceCentre(const Mesh& m, unsigned f) {
    return (m.vertices[m.faces[3 * f]] + m.vertices[m.faces[3 * f + 1]] + m.vertices[m.faces[3 * f + 2]]) /
           3.0f;
}

// Every face normal is a unit vector and `ok(face, normal, centre)` holds.
void checkEveryFace(Mesh& m, const std::function<bool(unsigned, const Vector3D&, const Vector3D&)>& ok) {
    m.createNormals();
    for (unsigned f = 0; f < m.faceAmount; ++f) {
        const Vector3D& n = m.faceNormals[f];
        ASSERT_NEAR(n.length(), 1.0f, 1e-5f) << "face " << f;
        ASSERT_TRUE(ok(f, n, faceCentre(m, f))) << "face " << f << " normal " << n.x << " " << n.y << " " << n.z;
    }
}

} // namespace

TEST(Mesh, MembersKeepTheirOrder) {
    const size_t order[] = {offsetof(Mesh, material),      offsetof(Mesh, faceNormals),   offsetof(Mesh, position),
                            offsetof(Mesh, vertexNormals), offsetof(Mesh, texCoordAmount), offsetof(Mesh, faceTexAmount),
                            offsetof(Mesh, faces),         offsetof(Mesh, faceTexCoords), offsetof(Mesh, vertices),
                            offsetof(Mesh, texCoords),     offsetof(Mesh, savedVertices), offsetof(Mesh, savedNormals),
                            offsetof(Mesh, verticeAmount), offsetof(Mesh, faceAmount)};
    for (size_t i = 1; i < sizeof order / sizeof order[0]; ++i) EXPECT_LT(order[i - 1], order[i]) << i;
    const Mesh m;
    EXPECT_EQ(m.material.properties, 19u);
    EXPECT_EQ(m.vertices, nullptr);
    EXPECT_EQ(m.faceNormals, nullptr);
}

TEST(Mesh, CubeLayoutAndNormals) {
    Mesh m;
    m.makeCube(1);
    ASSERT_EQ(m.verticeAmount, 8u);
    ASSERT_EQ(m.faceAmount, 12u);
    ASSERT_EQ(m.texCoordAmount, 4);
    const float corners[8][3] = {{-1, 1, 1}, {1, 1, 1},   {1, -1, 1},   {-1, -1, 1},
                                 {1, 1, -1}, {-1, 1, -1}, {-1, -1, -1}, {1, -1, -1}};
    for (int i = 0; i < 8; ++i) expectVec(m.vertices[i], corners[i][0], corners[i][1], corners[i][2]);
    const int faces[12][6] = {{0, 1, 2, 0, 1, 2}, {2, 3, 0, 2, 3, 0}, {1, 4, 2, 0, 1, 3}, {4, 7, 2, 1, 2, 3},
                              {4, 5, 6, 0, 1, 2}, {6, 7, 4, 2, 3, 0}, {5, 0, 3, 0, 1, 2}, {3, 6, 5, 2, 3, 0},
                              {5, 4, 0, 0, 1, 3}, {4, 1, 0, 1, 2, 3}, {3, 2, 6, 0, 1, 3}, {2, 7, 6, 1, 2, 3}};
    for (unsigned f = 0; f < 12; ++f) {
        expectFace(m, f, faces[f][0], faces[f][1], faces[f][2]);
        expectTex(m, f, faces[f][3], faces[f][4], faces[f][5]);
    }
    EXPECT_EQ(m.texCoords[2].x, 1);
    EXPECT_EQ(m.texCoords[3].y, 1);

    m.createNormals();
    expectVec(m.faceNormals[0], 0, 0, 1);
    // Each triangle counts once: only vertex 1 gets a body diagonal.
    const float d3 = 1.0f / static_cast<float>(std::sqrt(3.0));
    EXPECT_FLOAT_EQ(m.vertexNormals[1].x, d3);
    EXPECT_FLOAT_EQ(m.vertexNormals[1].y, d3);
    EXPECT_FLOAT_EQ(m.vertexNormals[1].z, d3);
    expectVec(m.vertexNormals[0], -1.0f / 3, 2.0f / 3, 2.0f / 3);
    const float r6 = static_cast<float>(std::sqrt(6.0));
    EXPECT_FLOAT_EQ(m.vertexNormals[3].x, -2 / r6);
    EXPECT_FLOAT_EQ(m.vertexNormals[3].y, -1 / r6);
    EXPECT_FLOAT_EQ(m.vertexNormals[3].z, 1 / r6);

    Mesh outward;
    outward.makeCube(2.5f);
    checkEveryFace(outward, [](unsigned, const Vector3D& n, const Vector3D& c) { return n.dotProduct(c) > 2.4f; });
}

TEST(Mesh, CylinderLayoutAndInwardNormals) {
    Mesh m;
    m.makeCylinder(8, 1, 5);
    ASSERT_EQ(m.verticeAmount, 18u);
    ASSERT_EQ(m.faceAmount, 32u);
    ASSERT_EQ(m.texCoordAmount, 29);
    EXPECT_EQ(m.faceTexAmount, 32);
    expectVec(m.vertices[0], 0, -0.5f, 0);
    expectVec(m.vertices[1], 0, 0.5f, 0);
    expectVec(m.vertices[2], 0, -0.5f, -5);
    expectVec(m.vertices[10], 0, 0.5f, -5);
    EXPECT_GT(m.vertices[3].x, 3.5f); // the rings turn towards +x
    EXPECT_EQ(m.vertices[3].x, m.vertices[11].x);
    expectFace(m, 7, 0, 9, 2);                         // bottom cap, last segment wraps
    expectTex(m, 7, 0, 9, 10);                         // texture coordinates do not wrap
    expectFace(m, 8 + 2 * 7, 9, 17, 2);                // side, last segment
    expectTex(m, 8 + 2 * 7, 18, 27, 19);
    expectFace(m, 8 + 2 * 7 + 1, 2, 17, 10);
    expectTex(m, 8 + 2 * 7 + 1, 19, 27, 28);
    expectFace(m, 24, 1, 11, 10);                      // top cap, first segment
    expectTex(m, 24, 0, 3, 2);
    // Caps: a disc inscribed in the image; side: s from 0 to 1 with the angle.
    EXPECT_EQ(m.texCoords[2].x, 0.5f);
    EXPECT_EQ(m.texCoords[2].y, 0.0f);
    EXPECT_NEAR(m.texCoords[10].x, 0.5f, 1e-5f); // j = n closes the circle
    EXPECT_EQ(m.texCoords[11].x, 0.0f);
    EXPECT_EQ(m.texCoords[19].x, 1.0f);
    EXPECT_EQ(m.texCoords[19].y, 0.0f);
    EXPECT_EQ(m.texCoords[28].x, 1.0f);
    EXPECT_EQ(m.texCoords[28].y, 1.0f);

    checkEveryFace(m, [](unsigned f, const Vector3D& n, const Vector3D& c) {
        if (f < 8) return n.y > 0.99f;             // bottom cap looks up
        if (f >= 24) return n.y < -0.99f;          // top cap looks down
        return n.x * c.x + n.z * c.z < 0.0f && std::fabs(n.y) < 1e-6f; // side looks at the axis
    });
}

TEST(Mesh, TyreLayoutAndNormalsIntoTheSolid) {
    Mesh m;
    m.makeTyre(8, 10, 3, 4);
    ASSERT_EQ(m.verticeAmount, 32u);
    ASSERT_EQ(m.faceAmount, 64u);
    EXPECT_EQ(m.texCoordAmount, 4);
    EXPECT_EQ(m.faceTexAmount, 64);
    expectVec(m.vertices[0], 0, 10, -4);
    expectVec(m.vertices[8], 0, 10, 4);
    expectVec(m.vertices[16], 0, 13, -4);
    expectVec(m.vertices[24], 0, 13, 4);
    EXPECT_GT(m.vertices[1].x, 0.0f);
    expectFace(m, 15, 0, 8, 15);
    expectTex(m, 15, 3, 2, 1);
    expectFace(m, 16, 16, 24, 17);  // outer wall
    expectTex(m, 17, 3, 1, 2);
    expectFace(m, 33, 16, 17, 1);   // back side
    expectFace(m, 63, 31, 24, 8);   // front side, last segment wraps
    expectTex(m, 63, 1, 2, 3);

    checkEveryFace(m, [](unsigned f, const Vector3D& n, const Vector3D& c) {
        const float radial = n.x * c.x + n.y * c.y;
        if (f < 16) return radial > 0.0f && n.z == 0.0f; // inner wall: away from the axis
        if (f < 32) return radial < 0.0f && n.z == 0.0f; // outer wall: towards it
        return n.z > 0.99f;                              // both sides along +z
    });
}

TEST(Mesh, SphereLayoutSeamAndInwardNormals) {
    Mesh m;
    m.makeSphere(1, 64);
    ASSERT_EQ(m.verticeAmount, 4225u);
    ASSERT_EQ(m.faceAmount, 8192u);
    EXPECT_EQ(m.texCoordAmount, 4225);
    EXPECT_EQ(m.faceTexAmount, 8192);
    expectVec(m.vertices[0], 0, 1, 0);
    const Vector3D bottom = m.vertices[64 * 65 + 32];
    EXPECT_EQ(bottom.y, std::cos(3.14159f));
    EXPECT_LT(std::fabs(bottom.x) + std::fabs(bottom.z), 1e-5f); // pi is 3.14159: not quite closed
    EXPECT_GT(bottom.z, 0.0f);                                   // half a turn from -z
    for (unsigned v = 0; v < m.verticeAmount; ++v) ASSERT_NEAR(m.vertices[v].length(), 1.0f, 1e-6f) << v;
    EXPECT_NEAR(m.vertices[65 * 3 + 64].x, m.vertices[65 * 3].x, 1e-5f); // column n repeats column 0
    EXPECT_EQ(m.texCoords[65 * 3 + 16].x, 0.25f);
    EXPECT_EQ(m.texCoords[65 * 3 + 16].y, 3.0f / 64);

    // Row 2, last column: vertices wrap to column 0, texture coordinates use column 64.
    const unsigned k = 64 * 2 + 63;
    expectFace(m, 2 * k, 2 * 65 + 63, 2 * 65, 3 * 65 + 63);
    expectTex(m, 2 * k, 2 * 65 + 63, 2 * 65 + 64, 3 * 65 + 63);
    expectFace(m, 2 * k + 1, 2 * 65, 3 * 65, 3 * 65 + 63);
    expectTex(m, 2 * k + 1, 2 * 65 + 64, 3 * 65 + 64, 3 * 65 + 63);

    Mesh s;
    s.makeSphere(3, 12);
    s.createNormals();
    for (unsigned f = 0; f < s.faceAmount; ++f) {
        const bool poleTriangle = f % 2 == 0 && f < 2 * 12;
        if (poleTriangle) {
            EXPECT_TRUE(isZero(s.faceNormals[f])) << f;
            continue;
        }
        EXPECT_NEAR(s.faceNormals[f].length(), 1.0f, 1e-5f) << f;
        EXPECT_LT(s.faceNormals[f].dotProduct(faceCentre(s, f)), 0.0f) << f;
    }
}

TEST(Mesh, ZeroAreaFacesSpreadNoNaN) {
    // The pole triangles have zero area: every vertex a face reaches still
    // gets a finite unit normal; column n (used by no face) keeps zero.
    Mesh s;
    s.makeSphere(1, 64);
    s.createNormals();
    for (unsigned v = 0; v < s.verticeAmount; ++v) {
        const Vector3D& n = s.vertexNormals[v];
        if (v % 65 == 64) {
            EXPECT_TRUE(isZero(n)) << v;
        } else {
            ASSERT_TRUE(finite(n)) << v;
            ASSERT_NEAR(n.length(), 1.0f, 1e-5f) << v;
            ASSERT_LT(n.dotProduct(s.vertices[v]), 0.0f) << v; // inward
        }
    }

    // Collapse the bottom ring of a cylinder onto its centre: the bottom cap
    // and half the side lose their area; vertex 0 is then used only by
    // zero-area faces and keeps (0, 0, 0).
    Mesh c;
    c.makeCylinder(8, 2, 1);
    for (int j = 0; j < 8; ++j) c.vertices[2 + j] = c.vertices[0];
    c.createNormals();
    for (unsigned f = 0; f < 8; ++f) EXPECT_TRUE(isZero(c.faceNormals[f])) << f;
    for (unsigned f = 8; f < 24; f += 2) EXPECT_TRUE(isZero(c.faceNormals[f])) << f;
    for (unsigned f = 9; f < 24; f += 2) EXPECT_NEAR(c.faceNormals[f].length(), 1.0f, 1e-6f) << f;
    EXPECT_TRUE(isZero(c.vertexNormals[0]));
    for (unsigned v = 1; v < c.verticeAmount; ++v) EXPECT_NEAR(c.vertexNormals[v].length(), 1.0f, 1e-6f) << v;

    // A whole mesh collapsed to a point (a deformation factor of zero).
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
    m.setPosition(Vector3D(1, 2, 3));
    m.centerize();
    expectVec(m.vertices[6], -1, -1, -1);
    expectVec(m.vertices[1], 1, 1, 1);
    expectVec(m.getPosition(), 1, 2, 3);

    Mesh s;
    s.makeSphere(2, 16);
    s.createNormals();
    Vector3D* before = new Vector3D[s.verticeAmount];
    std::memcpy(before, s.vertexNormals, s.verticeAmount * sizeof(Vector3D));
    const Vector3D face5 = s.faceNormals[5];
    s.flipNormals();
    EXPECT_EQ(s.vertexNormals[40].x, -before[40].x);
    EXPECT_EQ(s.vertexNormals[40].y, -before[40].y);
    expectVec(s.faceNormals[5], face5.x, face5.y, face5.z);
    s.flipNormals();
    EXPECT_EQ(std::memcmp(before, s.vertexNormals, s.verticeAmount * sizeof(Vector3D)), 0);

    // The per-frame pattern: push, deform, normals, pop, bit for bit.
    Vector3D* positions = new Vector3D[s.verticeAmount];
    std::memcpy(positions, s.vertices, s.verticeAmount * sizeof(Vector3D));
    s.pushVertices();
    s.pushNormals();
    for (unsigned v = 0; v < s.verticeAmount; ++v) s.vertices[v] *= std::sin(s.vertices[v].x * 7.0f) * 0.4f + 0.7f;
    s.createNormals();
    EXPECT_NE(std::memcmp(before, s.vertexNormals, s.verticeAmount * sizeof(Vector3D)), 0);
    s.popVertices();
    s.popNormals();
    EXPECT_EQ(std::memcmp(positions, s.vertices, s.verticeAmount * sizeof(Vector3D)), 0);
    EXPECT_EQ(std::memcmp(before, s.vertexNormals, s.verticeAmount * sizeof(Vector3D)), 0);
    delete[] positions;
    delete[] before;
}

TEST(Mesh, RebuildingSizesTheNormalArraysAfresh) {
    Mesh m;
    m.makeCube(1);
    m.createNormals();
    m.makeSphere(1, 16); // far more vertices and faces than the cube
    m.createNormals();
    m.pushVertices();
    m.pushNormals();
    for (unsigned v = 0; v < m.verticeAmount; ++v) {
        if (v % 17 == 16) continue; // column n: used by no face
        ASSERT_NEAR(m.vertexNormals[v].length(), 1.0f, 1e-5f) << v;
    }
}
