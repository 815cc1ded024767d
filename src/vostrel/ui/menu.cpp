// Menu system: pages of up to six items and a back item under a red title,
// shown in place of the application's screen, with a page stack, key and
// touch navigation, the interface sounds and a half-second slide between
// pages. All geometry is in menu units (the square menu_space); the square is
// grown to the screen's aspect each frame and touches arrive in that space.
#include <vostrel/ui/ui_internal.h>

#include <vostrel/anim/anim.h>
#include <vostrel/audio/audio.h>
#include <vostrel/diag/diag.h>
#include <vostrel/render/render.h>
#include <vostrel/render/render_internal.h>
#include <vostrel/shell/shell.h>
#include <vostrel/shell/shell_internal.h>
#include <vostrel/text/text.h>
#include <vostrel/input/input_internal.h>

#include <GLES/gl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const Rect menu_space = {-100.0f, 100.0f, -100.0f, 100.0f};

namespace {

struct StackNode {
    MenuPage *page;
    StackNode *next;
};

constexpr int MODE_WORDS[2] = {MENU_MODE_OPEN, MENU_MODE_BACK};
constexpr const char *VERSION_TEXT = "1.8.0";

constexpr uint8_t ROW_FILL[4] = {64, 64, 64, 222};
constexpr uint8_t GREY[4] = {128, 128, 128, 255};
constexpr uint8_t WHITE[4] = {255, 255, 255, 255};
constexpr uint8_t TITLE_RED[4] = {255, 0, 0, 255};
constexpr uint8_t REFLECTION_RED[4] = {255, 0, 0, 48};

// The item bar: a rectangle with pointed left and right ends, drawn as a fan.
// clang-format off
constexpr float SHAPE_POSITIONS[6 * 3] = {
    -0.6f,  0.0f, 0.0f,
    -0.5f,  0.5f, 0.0f,
     0.5f,  0.5f, 0.0f,
     0.6f,  0.0f, 0.0f,
     0.5f, -0.5f, 0.0f,
    -0.5f, -0.5f, 0.0f,
};
constexpr float SHAPE_TEXCOORDS[6 * 3] = {
    0.0f, 0.5f, 0.0f,
    0.0f, 1.0f, 0.0f,
    1.0f, 1.0f, 0.0f,
    1.0f, 0.5f, 0.0f,
    1.0f, 0.0f, 0.0f,
    0.0f, 0.0f, 0.0f,
};
// clang-format on

struct MenuState {
    MenuPage *current; // null while closed
    StackNode *stack;  // most recently left page first
    Rect title_rect;   // animated
    Rect title_target; // resting
    Rect item_rects[MENU_ITEM_SLOTS];
    Rect item_targets[MENU_ITEM_SLOTS];
    int item_shape = -1;
    MenuPage about_page;
    const char *about_text = "";
};

MenuState menu;

// Regular items of a page that may be drawn or indexed: item_count limited to 0..6.
int items_in_use(const MenuPage *page) {
    if (page->item_count < 0) return 0;
    return page->item_count > MENU_MAX_ITEMS ? MENU_MAX_ITEMS : page->item_count;
}

int handler_set(const MenuHandler *h) { return h->function != nullptr; }

void start_slide(int mode) {
    const float h = rect_height(&menu.title_target);
    menu.title_rect.bottom = menu_space.top;
    menu.title_rect.top = menu_space.top + 2.0f * h;
    tween_start(&menu.title_rect.bottom, menu.title_target.bottom, MENU_SLIDE_SECONDS);
    tween_start(&menu.title_rect.top, menu.title_target.top, MENU_SLIDE_SECONDS);

    const float w = rect_width(&menu.item_targets[0]);
    for (int i = 0; i < MENU_MAX_ITEMS; i++) {
        Rect &r = menu.item_rects[i];
        if (mode == MENU_MODE_OPEN) {
            r.left = menu_space.left - 2.0f * w;
            r.right = menu_space.left;
        } else {
            r.left = menu_space.right;
            r.right = menu_space.right + 2.0f * w;
        }
        tween_start(&r.left, menu.item_targets[i].left, MENU_SLIDE_SECONDS);
        tween_start(&r.right, menu.item_targets[i].right, MENU_SLIDE_SECONDS);
    }
}

// Hit test of a press or drag at (x, y) in menu units; the first row that
// contains the point wins, so a shared edge goes to the upper row.
int menu_touch(float x, float y) {
    if (!menu_ready()) return 0;
    for (int i = 0; i < MENU_ITEM_SLOTS; i++)
        if (menu_item_valid(i) && rect_contains(&menu.item_rects[i], x, y)) return menu_select(i);
    menu.current->selected = -1;
    return 0;
}

} // namespace

void menu_startup_hook(void) {}

void menu_shutdown_hook(void) { menu_close(); }

