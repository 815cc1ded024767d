// Math library: the scalar and vector helpers, normalisation, matrices and the
// 4x4 inverse, conversions, geometric tests, the random generator, sorting,
// file extensions, shortest paths and the Blowfish cipher against published
// test vectors.
#include <vostrel/math/maths.h>

#include <gtest/gtest.h>

#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <random>
#include <thread>
#include <vector>

namespace {

constexpr float PI_F = 3.14159265358979f;

TEST(MathVectors, NormalizeScalesToUnitAndRefusesTheZeroVector) {
    float v[3] = {3, 0, 4};
    EXPECT_EQ(vec3_normalize(v), 1);
    EXPECT_FLOAT_EQ(v[0], 0.6f);
    EXPECT_FLOAT_EQ(v[1], 0.0f);
    EXPECT_FLOAT_EQ(v[2], 0.8f);
    float z[3] = {0, 0, 0};
    EXPECT_EQ(vec3_normalize(z), 0);
    EXPECT_EQ(z[0], 0.0f);
    float nan_v[3] = {NAN, 0, 0};
    EXPECT_EQ(vec3_normalize(nan_v), 0);
}

TEST(MathMatrices, MultiplyTransformTransposeRowMajor) {
    const float a[6] = {1, 2, 3, 4, 5, 6};    // 2 x 3
    const float b[6] = {7, 8, 9, 10, 11, 12}; // 3 x 2
    float out[4];
    mat_multiply(a, b, 2, 3, 2, out);
    const float expect[4] = {58, 64, 139, 154};
    EXPECT_EQ(mat_approx_equal(out, expect, 2, 2), 1);

    float t[6];
    mat_transpose(a, 2, 3, t); // 3 x 2
    const float at[6] = {1, 4, 2, 5, 3, 6};
    EXPECT_EQ(memcmp(t, at, sizeof t), 0);

    // A translation by (1, 2, 3) in row-major form moves the point.
    const float move[16] = {1, 0, 0, 1, 0, 1, 0, 2, 0, 0, 1, 3, 0, 0, 0, 1};
    const float p[4] = {10, 20, 30, 1};
    float q[4];
    mat4_transform(move, p, q);
    EXPECT_FLOAT_EQ(q[0], 11);
    EXPECT_FLOAT_EQ(q[1], 22);
    EXPECT_FLOAT_EQ(q[2], 33);
    EXPECT_FLOAT_EQ(q[3], 1);

    float twice[16];
    mat4_multiply(move, move, twice);
    EXPECT_FLOAT_EQ(twice[3], 2);
    EXPECT_FLOAT_EQ(twice[7], 4);
    EXPECT_FLOAT_EQ(twice[11], 6);
    float same[16];
    mat4_multiply(mat4_identity, move, same);
    EXPECT_EQ(memcmp(same, move, sizeof same), 0);
}

TEST(MathMatrices, ApproxEqualToleranceIsOneTenThousandth) {
    const float a[2] = {1.0f, 2.0f};
    const float close[2] = {1.00005f, 2.0f};
    const float far[2] = {1.0f, 2.001f};
    EXPECT_EQ(mat_approx_equal(a, close, 1, 2), 1);
    EXPECT_EQ(mat_approx_equal(a, far, 1, 2), 0);
    EXPECT_EQ(mat_approx_equal(mat2_identity, mat2_identity, 2, 2), 1);
    EXPECT_FLOAT_EQ(mat3_identity[4], 1.0f);
    EXPECT_FLOAT_EQ(mat3_identity[3], 0.0f);
}

TEST(MathMatrices, InvertGivesTheInverseOfGeneralMatrices) {
    float dst[16];
    ASSERT_EQ(mat4_invert(mat4_identity, dst), 1);
    EXPECT_EQ(mat_approx_equal(dst, mat4_identity, 4, 4), 1);

    // Needs pivoting: a zero in the first position, mixed rotation, scale and shift.
    const float m[16] = {0, 2, 0, 1, 3, 0, 0, 2, 0, 0, 4, 3, 1, 0, 0, 1};
    ASSERT_EQ(mat4_invert(m, dst), 1);
    float prod[16];
    mat4_multiply(m, dst, prod);
    EXPECT_EQ(mat_approx_equal(prod, mat4_identity, 4, 4), 1);
    mat4_multiply(dst, m, prod);
    EXPECT_EQ(mat_approx_equal(prod, mat4_identity, 4, 4), 1);

    srand(7);
    for (int trial = 0; trial < 50; trial++) {
        float r[16];
        for (float &x : r)
            x = static_cast<float>(rand() % 2001 - 1000) / 100.0f;
        for (int i = 0; i < 4; i++)
            r[i * 5] += 40.0f; // keep it well conditioned
        ASSERT_EQ(mat4_invert(r, dst), 1);
        mat4_multiply(r, dst, prod);
        EXPECT_EQ(mat_approx_equal(prod, mat4_identity, 4, 4), 1) << "trial " << trial;
    }
}

TEST(MathMatrices, InvertRefusesSingularMatricesAndLeavesDstAlone) {
    float dst[16];
    for (float &x : dst)
        x = 42.0f;
    const float zero_row[16] = {1, 2, 3, 4, 0, 0, 0, 0, 5, 6, 7, 8, 9, 1, 2, 3};
    EXPECT_EQ(mat4_invert(zero_row, dst), 0);
    const float zero_column[16] = {0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 9, 1, 1, 2, 3};
    EXPECT_EQ(mat4_invert(zero_column, dst), 0);
    const float rank_three[16] = {1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 0, 0, 0, 1, 0};
    EXPECT_EQ(mat4_invert(rank_three, dst), 0);
    const float zeros[16] = {};
    EXPECT_EQ(mat4_invert(zeros, dst), 0);
    for (float x : dst)
        EXPECT_EQ(x, 42.0f);
}

TEST(MathScalars, OrderPairAndCountMatches) {
    float a = 5, b = 2;
    order_pair(&a, &b);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 5);
    order_pair(&a, &b);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 5);
    EXPECT_EQ(count_matches(1, 2, 3), 0);
    EXPECT_EQ(count_matches(1, 1, 3), 1);
    EXPECT_EQ(count_matches(1, 2, 1), 1);
    EXPECT_EQ(count_matches(4, 4, 4), 2);
}

