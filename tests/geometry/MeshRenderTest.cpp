// Render modes, the material path and Model through a real Mesa context:
// OpenGL's feedback mode reports what a draw really sent (primitives,
// window positions, colours, unit-0 texture coordinates); unit 1 is checked
// on read-back pixels.
#include "support/GLContext.h"

#include "app/Engine.h"
#include "geometry/Model.h"
#include "geometry/mesh.h"
#include "image/Texture.h"
#include "platform/GLExt.h"

#include <GL/glu.h>

#include <cmath>
#include <functional>
#include <utility>
#include <vector>

namespace {

struct FbVertex {
    float x, y, z;    // window coordinates
    float rgba[4];    // colour as rasterised
    float stpq[4];    // unit-0 texture coordinate
};

struct FbPrimitive {
    GLenum kind; // GL_POLYGON_TOKEN, GL_LINE_TOKEN (resets folded in) or GL_POINT_TOKEN
    std::vector<FbVertex> v;
};

// Runs `draw` in feedback mode and parses what GL received.
std::vector<FbPrimitive> feedback(const std::function<void()>& draw) {
    static std::vector<GLfloat> buffer(1 << 20);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint n = glRenderMode(GL_RENDER);
    EXPECT_GE(n, 0) << "feedback buffer overflow";
    std::vector<FbPrimitive> out;
    auto vertexAt = [&](GLint& i) {
        FbVertex v;
        float* dst[11] = {&v.x, &v.y, &v.z, v.rgba, v.rgba + 1, v.rgba + 2, v.rgba + 3,
                          v.stpq, v.stpq + 1, v.stpq + 2, v.stpq + 3};
        for (float* d : dst) *d = buffer[i++];
        return v;
    };
    for (GLint i = 0; i < n;) {
        const GLenum token = static_cast<GLenum>(buffer[i++]);
        FbPrimitive p;
        int count = 0;
        if (token == GL_POLYGON_TOKEN) {
            p.kind = GL_POLYGON_TOKEN;
            count = static_cast<int>(buffer[i++]);
        } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            p.kind = GL_LINE_TOKEN;
            count = 2;
        } else if (token == GL_POINT_TOKEN) {
            p.kind = GL_POINT_TOKEN;
            count = 1;
        } else {
            ADD_FAILURE() << "unexpected feedback token " << token;
            break;
        }
        for (int k = 0; k < count; ++k) p.v.push_back(vertexAt(i));
        out.push_back(std::move(p));
    }
    return out;
}

class RenderTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        if (IsSkipped()) return;
        glViewport(0, 0, 1024, 768);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-16, 16, -12, 12, -50, 50);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_CULL_FACE);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_LIGHTING);
        glDisable(GL_BLEND);
        glDisable(GL_TEXTURE_2D);
        glColor4f(1, 1, 1, 1);
    }

    // Window position of an object-space point under the current matrices.
    static Vector3D project(const Vector3D& p) {
        GLdouble model[16], proj[16], wx, wy, wz;
        GLint view[4];
        glGetDoublev(GL_MODELVIEW_MATRIX, model);
        glGetDoublev(GL_PROJECTION_MATRIX, proj);
        glGetIntegerv(GL_VIEWPORT, view);
        gluProject(p.x, p.y, p.z, model, proj, view, &wx, &wy, &wz);
        return Vector3D(float(wx), float(wy), float(wz));
    }

    static bool at(const FbVertex& v, const Vector3D& w) {
        return std::fabs(v.x - w.x) < 0.01f && std::fabs(v.y - w.y) < 0.01f && std::fabs(v.z - w.z) < 1e-4f;
    }

    // Index of the mesh vertex that projects onto a feedback vertex, or -1.
    static int vertexIndex(const Mesh& m, const FbVertex& v) {
        for (unsigned i = 0; i < m.verticeAmount; ++i)
            if (at(v, project(m.vertices[i]))) return static_cast<int>(i);
        return -1;
    }

    static std::vector<std::pair<int, int>> lines(const Mesh& m, const std::vector<FbPrimitive>& prims) {
        std::vector<std::pair<int, int>> out;
        for (const FbPrimitive& p : prims) {
            EXPECT_EQ(p.kind, GLenum(GL_LINE_TOKEN));
            if (p.v.size() == 2) out.emplace_back(vertexIndex(m, p.v[0]), vertexIndex(m, p.v[1]));
        }
        return out;
    }
};

} // namespace