void menu_init(void) {
    const float unit = rect_height(&menu_space) / 9.0f;
    menu.title_target = {menu_space.left, menu_space.right, menu_space.top - 1.5f * unit,
                         menu_space.top};
    menu.title_rect = menu.title_target;

    const float inset = rect_width(&menu_space) / 6.0f;
    float top = menu.title_target.bottom - 0.5f * unit;
    for (int i = 0; i < MENU_ITEM_SLOTS; i++) {
        menu.item_targets[i] = {inset + menu_space.left, menu_space.right - inset, top - unit, top};
        top -= unit;
    }
    Rect &back = menu.item_targets[MENU_BACK_ITEM];
    back.bottom = menu_space.bottom;
    back.top = menu_space.bottom + unit;
    for (int i = 0; i < MENU_ITEM_SLOTS; i++)
        menu.item_rects[i] = menu.item_targets[i];

    menu_gl_init();

    MenuPage &about = menu.about_page;
    memset(&about, 0, sizeof about);
    menu_set_text(about.title, "About");
    about.draw_extra.function = menu_draw_about;
    menu_set_text(about.items[MENU_BACK_ITEM].label, "Back");
    about.items[MENU_BACK_ITEM].on_activate = menu_transition_handler(MENU_MODE_BACK, nullptr);

    app_menu_built();
}

void menu_gl_init(void) {
    menu.item_shape = vertex_store_add(6, SHAPE_POSITIONS, nullptr, SHAPE_TEXCOORDS, nullptr);
}

int menu_active(void) { return menu.current != nullptr; }

int menu_ready(void) { return menu.current != nullptr && !tween_busy(); }

int menu_item_valid(int i) {
    if (!menu_ready()) return 0;
    return i == MENU_BACK_ITEM || (i >= 0 && i < menu.current->item_count && i < MENU_MAX_ITEMS);
}

int menu_select(int i) {
    if (!menu_item_valid(i)) {
        if (menu.current) menu.current->selected = -1;
        return 0;
    }
    if (i != menu.current->selected) sound_play(&sound_click, 0);
    menu.current->selected = i;
    return 1;
}

void menu_update(float) {}

void menu_run_handler(MenuHandler *h) {
    if (h->function) h->function(&h->data[0]);
}

void menu_draw_item(int i, int with_background) {
    if (!menu.current || i < 0 || i >= MENU_ITEM_SLOTS) return;
    const Rect &r = menu.item_rects[i];
    if (with_background && menu.item_shape >= 0) {
        glPushMatrix();
        glTranslatef(rect_center_x(&r), rect_center_y(&r), 0.0f);
        glScalef(rect_width(&r), rect_height(&r) / 1.25f, 1.0f);
        gl_set_color(ROW_FILL);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, button_texture);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glDrawArrays(GL_TRIANGLE_FAN, menu.item_shape, 6);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisable(GL_TEXTURE_2D);
        glPopMatrix();
    }
    gl_set_color(i == menu.current->selected ? WHITE : GREY);
    draw_label_box(&r, menu.current->items[i].label, nullptr, nullptr);
}

void menu_draw(const Rect *screen) {
    MenuPage *page = menu.current;
    if (!page) return;
    menu_input_rect = menu_space;
    rect_grow_to_aspect(screen, &menu_input_rect);
    glPushMatrix();
    gl_begin_2d(&menu_input_rect);

    // The reflection is the title's rectangle turned upside down just below
    // it, so the mirrored text reads as a faint image of the title.
    Rect mirror = menu.title_rect;
    const float h = rect_height(&mirror);
    mirror.top = mirror.bottom - h;
    rect_translate(&mirror, 0.0f, h / 4.0f);
    gl_set_color(REFLECTION_RED);
    draw_label_box(&mirror, page->title, nullptr, nullptr);
    gl_set_color(TITLE_RED);
    draw_label_box(&menu.title_rect, page->title, nullptr, nullptr);

    const int count = items_in_use(page);
    for (int i = 0; i < count; i++)
        menu_draw_item(i, 1);

    if (handler_set(&page->draw_extra)) {
        Rect area = {menu_space.left, menu_space.right, menu.item_rects[MENU_BACK_ITEM].top,
                     menu.item_rects[count].top};
        rect_inset_percent(&area, 5.0f);
        page->draw_extra.data[0] = &area;
        menu_run_handler(&page->draw_extra);
        page->draw_extra.data[0] = nullptr; // the area dies with this frame
    }
    menu_draw_item(MENU_BACK_ITEM, 0);
    glPopMatrix();
}

void menu_key(int code) {
    if (!menu_ready()) return;
    MenuPage *page = menu.current;
    MenuItem *item = nullptr;
    const int sel = page->selected;
    if (menu_item_valid(sel)) item = &page->items[sel];
    switch (code) {
    case NAV_SELECT:
    case NAV_BACK: {
        MenuItem *target = code == NAV_BACK ? &page->items[MENU_BACK_ITEM] : item;
        if (target) {
            if (handler_set(&target->on_activate))
                menu_run_handler(&target->on_activate);
            else
                menu_run_handler(&target->on_right);
        }
        sound_play(&sound_bubble, 0);
        break;
    }
    case NAV_LEFT:
    case NAV_RIGHT:
        if (item) menu_run_handler(code == NAV_LEFT ? &item->on_left : &item->on_right);
        sound_play(&sound_click, 0);
        break;
    case NAV_DOWN: {
        int a = sel + 1;
        if (a > MENU_BACK_ITEM)
            a = page->item_count > 0 ? 0 : MENU_BACK_ITEM;
        else if (a >= page->item_count)
            a = MENU_BACK_ITEM;
        menu_select(a);
        break;
    }
    case NAV_UP: {
        int a = sel - 1;
        if (a < 0)
            a = MENU_BACK_ITEM;
        else if (a >= page->item_count)
            a = page->item_count <= 0 ? MENU_BACK_ITEM : page->item_count - 1;
        menu_select(a);
        break;
    }
    default:
        break;
    }
}

