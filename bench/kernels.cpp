// Image kernels beside the libraries that do the same job, in one process on
// the same pixels:
// - seam removal, 16 vertical seams off a 512 x 512 RGB picture, against
//   liblqr with its default energy (|x| of the brightness gradient) and with
//   the Sobel intensity energy of image_seam_remove (a custom energy
//   function); liblqr removes all 16 in one lqr_carver_resize call, updating
//   its maps around each seam, where each image_seam_remove recomputes every
//   plane;
// - the bilinear resample of the screenshot path, 320 x 480 to 1000 x 1000,
//   against pixman's bilinear scaling of the same pixels as x8r8g8b8 (pixman
//   has its fast paths for 32-bit pixels; the conversion is not timed).
// Each round times every contestant once, in turn, so all see the same
// machine load; the figures are medians over the rounds.
#include <vostrel/assets/assets.h>

#include <lqr.h>
#include <pixman.h>

#include <algorithm>
#include <math.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <vector>

constexpr int SEAM_SIDE = 512;
constexpr int SEAMS = 16;
constexpr int SHOT_WIDTH = 320, SHOT_HEIGHT = 480, SHOT_SIZE = 1000;

static double now_ms() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

static double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// A picture with smooth areas, edges and some noise, so that seams have
// something to avoid: a diagonal gradient, a few discs and low noise.
static std::vector<uint8_t> scene(int w, int h) {
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    uint32_t seed = 99;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            seed = seed * 1103515245u + 12345u;
            int noise = static_cast<int>(seed >> 28);
            int disc = 0;
            for (int k = 0; k < 5; k++) {
                int cx = (k * 97 + 40) % w, cy = (k * 61 + 90) % h, r = 20 + k * 9;
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r) disc = 60 + k * 35;
            }
            uint8_t *p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
            p[0] = static_cast<uint8_t>(std::min(255, (x + y) * 255 / (w + h) + noise + disc / 2));
            p[1] = static_cast<uint8_t>(std::min(255, y * 255 / h + noise + disc / 3));
            p[2] = static_cast<uint8_t>(std::min(255, 255 - x * 255 / w + noise + disc));
        }
    return rgb;
}

// image_seam_remove's energy, for liblqr's reading window (channels read as
// 0..1): trunc(sqrt(gx^2 + gy^2)) of the Sobel gradients of the truncated
// 0.299 R + 0.587 G + 0.114 B, neighbours outside the picture 0.
static gfloat sobel_energy(gint x, gint y, gint w, gint h, LqrReadingWindow *rw, gpointer) {
    int I[3][3];
    for (int j = -1; j <= 1; j++)
        for (int i = -1; i <= 1; i++) {
            if (x + i < 0 || y + j < 0 || x + i >= w || y + j >= h) {
                I[j + 1][i + 1] = 0;
                continue;
            }
            double c[3];
            for (int k = 0; k < 3; k++)
                c[k] = static_cast<int>(lqr_rwindow_read(rw, i, j, k) * 255.0 + 0.5);
            I[j + 1][i + 1] = static_cast<int>(0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2]);
        }
    int gx = I[0][0] + 2 * I[1][0] + I[2][0] - I[0][2] - 2 * I[1][2] - I[2][2];
    int gy = I[2][0] + 2 * I[2][1] + I[2][2] - I[0][0] - 2 * I[0][1] - I[0][2];
    return static_cast<gfloat>(static_cast<int>(sqrt(double(gx) * gx + double(gy) * gy)));
}

static double time_ours_seams(const Image *source) {
    Image img{};
    double t0 = now_ms();
    image_copy(source, &img);
    for (int s = 0; s < SEAMS; s++)
        image_seam_remove(&img, 0);
    double t = now_ms() - t0;
    image_free(&img);
    return t;
}

static double time_lqr_seams(const std::vector<uint8_t> &rgb, int custom_energy) {
    double t0 = now_ms();
    guchar *buffer = static_cast<guchar *>(g_memdup2(rgb.data(), rgb.size()));
    LqrCarver *carver = lqr_carver_new(buffer, SEAM_SIDE, SEAM_SIDE, 3); // owns buffer
    if (!carver || lqr_carver_init(carver, 1, 0) != LQR_OK) return -1;
    if (custom_energy &&
        lqr_carver_set_energy_function(carver, sobel_energy, 1, LQR_ER_RGBA, nullptr) != LQR_OK)
        return -1;
    if (lqr_carver_resize(carver, SEAM_SIDE - SEAMS, SEAM_SIDE) != LQR_OK) return -1;
    double t = now_ms() - t0;
    int width = lqr_carver_get_width(carver);
    lqr_carver_destroy(carver);
    return width == SEAM_SIDE - SEAMS ? t : -1;
}

