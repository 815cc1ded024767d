// On-screen keyboard: one 33-key layout drawn over the lower half of the
// screen, touches turned into characters for a callback, and a magnifier that
// grows the keys near the finger and shrinks the rest while a finger is down.
// Geometry is in keyboard units (an ordinary key is 1 x 1).
#include <vostrel/ui/ui_internal.h>

#include <vostrel/render/render.h>
#include <vostrel/input/input_internal.h>

#include <GLES/gl.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

namespace {

constexpr float FLOAT_MAX = 3.4028235e38f;
constexpr uint8_t KEY_FILL[4] = {64, 64, 64, 222};
constexpr uint8_t KEY_INK[4] = {128, 128, 128, 255};
constexpr uint8_t BACKING[4] = {64, 64, 64, 222};

struct KeyboardState {
    Keyboard board;
    Keyboard *keyboard; // null until the layout is built
    int shown;
    KeyCallback key_callback;
    int shift_on;
    const Key *pressed_key; // points into board, or null
    int lens_active;
    float lens_x, lens_y; // finger in keyboard units
    Rect keyboard_rect = {-1.0f, 1.0f, -1.0f, 1.0f};
};

KeyboardState kb;

void add_key(KeyboardLayout *layout, int lower, int upper, float l, float r, float b, float t) {
    if (layout->key_count >= KEYBOARD_MAX_KEYS) return;
    Key &k = layout->keys[layout->key_count++];
    k.lower = static_cast<uint8_t>(lower);
    k.upper = static_cast<uint8_t>(upper);
    k.rect = {l, r, b, t};
}

// One row of ordinary keys from (left, left + 1, bottom, bottom + 1) rightwards.
void add_row(KeyboardLayout *layout, const char *lower, const char *upper, float bottom) {
    float left = -5.0f;
    for (size_t i = 0; lower[i] && upper[i]; i++, left += 1.0f)
        add_key(layout, static_cast<uint8_t>(lower[i]), static_cast<uint8_t>(upper[i]), left,
                left + 1.0f, bottom, bottom + 1.0f);
}

void build_default_layout(KeyboardLayout *layout) {
    add_row(layout, "qwertyuiop", "QWERTYUIOP", 1.0f);
    add_row(layout, "asdfghjkl", "ASDFGHJKL", 0.0f);
    add_row(layout, "zxcvbnm,.", "ZXCVBNM<>", -1.0f);
    add_key(layout, KEY_SHIFT, KEY_SHIFT, -5.0f, -4.0f, -2.0f, -1.0f);
    add_key(layout, KEY_RETURN, KEY_RETURN, 4.0f, 5.0f, -1.0f, 1.0f);
    add_key(layout, ' ', ' ', -2.0f, 2.0f, -2.0f, -1.0f);
    add_key(layout, '<', '<', -4.0f, -2.0f, -2.0f, -1.0f);
    add_key(layout, '>', '>', 2.0f, 4.0f, -2.0f, -1.0f);
}

Rect empty_bounds() { return {FLOAT_MAX, -FLOAT_MAX, FLOAT_MAX, -FLOAT_MAX}; }

void grow_bounds(Rect *bounds, const Rect *r) {
    bounds->left = fminf(bounds->left, r->left);
    bounds->right = fmaxf(bounds->right, r->right);
    bounds->bottom = fminf(bounds->bottom, r->bottom);
    bounds->top = fmaxf(bounds->top, r->top);
}

// Touch steps shared by press, drag and release: the lens follows point 0
// while it is inside the keyboard; outside, lens and highlight are cleared.
void keyboard_touch(const TouchEvent &touch) {
    if (touch.count == 0) return;
    float x = touch.points[0].x, y = touch.points[0].y;
    kb.lens_active = rect_contains(&kb.keyboard_rect, x, y);
    kb.pressed_key = nullptr;
    if (!kb.lens_active || !kb.keyboard) return;
    rect_map_point(&kb.keyboard_rect, &kb.keyboard->bounds, &x, &y);
    kb.lens_x = x;
    kb.lens_y = y;
    const KeyboardLayout *layout = keyboard_layout();
    for (int i = 0; i < layout->key_count; i++)
        if (rect_contains(&layout->keys[i].rect, x, y)) {
            kb.pressed_key = &layout->keys[i];
            return;
        }
}

// Magnified distance from origin to a along the axis lo..hi with the finger at c.
float lens_offset(float a, float origin, float lo, float hi, float c) {
    return static_cast<float>(keyboard_lens_integral(a, lo, hi, c) -
                              keyboard_lens_integral(origin, lo, hi, c));
}

} // namespace

double keyboard_lens_scale(float a, float lo, float hi, float c) {
    const double span = static_cast<double>(hi) - lo;
    if (span == 0.0) return 0.0;
    const double t = (static_cast<double>(a) - c) / span;
    return KEYBOARD_LENS_STRENGTH * (sqrt(2.0) - sqrt(t * t + 1.0));
}

double keyboard_lens_integral(float a, float lo, float hi, float c) {
    const double span = static_cast<double>(hi) - lo;
    if (span == 0.0) return 0.0;
    const double t = (static_cast<double>(a) - c) / span;
    const double root = sqrt(t * t + 1.0);
    return span * KEYBOARD_LENS_STRENGTH * (sqrt(2.0) * t - 0.5 * (t * root + log(t + root)));
}