TEST(MathConversions, PolarAndSphericalRoundTrips) {
    float x, y, r, t;
    polar_to_cartesian(2.0f, PI_F / 2, &x, &y);
    EXPECT_NEAR(x, 0.0f, 1e-6);
    EXPECT_FLOAT_EQ(y, 2.0f);
    cartesian_to_polar(-3.0f, 4.0f, &r, &t);
    EXPECT_FLOAT_EQ(r, 5.0f);
    EXPECT_FLOAT_EQ(t, static_cast<float>(atan2(4.0, -3.0)));

    float z, th, ph;
    cartesian_to_spherical(0, 0, 0, &r, &th, &ph);
    EXPECT_EQ(r, 0.0f);
    EXPECT_EQ(th, 0.0f);
    EXPECT_EQ(ph, 0.0f);
    cartesian_to_spherical(1.0f, 2.0f, -2.0f, &r, &th, &ph);
    EXPECT_FLOAT_EQ(r, 3.0f);
    spherical_to_cartesian(r, th, ph, &x, &y, &z);
    EXPECT_NEAR(x, 1.0f, 1e-5);
    EXPECT_NEAR(y, 2.0f, 1e-5);
    EXPECT_NEAR(z, -2.0f, 1e-5);
    spherical_to_cartesian(1.0f, 0.0f, 1.0f, &x, &y, &z); // on the +z axis
    EXPECT_NEAR(x, 0.0f, 1e-7);
    EXPECT_FLOAT_EQ(z, 1.0f);
}

