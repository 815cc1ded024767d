// Content-aware resizing: the derived 16-bit planes (intensity, Sobel energy,
// cumulative seam costs, seam marks) and the removal or insertion of one seam.
//
// Planes are computed on demand, each from the one below it (1 from 0, 2 from
// 1, 3 and 4 from 2, 5 from 3, 6 from 4); a present plane is never
// recomputed. Neighbours outside the image read as 0 and writes outside it
// are dropped, exactly as through image_pixel; the kernels walk the planes
// through row pointers instead, the interior without checks and the border
// pixels apart, because a call with bounds checks per neighbour read was most
// of the cost of a seam. Removing or inserting a seam replaces the whole
// image, so the next seam starts from fresh planes.
//
// The operations are meant for 3- and 4-channel images. For 1- and 2-channel
// images the intensity is the grey byte itself, so no read reaches past a
// pixel. A plane that could not be allocated leaves the planes above it
// zero.
#include <vostrel/assets/assets.h>

#include <math.h>
#include <string.h>

constexpr int PLANE_INTENSITY = 1;
constexpr int PLANE_ENERGY = 2;
constexpr int PLANE_COST_HORIZONTAL = 3;
constexpr int PLANE_COST_VERTICAL = 4;
constexpr int PLANE_SEAM_HORIZONTAL = 5;
constexpr int PLANE_SEAM_VERTICAL = 6;
constexpr uint32_t COST_LIMIT = 0xFFFE; // sums above this saturate to 0xFFFF

// A derived plane as an array of values; width * height of them, row-major.
// Planes are allocated by malloc, so they are aligned for uint16_t.
static uint16_t *plane16(Image *img, int plane) {
    return reinterpret_cast<uint16_t *>(img->planes[plane]);
}

static size_t pixel_count(const Image *img) {
    return static_cast<size_t>(img->width) * static_cast<size_t>(img->height);
}

static void compute_intensity(Image *img) {
    image_alloc_plane(img, PLANE_INTENSITY);
    uint16_t *out = plane16(img, PLANE_INTENSITY);
    const uint8_t *p = img->planes[0];
    if (!out || img->width <= 0 || img->height <= 0) return;
    size_t n = pixel_count(img);
    if (!p || img->channels < 1) {
        // Only a broken record gets here; image_pixel's answer for each pixel.
        for (int y = 0; y < img->height; y++)
            for (int x = 0; x < img->width; x++)
                out[x + static_cast<size_t>(y) * img->width] = image_pixel(img, 0, x, y)[0];
        return;
    }
    size_t bpp = static_cast<size_t>(img->channels);
    if (bpp >= 3) {
        for (size_t i = 0; i < n; i++, p += bpp)
            out[i] = static_cast<uint16_t>(0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]);
    } else {
        for (size_t i = 0; i < n; i++, p += bpp)
            out[i] = p[0];
    }
}

static uint16_t energy_of(int gx, int gy) {
    return static_cast<uint16_t>(sqrt(static_cast<double>(gx) * gx + static_cast<double>(gy) * gy));
}

// Energy of one pixel with every neighbour checked: the border pixels.
static uint16_t energy_checked(const uint16_t *in, int w, int h, int x, int y) {
    auto I = [=](int i, int j) {
        return i < 0 || j < 0 || i >= w || j >= h
                   ? 0
                   : static_cast<int>(in[i + static_cast<size_t>(j) * w]);
    };
    int gx = I(x - 1, y - 1) + 2 * I(x - 1, y) + I(x - 1, y + 1) - I(x + 1, y - 1) -
             2 * I(x + 1, y) - I(x + 1, y + 1);
    int gy = I(x - 1, y + 1) + 2 * I(x, y + 1) + I(x + 1, y + 1) - I(x - 1, y - 1) -
             2 * I(x, y - 1) - I(x + 1, y - 1);
    return energy_of(gx, gy);
}

