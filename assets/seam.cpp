// Content-aware resizing: the derived 16-bit planes (intensity, Sobel energy,
// cumulative seam costs, seam marks) and the removal or insertion of one seam.
//
// Planes are computed on demand, each from the one below it (1 from 0, 2 from
// 1, 3 and 4 from 2, 5 from 3, 6 from 4); a present plane is never
// recomputed. Every neighbour read goes through image_pixel, so neighbours
// outside the image read as 0. Removing or inserting a seam replaces the whole
// image, so the next seam starts from fresh planes.
//
// The operations are meant for 3- and 4-channel images. For 1- and 2-channel
// images the intensity is the grey byte itself, so no read reaches past a
// pixel.
#include "assets/assets.h"

#include <math.h>
#include <string.h>

constexpr int PLANE_INTENSITY = 1;
constexpr int PLANE_ENERGY = 2;
constexpr int PLANE_COST_HORIZONTAL = 3;
constexpr int PLANE_COST_VERTICAL = 4;
constexpr int PLANE_SEAM_HORIZONTAL = 5;
constexpr int PLANE_SEAM_VERTICAL = 6;
constexpr uint32_t COST_LIMIT = 0xFFFE; // sums above this saturate to 0xFFFF

static uint16_t get16(Image *img, int plane, int x, int y) {
    uint16_t v;
    memcpy(&v, image_pixel(img, plane, x, y), sizeof v);
    return v;
}

static void set16(Image *img, int plane, int x, int y, uint16_t v) {
    memcpy(image_pixel(img, plane, x, y), &v, sizeof v);
}

static void compute_intensity(Image *img) {
    image_alloc_plane(img, PLANE_INTENSITY);
    for (int y = 0; y < img->height; y++)
        for (int x = 0; x < img->width; x++) {
            const uint8_t *p = image_pixel(img, 0, x, y);
            double value = img->channels >= 3 ? 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]
                                              : static_cast<double>(p[0]);
            set16(img, PLANE_INTENSITY, x, y, static_cast<uint16_t>(value));
        }
}

static void compute_energy(Image *img) {
    image_alloc_plane(img, PLANE_ENERGY);
    auto I = [img](int x, int y) { return static_cast<int>(get16(img, PLANE_INTENSITY, x, y)); };
    for (int y = 0; y < img->height; y++)
        for (int x = 0; x < img->width; x++) {
            int gx = I(x - 1, y - 1) + 2 * I(x - 1, y) + I(x - 1, y + 1) - I(x + 1, y - 1) -
                     2 * I(x + 1, y) - I(x + 1, y + 1);
            int gy = I(x - 1, y + 1) + 2 * I(x, y + 1) + I(x + 1, y + 1) - I(x - 1, y - 1) -
                     2 * I(x, y - 1) - I(x + 1, y - 1);
            double e = sqrt(static_cast<double>(gx) * gx + static_cast<double>(gy) * gy);
            set16(img, PLANE_ENERGY, x, y, static_cast<uint16_t>(e));
        }
}

static uint16_t saturated_cost(uint32_t m, uint32_t energy) {
    uint32_t sum = m + energy;
    return sum > COST_LIMIT ? 0xFFFF : static_cast<uint16_t>(sum);
}

static uint32_t min3(uint32_t a, uint32_t b, uint32_t c) {
    uint32_t m = a;
    if (b <= m) m = b;
    if (c <= m) m = c;
    return m;
}

// Plane 3: cheapest path from each pixel to the last column.
static void compute_cost_horizontal(Image *img) {
    image_alloc_plane(img, PLANE_COST_HORIZONTAL);
    const int P = PLANE_COST_HORIZONTAL;
    for (int x = img->width - 1; x >= 0; x--)
        for (int y = 0; y < img->height; y++) {
            uint32_t m = min3(get16(img, P, x + 1, y - 1), get16(img, P, x + 1, y),
                              get16(img, P, x + 1, y + 1));
            set16(img, P, x, y, saturated_cost(m, get16(img, PLANE_ENERGY, x, y)));
        }
}

// Plane 4: cheapest path from each pixel to the last row.
static void compute_cost_vertical(Image *img) {
    image_alloc_plane(img, PLANE_COST_VERTICAL);
    const int P = PLANE_COST_VERTICAL;
    for (int y = img->height - 1; y >= 0; y--)
        for (int x = 0; x < img->width; x++) {
            uint32_t m = min3(get16(img, P, x - 1, y + 1), get16(img, P, x, y + 1),
                              get16(img, P, x + 1, y + 1));
            set16(img, P, x, y, saturated_cost(m, get16(img, PLANE_ENERGY, x, y)));
        }
}