TEST(MathConversions, QuarterTurnsGoBothWays) {
    float x = 1.0f, y = 0.0f;
    rotate_quarter_turn(&x, &y, 0); // anticlockwise
    EXPECT_NEAR(x, 0.0f, 1e-6);
    EXPECT_NEAR(y, 1.0f, 1e-6);
    rotate_quarter_turn(&x, &y, 1);
    rotate_quarter_turn(&x, &y, 1); // clockwise twice
    EXPECT_NEAR(x, 0.0f, 1e-6);
    EXPECT_NEAR(y, -1.0f, 1e-6);
}

TEST(MathGeometry, PlaneNormalAndRayIntersection) {
    const float p[3] = {1, 0, 0}, q[3] = {0, 0, 0}, r[3] = {0, 1, 0};
    float n[3] = {9, 9, 9};
    ASSERT_EQ(plane_normal(p, q, r, n), 1);
    EXPECT_FLOAT_EQ(n[0], 0.0f);
    EXPECT_FLOAT_EQ(n[1], 0.0f);
    EXPECT_FLOAT_EQ(n[2], 1.0f);
    const float collinear[3] = {2, 0, 0};
    float keep[3] = {9, 9, 9};
    EXPECT_EQ(plane_normal(p, q, collinear, keep), 0);
    EXPECT_EQ(keep[0], 9.0f);
    EXPECT_EQ(keep[2], 9.0f);

    const float up[3] = {0, 0, 1}, on_plane[3] = {0, 0, 2};
    const float dir[3] = {1, 1, 1}, origin[3] = {0, 0, 5};
    float hit[3];
    ASSERT_EQ(ray_plane_intersect(up, on_plane, dir, origin, hit), 1); // behind the origin: t < 0
    EXPECT_FLOAT_EQ(hit[0], -3.0f);
    EXPECT_FLOAT_EQ(hit[1], -3.0f);
    EXPECT_FLOAT_EQ(hit[2], 2.0f);
    const float flat[3] = {1, 0, 0};
    float untouched[3] = {7, 7, 7};
    EXPECT_EQ(ray_plane_intersect(up, on_plane, flat, origin, untouched), 0);
    EXPECT_EQ(untouched[0], 7.0f);
}

TEST(MathGeometry, SegmentsCrossOnlyProperly) {
    const float a[2] = {0, 0}, b[2] = {2, 2}, c[2] = {0, 2}, d[2] = {2, 0};
    EXPECT_EQ(segments_intersect(a, b, c, d), 1);
    const float e[2] = {4, 0};
    EXPECT_EQ(segments_intersect(a, b, b, e), 0); // only an end point shared
    const float f[2] = {3, 3}, g[2] = {5, 5};
    EXPECT_EQ(segments_intersect(a, b, f, g), 0); // collinear, apart
    const float h[2] = {3, 0}, i[2] = {3, 2};
    EXPECT_EQ(segments_intersect(a, b, h, i), 0); // would cross only if extended
}

TEST(MathGeometry, PointSetMotion) {
    PointList one = {1, {{3, 4}}};
    float rot = 1, scale = 1, dx = 1, dy = 1;
    point_set_motion(&one, &one, &rot, &scale, &dx, &dy);
    EXPECT_EQ(rot, 0.0f);
    EXPECT_EQ(scale, 0.0f);
    EXPECT_EQ(dx, 0.0f);
    EXPECT_EQ(dy, 0.0f);

    PointList a = {2, {{0, 0}, {2, 0}}};
    PointList b = {2, {{1, 1}, {1, -1}}};
    point_set_motion(&a, &b, &rot, &scale, &dx, &dy);
    EXPECT_EQ(dx, 0.0f);
    EXPECT_EQ(dy, 0.0f);
    EXPECT_NEAR(scale, 0.0f, 1e-6);
    EXPECT_NEAR(rot, PI_F / 2, 1e-6);

    // Two fingers moving apart and sideways: double the spread, shift by (5, 1).
    PointList c = {2, {{-1, 0}, {1, 0}}};
    PointList d = {2, {{3, 1}, {7, 1}}};
    point_set_motion(&c, &d, &rot, &scale, &dx, &dy);
    EXPECT_FLOAT_EQ(dx, 5.0f);
    EXPECT_FLOAT_EQ(dy, 1.0f);
    EXPECT_FLOAT_EQ(scale, 1.0f);
    EXPECT_FLOAT_EQ(rot, 0.0f);

    PointList empty = {0, {}};
    point_set_motion(&empty, &d, &rot, &scale, &dx, &dy);
    EXPECT_EQ(dx, 0.0f);
    PointList too_many = d;
    too_many.count = 5;
    dx = 3;
    point_set_motion(&c, &too_many, &rot, &scale, &dx, &dy);
    EXPECT_EQ(dx, 0.0f);
}

