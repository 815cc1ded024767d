// Camera: the field-of-view rules, the look-at view, the saved matrices,
// project/unproject and their failures, and segments and axis lines drawn in
// a real 320x480 GL window and read back.
#include <vostrel/render/render.h>
#include <vostrel/render/render_internal.h>

#include "support.h"

#include <gtest/gtest.h>

#include <GLES/gl.h>
#include <math.h>
#include <string.h>

#include <vector>

namespace {

const Rect screen = {0.0f, 320.0f, 0.0f, 480.0f};
const uint8_t white[4] = {255, 255, 255, 255};

double deg(double rad) { return rad * 180.0 / M_PI; }

// Row-major element (row, column).
float at(const float *m, int row, int col) { return m[row * 4 + col]; }

struct Pixels {
    std::vector<uint8_t> px = read_pixels(0, 0, 320, 480);
    bool lit(int x, int y) const {
        if (x < 0 || y < 0 || x >= 320 || y >= 480) return false;
        const uint8_t *p = &px[(static_cast<size_t>(y) * 320 + x) * 4];
        return p[0] > 127 || p[1] > 127 || p[2] > 127;
    }
    bool lit_near(int x, int y, int r = 1) const {
        for (int dy = -r; dy <= r; dy++)
            for (int dx = -r; dx <= r; dx++)
                if (lit(x + dx, y + dy)) return true;
        return false;
    }
    int lit_count() const {
        int n = 0;
        for (int y = 0; y < 480; y++)
            for (int x = 0; x < 320; x++)
                n += lit(x, y);
        return n;
    }
};

class Camera3d : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(shared_window().ok);
        gl_release();
        gl_init();
        gl_set_viewport(&screen);
        gl_begin_2d(&screen);
        glLoadIdentity();
        frame_begin(&screen);
        gl_set_color(white);
    }
    void TearDown() override {
        gl_begin_2d(&screen);
        glLoadIdentity();
        gl_release();
    }
};

TEST_F(Camera3d, PortraitAspectTakesTheAngleAsHorizontal) {
    const float eye[3] = {0, 0, 5}, target[3] = {0, 0, 0}, up[3] = {0, 1, 0};
    camera_setup(eye, target, up, 60.0f, 320.0f / 480.0f, 1.0f, 100.0f);
    // P(0,0) = cot(horizontal / 2), P(1,1) = cot(vertical / 2).
    const double horizontal = 2 * deg(atan(1.0 / at(camera_projection, 0, 0)));
    const double vertical = 2 * deg(atan(1.0 / at(camera_projection, 1, 1)));
    EXPECT_NEAR(horizontal, 60.0, 1e-3);
    EXPECT_NEAR(vertical, 81.79, 0.01);

    camera_setup(eye, target, up, 60.0f, 1.5f, 1.0f, 100.0f);
    EXPECT_NEAR(2 * deg(atan(1.0 / at(camera_projection, 1, 1))), 60.0, 1e-3);
    EXPECT_NEAR(2 * deg(atan(1.0 / at(camera_projection, 0, 0))),
                2 * deg(atan(1.5 * tan(M_PI / 6))), 1e-3);

    // The set-up leaves the model-view mode, depth testing and lighting on.
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));

    // The saved view is the eye shift, row-major (translation in the last column).
    EXPECT_FLOAT_EQ(at(camera_modelview, 2, 3), -5.0f);
    EXPECT_FLOAT_EQ(at(camera_modelview, 0, 0), 1.0f);
    EXPECT_FLOAT_EQ(at(camera_modelview, 3, 2), 0.0f);
    EXPECT_FLOAT_EQ(at(camera_projection, 3, 2), -1.0f); // w = -z_eye, in row-major place
    gl_begin_2d(&screen);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
}

TEST_F(Camera3d, PerspectiveOfNinetyDegreesIsTheUnitFrustum) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    camera_perspective(90.0f, 1.0f, 1.0f, 10.0f);
    GLfloat gl[16];
    glGetFloatv(GL_PROJECTION_MATRIX, gl);
    glLoadIdentity();
    glFrustumf(-1, 1, -1, 1, 1, 10);
    GLfloat want[16];
    glGetFloatv(GL_PROJECTION_MATRIX, want);
    glMatrixMode(GL_MODELVIEW);
    EXPECT_EQ(mat_approx_equal(gl, want, 4, 4), 1);
    EXPECT_NEAR(gl[0], 1.0f, 1e-6);
    EXPECT_NEAR(gl[5], 1.0f, 1e-6);
}