// Marks one pixel per step along `length` steps; at each step the candidates
// across `breadth` are all of them at step 0, else the three next to the last
// choice. Ties go to the lowest index; a saturated cost is never chosen.
// `vertical` exchanges the roles of x and y.
static void trace_seam(Image *img, int cost_plane, int seam_plane, int vertical) {
    image_alloc_plane(img, seam_plane);
    int length = vertical ? img->height : img->width;
    int breadth = vertical ? img->width : img->height;
    int p = 0;
    for (int s = 0; s < length; s++) {
        int lo = s == 0 ? 0 : (p - 1 > 0 ? p - 1 : 0);
        int hi = s == 0 ? breadth - 1 : (p + 1 < breadth - 1 ? p + 1 : breadth - 1);
        uint16_t best = 0xFFFF;
        for (int c = lo; c <= hi; c++) {
            uint16_t cost = vertical ? get16(img, cost_plane, c, s) : get16(img, cost_plane, s, c);
            if (cost < best) {
                best = cost;
                p = c;
            }
        }
        if (vertical)
            set16(img, seam_plane, p, s, SEAM_MARK);
        else
            set16(img, seam_plane, s, p, SEAM_MARK);
    }
}

void image_derive_plane(Image *img, int plane) {
    if (plane < 1 || plane >= IMAGE_PLANES || img->planes[plane]) return;
    switch (plane) {
    case PLANE_INTENSITY:
        image_ensure_plane(img, 0);
        compute_intensity(img);
        break;
    case PLANE_ENERGY:
        image_ensure_plane(img, PLANE_INTENSITY);
        compute_energy(img);
        break;
    case PLANE_COST_HORIZONTAL:
        image_ensure_plane(img, PLANE_ENERGY);
        compute_cost_horizontal(img);
        break;
    case PLANE_COST_VERTICAL:
        image_ensure_plane(img, PLANE_ENERGY);
        compute_cost_vertical(img);
        break;
    case PLANE_SEAM_HORIZONTAL:
        image_ensure_plane(img, PLANE_COST_HORIZONTAL);
        trace_seam(img, PLANE_COST_HORIZONTAL, PLANE_SEAM_HORIZONTAL, 0);
        break;
    case PLANE_SEAM_VERTICAL:
        image_ensure_plane(img, PLANE_COST_VERTICAL);
        trace_seam(img, PLANE_COST_VERTICAL, PLANE_SEAM_VERTICAL, 1);
        break;
    }
}

// Coordinates of step `s` at position `k` along a seam walk: vertical seams
// walk rows (s is y, k runs along x), horizontal seams walk columns.
static uint8_t *at(Image *img, int plane, int vertical, int s, int k) {
    return vertical ? image_pixel(img, plane, k, s) : image_pixel(img, plane, s, k);
}

// One seam edit: the old image with its seam plane computed, the new image
// one column (vertical seam) or one row larger or smaller, and the walk:
// 'steps' lines across the seam, 'span' pixels of the new image along each.
// finish() replaces the old image with the new one.
struct SeamEdit {
    Image *old;
    Image out;
    int vertical, seam, bpp, steps, span;

    SeamEdit(Image *img, int direction, int grow) : old(img), vertical(direction == 0) {
        // A vertical seam changes the width.
        image_create(&out, img->width + (vertical ? grow : 0), img->height + (vertical ? 0 : grow),
                     img->channels);
        seam = vertical ? PLANE_SEAM_VERTICAL : PLANE_SEAM_HORIZONTAL;
        image_ensure_plane(img, seam);
        bpp = img->channels > 0 && img->channels <= 4 ? img->channels : 0;
        steps = vertical ? out.height : out.width;
        span = vertical ? out.width : out.height;
    }
    const uint8_t *from(int s, int k) const { return at(old, 0, vertical, s, k); }
    uint8_t *to(int s, int k) { return at(&out, 0, vertical, s, k); }
    bool marked(int s, int k) const {
        uint16_t v;
        memcpy(&v, at(old, seam, vertical, s, k), sizeof v);
        return v == SEAM_MARK;
    }
    void finish() {
        image_free(old);
        *old = out;
    }
};

void image_seam_remove(Image *img, int direction) {
    if (img->width <= 1 || img->height <= 1) return;
    SeamEdit e(img, direction, -1);
    for (int s = 0; s < e.steps; s++) {
        int k = 0;
        for (int i = 0; i < e.span; i++) {
            if (e.marked(s, k)) k++;
            memcpy(e.to(s, i), e.from(s, k), e.bpp);
            k++;
        }
    }
    e.finish();
}

void image_seam_insert(Image *img, int direction) {
    if (img->width <= 1 || img->height <= 1) return;
    SeamEdit e(img, direction, 1);
    for (int s = 0; s < e.steps; s++) {
        int j = 0;
        for (int m = 0; m < e.span; m++, j++) {
            uint8_t src[4];
            memcpy(src, e.from(s, j), e.bpp);
            memcpy(e.to(s, m), src, e.bpp);
            if (!e.marked(s, j)) continue;
            m++;
            uint8_t other[4];
            memcpy(other, e.from(s, j == 0 ? 1 : j - 1), e.bpp);
            uint8_t *d = e.to(s, m);
            for (int c = 0; c < e.bpp; c++)
                d[c] = static_cast<uint8_t>((src[c] + other[c]) / 2);
        }
    }
    e.finish();
}