void keyboard_build_default(void) {
    memset(&kb.board, 0, sizeof kb.board);
    kb.pressed_key = nullptr;
    snprintf(kb.board.name, sizeof kb.board.name, "%s", "default");
    build_default_layout(&kb.board.layouts[kb.board.layout_count]);
    kb.board.layout_count++;
    kb.board.bounds = empty_bounds();
    for (int l = 0; l < kb.board.layout_count; l++) {
        KeyboardLayout &layout = kb.board.layouts[l];
        layout.bounds = empty_bounds();
        for (int i = 0; i < layout.key_count; i++)
            grow_bounds(&layout.bounds, &layout.keys[i].rect);
        grow_bounds(&kb.board.bounds, &layout.bounds);
    }
    kb.keyboard = &kb.board;
}

void keyboard_layout_init(void) {
    if (!kb.keyboard) keyboard_build_default();
}

void keyboard_show(KeyCallback callback) {
    kb.shown = 1;
    kb.key_callback = callback;
}

void keyboard_hide(void) {
    kb.shown = 0;
    kb.key_callback = nullptr;
}

int keyboard_is_shown(void) { return kb.shown; }

void keyboard_touch_down(TouchEvent touch) { keyboard_touch(touch); }

void keyboard_touch_drag(TouchEvent touch) { keyboard_touch(touch); }

void keyboard_touch_up(TouchEvent touch) {
    keyboard_touch(touch);
    const Key *key = kb.pressed_key;
    KeyCallback callback = kb.key_callback;
    kb.lens_active = 0;
    kb.pressed_key = nullptr;
    if (!key || !callback) return;
    if (key->lower == KEY_SHIFT)
        kb.shift_on = !kb.shift_on;
    else
        callback(kb.shift_on ? key->upper : key->lower);
}

void keyboard_draw(const Rect *) {
    const Keyboard *board = kb.keyboard;
    if (!board) return;
    const Rect &bounds = board->bounds;
    const int lens = kb.lens_active;
    if (lens)
        kb.keyboard_rect = {
            0.0f, lens_offset(bounds.right, bounds.left, bounds.left, bounds.right, kb.lens_x),
            0.0f, lens_offset(bounds.top, bounds.bottom, bounds.bottom, bounds.top, kb.lens_y)};
    else
        kb.keyboard_rect = bounds;
    // The keyboard fills the lower half of its touch space.
    keyboard_input_rect = kb.keyboard_rect;
    keyboard_input_rect.top += rect_height(&kb.keyboard_rect);

    glPushMatrix();
    gl_begin_2d(&keyboard_input_rect);
    gl_set_color(BACKING);
    draw_rect(&kb.keyboard_rect, 1);

    const KeyboardLayout *layout = keyboard_layout();
    for (int i = 0; i < layout->key_count; i++) {
        const Key &key = layout->keys[i];
        float cx = rect_center_x(&key.rect), cy = rect_center_y(&key.rect);
        float fx = 1.0f, fy = 1.0f;
        if (lens) {
            // Within the magnified span, keys are placed by the lens integral
            // and sized by its local scale, so neighbours still meet.
            fx = static_cast<float>(keyboard_lens_scale(cx, bounds.left, bounds.right, kb.lens_x));
            fy = static_cast<float>(keyboard_lens_scale(cy, bounds.bottom, bounds.top, kb.lens_y));
            cx = lens_offset(cx, layout->bounds.left, bounds.left, bounds.right, kb.lens_x);
            cy = lens_offset(cy, layout->bounds.bottom, bounds.bottom, bounds.top, kb.lens_y);
        }
        char label[4] = {0};
        if (key.lower == KEY_SHIFT)
            snprintf(label, sizeof label, "%s", kb.shift_on ? "Aa" : "aA");
        else if (key.lower == KEY_RETURN)
            snprintf(label, sizeof label, "%s", "Ret");
        else
            label[0] = static_cast<char>(kb.shift_on ? key.upper : key.lower);
        const bool pressed = &key == kb.pressed_key;
        glPushMatrix();
        glTranslatef(cx, cy, 0.0f);
        glScalef(rect_width(&key.rect) * fx, rect_height(&key.rect) * fy, 1.0f);
        draw_label_box(&unit_rect, label, pressed ? KEY_INK : KEY_FILL,
                       pressed ? KEY_FILL : KEY_INK);
        glPopMatrix();
    }
    glPopMatrix();
}

const Keyboard *keyboard_get(void) { return kb.keyboard; }

const KeyboardLayout *keyboard_layout(void) {
    if (!kb.keyboard) return nullptr;
    int l = kb.keyboard->current_layout;
    if (l < 0 || l >= kb.keyboard->layout_count) l = 0;
    return &kb.keyboard->layouts[l];
}

const Key *keyboard_pressed_key(void) { return kb.pressed_key; }

int keyboard_shift_on(void) { return kb.shift_on; }

void keyboard_set_shift(int on) { kb.shift_on = on ? 1 : 0; }

int keyboard_lens_active(void) { return kb.lens_active; }

const Rect *keyboard_drawn_rect(void) { return &kb.keyboard_rect; }
