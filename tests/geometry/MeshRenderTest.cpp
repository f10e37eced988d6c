// Render modes, the material path and Model through a real Mesa context.
// OpenGL's feedback mode reports what a draw really sent (primitives, window
// positions, colours, unit-0 texture coordinates); unit 1 is checked on
// read-back pixels.
#include "support/GLContext.h"

#include "app/Engine.h"
#include "geometry/Model.h"
#include "geometry/mesh.h"
#include "image/Texture.h"
#include "platform/GLExt.h"

#include <GL/glu.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

namespace {

struct FbVertex {
    float x, y, z, rgba[4], stpq[4]; // window position, colour, unit-0 texture coordinate
};

struct FbPrimitive {
    GLenum kind; // GL_POLYGON_TOKEN, GL_LINE_TOKEN (stipple resets folded in) or GL_POINT_TOKEN
    std::vector<FbVertex> v;
};

// Runs `draw` in feedback mode and parses what GL received.
std::vector<FbPrimitive> feedback(const std::function<void()>& draw) {
    static std::vector<GLfloat> buf(1 << 20);
    static_assert(sizeof(FbVertex) == 11 * sizeof(GLfloat), "one GL_3D_COLOR_TEXTURE vertex");
    glFeedbackBuffer(static_cast<GLsizei>(buf.size()), GL_3D_COLOR_TEXTURE, buf.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint n = glRenderMode(GL_RENDER);
    EXPECT_GE(n, 0) << "feedback buffer overflow";
    std::vector<FbPrimitive> out;
    for (GLint i = 0; i < n;) {
        FbPrimitive p{static_cast<GLenum>(buf[i++]), {}};
        size_t count = 1;
        if (p.kind == GL_POLYGON_TOKEN) {
            count = static_cast<size_t>(buf[i++]);
        } else if (p.kind == GL_LINE_TOKEN || p.kind == GL_LINE_RESET_TOKEN) {
            p.kind = GL_LINE_TOKEN;
            count = 2;
        } else if (p.kind != GL_POINT_TOKEN) {
            ADD_FAILURE() << "unexpected feedback token " << p.kind;
            break;
        }
        p.v.resize(count);
        std::memcpy(p.v.data(), &buf[i], count * sizeof(FbVertex));
        i += static_cast<GLint>(count * 11);
        out.push_back(std::move(p));
    }
    return out;
}

// Window position of an object-space point under the current matrices.
Vector3D project(const Vector3D& p) {
    GLdouble model[16], proj[16], w[3];
    GLint view[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, proj);
    glGetIntegerv(GL_VIEWPORT, view);
    gluProject(p.x, p.y, p.z, model, proj, view, &w[0], &w[1], &w[2]);
    return Vector3D(float(w[0]), float(w[1]), float(w[2]));
}

bool at(const FbVertex& v, const Vector3D& p) {
    const Vector3D w = project(p);
    return std::fabs(v.x - w.x) < 0.01f && std::fabs(v.y - w.y) < 0.01f && std::fabs(v.z - w.z) < 1e-4f;
}

// The mesh vertex a feedback vertex came from, or -1.
int vertexIndex(const Mesh& m, const FbVertex& v) {
    for (unsigned i = 0; i < m.verticeAmount; ++i)
        if (at(v, m.vertices[i])) return static_cast<int>(i);
    return -1;
}

std::vector<std::pair<int, int>> lines(const Mesh& m, const std::vector<FbPrimitive>& prims) {
    std::vector<std::pair<int, int>> out;
    for (const FbPrimitive& p : prims) {
        EXPECT_EQ(p.kind, GLenum(GL_LINE_TOKEN));
        out.emplace_back(vertexIndex(m, p.v[0]), vertexIndex(m, p.v[1]));
    }
    return out;
}

Vector3D corner(const Mesh& m, unsigned k) { return m.vertices[m.faces[k]]; }
Vector2D cornerTex(const Mesh& m, unsigned k) { return m.texCoords[m.faceTexCoords[k]]; }

// Orthographic view of a 32 x 24 unit window, nothing enabled.
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
        for (GLenum cap : {GL_CULL_FACE, GL_DEPTH_TEST, GL_LIGHTING, GL_BLEND, GL_TEXTURE_2D}) glDisable(cap);
        glColor4f(1, 1, 1, 1);
    }
};

} // namespace

