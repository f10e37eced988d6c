// Placeholder until the mesh code lands.
#pragma once
class Mesh {
public:
    void render() {}
};
