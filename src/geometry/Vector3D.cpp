// Vector3D: the two members that need the maths library. Everything else is
// inline in Vector3D.h.
//
// Relies on: <cmath>.
// Deliberately does not: guard Normalize against a zero length (callers that
// must avoid not-a-number check length() themselves, as Mesh::createNormals does).
#include "geometry/Vector3D.h"

#include <cmath>

float Vector3D::length() const {
    return static_cast<float>(std::sqrt(static_cast<double>(dotProduct(*this))));
}

void Vector3D::Normalize() {
    const float len = length();
    *this /= len;
}
