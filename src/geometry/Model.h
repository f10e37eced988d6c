// Model: a group of meshes drawn together under one position and rotation,
// with the model texture slot bound.
//
// Relies on: Mesh (its material-driven render), the global engine's texture
// manager and slot 4 (Model.cpp).
// Deliberately does not: own its meshes or materials (it keeps pointers and
// frees nothing), or draw with the materials it keeps.
#pragma once

#include "geometry/Vector3D.h"

#include <vector>

class Mesh;
class Material;

class Model {
public:
    std::vector<Mesh*> meshes;         // drawn in order
    std::vector<Material*> materials;  // kept, not used for drawing
    Vector3D position;                 // translation
    Vector3D rotation;                 // degrees about x, then y, then z

    Model();
    void addMesh(Mesh* mesh) { meshes.push_back(mesh); }
    void addMaterial(Material* m) { materials.push_back(m); }
    void setPosition(float x, float y, float z) { position = Vector3D(x, y, z); }
    void setRotation(float x, float y, float z) { rotation = Vector3D(x, y, z); }

    // Push; translate; rotate about x, y, z; texture slot 4 bound;
    // Mesh::render of each mesh; pop.
    void render();
};