TEST_F(Camera3d, ApplyUsesTheRecordAndGlInitResetsTheSavedMatrices) {
    Camera cam = {{3, 4, 5}, {0, 0, 0}, {0, 1, 0}};
    camera_apply(&cam, 45.0f, 1.0f, 0.5f, 50.0f);
    float eye_view[4];
    const float eye_point[4] = {3, 4, 5, 1};
    mat4_transform(camera_modelview, eye_point, eye_view);
    EXPECT_NEAR(eye_view[0], 0.0f, 1e-5); // the eye sits at the view origin
    EXPECT_NEAR(eye_view[1], 0.0f, 1e-5);
    EXPECT_NEAR(eye_view[2], 0.0f, 1e-5);
    const float origin[4] = {0, 0, 0, 1};
    float target_view[4];
    mat4_transform(camera_modelview, origin, target_view);
    EXPECT_NEAR(target_view[2], -sqrtf(50.0f), 1e-4); // straight ahead, down -z
    EXPECT_NEAR(target_view[0], 0.0f, 1e-5);

    gl_init();
    EXPECT_EQ(memcmp(camera_modelview, mat4_identity, sizeof camera_modelview), 0);
    EXPECT_EQ(memcmp(camera_projection, mat4_identity, sizeof camera_projection), 0);
}

TEST_F(Camera3d, SlantedUpVectorShortensTheSideVector) {
    const float eye[3] = {0, 0, 0}, target[3] = {0, 0, -1};
    const float up[3] = {0, 1, 1}; // 45 degrees off the view direction
    camera_setup(eye, target, up, 60.0f, 1.0f, 1.0f, 10.0f);
    const float s = sqrtf(at(camera_modelview, 0, 0) * at(camera_modelview, 0, 0) +
                          at(camera_modelview, 0, 1) * at(camera_modelview, 0, 1) +
                          at(camera_modelview, 0, 2) * at(camera_modelview, 0, 2));
    EXPECT_NEAR(s, sinf(static_cast<float>(M_PI / 4)), 1e-5);
    EXPECT_NEAR(at(camera_modelview, 2, 2), 1.0f, 1e-6); // -f row, unscaled
}

TEST_F(Camera3d, ProjectUnprojectRoundTripAndFailures) {
    const float eye[3] = {1, 2, 8}, target[3] = {0, 0, 0}, up[3] = {0, 1, 0};
    camera_setup(eye, target, up, 50.0f, 320.0f / 480.0f, 1.0f, 40.0f);
    const float points[][3] = {{0, 0, 0}, {0.5f, -0.3f, 1.0f}, {-1.2f, 0.8f, -2.0f}};
    for (const auto &p : points) {
        float wx, wy, wz, x, y, z;
        ASSERT_EQ(camera_project(p[0], p[1], p[2], &screen, camera_modelview, camera_projection,
                                 &wx, &wy, &wz),
                  1);
        EXPECT_GT(wx, 0.0f);
        EXPECT_LT(wx, 320.0f);
        EXPECT_GT(wz, 0.0f);
        EXPECT_LT(wz, 1.0f);
        ASSERT_EQ(
            camera_unproject(wx, wy, wz, &screen, camera_modelview, camera_projection, &x, &y, &z),
            1);
        EXPECT_NEAR(x, p[0], 2e-3);
        EXPECT_NEAR(y, p[1], 2e-3);
        EXPECT_NEAR(z, p[2], 2e-3);
    }
    // The target is in the middle of the viewport.
    float wx, wy, wz;
    ASSERT_EQ(camera_project(0, 0, 0, &screen, camera_modelview, camera_projection, &wx, &wy, &wz),
              1);
    EXPECT_NEAR(wx, 160.0f, 1e-3);
    EXPECT_NEAR(wy, 240.0f, 1e-3);

    // Far off to the side: clamped to the viewport's border.
    const Rect view = {10, 110, 20, 220};
    ASSERT_EQ(camera_project(-500, 0, 0, &view, camera_modelview, camera_projection, &wx, &wy, &wz),
              1);
    EXPECT_EQ(wx, 10.0f);

    // A point in the eye's own plane has clip w 0.
    const float flat_eye[3] = {0, 0, 5}, ahead[3] = {0, 0, 0};
    camera_setup(flat_eye, ahead, up, 60.0f, 1.0f, 1.0f, 10.0f);
    float ox = 7, oy = 7, oz = 7;
    EXPECT_EQ(camera_project(3, -2, 5, &screen, camera_modelview, camera_projection, &ox, &oy, &oz),
              0);
    EXPECT_EQ(ox, 7.0f);
    EXPECT_EQ(oz, 7.0f);

    const float zeros[16] = {};
    EXPECT_EQ(camera_unproject(10, 10, 0.5f, &screen, zeros, camera_projection, &ox, &oy, &oz), 0);
    EXPECT_EQ(ox, 7.0f);
    EXPECT_EQ(oy, 7.0f);
}

