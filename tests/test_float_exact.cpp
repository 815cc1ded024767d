// Float results that must be bit for bit the same on every processor the
// program is built for (amd64, arm64, armhf): a bilinear resize and the
// camera's project/unproject, against constants computed independently in
// single precision by tests/float_exact_reference.py (each product and each
// sum rounded on its own). A compiler that fuses a*b+c into one rounding, as
// GCC does on arm64 unless told not to, changes some of them.
#include <vostrel/assets/assets.h>
#include <vostrel/render/render.h>

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

namespace {

uint32_t bits(float f) {
    uint32_t u;
    memcpy(&u, &f, sizeof u);
    return u;
}

// tests/float_exact_reference.py: RESIZE_SRC, rows from the bottom.
const uint8_t resize_source[4 * 3 * 3] = {
    100, 16, 39, 212, 216, 4, 214, 208, 180, 121, 209, 89, 4, 81, 211, 67, 245, 109,
    159, 99, 128, 54, 19, 54, 155, 137, 162, 88, 231, 147, 32, 190, 38, 162, 181, 76};

// Its output for 4 x 3 -> 11 x 9.
const uint8_t resize_expected[11 * 9 * 3] = {
    100, 16, 39, 140, 88, 25, 181, 161, 12, 211, 214, 19, 212, 211, 83, 213, 209, 147, 197, 208, 163, 163, 208, 129, 129, 208, 96, 88, 152, 64, 43, 75, 32,
    67, 37, 95, 101, 104, 73, 136, 172, 53, 164, 219, 48, 177, 200, 93, 188, 180, 138, 176, 166, 145, 140, 157, 114, 105, 146, 82, 71, 105, 56, 35, 52, 27,
    35, 59, 152, 63, 122, 123, 92, 185, 93, 119, 225, 79, 142, 189, 104, 164, 152, 131, 157, 124, 129, 120, 105, 100, 83, 85, 70, 55, 59, 47, 27, 29, 23,
    4, 81, 211, 26, 140, 173, 49, 200, 136, 74, 231, 110, 108, 178, 117, 142, 125, 123, 139, 83, 113, 101, 55, 87, 63, 25, 60, 39, 13, 39, 19, 6, 19,
    53, 98, 194, 59, 150, 166, 67, 200, 139, 75, 229, 118, 92, 189, 108, 107, 148, 100, 109, 116, 89, 100, 96, 75, 90, 75, 63, 65, 52, 44, 32, 25, 22,
    104, 118, 178, 94, 160, 160, 86, 202, 145, 78, 227, 127, 77, 200, 102, 74, 171, 77, 82, 152, 66, 100, 140, 66, 119, 127, 67, 91, 91, 49, 45, 45, 24,
    155, 137, 162, 130, 171, 156, 106, 205, 150, 82, 227, 136, 61, 211, 97, 41, 196, 57, 55, 187, 44, 102, 184, 58, 149, 181, 72, 117, 131, 55, 58, 65, 27,
    103, 91, 108, 86, 114, 103, 70, 136, 100, 54, 151, 91, 41, 141, 64, 27, 130, 37, 36, 124, 29, 67, 122, 38, 99, 120, 48, 78, 87, 36, 39, 43, 18,
    51, 45, 53, 42, 56, 51, 35, 67, 49, 26, 74, 45, 19, 69, 31, 13, 64, 18, 17, 61, 14, 33, 60, 18, 49, 59, 24, 39, 43, 18, 19, 21, 9,
};

TEST(FloatExact, BilinearResizeGivesTheReferenceBytes) {
    Image img;
    image_create(&img, 4, 3, 3);
    memcpy(img.planes[0], resize_source, sizeof resize_source);
    image_resize(&img, 11, 9);
    ASSERT_EQ(img.width, 11);
    ASSERT_EQ(img.height, 9);
    ASSERT_NE(img.planes[0], nullptr);
    int wrong = 0;
    for (int y = 0; y < 9; y++)
        for (int x = 0; x < 11; x++)
            for (int c = 0; c < 3; c++) {
                size_t i = (static_cast<size_t>(y) * 11 + x) * 3 + c;
                if (img.planes[0][i] != resize_expected[i] && wrong++ < 10)
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ") channel " << c << ": "
                                  << int(img.planes[0][i]) << ", reference "
                                  << int(resize_expected[i]);
            }
    EXPECT_EQ(wrong, 0);
    image_free(&img);
}

// tests/float_exact_reference.py: MODELVIEW, PROJECTION, VIEWPORT, POINTS.
const float modelview[16] = {0.980580688f, 0.0f, -0.196116135f, 0.0f,
                             -0.0733235180f, 0.927426457f, -0.366617620f, 0.0f,
                             0.182574183f, 0.365148365f, 0.912870884f, -5.47722578f,
                             0.0f, 0.0f, 0.0f, 1.0f};
const float projection[16] = {1.73205090f, 0.0f, 0.0f, 0.0f,
                              0.0f, 1.15470052f, 0.0f, 0.0f,
                              0.0f, 0.0f, -1.02020204f, -1.01010096f,
                              0.0f, 0.0f, -1.0f, 0.0f};
const Rect viewport = {0.0f, 320.0f, 0.0f, 480.0f};
const float points[4][3] = {{0.0f, 0.0f, 0.0f}, {0.3f, -0.7f, 1.1f}, {-1.25f, 0.6f, -0.4f},
                            {0.05f, 1.9f, 2.3f}};
// Window x, y, z of each point.
const float projected[4][3] = {
    {0x1.4p+7f, 0x1.ep+7f, 0x1.d5f5ecp-1f},
    {0x1.494d78p+7f, 0x1.60953cp+7f, 0x1.cdd8a2p-1f},
    {0x1.a6a89cp+6f, 0x1.15a3ccp+8f, 0x1.d8faf8p-1f},
    {0x1.d960ecp+6f, 0x1.4ed3a4p+8f, 0x1.a47e64p-1f},
};
// Object x, y, z unprojected from each projected point: the points again up
// to rounding, and exactly these roundings.
const float unprojected[4][3] = {
    {-0x1.5e8adap-22f, -0x1.5e8adap-21f, 0x0p+0f},
    {0x1.33332ap-2f, -0x1.666662p-1f, 0x1.19998ep+0f},
    {-0x1.3fffe6p+0f, 0x1.333338p-1f, -0x1.9997eap-2f},
    {0x1.9999b8p-5f, 0x1.e6666p+0f, 0x1.26666ap+1f},
};

TEST(FloatExact, ProjectAndUnprojectGiveTheReferenceBits) {
    for (int p = 0; p < 4; p++) {
        float w[3] = {-1, -1, -1};
        ASSERT_EQ(camera_project(points[p][0], points[p][1], points[p][2], &viewport, modelview,
                                 projection, &w[0], &w[1], &w[2]),
                  1);
        for (int i = 0; i < 3; i++)
            EXPECT_EQ(bits(w[i]), bits(projected[p][i]))
                << "point " << p << " window " << "xyz"[i] << ": " << w[i] << " (" << std::hexfloat
                << w[i] << "), reference " << projected[p][i] << std::defaultfloat;

        float o[3] = {-9, -9, -9};
        ASSERT_EQ(camera_unproject(projected[p][0], projected[p][1], projected[p][2], &viewport,
                                   modelview, projection, &o[0], &o[1], &o[2]),
                  1);
        for (int i = 0; i < 3; i++)
            EXPECT_EQ(bits(o[i]), bits(unprojected[p][i]))
                << "point " << p << " object " << "xyz"[i] << ": " << std::hexfloat << o[i]
                << ", reference " << unprojected[p][i] << std::defaultfloat;
    }
}

} // namespace
