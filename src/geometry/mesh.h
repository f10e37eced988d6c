// Mesh: the procedural indexed triangle mesh. Positions, per-corner texture
// coordinates (through their own index list), face and vertex normals, and
// spare copies of positions and normals for one-frame deformations.
//
// Relies on: Vector3D, Material. The generators and the normal code
// (mesh.cpp) are plain maths; only the render modes (meshRender.cpp) use
// OpenGL, and this header includes no GL.
// Deliberately does not: check indices, resize arrays after a build, or let
// scenes change verticeAmount or faces (they may edit `vertices` freely).
// The render modes change no GL state; the material path (render) does.
#pragma once

#include "geometry/Material.h"
#include "geometry/Vector3D.h"

class Mesh {
public:
    Material material;         // used by render() only
    Vector3D* faceNormals;     // faceAmount unit normals; (0, 0, 0) for a face of zero area
    Vector3D position;         // translation applied by render()
    Vector3D* vertexNormals;   // verticeAmount unit normals; (0, 0, 0) where no face of non-zero area meets
    int texCoordAmount;        // entries in texCoords
    int faceTexAmount;         // faces described by faceTexCoords (0 for a cube)
    int* faces;                // 3 * faceAmount vertex indices, in drawing order
    int* faceTexCoords;        // 3 * faceAmount texture-coordinate indices, parallel to faces
    Vector3D* vertices;        // verticeAmount positions
    Vector2D* texCoords;       // texCoordAmount (s, t) pairs
    Vector3D* savedVertices;   // spare copy of vertices (pushVertices / popVertices)
    Vector3D* savedNormals;    // spare copy of vertexNormals (pushNormals / popNormals)
    unsigned int verticeAmount;
    unsigned int faceAmount;

    Mesh();
    ~Mesh();
    // A mesh owns its arrays: copying would free them twice.
    Mesh(const Mesh&) = delete;
    Mesh& operator=(const Mesh&) = delete;

    // Generators. Each fixes the exact vertex, texture-coordinate and face
    // order (scenes address vertices by index). Angles inside are radians.
    // Building again releases the earlier build, normals included.
    void makeCube(float size);                                  // half-edge `size`, normals outward
    void makeCylinder(int segments, float height, float radius); // axis y, normals inward
    void makeTyre(int segments, float radius, float thickness, float halfWidth); // axis z
    void makeSphere(float radius, int segments);                // axis y, pole at +y, normals inward

    // Face normals (c - b) x (c - a), normalised, and vertex normals as the
    // normalised sum of the unit normals of the faces around a vertex. A face
    // of zero area keeps (0, 0, 0) and adds nothing; a vertex whose sum is
    // zero keeps (0, 0, 0). Allocates the normal and spare arrays on the first call.
    void createNormals();
    void flipNormals();        // negates the vertex normals (face normals stay)
    Vector3D getCenter() const; // mean of all vertices
    void centerize();          // moves the mean to the origin

    // Need the arrays createNormals allocates: call it once first.
    void pushVertices();
    void popVertices();
    void pushNormals();
    void popNormals();

    void setPosition(Vector3D p) { position = p; }
    Vector3D getPosition() const { return position; }
    unsigned int getVerticeAmount() const { return verticeAmount; }
    unsigned int getFaceAmount() const { return faceAmount; }

    // Render modes (meshRender.cpp): immediate mode, no GL state changed.
    void srender();  // triangles, positions only
    void trender();  // triangles with texture coordinates
    void frender();  // unit 0: texture coordinates; unit 1: (n.x, n.y) * 0.5 + 0.5 of the vertex normal
    void wfrender(); // the first edge (corner 0 to corner 1) of every triangle
    // The same two modes over `count` faces of `faceList` only, in its order
    // (a caller that knows which faces cannot be seen leaves them out).
    void frender(const unsigned* faceList, unsigned count);
    void wfrender(const unsigned* faceList, unsigned count);
    void wrender();  // a cylinder's top rim and vertical side lines
    void prender();  // every vertex as a point
    // Material-driven: push, translate by position, activate the material,
    // draw as its bits say, pop. Changes the enables the material names.
    void render();

private:
    void releaseArrays();
    void allocate(unsigned vertexCount, unsigned faceCount, int texCoordCount);
};
