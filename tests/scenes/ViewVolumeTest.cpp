// ViewVolume and the face-list render modes: the planes a point lies outside
// of, and that leaving out what the volume culls changes no pixel, for a
// room seen from inside (triangles, and anti-aliased blended lines) at the
// full and at the glow-source size.
#include "support/GLContext.h"

#include "geometry/mesh.h"
#include "scenes/SceneShared.h"
#include "scenes/ViewVolume.h"

#include <GL/glu.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace {

class ViewVolumeTest : public GLTest {};

// The demo's 3D set-up: 45 degrees, aspect 1.25, near 0.5, far 500.
void perspective(int w, int h) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45, 1.25, 0.5, 500);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glViewport(0, 0, w, h);
}

TEST_F(ViewVolumeTest, TellsThePlanesAPointLiesOutsideOf) {
    perspective(1024, 768);
    gluLookAt(0, 0, 0, 0, 0, -1, 0, 1, 0);
    const ViewVolume volume(0);
    EXPECT_EQ(volume.outside({0, 0, -10}), 0u);
    // Half the height at distance 10 is 10 tan 22.5 = 4.14, half the width 5.18.
    EXPECT_EQ(volume.outside({-5.1f, 4.1f, -10}), 0u);
    EXPECT_EQ(volume.outside({-5.3f, 0, -10}), 1u);  // left
    EXPECT_EQ(volume.outside({5.3f, 0, -10}), 2u);   // right
    EXPECT_EQ(volume.outside({0, -4.2f, -10}), 4u);  // below
    EXPECT_EQ(volume.outside({0, 4.2f, -10}), 8u);   // above
    EXPECT_EQ(volume.outside({0, 0, -0.4f}), 16u);   // nearer than the near plane
    EXPECT_EQ(volume.outside({0, 0, -501}), 32u);    // beyond the far plane
    EXPECT_NE(volume.outside({0, 0, 10}), 0u);       // behind the eye
    // A margin of 5 % keeps what lies just outside a side; a negative one
    // leaves out what lies just inside.
    EXPECT_EQ(ViewVolume(0.05f).outside({-5.3f, 0, -10}), 0u);
    EXPECT_EQ(ViewVolume(-0.05f).outside({5.0f, 0, -10}), 2u);
    EXPECT_EQ(ViewVolume(-0.05f).outside({0, 0, -0.51f}), 16u); // 0.51 ahead: inside the view (near 0.5), not the volume drawn in
    EXPECT_TRUE(ViewVolume::culled(1, 1, 3));
    EXPECT_FALSE(ViewVolume::culled(1, 2, 1));
    EXPECT_FALSE(ViewVolume::culled(1, 0));
}

std::vector<unsigned char> picture(int w, int h) {
    std::vector<unsigned char> p(static_cast<size_t>(w) * h * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, p.data());
    return p;
}

// The room from inside, whole and with only the faces (or first edges) the
// volume keeps: the same pixels.
TEST_F(ViewVolumeTest, LeavingOutCulledFacesAndLinesChangesNoPixel) {
    Mesh room;
    room.makeSphere(1, 64);
    for (unsigned v = 0; v < room.verticeAmount; ++v) {
        Vector3D& p = room.vertices[v];
        p = p * ((0.3f * (sinf(12 * p.x + 20) + cosf(12 * p.y + 25)) + 1.2f) * 100);
    }
    room.createNormals();
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glDepthFunc(GL_LESS);
    for (int size : {1024, 128}) {
        const int h = size == 1024 ? 768 : 128;
        for (const Vector3D& eye : {Vector3D(10, 20, -30), Vector3D(-40, -5, 10)}) {
            perspective(size, h);
            gluLookAt(eye.x, eye.y, eye.z, 0, 0, 40, 0, 1, 0);
            const ViewVolume volume;
            std::vector<unsigned> faces, edges;
            for (unsigned f = 0; f < room.faceAmount; ++f) {
                const unsigned a = volume.outside(room.vertices[room.faces[3 * f]]);
                const unsigned b = volume.outside(room.vertices[room.faces[3 * f + 1]]);
                const unsigned c = volume.outside(room.vertices[room.faces[3 * f + 2]]);
                if (!ViewVolume::culled(a, b, c)) faces.push_back(f);
                if (!ViewVolume::culled(a, b)) edges.push_back(f);
            }
            EXPECT_LT(faces.size(), room.faceAmount / 4);
            EXPECT_GT(faces.size(), 100u);
            auto draw = [&](bool all) {
                glClearColor(0, 0, 0, 1);
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                glEnable(GL_DEPTH_TEST);
                glDisable(GL_BLEND);
                glColor3f(0.5f, 0.2f, 0.1f);
                if (all)
                    room.frender();
                else
                    room.frender(faces.data(), static_cast<unsigned>(faces.size()));
                glDisable(GL_DEPTH_TEST);
                glEnable(GL_BLEND);
                glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
                glColor4f(1, 1, 1, 0.6f);
                if (all)
                    room.wfrender();
                else
                    room.wfrender(edges.data(), static_cast<unsigned>(edges.size()));
                return picture(size, h);
            };
            const std::vector<unsigned char> whole = draw(true), culled = draw(false);
            EXPECT_TRUE(whole == culled) << "viewport " << size << ", eye " << eye.x;
            // Neither is empty: the wall and its lines show.
            long lit = 0;
            for (unsigned char c : whole) lit += c > 200;
            EXPECT_GT(lit, 10);
        }
    }
    glDisable(GL_BLEND);
    glDisable(GL_LINE_SMOOTH);
}