TEST_F(RenderTest, SolidModesSendTrianglesInFaceOrder) {
    Mesh cube;
    cube.makeCube(2);
    glColor4f(0.25f, 0.5f, 0.75f, 1);
    glTexCoord4f(0.125f, 0.375f, 0, 1);
    glNormal3f(0.2f, 0.3f, 0.4f);

    const auto solid = feedback([&] { cube.srender(); });
    ASSERT_EQ(solid.size(), 12u);
    for (unsigned f = 0; f < 12; ++f) {
        ASSERT_EQ(solid[f].kind, GLenum(GL_POLYGON_TOKEN));
        ASSERT_EQ(solid[f].v.size(), 3u);
        for (int k = 0; k < 3; ++k) {
            const FbVertex& v = solid[f].v[k];
            EXPECT_TRUE(at(v, project(cube.vertices[cube.faces[3 * f + k]]))) << f << " " << k;
            // No colour or texture coordinate of its own.
            EXPECT_FLOAT_EQ(v.rgba[2], 0.75f);
            EXPECT_EQ(v.stpq[0], 0.125f);
            EXPECT_EQ(v.stpq[1], 0.375f);
        }
    }
    GLfloat normal[3];
    glGetFloatv(GL_CURRENT_NORMAL, normal);
    EXPECT_EQ(normal[0], 0.2f);
    EXPECT_EQ(normal[2], 0.4f);

    const auto textured = feedback([&] { cube.trender(); });
    ASSERT_EQ(textured.size(), 12u);
    for (unsigned f = 0; f < 12; ++f) {
        for (int k = 0; k < 3; ++k) {
            const unsigned c = 3 * f + k;
            const FbVertex& v = textured[f].v[k];
            EXPECT_TRUE(at(v, project(cube.vertices[cube.faces[c]])));
            EXPECT_EQ(v.stpq[0], cube.texCoords[cube.faceTexCoords[c]].x) << f << " " << k;
            EXPECT_EQ(v.stpq[1], cube.texCoords[cube.faceTexCoords[c]].y) << f << " " << k;
        }
    }

    const auto points = feedback([&] { cube.prender(); });
    ASSERT_EQ(points.size(), 8u);
    for (unsigned i = 0; i < 8; ++i) EXPECT_EQ(vertexIndex(cube, points[i].v[0]), int(i));
}

TEST_F(RenderTest, WireModesDrawFirstEdgesAndTheCylinderOutline) {
    Mesh cube;
    cube.makeCube(1);
    // Nine cube edges, three of them twice; no diagonal; 1-2, 3-0, 5-6 not at all.
    const std::vector<std::pair<int, int>> firstEdges = {{0, 1}, {2, 3}, {1, 4}, {4, 7}, {4, 5}, {6, 7},
                                                         {5, 0}, {3, 6}, {5, 4}, {4, 1}, {3, 2}, {2, 7}};
    EXPECT_EQ(lines(cube, feedback([&] { cube.wfrender(); })), firstEdges);

    Mesh cylinder;
    cylinder.makeCylinder(8, 2, 5);
    std::vector<std::pair<int, int>> outline; // top octagon edge, then the vertical below its start
    for (int i = 2; i <= 9; ++i) {
        outline.emplace_back(8 + i, i == 9 ? 10 : 9 + i);
        outline.emplace_back(i, 8 + i);
    }
    EXPECT_EQ(lines(cylinder, feedback([&] { cylinder.wrender(); })), outline);

    // On a sphere the first edges are the latitude-longitude grid.
    Mesh sphere;
    sphere.makeSphere(10, 6);
    const auto grid = lines(sphere, feedback([&] { sphere.wfrender(); }));
    ASSERT_EQ(grid.size(), 72u);
    const unsigned k = 6 * 1 + 1;                      // ring 1, column 1
    EXPECT_EQ(grid[2 * k], std::make_pair(8, 9));      // V(1, 1)-V(1, 2): latitude
    EXPECT_EQ(grid[2 * k + 1], std::make_pair(9, 16)); // V(1, 2)-V(2, 2): longitude
}

TEST_F(RenderTest, PlainModesChangeNoState) {
    Mesh m;
    m.makeCylinder(6, 3, 4);
    m.createNormals();
    const GLenum caps[] = {GL_LIGHTING, GL_TEXTURE_2D, GL_BLEND, GL_DEPTH_TEST, GL_CULL_FACE, GL_FOG};
    glEnable(GL_BLEND);
    glLineWidth(2);
    glColor4f(0.5f, 0.25f, 1, 0.5f);
    arb::glActiveTextureARB(GL_TEXTURE0_ARB);
    for (void (Mesh::*mode)() : {&Mesh::srender, &Mesh::trender, &Mesh::frender, &Mesh::wfrender,
                                 &Mesh::wrender, &Mesh::prender}) {
        GLboolean before[6], after[6];
        for (int i = 0; i < 6; ++i) before[i] = glIsEnabled(caps[i]);
        GLfloat model[16], model2[16], colour[4], width;
        glGetFloatv(GL_MODELVIEW_MATRIX, model);
        (m.*mode)();
        glGetFloatv(GL_MODELVIEW_MATRIX, model2);
        glGetFloatv(GL_CURRENT_COLOR, colour);
        glGetFloatv(GL_LINE_WIDTH, &width);
        GLint active, matrixMode;
        glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &active);
        glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
        for (int i = 0; i < 6; ++i) after[i] = glIsEnabled(caps[i]);
        for (int i = 0; i < 6; ++i) EXPECT_EQ(before[i], after[i]) << i;
        for (int i = 0; i < 16; ++i) EXPECT_EQ(model[i], model2[i]);
        EXPECT_EQ(colour[1], 0.25f);
        EXPECT_EQ(colour[3], 0.5f);
        EXPECT_EQ(width, 2.0f);
        EXPECT_EQ(active, GL_TEXTURE0_ARB);
        EXPECT_EQ(matrixMode, GL_MODELVIEW);
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
    glDisable(GL_BLEND);
    glLineWidth(1);
}