// Exit codes of the seeding check, so a failure says which step went wrong.
enum { SEED_OK = 0, SEED_FIRST_CALL = 1, SEED_LATER_CALL = 2, SEED_CLOCK_KEPT_TICKING = 3 };

// Both seeding steps, in one check because the first call differs from every
// later one.
int check_seeding() {
    for (int attempt = 0; attempt < 5; attempt++) {
        const unsigned before = static_cast<unsigned>(time(nullptr));
        if (attempt == 0) {
            random_seed();
            const int got = rand();
            srand(before);
            const int expect = rand();
            if (static_cast<unsigned>(time(nullptr)) != before)
                continue; // the clock ticked: retry below
            if (got != expect) return SEED_FIRST_CALL;
        }
        srand(12345u);
        const int first = rand();
        const unsigned expected_seed =
            static_cast<unsigned>(first % static_cast<int>((before >> 1) + 1));
        srand(12345u);
        random_seed();
        const int got = rand();
        if (static_cast<unsigned>(time(nullptr)) != before) continue;
        srand(expected_seed);
        return got == rand() ? SEED_OK : SEED_LATER_CALL;
    }
    return SEED_CLOCK_KEPT_TICKING;
}

// The first call is first only in a process that has not seeded yet: the
// check runs in a fresh one (the threadsafe style re-executes this program
// for this test alone), whatever ran before in this one.
TEST(MathRandomDeathTest, SeedUsesTheClockFirstThenADrawFromTheGenerator) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(_exit(check_seeding()), ::testing::ExitedWithCode(SEED_OK), "");
}

TEST(MathRandom, RangesAndEmptyRanges) {
    srand(99);
    const int before = rand();
    srand(99);
    EXPECT_EQ(random_int(5, 5), 5);
    EXPECT_EQ(random_int(7, 3), 7);
    EXPECT_EQ(random_float(2.0f, 2.0f), 2.0f);
    EXPECT_EQ(random_float(3.0f, -1.0f), 3.0f);
    EXPECT_EQ(rand(), before); // none of them drew a number

    bool seen[2] = {false, false};
    for (int i = 0; i < 200; i++) {
        int v = random_int(0, 1);
        ASSERT_TRUE(v == 0 || v == 1);
        seen[v] = true;
        int w = random_int(-3, 4);
        EXPECT_GE(w, -3);
        EXPECT_LE(w, 4);
        float f = random_float(-2.0f, 0.5f);
        EXPECT_GE(f, -2.0f);
        EXPECT_LE(f, 0.5f);
    }
    EXPECT_TRUE(seen[0] && seen[1]);
    // The whole int range: 2^32 values, more than rand() can exceed, so the
    // draw is INT_MIN + rand() with no overflow on the way.
    srand(7);
    const int raw = rand();
    srand(7);
    EXPECT_EQ(random_int(-2147483647 - 1, 2147483647), -2147483647 - 1 + raw);
    srand(5);
    const int draw = rand();
    srand(5);
    EXPECT_EQ(random_int(10, 19), 10 + draw % 10);
}