// The face-list modes send the listed faces, in the list's order.
TEST_F(ViewVolumeTest, FaceListModesSendTheListedFacesInOrder) {
    Mesh cube;
    cube.makeCube(1);
    cube.createNormals();
    perspective(1024, 768);
    gluLookAt(0, 0, 5, 0, 0, 0, 0, 1, 0);
    glDisable(GL_CULL_FACE);
    std::vector<GLfloat> buffer(4096);
    auto sent = [&](auto draw) {
        glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D, buffer.data());
        glRenderMode(GL_FEEDBACK);
        draw();
        const int n = glRenderMode(GL_RENDER);
        std::vector<float> firstX; // window x of each primitive's first corner
        for (int i = 0; i < n;) {
            const int token = static_cast<int>(buffer[i]);
            const int corners = token == GL_POLYGON_TOKEN ? static_cast<int>(buffer[i + 1]) : 2;
            const int at = token == GL_POLYGON_TOKEN ? i + 2 : i + 1;
            firstX.push_back(buffer[at]);
            i = at + corners * 3;
        }
        return firstX;
    };
    const unsigned list[2] = {1, 0}; // the front side's two triangles, swapped
    const auto both = sent([&] { cube.frender(); });
    const auto listed = sent([&] { cube.frender(list, 2); });
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0], both[1]);
    EXPECT_EQ(listed[1], both[0]);
    EXPECT_EQ(sent([&] { cube.wfrender(list, 2); }).size(), 2u);
    EXPECT_TRUE(sent([&] { cube.frender(list, 0); }).empty());
}

} // namespace

// The wide view keeps every window coordinate: triangles inside the view
// come out byte for byte, and those across its border (which GL clipped
// before) cover the same pixels but for a few along the border. The
// viewport, the projection and the scissor are as they were afterwards, and
// a scissor already on (the glow source's corner) stays. A view of odd size
// (a picture between black bars) keeps its place too.
TEST_F(ViewVolumeTest, WideViewKeepsThePictureAndPutsTheViewBack) {
    std::srand(3);
    auto random = [](float lo, float hi) { return lo + (hi - lo) * static_cast<float>(std::rand()) / RAND_MAX; };
    struct Triangle {
        float v[3][3], rgb[3];
    };
    std::vector<Triangle> inside, across;
    for (int n = 0; n < 200; ++n) {
        Triangle t{};
        const float z = random(-40, -5), reach = -z * 0.4f; // about the view's half-height at z
        for (auto& v : t.v) v[0] = random(-reach, reach), v[1] = random(-reach, reach), v[2] = z;
        for (float& c : t.rgb) c = random(0, 1);
        inside.push_back(t);
        for (auto& v : t.v) v[0] *= 2.5f, v[1] *= 2.5f;
        across.push_back(t);
    }
    for (int scissored = 0; scissored < 3; ++scissored)
        for (const std::vector<Triangle>* set : {&inside, &across}) {
            const int w = scissored == 2 ? 1023 : 1024, h = scissored == 2 ? 767 : 768;
            std::vector<unsigned char> pictures[2];
            for (int wide = 0; wide < 2; ++wide) {
                perspective(w, h);
                if (scissored == 1) glScissor(0, 0, 128, 128), glEnable(GL_SCISSOR_TEST);
                glClearColor(1, 1, 1, 1);
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                glEnable(GL_DEPTH_TEST);
                GLfloat projection[16];
                glGetFloatv(GL_PROJECTION_MATRIX, projection);
                {
                    std::optional<WideView> view;
                    if (wide) view.emplace();
                    glBegin(GL_TRIANGLES);
                    for (const Triangle& t : *set) {
                        glColor3fv(t.rgb);
                        for (const auto& v : t.v) glVertex3fv(v);
                    }
                    glEnd();
                }
                pictures[wide] = picture(w, h);
                GLint viewport[4];
                GLfloat after[16];
                glGetIntegerv(GL_VIEWPORT, viewport);
                glGetFloatv(GL_PROJECTION_MATRIX, after);
                EXPECT_EQ(viewport[2], w);
                EXPECT_EQ(viewport[3], h);
                EXPECT_EQ(0, std::memcmp(projection, after, sizeof after));
                EXPECT_EQ(glIsEnabled(GL_SCISSOR_TEST), scissored == 1);
                glDisable(GL_SCISSOR_TEST);
                glDisable(GL_DEPTH_TEST);
            }
            long differing = 0;
            for (size_t i = 0; i < pictures[0].size(); ++i) differing += pictures[0][i] != pictures[1][i];
            if (set == &inside)
                EXPECT_EQ(differing, 0) << "scissored " << scissored;
            else
                EXPECT_LT(differing, 200) << "scissored " << scissored; // of 2.36 million bytes
        }
}