TEST_F(Camera3d, AxisLinesDrawOnlyForTheThreeAxes) {
    glTranslatef(160, 240, 0);
    glScalef(200, 200, 1);
    draw_axis_line(3);
    draw_axis_line(-1);
    EXPECT_EQ(Pixels().lit_count(), 0);

    draw_axis_line(1); // vertical, 200 px tall about the centre
    Pixels px;
    EXPECT_TRUE(px.lit_near(160, 240));
    EXPECT_TRUE(px.lit_near(160, 150));
    EXPECT_FALSE(px.lit_near(200, 240, 3));
    EXPECT_FALSE(px.lit_near(160, 360, 3));
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
}

TEST_F(Camera3d, SegmentInThePlaneJoinsItsEndPoints) {
    const float p[2] = {40, 100}, q[2] = {240, 300};
    draw_segment(2, p, q);
    Pixels px;
    EXPECT_TRUE(px.lit_near(40, 100));
    EXPECT_TRUE(px.lit_near(140, 200));
    EXPECT_TRUE(px.lit_near(238, 298));
    EXPECT_FALSE(px.lit_near(140, 150, 3));
    EXPECT_FALSE(px.lit_near(260, 320, 3)); // stops at q
    EXPECT_FALSE(px.lit_near(20, 80, 3));   // and at p

    // The modelview is restored after the segment.
    GLfloat mv[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, mv);
    EXPECT_EQ(mat_approx_equal(mv, mat4_identity, 4, 4), 1);

    const float single[1] = {5};
    draw_segment(1, single, single); // no direction: nothing more drawn
    EXPECT_EQ(Pixels().lit_count(), px.lit_count());
}

TEST_F(Camera3d, SegmentInSpaceLandsWhereTheCameraProjectsItsEnds) {
    // Looking along -x at a segment that rises in z and runs along y.
    const float eye[3] = {10, 0, 0}, target[3] = {0, 0, 0}, up[3] = {0, 0, 1};
    camera_setup(eye, target, up, 60.0f, 320.0f / 480.0f, 1.0f, 50.0f);
    glDisable(GL_LIGHTING);
    const float p[3] = {0, -2, -3}, q[3] = {0, 1, 3};
    draw_segment(3, p, q);
    Pixels px;
    float ax, ay, az, bx, by, bz;
    ASSERT_EQ(camera_project(p[0], p[1], p[2], &screen, camera_modelview, camera_projection, &ax,
                             &ay, &az),
              1);
    ASSERT_EQ(camera_project(q[0], q[1], q[2], &screen, camera_modelview, camera_projection, &bx,
                             &by, &bz),
              1);
    for (float t : {0.05f, 0.25f, 0.5f, 0.75f, 0.95f}) {
        const int x = static_cast<int>(ax + (bx - ax) * t),
                  y = static_cast<int>(ay + (by - ay) * t);
        EXPECT_TRUE(px.lit_near(x, y, 2)) << "t " << t << " at " << x << "," << y;
    }
    // Beyond either end nothing is lit.
    EXPECT_FALSE(px.lit_near(static_cast<int>(bx + (bx - ax) * 0.2f),
                             static_cast<int>(by + (by - ay) * 0.2f), 2));
    EXPECT_FALSE(px.lit_near(static_cast<int>(ax - (bx - ax) * 0.2f),
                             static_cast<int>(ay - (by - ay) * 0.2f), 2));
    // Off the line to the side nothing is lit either.
    EXPECT_FALSE(
        px.lit_near(static_cast<int>((ax + bx) / 2 + 30), static_cast<int>((ay + by) / 2), 2));
}

} // namespace
