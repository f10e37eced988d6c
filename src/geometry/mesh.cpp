// Mesh: construction, the four generators, normals, centre and the spare
// copies. Pure single-precision maths; the render modes live in meshRender.cpp.
//
// Relies on: Vector3D, single-precision sinf/cosf.
// Deliberately does not: use the exact value of pi (the shapes are built with
// 3.14159, so a sphere's last ring is not quite closed), weight normals by
// area or angle, or validate segment counts.
#include "geometry/mesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The single-precision pi every generator uses (not the exact value).
constexpr float kPi = 3.14159f;

// Angle (radians) of step `index` of `segments` around a full turn, formed in
// float as (index * pi * 2) / segments.
inline float turnAngle(int index, int segments) {
    return static_cast<float>(index) * kPi * 2.0f / static_cast<float>(segments);
}

inline void setFace(int* f, int a, int b, int c) {
    f[0] = a;
    f[1] = b;
    f[2] = c;
}

} // namespace

Mesh::Mesh()
    : faceNormals(nullptr), position(0.0f, 0.0f, 0.0f), vertexNormals(nullptr), texCoordAmount(0),
      faceTexAmount(0), faces(nullptr), faceTexCoords(nullptr), vertices(nullptr), texCoords(nullptr),
      savedVertices(nullptr), savedNormals(nullptr), verticeAmount(0), faceAmount(0) {}

Mesh::~Mesh() { releaseArrays(); }

void Mesh::releaseArrays() {
    delete[] faceNormals;
    delete[] vertexNormals;
    delete[] faces;
    delete[] faceTexCoords;
    delete[] vertices;
    delete[] texCoords;
    delete[] savedVertices;
    delete[] savedNormals;
    faceNormals = vertexNormals = vertices = savedVertices = savedNormals = nullptr;
    faces = faceTexCoords = nullptr;
    texCoords = nullptr;
}

// Sizes every generator array. A second build releases the first one,
// normal arrays included, so createNormals sizes them afresh instead of
// writing past arrays made for a smaller mesh.
void Mesh::allocate(unsigned vertexCount, unsigned faceCount, int texCoordCount) {
    releaseArrays();
    verticeAmount = vertexCount;
    faceAmount = faceCount;
    texCoordAmount = texCoordCount;
    vertices = new Vector3D[vertexCount];
    texCoords = new Vector2D[texCoordCount];
    faces = new int[3 * static_cast<size_t>(faceCount)];
    faceTexCoords = new int[3 * static_cast<size_t>(faceCount)];
}

void Mesh::makeCube(float size) {
    const float s = size;
    allocate(8, 12, 4);
    const Vector3D corners[8] = {{-s, s, s},  {s, s, s},   {s, -s, s},   {-s, -s, s},
                                 {s, s, -s},  {-s, s, -s}, {-s, -s, -s}, {s, -s, -s}};
    for (int i = 0; i < 8; ++i) vertices[i] = corners[i];
    texCoords[0] = Vector2D(0.0f, 0.0f);
    texCoords[1] = Vector2D(1.0f, 0.0f);
    texCoords[2] = Vector2D(1.0f, 1.0f);
    texCoords[3] = Vector2D(0.0f, 1.0f);
    // Two triangles per side, +z, +x, -z, -x, +y, -y; every normal outward.
    static const int cubeFaces[36] = {0, 1, 2, 2, 3, 0, 1, 4, 2, 4, 7, 2, 4, 5, 6, 6, 7, 4,
                                      5, 0, 3, 3, 6, 5, 5, 4, 0, 4, 1, 0, 3, 2, 6, 2, 7, 6};
    static const int cubeTex[36] = {0, 1, 2, 2, 3, 0, 0, 1, 3, 1, 2, 3, 0, 1, 2, 2, 3, 0,
                                    0, 1, 2, 2, 3, 0, 0, 1, 3, 1, 2, 3, 0, 1, 3, 1, 2, 3};
    std::memcpy(faces, cubeFaces, sizeof cubeFaces);
    std::memcpy(faceTexCoords, cubeTex, sizeof cubeTex);
    // faceTexAmount stays as it was: nothing reads it for a cube.
}