static void compute_energy(Image *img) {
    image_alloc_plane(img, PLANE_ENERGY);
    const uint16_t *in = plane16(img, PLANE_INTENSITY);
    uint16_t *out = plane16(img, PLANE_ENERGY);
    int w = img->width, h = img->height;
    if (!in || !out || w <= 0 || h <= 0) return;
    for (int y = 0; y < h; y++) {
        uint16_t *o = out + static_cast<size_t>(y) * w;
        if (y == 0 || y == h - 1 || w < 3) {
            for (int x = 0; x < w; x++)
                o[x] = energy_checked(in, w, h, x, y);
            continue;
        }
        const uint16_t *a = in + static_cast<size_t>(y - 1) * w; // row below
        const uint16_t *b = a + w;
        const uint16_t *c = b + w; // row above
        o[0] = energy_checked(in, w, h, 0, y);
        for (int x = 1; x < w - 1; x++) {
            int gx = a[x - 1] + 2 * b[x - 1] + c[x - 1] - a[x + 1] - 2 * b[x + 1] - c[x + 1];
            int gy = c[x - 1] + 2 * c[x] + c[x + 1] - a[x - 1] - 2 * a[x] - a[x + 1];
            o[x] = energy_of(gx, gy);
        }
        o[w - 1] = energy_checked(in, w, h, w - 1, y);
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

// One line of a cumulative-cost plane: cost[i] = the cheapest of next[i - 1],
// next[i], next[i + 1] plus energy[i], over n values `stride` apart. Both
// ends have a neighbour outside the image, which reads 0, so they cost their
// energy alone; so does the whole last line (next is null).
static void cost_line(uint16_t *cost, const uint16_t *next, const uint16_t *energy, int n,
                      size_t stride) {
    if (n <= 0) return;
    cost[0] = saturated_cost(0, energy[0]);
    if (n == 1) return;
    size_t last = static_cast<size_t>(n - 1) * stride;
    cost[last] = saturated_cost(0, energy[last]);
    if (!next) {
        for (size_t at = stride; at < last; at += stride)
            cost[at] = saturated_cost(0, energy[at]);
        return;
    }
    for (size_t at = stride; at < last; at += stride)
        cost[at] = saturated_cost(min3(next[at - stride], next[at], next[at + stride]), energy[at]);
}

// Plane 3: cheapest path from each pixel to the last column.
static void compute_cost_horizontal(Image *img) {
    image_alloc_plane(img, PLANE_COST_HORIZONTAL);
    uint16_t *cost = plane16(img, PLANE_COST_HORIZONTAL);
    const uint16_t *energy = plane16(img, PLANE_ENERGY);
    int w = img->width, h = img->height;
    if (!cost || !energy || w <= 0 || h <= 0) return;
    for (int x = w - 1; x >= 0; x--)
        cost_line(cost + x, x + 1 < w ? cost + x + 1 : nullptr, energy + x, h,
                  static_cast<size_t>(w));
}

// Plane 4: cheapest path from each pixel to the last row.
static void compute_cost_vertical(Image *img) {
    image_alloc_plane(img, PLANE_COST_VERTICAL);
    uint16_t *cost = plane16(img, PLANE_COST_VERTICAL);
    const uint16_t *energy = plane16(img, PLANE_ENERGY);
    int w = img->width, h = img->height;
    if (!cost || !energy || w <= 0 || h <= 0) return;
    for (int y = h - 1; y >= 0; y--) {
        size_t row = static_cast<size_t>(y) * w;
        cost_line(cost + row, y + 1 < h ? cost + row + w : nullptr, energy + row, w, 1);
    }
}

// Marks one pixel per step along `length` steps; at each step the candidates
// across `breadth` are all of them at step 0, else the three next to the last
// choice. Ties go to the lowest index; a saturated cost is never chosen.
// `vertical` exchanges the roles of x and y.
static void trace_seam(Image *img, int cost_plane, int seam_plane, int vertical) {
    image_alloc_plane(img, seam_plane);
    const uint16_t *cost = plane16(img, cost_plane);
    uint16_t *seam = plane16(img, seam_plane);
    if (!cost || !seam || img->width <= 0 || img->height <= 0) return;
    int length = vertical ? img->height : img->width;
    int breadth = vertical ? img->width : img->height;
    // Element (step s, position c) of a plane.
    size_t step = vertical ? static_cast<size_t>(img->width) : 1;
    size_t across = vertical ? 1 : static_cast<size_t>(img->width);
    int p = 0;
    for (int s = 0; s < length; s++) {
        int lo = s == 0 ? 0 : (p - 1 > 0 ? p - 1 : 0);
        int hi = s == 0 ? breadth - 1 : (p + 1 < breadth - 1 ? p + 1 : breadth - 1);
        const uint16_t *line = cost + s * step;
        uint16_t best = 0xFFFF;
        for (int c = lo; c <= hi; c++) {
            uint16_t v = line[c * across];
            if (v < best) {
                best = v;
                p = c;
            }
        }
        seam[s * step + p * across] = SEAM_MARK;
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

// One line of a seam walk in one image: `span` pixels `stride` pixels apart,
// of BPP bytes each. A vertical seam walks rows (positions along x), a
// horizontal one columns. Positions outside [0, span) read as zero bytes and
// take no writes, as image_pixel's scratch cell would.
template <int BPP> struct SeamLine {
    uint8_t *pixels;       // null: reads zero, writes dropped
    const uint16_t *marks; // the seam plane along the same line; null: no marks
    int span;
    size_t stride; // in pixels

    SeamLine(Image *img, const uint16_t *plane, int vertical, int s) {
        size_t w = static_cast<size_t>(img->width);
        size_t start = vertical ? s * w : static_cast<size_t>(s);
        pixels = img->planes[0] ? img->planes[0] + start * BPP : nullptr;
        marks = plane ? plane + start : nullptr;
        span = vertical ? img->width : img->height;
        stride = vertical ? 1 : w;
    }
    void read(int k, uint8_t out[BPP]) const {
        if (pixels && k >= 0 && k < span)
            memcpy(out, pixels + static_cast<size_t>(k) * stride * BPP, BPP);
        else
            memset(out, 0, BPP);
    }
    void write(int k, const uint8_t in[BPP]) {
        if (pixels && k >= 0 && k < span)
            memcpy(pixels + static_cast<size_t>(k) * stride * BPP, in, BPP);
    }
    bool marked(int k) const {
        return marks && k >= 0 && k < span && marks[static_cast<size_t>(k) * stride] == SEAM_MARK;
    }
    // Copies pixels k, k + 1, ... to to's i, i + 1, ... (both advanced) while
    // k is inside this line and unmarked and i is inside `to`: the stretch of
    // a walk where no check could change what is copied.
    void copy_unmarked(int &k, SeamLine &to, int &i) const {
        if (!pixels || !to.pixels || k < 0 || i < 0) return;
        const uint8_t *src = pixels + static_cast<size_t>(k) * stride * BPP;
        uint8_t *dst = to.pixels + static_cast<size_t>(i) * to.stride * BPP;
        const uint16_t *mark = marks ? marks + static_cast<size_t>(k) * stride : nullptr;
        size_t src_step = stride * BPP, dst_step = to.stride * BPP;
        while (k < span && i < to.span && !(mark && *mark == SEAM_MARK)) {
            memcpy(dst, src, BPP);
            src += src_step;
            dst += dst_step;
            if (mark) mark += stride;
            k++;
            i++;
        }
    }
};

// One seam edit: the old image with its seam plane computed and the new image
// one column (vertical seam) or one row larger or smaller (grow -1 or 1).
// Each of the new image's lines across the seam is made from the old line of
// the same index; the old image is then replaced.
template <int BPP> static void seam_edit(Image *img, int direction, int grow) {
    int vertical = direction == 0;
    Image out;
    // A vertical seam changes the width.
    image_create(&out, img->width + (vertical ? grow : 0), img->height + (vertical ? 0 : grow),
                 img->channels);
    int seam = vertical ? PLANE_SEAM_VERTICAL : PLANE_SEAM_HORIZONTAL;
    image_ensure_plane(img, seam);
    int steps = vertical ? out.height : out.width;
    int span = vertical ? out.width : out.height;
    for (int s = 0; BPP > 0 && s < steps; s++) {
        SeamLine<BPP> from(img, plane16(img, seam), vertical, s);
        SeamLine<BPP> to(&out, nullptr, vertical, s);
        uint8_t px[BPP > 0 ? BPP : 1], other[BPP > 0 ? BPP : 1];
        if (grow < 0) {
            // The marked pixel is skipped.
            for (int i = 0, k = 0; i < span; i++, k++) {
                from.copy_unmarked(k, to, i);
                if (i >= span) break;
                if (from.marked(k)) k++;
                from.read(k, px);
                to.write(i, px);
            }
        } else {
            // The marked pixel is followed by its mean with the one before it
            // (after it, at position 0).
            for (int m = 0, j = 0; m < span; m++, j++) {
                from.copy_unmarked(j, to, m);
                if (m >= span) break;
                from.read(j, px);
                to.write(m, px);
                if (!from.marked(j)) continue;
                from.read(j == 0 ? 1 : j - 1, other);
                for (int c = 0; c < BPP; c++)
                    other[c] = static_cast<uint8_t>((px[c] + other[c]) / 2);
                to.write(++m, other);
            }
        }
    }
    image_free(img);
    *img = out;
}

static void seam_edit_any(Image *img, int direction, int grow) {
    if (img->width <= 1 || img->height <= 1) return;
    switch (img->channels) {
    case 1:
        return seam_edit<1>(img, direction, grow);
    case 2:
        return seam_edit<2>(img, direction, grow);
    case 3:
        return seam_edit<3>(img, direction, grow);
    case 4:
        return seam_edit<4>(img, direction, grow);
    default:
        return seam_edit<0>(img, direction, grow); // no pixel is copied
    }
}

void image_seam_remove(Image *img, int direction) { seam_edit_any(img, direction, -1); }

void image_seam_insert(Image *img, int direction) { seam_edit_any(img, direction, 1); }
