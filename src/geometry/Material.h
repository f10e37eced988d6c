// Material: the drawing properties Mesh::render follows: a colour used when
// lighting is off, and a mask of property bits.
//
// Relies on: OpenGL in Material.cpp only (this header stays GL-free so the
// mesh maths can include it).
// Deliberately does not: save or restore any GL state it sets, or set a
// lighting material; the colour is only sent when lighting is off.
#pragma once

class Material {
public:
    // Property bits. What each does in activate() and in Mesh::render.
    static constexpr unsigned kLit = 0x01;              // lighting on; the triangles are drawn only when set
    static constexpr unsigned kTextured = 0x02;         // texturing on; a texture coordinate per corner
    static constexpr unsigned kFaceNormals = 0x04;      // one face normal per triangle, not one per corner
    static constexpr unsigned kShowVertexNormals = 0x08; // a red line along each vertex normal
    static constexpr unsigned kShowFaceNormals = 0x10;  // a red line along each face normal
    static constexpr unsigned kTexCoordSS = 0x20;       // texture coordinate sent as (s, s)
    static constexpr unsigned kDefaultProperties = kLit | kTextured | kShowFaceNormals; // 19

    float color[3];        // red, green, blue, 0..1 (used when kLit is clear)
    unsigned properties;   // OR of the bits above

    // Mask 19; the colour starts white so an unlit material never sends
    // uninitialised values.
    Material();

    void setColor(float r, float g, float b);
    // Replaces the whole mask.
    void setPropereties(unsigned mask);
    // ORs bits into the mask.
    void setProperty(unsigned bits);
    // True when any of `bit` is set.
    bool getProperty(unsigned bit) const { return (properties & bit) != 0; }

    // kLit set: enable GL_LIGHTING; clear: disable it and send the colour.
    // kTextured set: enable GL_TEXTURE_2D (clear: texturing left as it is).
    void activate() const;
};