static double time_ours_resample(const Image *source) {
    Image img{};
    image_copy(source, &img);
    double t0 = now_ms();
    image_resize(&img, SHOT_SIZE, SHOT_SIZE);
    double t = now_ms() - t0;
    image_free(&img);
    return t;
}

static double time_pixman_resample(pixman_image_t *src, uint32_t *out) {
    double t0 = now_ms();
    pixman_image_t *dst =
        pixman_image_create_bits(PIXMAN_x8r8g8b8, SHOT_SIZE, SHOT_SIZE, out, SHOT_SIZE * 4);
    pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, SHOT_SIZE,
                             SHOT_SIZE);
    pixman_image_unref(dst);
    return now_ms() - t0;
}

int main() {
    std::vector<uint8_t> seam_rgb = scene(SEAM_SIDE, SEAM_SIDE);
    Image seam_source{};
    image_create(&seam_source, SEAM_SIDE, SEAM_SIDE, 3);
    memcpy(seam_source.planes[0], seam_rgb.data(), seam_rgb.size());

    std::vector<uint8_t> shot_rgb = scene(SHOT_WIDTH, SHOT_HEIGHT);
    Image shot_source{};
    image_create(&shot_source, SHOT_WIDTH, SHOT_HEIGHT, 3);
    memcpy(shot_source.planes[0], shot_rgb.data(), shot_rgb.size());
    std::vector<uint32_t> xrgb(static_cast<size_t>(SHOT_WIDTH) * SHOT_HEIGHT);
    for (size_t i = 0; i < xrgb.size(); i++)
        xrgb[i] =
            0xFF000000u | shot_rgb[i * 3] << 16 | shot_rgb[i * 3 + 1] << 8 | shot_rgb[i * 3 + 2];
    pixman_image_t *src = pixman_image_create_bits(PIXMAN_x8r8g8b8, SHOT_WIDTH, SHOT_HEIGHT,
                                                   xrgb.data(), SHOT_WIDTH * 4);
    pixman_transform_t scale;
    pixman_transform_init_scale(&scale, pixman_double_to_fixed(double(SHOT_WIDTH) / SHOT_SIZE),
                                pixman_double_to_fixed(double(SHOT_HEIGHT) / SHOT_SIZE));
    pixman_image_set_transform(src, &scale);
    pixman_image_set_filter(src, PIXMAN_FILTER_BILINEAR, nullptr, 0);
    pixman_image_set_repeat(src, PIXMAN_REPEAT_NONE);
    std::vector<uint32_t> out(static_cast<size_t>(SHOT_SIZE) * SHOT_SIZE);

    const int seam_rounds = 9, resample_rounds = 31;
    std::vector<double> ours, lqr_default, lqr_sobel;
    for (int r = 0; r < seam_rounds + 1; r++) {
        double a = time_ours_seams(&seam_source), b = time_lqr_seams(seam_rgb, 0),
               c = time_lqr_seams(seam_rgb, 1);
        if (r == 0) continue; // warm-up
        if (a < 0 || b < 0 || c < 0) {
            fprintf(stderr, "bench: liblqr failed\n");
            return 1;
        }
        ours.push_back(a), lqr_default.push_back(b), lqr_sobel.push_back(c);
    }
    std::vector<double> resample, pixman;
    for (int r = 0; r < resample_rounds + 1; r++) {
        double a = time_ours_resample(&shot_source), b = time_pixman_resample(src, out.data());
        if (r == 0) continue;
        resample.push_back(a), pixman.push_back(b);
    }
    pixman_image_unref(src);
    image_free(&seam_source);
    image_free(&shot_source);

    double m = median(ours), d = median(lqr_default), s = median(lqr_sobel);
    printf("| seam removal, %d seams off %d x %d (median of %d) | %.1f ms | %.1f ms (liblqr, "
           "default energy) | - (%.2fx) |\n",
           SEAMS, SEAM_SIDE, SEAM_SIDE, seam_rounds, m, d, d > 0 ? m / d : 0.0);
    printf("| seam removal, same energy | %.1f ms | %.1f ms (liblqr, Sobel intensity energy) | "
           "<= 1x (%.2fx) |\n",
           m, s, s > 0 ? m / s : 0.0);
    double q = median(resample), p = median(pixman);
    printf("| bilinear resample %d x %d -> %d x %d (median of %d) | %.2f ms | %.2f ms (pixman) | "
           "<= 1.5x (%.2fx) |\n",
           SHOT_WIDTH, SHOT_HEIGHT, SHOT_SIZE, SHOT_SIZE, resample_rounds, q, p,
           p > 0 ? q / p : 0.0);
    return 0;
}
