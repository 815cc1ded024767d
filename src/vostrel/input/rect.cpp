// Input: rectangles and the linear maps between coordinate spaces. The exact
// float/double steps are part of the contract: hit tests on shared cell edges
// and the gesture space depend on them.
#include <vostrel/input/input.h>

float remap(float v, float a0, float a1, float b0, float b1) {
    if (a0 == a1) return b0;
    float t = (v - a0) / (a1 - a0);
    return (b1 - b0) * t + b0;
}

float rect_width(const Rect *r) { return r->right - r->left; }
float rect_height(const Rect *r) { return r->top - r->bottom; }

float rect_center_x(const Rect *r) {
    return static_cast<float>(static_cast<double>(r->right - r->left) / 2.0 + r->left);
}

float rect_center_y(const Rect *r) {
    return static_cast<float>(static_cast<double>(r->top - r->bottom) / 2.0 + r->bottom);
}

void rect_center(const Rect *r, float *x, float *y) {
    *x = rect_center_x(r);
    *y = rect_center_y(r);
}

float rect_aspect(const Rect *r) {
    float h = rect_height(r);
    if (h == 0.0f) return 0.0f;
    float a = rect_width(r) / h;
    return a < 0.0f ? -a : a;
}

int rect_contains(const Rect *r, float x, float y) {
    return r->left <= x && x <= r->right && r->bottom <= y && y <= r->top;
}

int rect_equals(const Rect *a, const Rect *b) {
    return a->left == b->left && a->right == b->right && a->bottom == b->bottom && a->top == b->top;
}

void rect_translate(Rect *r, float dx, float dy) {
    r->left += dx;
    r->right += dx;
    r->bottom += dy;
    r->top += dy;
}

// Moves a by e / divisor in double precision, as the grow/shrink/inset rules say.
static float add_half(float a, float e, double divisor) {
    return static_cast<float>(static_cast<double>(e) / divisor + a);
}

void rect_inset_percent(Rect *r, float p) {
    float wp = rect_width(r) * p;
    float hp = rect_height(r) * p;
    r->left = add_half(r->left, wp, 100.0);
    r->right = add_half(r->right, wp, -100.0);
    r->bottom = add_half(r->bottom, hp, 100.0);
    r->top = add_half(r->top, hp, -100.0);
}

void rect_grow_to_aspect(const Rect *ref, Rect *r) {
    float a = rect_aspect(ref);
    if (a == 0.0f) return;
    float b = rect_aspect(r);
    float w = rect_width(r), h = rect_height(r);
    if (a > b) {
        float e = h * a - w;
        r->left = add_half(r->left, e, -2.0);
        r->right = add_half(r->right, e, 2.0);
    } else {
        float e = w / a - h;
        r->top = add_half(r->top, e, 2.0);
        r->bottom = add_half(r->bottom, e, -2.0);
    }
}

void rect_shrink_to_aspect(const Rect *ref, Rect *r) {
    float a = rect_aspect(ref);
    if (a == 0.0f) return;
    float b = rect_aspect(r);
    float w = rect_width(r), h = rect_height(r);
    if (a > b) {
        float e = h - w / a;
        r->top = add_half(r->top, e, -2.0);
        r->bottom = add_half(r->bottom, e, 2.0);
    } else {
        float e = w - h * a;
        r->left = add_half(r->left, e, 2.0);
        r->right = add_half(r->right, e, -2.0);
    }
}

void rect_map_point(const Rect *src, const Rect *dst, float *x, float *y) {
    *x = remap(*x, src->left, src->right, dst->left, dst->right);
    *y = remap(*y, src->bottom, src->top, dst->bottom, dst->top);
}

void rect_map_delta(const Rect *src, const Rect *dst, float *dx, float *dy) {
    float ws = rect_width(src), hs = rect_height(src);
    float wd = rect_width(dst), hd = rect_height(dst);
    *dx = remap(*dx, -ws, ws, -wd, wd);
    *dy = remap(*dy, -hs, hs, -hd, hd);
}