// Unit 1 holds a 256 x 256 lookup whose texel (i, j) is (i, j, 0): the
// read-back colour tells the unit-1 coordinate frender sent.
TEST_F(RenderTest, ReflectionCoordinatesComeFromObjectSpaceNormals) {
    std::vector<unsigned char> ramp(256 * 256 * 3);
    for (int j = 0; j < 256; ++j)
        for (int i = 0; i < 256; ++i) {
            ramp[3 * (j * 256 + i)] = static_cast<unsigned char>(i);
            ramp[3 * (j * 256 + i) + 1] = static_cast<unsigned char>(j);
        }
    GLuint tex;
    glGenTextures(1, &tex);
    arb::glActiveTextureARB(GL_TEXTURE1_ARB);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, 256, 256, 0, GL_RGB, GL_UNSIGNED_BYTE, ramp.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glEnable(GL_TEXTURE_2D);
    arb::glActiveTextureARB(GL_TEXTURE0_ARB);

    Mesh cube;
    cube.makeCube(4);
    cube.createNormals();
    auto drawWithNormal = [&](Vector3D n, float degrees) {
        for (unsigned v = 0; v < cube.verticeAmount; ++v) cube.vertexNormals[v] = n;
        glClear(GL_COLOR_BUFFER_BIT);
        glPushMatrix();
        glRotatef(degrees, 0.3f, 1, 0.2f); // the camera does not change the coordinates
        cube.frender();
        glPopMatrix();
        return testgl::readPixel(512, 384);
    };
    for (float degrees : {0.0f, 50.0f}) {
        EXPECT_EQ(drawWithNormal(Vector3D(0, 1, 0), degrees), (std::array<int, 3>{128, 255, 0})); // (0.5, 1)
        EXPECT_EQ(drawWithNormal(Vector3D(1, 0, 0), degrees), (std::array<int, 3>{255, 128, 0})); // (1, 0.5)
        EXPECT_EQ(drawWithNormal(Vector3D(-1, -1, 0), degrees), (std::array<int, 3>{0, 0, 0}));
    }
    // Unit 0 carries the mesh's own texture coordinates.
    cube.createNormals();
    const auto sent = feedback([&] { cube.frender(); });
    ASSERT_EQ(sent.size(), 12u);
    for (unsigned c = 0; c < 36; ++c) {
        EXPECT_EQ(sent[c / 3].v[c % 3].stpq[0], cube.texCoords[cube.faceTexCoords[c]].x) << c;
        EXPECT_EQ(sent[c / 3].v[c % 3].stpq[1], cube.texCoords[cube.faceTexCoords[c]].y) << c;
    }

    // Looking straight at the sphere's +y pole, where the zero-area pole
    // triangles meet: the inward normals there look up the bottom rows
    // (t near 0), never a texel from not-a-number coordinates.
    Mesh sphere;
    sphere.makeSphere(10, 64);
    sphere.createNormals();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glPushMatrix();
    glRotatef(90, 1, 0, 0); // +y towards the viewer
    sphere.frender();
    glPopMatrix();
    glDisable(GL_DEPTH_TEST);
    for (int dx : {-3, 0, 3}) {
        const auto px = testgl::readPixel(512 + dx, 384 + dx);
        EXPECT_NEAR(px[0], 128, 8) << dx;
        EXPECT_LT(px[1], 8) << dx;
    }

    arb::glActiveTextureARB(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
    arb::glActiveTextureARB(GL_TEXTURE0_ARB);
    glDeleteTextures(1, &tex);
}

TEST_F(RenderTest, FreshMaterialDrawsLitTexturedTrianglesAndRedFaceNormals) {
    Mesh cube;
    cube.makeCube(2);
    cube.createNormals();
    cube.setPosition(Vector3D(3, 0, 0));
    // One white directional light from +z, no colour material: lit corners
    // come out grey whatever the current (blue) colour is.
    const GLfloat dir[4] = {0, 0, 1, 0}, white[4] = {1, 1, 1, 1};
    glLightfv(GL_LIGHT0, GL_POSITION, dir);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glEnable(GL_LIGHT0);
    glColor3f(0, 0, 1);

    const auto sent = feedback([&] { cube.render(); });
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING)); // the normal lines switch it off
    ASSERT_EQ(sent.size(), 24u);
    glPushMatrix();
    glTranslatef(3, 0, 0);
    for (unsigned f = 0; f < 12; ++f) {
        const FbPrimitive& tri = sent[f];
        ASSERT_EQ(tri.kind, GLenum(GL_POLYGON_TOKEN));
        for (int k = 0; k < 3; ++k) {
            const unsigned c = 3 * f + k;
            EXPECT_TRUE(at(tri.v[k], project(cube.vertices[cube.faces[c]])));
            EXPECT_EQ(tri.v[k].stpq[1], cube.texCoords[cube.faceTexCoords[c]].y);
            EXPECT_EQ(tri.v[k].rgba[0], tri.v[k].rgba[2]) << "lit, not the current colour";
        }
        const FbPrimitive& line = sent[12 + f];
        ASSERT_EQ(line.kind, GLenum(GL_LINE_TOKEN));
        EXPECT_EQ(line.v[0].rgba[0], 1.0f);
        EXPECT_EQ(line.v[0].rgba[2], 0.0f);
        const Vector3D centre = (cube.vertices[cube.faces[3 * f]] + cube.vertices[cube.faces[3 * f + 1]] +
                                 cube.vertices[cube.faces[3 * f + 2]]) / 3.0f;
        EXPECT_TRUE(at(line.v[0], project(centre))) << f;
        EXPECT_TRUE(at(line.v[1], project(centre + cube.faceNormals[f]))) << f;
    }
    glPopMatrix();
    // Vertex normals: the +z face's corners are lit unevenly; vertex 1's
    // normal leans a third towards the light, vertex 2's more.
    EXPECT_NE(sent[0].v[0].rgba[0], sent[0].v[1].rgba[0]);

    // Face normals instead, (s, s) coordinates, vertex-normal lines.
    cube.material.setPropereties(Material::kLit | Material::kTextured | Material::kFaceNormals |
                                 Material::kTexCoordSS | Material::kShowVertexNormals);
    const auto flat = feedback([&] { cube.render(); });
    ASSERT_EQ(flat.size(), 12u + 8u);
    for (unsigned f = 0; f < 12; ++f) {
        const float lit = flat[f].v[0].rgba[0];
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(flat[f].v[k].rgba[0], lit) << f; // one normal per triangle
            EXPECT_EQ(flat[f].v[k].stpq[1], flat[f].v[k].stpq[0]);
        }
        if (f < 2) EXPECT_GT(lit, 0.8f); // the +z side faces the light (diffuse 0.8)
        else EXPECT_LT(lit, 0.5f);
    }
    glPushMatrix();
    glTranslatef(3, 0, 0);
    EXPECT_TRUE(at(flat[12 + 3].v[1], project(cube.vertices[3] + cube.vertexNormals[3])));
    glPopMatrix();

    // Nothing set: unlit, untextured, nothing drawn, the material colour current.
    cube.material.setPropereties(0);
    cube.material.setColor(0.25f, 0.5f, 0.75f);
    glDisable(GL_TEXTURE_2D);
    EXPECT_TRUE(feedback([&] { cube.render(); }).empty());
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[2], 0.75f);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    cube.material.setProperty(Material::kShowFaceNormals);
    EXPECT_TRUE(cube.material.getProperty(Material::kShowFaceNormals));
    EXPECT_FALSE(cube.material.getProperty(Material::kLit));
    glDisable(GL_LIGHT0);
}

TEST_F(RenderTest, ModelTransformsItsMeshesAndBindsTheModelSlot) {
    if (engine == nullptr) {
        engine = new Engine();
        engine->init();
    }
    Mesh cube;
    cube.makeCube(1);
    cube.createNormals();
    cube.material.setPropereties(Material::kLit);
    Model model;
    model.addMesh(&cube);
    model.setPosition(2, -1, 0);
    model.setRotation(0, 90, 0); // degrees: +x turns to -z

    glBindTexture(GL_TEXTURE_2D, 0);
    const auto sent = feedback([&] { model.render(); });
    ASSERT_EQ(sent.size(), 12u);
    // Vertex 1 (1, 1, 1) lands at (2, -1, 0) + (1, 1, -1).
    EXPECT_TRUE(at(sent[0].v[1], project(Vector3D(3, 0, -1))));
    GLint bound;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), engine->textureManager->names[engine->textures[kSlotModel]]);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    GLfloat modelView[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    EXPECT_EQ(modelView[12], 0.0f); // popped
    glDisable(GL_TEXTURE_2D);
}