TEST_F(RenderTest, SolidModesSendTrianglesInFaceOrder) {
    Mesh cube;
    cube.makeCube(2);
    glColor4f(0.25f, 0.5f, 0.75f, 1);
    glTexCoord2f(0.125f, 0.375f);

    const auto solid = feedback([&] { cube.srender(); });
    const auto textured = feedback([&] { cube.trender(); });
    ASSERT_EQ(solid.size(), 12u);
    ASSERT_EQ(textured.size(), 12u);
    for (unsigned k = 0; k < 36; ++k) {
        ASSERT_EQ(solid[k / 3].kind, GLenum(GL_POLYGON_TOKEN));
        ASSERT_EQ(solid[k / 3].v.size(), 3u);
        const FbVertex& s = solid[k / 3].v[k % 3];
        EXPECT_TRUE(at(s, corner(cube, k))) << k;
        EXPECT_EQ(s.rgba[2], 0.75f); // no colour or texture coordinate of its own
        EXPECT_EQ(s.stpq[1], 0.375f);
        const FbVertex& t = textured[k / 3].v[k % 3];
        EXPECT_TRUE(at(t, corner(cube, k))) << k;
        EXPECT_EQ(t.stpq[0], cornerTex(cube, k).x) << k;
        EXPECT_EQ(t.stpq[1], cornerTex(cube, k).y) << k;
    }

    const auto points = feedback([&] { cube.prender(); });
    ASSERT_EQ(points.size(), 8u);
    for (unsigned i = 0; i < 8; ++i) EXPECT_EQ(vertexIndex(cube, points[i].v[0]), int(i));
}

