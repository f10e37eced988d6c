// Mesh render modes: immediate-mode loops over a mesh's faces or vertices.
//
// Relies on: OpenGL 1.x, the ARB multitexture entry point in GLExt.h
// (frender), and createNormals having run before frender and render.
// Deliberately does not: set any GL state in the plain modes (colour,
// enables, textures, matrices and line width are the caller's), or use
// vertex arrays. Consecutive independent primitives of one mode share a
// single glBegin/glEnd pair: the pixels are those of one pair per primitive,
// with a fraction of the driver work.
#include "geometry/mesh.h"
#include "platform/GLExt.h"

#include <GL/gl.h>

void Mesh::srender() {
    if (faceAmount == 0) return;
    const unsigned corners = 3 * faceAmount;
    glBegin(GL_TRIANGLES);
    for (unsigned k = 0; k < corners; ++k) glVertex3fv(&vertices[faces[k]].x);
    glEnd();
}

void Mesh::trender() {
    if (faceAmount == 0) return;
    const unsigned corners = 3 * faceAmount;
    glBegin(GL_TRIANGLES);
    for (unsigned k = 0; k < corners; ++k) {
        glTexCoord2fv(&texCoords[faceTexCoords[k]].x);
        glVertex3fv(&vertices[faces[k]].x);
    }
    glEnd();
}

namespace {

// Face i of the list, or face i itself without a list.
inline unsigned listed(const unsigned* faceList, unsigned i) { return faceList ? faceList[i] : i; }

} // namespace

void Mesh::frender() { frender(nullptr, faceAmount); }

void Mesh::frender(const unsigned* faceList, unsigned count) {
    if (count == 0) return;
    // A local copy: the compiler cannot keep the global in a register across GL calls.
    const PFNGLMULTITEXCOORD2FARBPROC multiTexCoord = arb::glMultiTexCoord2fARB;
    glBegin(GL_TRIANGLES);
    for (unsigned i = 0; i < count; ++i) {
        const unsigned f = listed(faceList, i);
        for (unsigned k = 3 * f; k < 3 * f + 3; ++k) {
            const Vector2D& t = texCoords[faceTexCoords[k]];
            const Vector3D& v = vertices[faces[k]];
            const Vector3D& n = vertexNormals[faces[k]];
            multiTexCoord(GL_TEXTURE0_ARB, t.x, t.y);
            // Reflection lookup from the object-space normal: (-1..1) to (0..1).
            multiTexCoord(GL_TEXTURE1_ARB, n.x * 0.5f + 0.5f, n.y * 0.5f + 0.5f);
            glVertex3fv(&v.x);
        }
    }
    glEnd();
}

void Mesh::wfrender() { wfrender(nullptr, faceAmount); }

void Mesh::wfrender(const unsigned* faceList, unsigned count) {
    if (count == 0) return;
    // Within one GL_LINES pair per face the third corner has no partner and
    // is dropped, so each triangle draws its first edge. Sharing one pair,
    // only the two corners that form that edge are sent.
    glBegin(GL_LINES);
    for (unsigned i = 0; i < count; ++i) {
        const unsigned f = listed(faceList, i);
        glVertex3fv(&vertices[faces[3 * f]].x);
        glVertex3fv(&vertices[faces[3 * f + 1]].x);
    }
    glEnd();
}

void Mesh::wrender() {
    // Cylinder layout: two centres, then a bottom and a top ring of m vertices;
    // bottom vertex i lies below top vertex m + i.
    const int m = (static_cast<int>(verticeAmount) - 2) / 2;
    if (m < 1) return;
    glBegin(GL_LINES);
    for (int i = 2; i <= m + 1; ++i) {
        const int next = (i + 1 == m + 2) ? 2 : i + 1;
        glVertex3fv(&vertices[m + i].x); // top rim
        glVertex3fv(&vertices[m + next].x);
        glVertex3fv(&vertices[i].x); // side
        glVertex3fv(&vertices[m + i].x);
    }
    glEnd();
}

void Mesh::prender() {
    if (verticeAmount == 0) return;
    glBegin(GL_POINTS);
    for (unsigned v = 0; v < verticeAmount; ++v) glVertex3fv(&vertices[v].x);
    glEnd();
}

void Mesh::render() {
    glPushMatrix();
    glTranslatef(position.x, position.y, position.z);
    material.activate();

    const bool textured = material.getProperty(Material::kTextured);
    const bool perFace = material.getProperty(Material::kFaceNormals);
    const bool sOnly = material.getProperty(Material::kTexCoordSS);

    if (material.getProperty(Material::kLit) && faceAmount > 0) {
        glBegin(GL_TRIANGLES);
        for (unsigned f = 0; f < faceAmount; ++f) {
            if (perFace) glNormal3fv(&faceNormals[f].x);
            for (unsigned k = 3 * f; k < 3 * f + 3; ++k) {
                if (textured) {
                    const Vector2D& t = texCoords[faceTexCoords[k]];
                    glTexCoord2f(t.x, sOnly ? t.x : t.y);
                }
                if (!perFace) glNormal3fv(&vertexNormals[faces[k]].x);
                glVertex3fv(&vertices[faces[k]].x);
            }
        }
        glEnd();
    }

    const bool showVertexNormals = material.getProperty(Material::kShowVertexNormals);
    const bool showFaceNormals = material.getProperty(Material::kShowFaceNormals);
    if (showVertexNormals || showFaceNormals) {
        // The normal lines are unlit red, whichever of the two is drawn.
        glDisable(GL_LIGHTING);
        glColor3f(1.0f, 0.0f, 0.0f);
        glBegin(GL_LINES);
        if (showVertexNormals) {
            for (unsigned v = 0; v < verticeAmount; ++v) {
                const Vector3D tip = vertices[v] + vertexNormals[v];
                glVertex3fv(&vertices[v].x);
                glVertex3fv(&tip.x);
            }
        }
        if (showFaceNormals) {
            for (unsigned f = 0; f < faceAmount; ++f) {
                const Vector3D centre =
                    (vertices[faces[3 * f]] + vertices[faces[3 * f + 1]] + vertices[faces[3 * f + 2]]) / 3.0f;
                const Vector3D tip = centre + faceNormals[f];
                glVertex3fv(&centre.x);
                glVertex3fv(&tip.x);
            }
        }
        glEnd();
    }

    glPopMatrix();
}