void menu_touch_down(TouchEvent touch) {
    if (touch.count > 0) menu_touch(touch.points[0].x, touch.points[0].y);
}

void menu_touch_drag(TouchEvent touch) {
    if (touch.count > 0) menu_touch(touch.points[0].x, touch.points[0].y);
}

void menu_touch_up(TouchEvent touch) {
    if (!menu_ready() || touch.count == 0) return;
    const int sel = menu.current->selected;
    if (!menu_item_valid(sel)) return;
    if (handler_set(&menu.current->items[sel].on_activate))
        menu_key(NAV_SELECT);
    else if (touch.points[0].x >= rect_center_x(&menu.item_rects[sel]))
        menu_key(NAV_RIGHT);
    else
        menu_key(NAV_LEFT);
}

void menu_transition(void **data) {
    const int *mode_word = static_cast<const int *>(data[0]);
    const int mode = mode_word ? *mode_word : MENU_MODE_OPEN;
    if (mode == MENU_MODE_OPEN) {
        MenuPage *page = static_cast<MenuPage *>(data[1]);
        if (!page) return; // opening needs a page; the menu stays as it is
        if (menu.current) {
            StackNode *node = static_cast<StackNode *>(malloc(sizeof(StackNode)));
            if (!node) return;
            node->page = menu.current;
            node->next = menu.stack;
            menu.stack = node;
        }
        menu.current = page;
    } else if (mode == MENU_MODE_BACK) {
        StackNode *node = menu.stack;
        if (!node) return;
        menu.stack = node->next;
        menu.current = node->page;
        free(node);
    } else {
        return;
    }
    menu.current->selected = menu.current->item_count <= 0 ? MENU_BACK_ITEM : 0;
    start_slide(mode);
}

void menu_close(void) {
    while (menu.stack) {
        StackNode *next = menu.stack->next;
        free(menu.stack);
        menu.stack = next;
    }
    menu.current = nullptr;
}

void menu_close_handler(void **) { menu_close(); }

void menu_quit_handler(void **) { shell_quit(1, 0); }

void menu_draw_about(void **data) {
    const Rect *area = static_cast<const Rect *>(data[0]);
    if (!area) return;
    Rect r = *area;
    const float w = rect_width(&r);
    gl_set_color(ROW_FILL);
    draw_rect(&r, 1);
    gl_set_color(GREY);
    draw_rect(&r, 0);
    text_draw_wrapped(menu.about_text, w / 15.0f, r.left, r.top, w);
    text_draw(APP_NAME, w / 18.0f, rect_center_x(&r), r.bottom + w / 30.0f);
    text_draw(VERSION_TEXT, w / 20.0f, r.right - w / 8.0f, r.bottom - w / 40.0f);
}

MenuHandler menu_transition_handler(int mode, MenuPage *page) {
    MenuHandler h = {};
    if (mode != MENU_MODE_OPEN && mode != MENU_MODE_BACK) return h;
    h.function = menu_transition;
    h.data[0] = const_cast<int *>(&MODE_WORDS[mode]); // read only, never written through
    h.data[1] = page;
    return h;
}

void menu_toggle_label(int action, const char *base, char *out, int *flag) {
    if (flag && (action == MENU_LABEL_FLIP || action == MENU_LABEL_FLIP_ALT))
        *flag = *flag == 0 ? 1 : 0;
    const int on = flag && *flag != 0;
    if (out) snprintf(out, MENU_TEXT_SIZE, "%s%s", base ? base : "", on ? ": On" : ": Off");
    app_menu_label();
}

void menu_set_text(char *dest, const char *text) {
    snprintf(dest, MENU_TEXT_SIZE, "%s", text ? text : "");
}

void menu_set_about_text(const char *text) { menu.about_text = text ? text : ""; }

MenuPage *menu_about_page(void) { return &menu.about_page; }

MenuPage *menu_current_page(void) { return menu.current; }

int menu_stack_depth(void) {
    int n = 0;
    for (const StackNode *s = menu.stack; s; s = s->next)
        n++;
    return n;
}

const Rect *menu_title_rect(void) { return &menu.title_rect; }

const Rect *menu_item_rect(int i) {
    return i >= 0 && i < MENU_ITEM_SLOTS ? &menu.item_rects[i] : nullptr;
}

const Rect *menu_item_target(int i) {
    return i >= 0 && i < MENU_ITEM_SLOTS ? &menu.item_targets[i] : nullptr;
}

int menu_item_shape(void) { return menu.item_shape; }