TEST_F(RenderTest, WireModesDrawFirstEdgesAndTheCylinderOutline) {
    Mesh cube;
    cube.makeCube(1);
    // Nine cube edges, 2-3, 1-4 and 4-5 twice; no diagonal; 1-2, 3-0, 5-6 not at all.
    const std::vector<std::pair<int, int>> firstEdges = {{0, 1}, {2, 3}, {1, 4}, {4, 7}, {4, 5}, {6, 7},
                                                         {5, 0}, {3, 6}, {5, 4}, {4, 1}, {3, 2}, {2, 7}};
    EXPECT_EQ(lines(cube, feedback([&] { cube.wfrender(); })), firstEdges);

    Mesh cylinder;
    cylinder.makeCylinder(8, 2, 5);
    std::vector<std::pair<int, int>> outline; // a top octagon edge, then the vertical below its start
    for (int i = 2; i <= 9; ++i) {
        outline.emplace_back(8 + i, i == 9 ? 10 : 9 + i);
        outline.emplace_back(i, 8 + i);
    }
    EXPECT_EQ(lines(cylinder, feedback([&] { cylinder.wrender(); })), outline);

    // On a sphere the first edges form the latitude-longitude grid.
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
    glTranslatef(1, 2, 3);
    for (void (Mesh::*mode)() :
         {&Mesh::srender, &Mesh::trender, &Mesh::frender, &Mesh::wfrender, &Mesh::wrender, &Mesh::prender}) {
        (m.*mode)();
        for (GLenum cap : caps) EXPECT_EQ(glIsEnabled(cap), cap == GL_BLEND) << cap;
        GLfloat model[16], colour[4], width;
        GLint active, matrixMode;
        glGetFloatv(GL_MODELVIEW_MATRIX, model);
        glGetFloatv(GL_CURRENT_COLOR, colour);
        glGetFloatv(GL_LINE_WIDTH, &width);
        glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &active);
        glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
        EXPECT_EQ(model[13], 2.0f);
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
    std::vector<unsigned char> ramp(256 * 256 * 3, 0);
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
    auto centreWithNormal = [&](Vector3D n, float degrees) {
        for (unsigned v = 0; v < cube.verticeAmount; ++v) cube.vertexNormals[v] = n;
        glClear(GL_COLOR_BUFFER_BIT);
        glPushMatrix();
        glRotatef(degrees, 0.3f, 1, 0.2f); // the camera does not change the coordinates
        cube.frender();
        glPopMatrix();
        return testgl::readPixel(512, 384);
    };
    for (float degrees : {0.0f, 50.0f}) {
        EXPECT_EQ(centreWithNormal(Vector3D(0, 1, 0), degrees), (std::array<int, 3>{128, 255, 0})); // (0.5, 1)
        EXPECT_EQ(centreWithNormal(Vector3D(1, 0, 0), degrees), (std::array<int, 3>{255, 128, 0})); // (1, 0.5)
        EXPECT_EQ(centreWithNormal(Vector3D(-1, -1, 0), degrees), (std::array<int, 3>{0, 0, 0}));
    }
    // Unit 0 carries the mesh's own texture coordinates.
    const auto sent = feedback([&] { cube.frender(); });
    ASSERT_EQ(sent.size(), 12u);
    for (unsigned k = 0; k < 36; ++k) {
        EXPECT_EQ(sent[k / 3].v[k % 3].stpq[0], cornerTex(cube, k).x) << k;
        EXPECT_EQ(sent[k / 3].v[k % 3].stpq[1], cornerTex(cube, k).y) << k;
    }

    // Looking straight at the sphere's +y pole, where the zero-area pole
    // triangles meet: the inward normals there look up the bottom rows
    // (t near 0), never a texel from not-a-number coordinates.
    Mesh sphere;
    sphere.makeSphere(10, 64);
    sphere.createNormals();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glRotatef(90, 1, 0, 0); // +y towards the viewer
    sphere.frender();
    glDisable(GL_DEPTH_TEST);
    for (int d : {-3, 0, 3}) {
        const auto px = testgl::readPixel(512 + d, 384 + d);
        EXPECT_NEAR(px[0], 128, 8) << d;
        EXPECT_LT(px[1], 8) << d;
    }

    arb::glActiveTextureARB(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
    arb::glActiveTextureARB(GL_TEXTURE0_ARB);
    glDeleteTextures(1, &tex);
}

TEST_F(RenderTest, MaterialPathDrawsWhatItsBitsSay) {
    Mesh cube;
    cube.makeCube(2);
    cube.createNormals();
    // One white light from +z and no colour material: lit corners come out
    // grey whatever the current (blue) colour.
    const GLfloat dir[4] = {0, 0, 1, 0}, white[4] = {1, 1, 1, 1};
    glLightfv(GL_LIGHT0, GL_POSITION, dir);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glEnable(GL_LIGHT0);
    glColor3f(0, 0, 1);

    // A fresh material: lit, textured triangles plus a red face-normal line each.
    cube.setPosition(Vector3D(3, 0, 0));
    const auto sent = feedback([&] { cube.render(); });
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    ASSERT_EQ(sent.size(), 24u);
    glTranslatef(3, 0, 0);
    for (unsigned f = 0; f < 12; ++f) {
        for (unsigned k = 3 * f; k < 3 * f + 3; ++k) {
            const FbVertex& v = sent[f].v[k % 3];
            EXPECT_TRUE(at(v, corner(cube, k)));
            EXPECT_EQ(v.stpq[1], cornerTex(cube, k).y);
            EXPECT_EQ(v.rgba[0], v.rgba[2]) << "lit, not the current colour";
        }
        const FbPrimitive& line = sent[12 + f];
        ASSERT_EQ(line.kind, GLenum(GL_LINE_TOKEN));
        EXPECT_EQ(line.v[0].rgba[0], 1.0f);
        EXPECT_EQ(line.v[0].rgba[2], 0.0f);
        const Vector3D centre = (corner(cube, 3 * f) + corner(cube, 3 * f + 1) + corner(cube, 3 * f + 2)) / 3.0f;
        EXPECT_TRUE(at(line.v[0], centre)) << f;
        EXPECT_TRUE(at(line.v[1], centre + cube.faceNormals[f])) << f;
    }
    EXPECT_NE(sent[0].v[0].rgba[0], sent[0].v[1].rgba[0]); // vertex normals: lit unevenly
    glLoadIdentity();

    // Face normals, (s, s) coordinates and vertex-normal lines.
    cube.material.setPropereties(Material::kLit | Material::kTextured | Material::kFaceNormals |
                                 Material::kTexCoordSS | Material::kShowVertexNormals);
    const auto flat = feedback([&] { cube.render(); });
    ASSERT_EQ(flat.size(), 12u + 8u);
    for (unsigned f = 0; f < 12; ++f) {
        const float lit = flat[f].v[0].rgba[0];
        for (const FbVertex& v : flat[f].v) {
            EXPECT_EQ(v.rgba[0], lit) << f; // one normal per triangle
            EXPECT_EQ(v.stpq[1], v.stpq[0]);
        }
        EXPECT_EQ(lit > 0.8f, f < 2) << f; // only the +z side faces the light
    }
    glTranslatef(3, 0, 0);
    EXPECT_TRUE(at(flat[12 + 3].v[1], cube.vertices[3] + cube.vertexNormals[3]));

    // No bits: unlit, texturing left alone, nothing drawn, the material colour current.
    cube.material.setPropereties(0);
    cube.material.setColor(0.25f, 0.5f, 0.75f);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_LIGHTING);
    EXPECT_TRUE(feedback([&] { cube.render(); }).empty());
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[2], 0.75f);
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
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
    EXPECT_TRUE(at(sent[0].v[1], Vector3D(3, 0, -1))); // vertex 1 (1, 1, 1) turned, then moved
    GLint bound;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), engine->textureManager->names[engine->textures[kSlotModel]]);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    GLfloat modelView[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    EXPECT_EQ(modelView[12], 0.0f); // popped
    glDisable(GL_TEXTURE_2D);
}