void Mesh::makeCylinder(int segments, float height, float radius) {
    const int n = segments;
    allocate(2 * n + 2, 4 * n, 3 * n + 5);
    faceTexAmount = 4 * n;
    const float half = height / 2.0f;

    vertices[0] = Vector3D(0.0f, -half, 0.0f); // bottom centre
    vertices[1] = Vector3D(0.0f, half, 0.0f);  // top centre
    // Rings start at (0, y, -r) and turn towards +x.
    for (int j = 0; j < n; ++j) {
        const float a = turnAngle(j, n);
        const float x = std::sin(a) * radius;
        const float z = -std::cos(a) * radius;
        vertices[2 + j] = Vector3D(x, -half, z);
        vertices[n + 2 + j] = Vector3D(x, half, z);
    }

    texCoords[0] = Vector2D(0.5f, 0.5f);
    texCoords[1] = Vector2D(0.5f, 0.5f);
    // n + 1 values per row: the last closes the circle (and the side's seam).
    for (int j = 0; j <= n; ++j) {
        const float a = turnAngle(j, n);
        const float s = static_cast<float>(j) / static_cast<float>(n);
        texCoords[2 + j] = Vector2D(std::sin(a) * 0.5f + 0.5f, std::cos(a) * -0.5f + 0.5f);
        texCoords[n + 3 + j] = Vector2D(s, 0.0f);
        texCoords[2 * n + 4 + j] = Vector2D(s, 1.0f);
    }

    for (int j = 0; j < n; ++j) {
        const int jn = (j + 1 == n) ? 0 : j + 1; // vertices wrap, texture coordinates do not
        setFace(faces + 3 * j, 0, 2 + j, 2 + jn);
        setFace(faceTexCoords + 3 * j, 0, 2 + j, 3 + j);

        const int side = n + 2 * j;
        setFace(faces + 3 * side, 2 + j, n + 2 + j, 2 + jn);
        setFace(faceTexCoords + 3 * side, n + 3 + j, 2 * n + 4 + j, n + 4 + j);
        setFace(faces + 3 * (side + 1), 2 + jn, n + 2 + j, n + 2 + jn);
        setFace(faceTexCoords + 3 * (side + 1), n + 4 + j, 2 * n + 4 + j, 2 * n + 5 + j);

        const int top = 3 * n + j;
        setFace(faces + 3 * top, 1, n + 2 + jn, n + 2 + j);
        setFace(faceTexCoords + 3 * top, 0, 3 + j, 2 + j);
    }
}

void Mesh::makeTyre(int segments, float radius, float thickness, float halfWidth) {
    const int n = segments;
    allocate(4 * n, 8 * n, 4);
    faceTexAmount = 8 * n;
    const float outer = radius + thickness;

    // Four rings around the z axis, starting at (0, r, z), turning towards +x.
    for (int j = 0; j < n; ++j) {
        const float a = turnAngle(j, n);
        const float sn = std::sin(a), cs = std::cos(a);
        vertices[j] = Vector3D(sn * radius, cs * radius, -halfWidth);         // inner back
        vertices[n + j] = Vector3D(sn * radius, cs * radius, halfWidth);      // inner front
        vertices[2 * n + j] = Vector3D(sn * outer, cs * outer, -halfWidth);   // outer back
        vertices[3 * n + j] = Vector3D(sn * outer, cs * outer, halfWidth);    // outer front
    }

    // Every quad shows the whole image.
    texCoords[0] = Vector2D(0.0f, 0.0f);
    texCoords[1] = Vector2D(1.0f, 0.0f);
    texCoords[2] = Vector2D(1.0f, 1.0f);
    texCoords[3] = Vector2D(0.0f, 1.0f);

    for (int j = 0; j < n; ++j) {
        const int g = (j + 1 == n) ? 0 : j + 1;
        int* f = faces;
        int* t = faceTexCoords;
        // Inner wall: normals away from the axis (into the solid).
        int k = j;
        setFace(f + 6 * k, j, g, n + j);
        setFace(t + 6 * k, 0, 3, 1);
        setFace(f + 6 * k + 3, g, n + g, n + j);
        setFace(t + 6 * k + 3, 3, 2, 1);
        // Outer wall: normals towards the axis (into the solid).
        k = n + j;
        setFace(f + 6 * k, 2 * n + j, 3 * n + j, 2 * n + g);
        setFace(t + 6 * k, 0, 1, 3);
        setFace(f + 6 * k + 3, 2 * n + g, 3 * n + j, 3 * n + g);
        setFace(t + 6 * k + 3, 3, 1, 2);
        // Back side (z = -D): normals along +z.
        k = 2 * n + j;
        setFace(f + 6 * k, j, 2 * n + j, g);
        setFace(t + 6 * k, 0, 1, 3);
        setFace(f + 6 * k + 3, 2 * n + j, 2 * n + g, g);
        setFace(t + 6 * k + 3, 1, 2, 3);
        // Front side (z = +D): normals along +z as well.
        k = 3 * n + j;
        setFace(f + 6 * k, n + j, 3 * n + j, n + g);
        setFace(t + 6 * k, 0, 1, 3);
        setFace(f + 6 * k + 3, 3 * n + j, 3 * n + g, n + g);
        setFace(t + 6 * k + 3, 1, 2, 3);
    }
}