TEST(MathSort, FloatsIntsAndRecordsInBothDirections) {
    float f[6] = {3.5f, -1.0f, 2.0f, 2.0f, 10.0f, 0.0f};
    sort_floats(f, 6, 1);
    const float up[6] = {-1.0f, 0.0f, 2.0f, 2.0f, 3.5f, 10.0f};
    EXPECT_EQ(memcmp(f, up, sizeof f), 0);
    sort_floats(f, 6, 0);
    const float down[6] = {10.0f, 3.5f, 2.0f, 2.0f, 0.0f, -1.0f};
    EXPECT_EQ(memcmp(f, down, sizeof f), 0);

    int v[5] = {4, -7, 100, 0, 3};
    sort_ints(v, 5, 1);
    const int vu[5] = {-7, 0, 3, 4, 100};
    EXPECT_EQ(memcmp(v, vu, sizeof v), 0);
    sort_ints(v, 5, 0);
    const int vd[5] = {100, 4, 3, 0, -7};
    EXPECT_EQ(memcmp(v, vd, sizeof v), 0);
    // Values more than 2^31 apart compare by wrapping subtraction, without
    // overflow: INT_MAX - INT_MIN wraps to -1, so INT_MAX sorts first.
    int extreme[2] = {-2147483647 - 1, 2147483647};
    sort_ints(extreme, 2, 1);
    EXPECT_EQ(extreme[0], 2147483647);
    EXPECT_EQ(extreme[1], -2147483647 - 1);

    struct Named {
        char name[8];
        int value;
    };
    Named recs[4] = {{"pear", 1}, {"apple", 2}, {"zebra", 3}, {"fig", 4}};
    sort_records_by_name(recs, sizeof(Named), 4, 1);
    EXPECT_STREQ(recs[0].name, "apple");
    EXPECT_EQ(recs[0].value, 2);
    EXPECT_STREQ(recs[3].name, "zebra");
    sort_records_by_name(recs, sizeof(Named), 4, 0);
    EXPECT_STREQ(recs[0].name, "zebra");
    EXPECT_STREQ(recs[1].name, "pear");
    EXPECT_STREQ(recs[3].name, "apple");
    EXPECT_EQ(recs[3].value, 2);
}

// Two threads sort in opposite directions at once, every result checked.
// The direction must travel with each call, not through state another
// thread's sort can change between two comparisons.
TEST(MathSort, OppositeDirectionsOnTwoThreadsAtOnce) {
    constexpr int ROUNDS = 10000;
    constexpr int COUNT = 97;
    struct Named {
        char name[12];
    };
    auto sorter = [](int ascending, unsigned seed, int *wrong) {
        std::mt19937 gen(seed);
        std::uniform_int_distribution<int> pick(-1000, 1000);
        std::vector<int> ints(COUNT);
        std::vector<float> floats(COUNT);
        std::vector<Named> names(COUNT);
        for (int round = 0; round < ROUNDS; round++) {
            for (int i = 0; i < COUNT; i++) {
                ints[i] = pick(gen);
                floats[i] = static_cast<float>(pick(gen)) / 8.0f;
                snprintf(names[i].name, sizeof names[i].name, "%06d", pick(gen) + 1000);
            }
            sort_ints(ints.data(), COUNT, ascending);
            sort_floats(floats.data(), COUNT, ascending);
            sort_records_by_name(names.data(), sizeof(Named), COUNT, ascending);
            bool ok = true;
            for (int i = 1; i < COUNT; i++) {
                const int order = ascending ? 1 : -1;
                ok = ok && (ints[i] - ints[i - 1]) * order >= 0;
                ok = ok && (floats[i] - floats[i - 1]) * static_cast<float>(order) >= 0.0f;
                ok = ok && strcmp(names[i].name, names[i - 1].name) * order >= 0;
            }
            *wrong += !ok;
        }
    };
    int wrong_up = 0, wrong_down = 0;
    std::thread up(sorter, 1, 11u, &wrong_up);
    std::thread down(sorter, 0, 12u, &wrong_down);
    up.join();
    down.join();
    EXPECT_EQ(wrong_up, 0) << "of " << ROUNDS << " ascending rounds";
    EXPECT_EQ(wrong_down, 0) << "of " << ROUNDS << " descending rounds";
}

