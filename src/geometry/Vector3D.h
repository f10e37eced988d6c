// Vector3D and Vector2D: the single-precision value types behind every
// point, direction, normal and texture coordinate.
//
// Relies on: nothing but <cmath> (in Vector3D.cpp).
// Deliberately does not: check operands, guard against division by zero
// (a zero vector normalises to not-a-number), keep vectors normalised, or
// offer scalar-on-the-left products. Arrays of either type are plain
// contiguous floats (x, y, z after x, y, z); the mesh and curve code and the
// render modes pass &v.x straight to OpenGL.
#pragma once

class Vector3D {
public:
    float x, y, z;

    // Leaves the components uninitialised: every user assigns before reading.
    Vector3D() = default;
    Vector3D(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    Vector3D operator+(const Vector3D& v) const { return Vector3D(x + v.x, y + v.y, z + v.z); }
    Vector3D operator-(const Vector3D& v) const { return Vector3D(x - v.x, y - v.y, z - v.z); }
    Vector3D operator*(const float& s) const { return Vector3D(x * s, y * s, z * s); }
    // Three true divisions: x / s is not always x * (1 / s) in float.
    Vector3D operator/(const float& s) const { return Vector3D(x / s, y / s, z / s); }

    // The compound operators change this vector and hand back a copy of it,
    // not a reference: changing the result leaves this vector alone.
    Vector3D operator+=(const Vector3D& v) {
        x += v.x;
        y += v.y;
        z += v.z;
        return *this;
    }
    Vector3D operator-=(const Vector3D& v) {
        x -= v.x;
        y -= v.y;
        z -= v.z;
        return *this;
    }
    Vector3D operator*=(const float& s) {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
    Vector3D operator/=(const float& s) {
        x /= s;
        y /= s;
        z /= s;
        return *this;
    }

    float dotProduct(const Vector3D& v) const { return x * v.x + y * v.y + z * v.z; }
    // Right-handed: (1, 0, 0) x (0, 1, 0) = (0, 0, 1).
    Vector3D crossProduct(const Vector3D& v) const {
        return Vector3D(y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x);
    }

    // Square root taken in double, result rounded to float.
    float length() const;
    // Divides by length() in place; the zero vector becomes (NaN, NaN, NaN).
    void Normalize();
};

class Vector2D {
public:
    float x, y; // s and t when used as a texture coordinate

    // Leaves both components uninitialised.
    Vector2D() = default;
    Vector2D(float x_, float y_) : x(x_), y(y_) {}
};