void Mesh::makeSphere(float radius, int segments) {
    const int n = segments;
    const int row = n + 1; // column n repeats column 0 for the texture seam
    allocate(row * row, 2 * n * n, row * row);
    faceTexAmount = 2 * n * n;

    for (int i = 0; i <= n; ++i) {
        const float phi = static_cast<float>(i) * kPi / static_cast<float>(n); // from the +y pole
        const float ringRadius = std::sin(phi) * radius;
        const float y = radius * std::cos(phi);
        const float t = static_cast<float>(i) / static_cast<float>(n);
        for (int j = 0; j <= n; ++j) {
            const float theta = turnAngle(j, n);
            vertices[i * row + j] =
                Vector3D(std::sin(theta) * ringRadius, y, -std::cos(theta) * ringRadius);
            texCoords[i * row + j] = Vector2D(static_cast<float>(j) / static_cast<float>(n), t);
        }
    }

    // Vertex indices wrap at the seam; texture indices use column j + 1, so
    // the seam is textured with s = 1. Face 2k of the top row has two corners
    // on the pole and zero area.
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const int jn = (j + 1 == n) ? 0 : j + 1;
            const int v = i * row + j;
            const int k = n * i + j;
            setFace(faces + 6 * k, v, i * row + jn, v + row);
            setFace(faceTexCoords + 6 * k, v, v + 1, v + row);
            setFace(faces + 6 * k + 3, i * row + jn, (i + 1) * row + jn, v + row);
            setFace(faceTexCoords + 6 * k + 3, v + 1, v + row + 1, v + row);
        }
    }
}

void Mesh::createNormals() {
    if (faceNormals == nullptr) {
        faceNormals = new Vector3D[faceAmount];
        vertexNormals = new Vector3D[verticeAmount];
        savedVertices = new Vector3D[verticeAmount];
        savedNormals = new Vector3D[verticeAmount];
    }
    const Vector3D zero(0.0f, 0.0f, 0.0f);
    for (unsigned v = 0; v < verticeAmount; ++v) vertexNormals[v] = zero;

    for (unsigned f = 0; f < faceAmount; ++f) {
        const int a = faces[3 * f], b = faces[3 * f + 1], c = faces[3 * f + 2];
        const Vector3D e1 = vertices[c] - vertices[b];
        const Vector3D e2 = vertices[c] - vertices[a];
        Vector3D n = e1.crossProduct(e2);
        // A face of zero area (the sphere's pole triangles, corners collapsed
        // by a deformation) has no direction: normalising it would give
        // not-a-number and spread it into every vertex it touches. It keeps
        // a zero normal and contributes nothing.
        const float len = n.length();
        if (len == 0.0f) {
            faceNormals[f] = zero;
            continue;
        }
        n /= len; // what Normalize does, with the length already at hand
        faceNormals[f] = n;
        vertexNormals[a] += n;
        vertexNormals[b] += n;
        vertexNormals[c] += n;
    }

    // A vertex that no face of non-zero area reaches keeps (0, 0, 0).
    for (unsigned v = 0; v < verticeAmount; ++v) {
        const float len = vertexNormals[v].length();
        if (len != 0.0f) vertexNormals[v] /= len;
    }
}

void Mesh::flipNormals() {
    for (unsigned v = 0; v < verticeAmount; ++v) {
        Vector3D& n = vertexNormals[v];
        n = Vector3D(-n.x, -n.y, -n.z);
    }
}

Vector3D Mesh::getCenter() const {
    Vector3D sum(0.0f, 0.0f, 0.0f);
    for (unsigned v = 0; v < verticeAmount; ++v) sum += vertices[v];
    return sum / static_cast<float>(verticeAmount);
}

void Mesh::centerize() {
    const Vector3D c = getCenter();
    for (unsigned v = 0; v < verticeAmount; ++v) vertices[v] -= c;
}

void Mesh::pushVertices() { std::copy(vertices, vertices + verticeAmount, savedVertices); }
void Mesh::popVertices() { std::copy(savedVertices, savedVertices + verticeAmount, vertices); }
void Mesh::pushNormals() { std::copy(vertexNormals, vertexNormals + verticeAmount, savedNormals); }
void Mesh::popNormals() { std::copy(savedNormals, savedNormals + verticeAmount, vertexNormals); }