TEST(MathFiles, ExtensionIsLowerCasedBoundedAndFromTheLastDot) {
    char out[32] = "junk";
    EXPECT_EQ(file_extension("shot.PNG", out, sizeof out), 1);
    EXPECT_STREQ(out, "png");
    EXPECT_EQ(file_extension("archive.tar.gz", out, sizeof out), 1);
    EXPECT_STREQ(out, "gz");
    EXPECT_EQ(file_extension("shot", out, sizeof out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(file_extension("trailing.", out, sizeof out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(file_extension("./dir.d/name.Bmp", out, sizeof out), 1);
    EXPECT_STREQ(out, "bmp");
    const std::string long_name = "x." + std::string(100, 'A');
    EXPECT_EQ(file_extension(long_name.c_str(), out, sizeof out), 1);
    EXPECT_EQ(strlen(out), 31u);
    EXPECT_EQ(out[0], 'a');
}

TEST(MathPaths, ShortestDistancesOverADenseMatrix) {
    const float INF = 1e9f;
    // 0 -> 1 (4), 0 -> 2 (1), 2 -> 1 (2), 1 -> 3 (5), 4 unreachable; edges are one-way.
    const int n = 5;
    std::vector<float> w(n * n, INF);
    auto edge = [&](int from, int to, float weight) { w[from * n + to] = weight; };
    edge(0, 1, 4);
    edge(0, 2, 1);
    edge(2, 1, 2);
    edge(1, 3, 5);
    edge(3, 0, 1);
    float d[n];
    ASSERT_EQ(shortest_paths(w.data(), INF, n, 0, d), 1);
    EXPECT_EQ(d[0], 0.0f);
    EXPECT_EQ(d[1], 3.0f);
    EXPECT_EQ(d[2], 1.0f);
    EXPECT_EQ(d[3], 8.0f);
    EXPECT_EQ(d[4], INF);

    ASSERT_EQ(shortest_paths(w.data(), INF, n, 3, d), 1); // scratch reused for the same n
    EXPECT_EQ(d[0], 1.0f);
    EXPECT_EQ(d[1], 4.0f);

    const float none[9] = {0, INF, INF, INF, 0, INF, INF, INF, 0};
    float d3[3];
    ASSERT_EQ(shortest_paths(none, INF, 3, 1, d3), 1); // a new n replaces the scratch
    EXPECT_EQ(d3[0], INF);
    EXPECT_EQ(d3[1], 0.0f);
    EXPECT_EQ(d3[2], INF);

    float one[1] = {123.0f};
    EXPECT_EQ(shortest_paths(none, INF, 1, 0, one), 0);
    EXPECT_EQ(one[0], 123.0f);
    EXPECT_EQ(shortest_paths(none, INF, 3, -1, d3), 0);
    d3[0] = 7;
    EXPECT_EQ(shortest_paths(none, INF, 3, 3, d3), 0); // source outside the graph
    EXPECT_EQ(d3[0], 7.0f);
}

// --- Blowfish -----------------------------------------------------------

// A published vector is big-endian bytes; the cipher reads halves little-endian.
void put_be_halves(const uint8_t be[8], uint8_t buf[8]) {
    for (int i = 0; i < 4; i++) {
        buf[i] = be[3 - i];
        buf[4 + i] = be[7 - i];
    }
}

struct Vector {
    uint8_t key[8], plain[8], cipher[8];
};

const Vector vectors[] = {
    {{0, 0, 0, 0, 0, 0, 0, 0},
     {0, 0, 0, 0, 0, 0, 0, 0},
     {0x4E, 0xF9, 0x97, 0x45, 0x61, 0x98, 0xDD, 0x78}},
    {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
     {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
     {0x51, 0x86, 0x6F, 0xD5, 0xB8, 0x5E, 0xCB, 0x8A}},
    {{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF},
     {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11},
     {0x61, 0xF9, 0xC3, 0x80, 0x22, 0x81, 0xB0, 0x96}},
};

// Exit codes of the keyless check, so a failure says which step went wrong.
enum { KEYLESS_OK = 0, KEYLESS_BLOCK_RESULT = 1, KEYLESS_BLOCK_CHANGED = 2, KEYLESS_BUFFER = 3 };

int check_refusal_without_a_key() {
    uint32_t l = 1, r = 2;
    if (blowfish_encrypt_block(&l, &r) != 0 || blowfish_decrypt_block(&l, &r) != 0)
        return KEYLESS_BLOCK_RESULT;
    if (l != 1u || r != 2u) return KEYLESS_BLOCK_CHANGED;
    uint8_t buf[16] = {1, 2, 3};
    if (blowfish_encrypt(buf, sizeof buf) != 0 || buf[0] != 1) return KEYLESS_BUFFER;
    return KEYLESS_OK;
}

// No key has been set only in a fresh process: the check runs in one (the
// threadsafe style re-executes this program for this test alone), whatever
// ran before in this one.
TEST(BlowfishDeathTest, RefusesWithoutAKey) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(_exit(check_refusal_without_a_key()), ::testing::ExitedWithCode(KEYLESS_OK), "");
}

TEST(Blowfish, PublishedVectorsThroughBlocksAndBuffers) {
    for (const Vector &v : vectors) {
        blowfish_set_key(v.key, 8);
        uint32_t l = 0, r = 0;
        for (int i = 0; i < 4; i++) {
            l = l << 8 | v.plain[i];
            r = r << 8 | v.plain[4 + i];
        }
        ASSERT_EQ(blowfish_encrypt_block(&l, &r), 1);
        uint32_t el = 0, er = 0;
        for (int i = 0; i < 4; i++) {
            el = el << 8 | v.cipher[i];
            er = er << 8 | v.cipher[4 + i];
        }
        EXPECT_EQ(l, el);
        EXPECT_EQ(r, er);
        ASSERT_EQ(blowfish_decrypt_block(&l, &r), 1);

        uint8_t buf[8], want[8];
        put_be_halves(v.plain, buf);
        put_be_halves(v.cipher, want);
        ASSERT_EQ(blowfish_encrypt(buf, 8), 1);
        EXPECT_EQ(memcmp(buf, want, 8), 0);
        ASSERT_EQ(blowfish_decrypt(buf, 8), 1);
        uint8_t plain[8];
        put_be_halves(v.plain, plain);
        EXPECT_EQ(memcmp(buf, plain, 8), 0);
    }
}

TEST(Blowfish, BuffersTailsShortInputsAndKeys) {
    blowfish_set_key_string("a secret key");
    uint8_t buf[15], orig[15];
    for (int i = 0; i < 15; i++)
        buf[i] = orig[i] = static_cast<uint8_t>(i * 37 + 1);
    ASSERT_EQ(blowfish_encrypt(buf, 15), 1);
    EXPECT_NE(memcmp(buf, orig, 8), 0);
    EXPECT_EQ(memcmp(buf + 8, orig + 8, 7), 0); // the tail stays as it was
    ASSERT_EQ(blowfish_decrypt(buf, 15), 1);
    EXPECT_EQ(memcmp(buf, orig, 15), 0);

    uint8_t small[7] = {1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(blowfish_encrypt(small, 7), 0);
    EXPECT_EQ(small[6], 7);

    // Identical blocks give identical cipher blocks (no chaining).
    uint8_t twin[16] = {};
    ASSERT_EQ(blowfish_encrypt(twin, 16), 1);
    EXPECT_EQ(memcmp(twin, twin + 8, 8), 0);

    // The empty key reads as zero bytes: the same schedule as the all-zero key.
    blowfish_set_key_string("");
    uint8_t zero[8] = {}, want[8];
    put_be_halves(vectors[0].cipher, want);
    ASSERT_EQ(blowfish_encrypt(zero, 8), 1);
    EXPECT_EQ(memcmp(zero, want, 8), 0);

    // Keys are read cyclically and at most 72 bytes are used.
    uint8_t k72[80], k4[4] = {'a', 'b', 'c', 'd'};
    for (int i = 0; i < 80; i++)
        k72[i] = k4[i % 4];
    uint8_t x[8] = {9, 8, 7, 6, 5, 4, 3, 2}, y[8];
    memcpy(y, x, 8);
    blowfish_set_key(k72, 80);
    blowfish_encrypt(x, 8);
    blowfish_set_key(k4, 4);
    blowfish_encrypt(y, 8);
    EXPECT_EQ(memcmp(x, y, 8), 0);
}

TEST(Scalar, RemapClampedAndRounding) {
    EXPECT_FLOAT_EQ(remap_clamped(30, 10, 20, 0, 100), 100);
    EXPECT_FLOAT_EQ(remap_clamped(5, 10, 20, 0, 100), 0);
    EXPECT_FLOAT_EQ(remap_clamped(15, 10, 20, 0, 100), 50);
    EXPECT_FLOAT_EQ(remap_clamped(NAN, 10, 20, 0, 100), 100) << "NaN becomes in_hi";
    for (float v : {-100.0f, 15.0f, 100.0f})
        EXPECT_FLOAT_EQ(remap_clamped(v, 20, 10, 0, 100), 0) << "in_lo > in_hi: always in_lo";

    EXPECT_EQ(round_to_int(2.5f), 3);
    EXPECT_EQ(round_to_int(-2.5f), -3);
    EXPECT_EQ(round_to_int(2.4999f), 2);
    EXPECT_EQ(round_to_int(-0.4f), 0);
    EXPECT_EQ(round_to_int(0.0f), 0);
    EXPECT_EQ(round_to_int(-0.5f), -1);
    EXPECT_EQ(round_to_int(479.5f), 480);
}

TEST(Vectors, DotCrossLengthAngleDistance) {
    const float x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, zero[3] = {0, 0, 0};
    float out[3] = {9, 9, 9};
    vec3_cross(x, y, out);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 1);
    vec3_cross(y, x, out);
    EXPECT_EQ(out[2], -1);
    const float a[3] = {2, 3, 4}, b[3] = {5, 6, 7};
    vec3_cross(a, b, out);
    EXPECT_EQ(out[0], -3);
    EXPECT_EQ(out[1], 6);
    EXPECT_EQ(out[2], -3);
    EXPECT_EQ(vec3_dot(a, b), 56);

    const float v[3] = {3, 4, 12};
    EXPECT_FLOAT_EQ(vec3_length(v), 13);

    EXPECT_EQ(vec3_angle(zero, x), 0);
    EXPECT_EQ(vec3_angle(x, zero), 0);
    EXPECT_FLOAT_EQ(vec3_angle(x, y), static_cast<float>(M_PI / 2));
    const float minus_x[3] = {-3, 0, 0};
    EXPECT_FLOAT_EQ(vec3_angle(x, minus_x), static_cast<float>(M_PI));
    EXPECT_FLOAT_EQ(vec3_angle(v, v), 0.0f);

    const float p[3] = {0, 0, 5}, q[3] = {3, 4, -7};
    EXPECT_FLOAT_EQ(vec_distance(p, q, 2), 5) << "n = 2 ignores z";
    EXPECT_FLOAT_EQ(vec_distance(p, q, 3), 13);
    EXPECT_EQ(vec_distance(p, q, 0), 0);
    EXPECT_EQ(vec3_zero[0], 0);
    EXPECT_EQ(vec3_zero[1], 0);
    EXPECT_EQ(vec3_zero[2], 0);
}

} // namespace
