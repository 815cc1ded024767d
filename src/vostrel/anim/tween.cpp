// Animation: tweens and timers.
//
// Three doubly linked lists hold every node: active (running tweens, at most
// one per variable), timers (timers and delayed tweens, any number per
// variable) and the free pool. New nodes go to the head and lists are walked
// from the head, so the newest node is visited first. Nodes are allocated one
// at a time when the pool is empty and freed only by tween_shutdown (or a
// re-init), so steady animation allocates nothing.
//
// A timer's value is kept whole: a pointer timer stores the full pointer (a
// 32-bit slot would cut 64-bit pointers).
#include <vostrel/anim/anim_internal.h>

#include <vostrel/math/maths.h>

#include <initializer_list>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

namespace {

struct TweenNode {
    int32_t kind;
    void *variable;
    float delay;
    union {
        float f;
        int32_t i;
        void *p;
    } from;
    float to;
    float duration;
    float elapsed;
    int32_t background;
    TweenNode *next, *prev;
};

struct List {
    TweenNode *head;
};

struct {
    List active, timers, pool;
} tweens;

void push_front(List &list, TweenNode *n) {
    n->prev = nullptr;
    n->next = list.head;
    if (list.head) list.head->prev = n;
    list.head = n;
}

void unlink(List &list, TweenNode *n) {
    if (list.head == n) list.head = n->next;
    if (n->prev) n->prev->next = n->next;
    if (n->next) n->next->prev = n->prev;
    n->next = n->prev = nullptr;
}

TweenNode *take_node() {
    TweenNode *n = tweens.pool.head;
    if (n)
        unlink(tweens.pool, n);
    else
        n = static_cast<TweenNode *>(malloc(sizeof(TweenNode)));
    if (n) memset(n, 0, sizeof *n);
    return n;
}

void release(List &list, TweenNode *n) {
    unlink(list, n);
    push_front(tweens.pool, n);
}

void free_list(List &list) {
    while (TweenNode *n = list.head) {
        unlink(list, n);
        free(n);
    }
}

TweenNode *find(const List &list, const void *variable) {
    for (TweenNode *n = list.head; n; n = n->next)
        if (n->variable == variable) return n;
    return nullptr;
}

int count(const List &list) {
    int c = 0;
    for (TweenNode *n = list.head; n; n = n->next)
        c++;
    return c;
}

TweenNode *new_timer(void *variable, int32_t kind, float delay) {
    TweenNode *n = take_node();
    if (!n) return nullptr;
    n->kind = kind;
    n->variable = variable;
    n->delay = delay;
    push_front(tweens.timers, n);
    return n;
}

} // namespace

void tween_add(float *variable, float to, float duration, float delay, int background) {
    if (delay > 0.0f) {
        TweenNode *n = new_timer(variable, TWEEN_FLOAT, delay);
        if (!n) return;
        n->to = to;
        n->duration = duration;
        n->background = background;
        return;
    }
    TweenNode *n = find(tweens.active, variable);
    if (!n) {
        if (*variable == to) return;
        n = take_node();
        if (!n) return;
        push_front(tweens.active, n);
        n->kind = TWEEN_FLOAT;
        n->variable = variable;
    }
    n->delay = 0.0f;
    n->from.f = *variable;
    n->to = to;
    n->duration = duration;
    n->elapsed = 0.0f;
    n->background = background;
}

void tween_start(float *variable, float to, float duration) {
    tween_add(variable, to, duration, 0.0f, 0);
}

void tween_start_background(float *variable, float to, float duration) {
    tween_add(variable, to, duration, 0.0f, 1);
}

void tween_start_delayed(float *variable, float to, float duration, float delay) {
    tween_add(variable, to, duration, delay, 0);
}

void tween_start_delayed_background(float *variable, float to, float duration, float delay) {
    tween_add(variable, to, duration, delay, 1);
}

void timer_set_int(int *variable, int value, float delay) {
    if (TweenNode *n = new_timer(variable, TIMER_SET_INT, delay)) n->from.i = value;
}

void timer_set_pointer(void **variable, void *value, float delay) {
    if (TweenNode *n = new_timer(variable, TIMER_SET_POINTER, delay)) n->from.p = value;
}

void timer_toggle(int *variable, float delay) { new_timer(variable, TIMER_TOGGLE, delay); }

void tween_cancel(void *variable) {
    if (TweenNode *n = find(tweens.active, variable)) {
        release(tweens.active, n);
        return;
    }
    if (TweenNode *n = find(tweens.timers, variable)) release(tweens.timers, n);
}

void tween_update(float dt) {
    if (!(dt > 0.0f)) return;
    for (TweenNode *n = tweens.timers.head, *next; n; n = next) {
        next = n->next;
        n->delay -= dt;
        if (n->delay > 0.0f) continue;
        n->delay = 0.0f;
        switch (n->kind) {
        case TWEEN_FLOAT:
            tween_add(static_cast<float *>(n->variable), n->to, n->duration, 0.0f, n->background);
            break;
        case TIMER_SET_INT:
            *static_cast<int32_t *>(n->variable) = n->from.i;
            break;
        case TIMER_SET_POINTER:
            *static_cast<void **>(n->variable) = n->from.p;
            break;
        case TIMER_TOGGLE: {
            int32_t *v = static_cast<int32_t *>(n->variable);
            *v = *v == 0 ? 1 : 0;
            break;
        }
        default:
            break;
        }
        release(tweens.timers, n);
    }
    for (TweenNode *n = tweens.active.head, *next; n; n = next) {
        next = n->next;
        float *v = static_cast<float *>(n->variable);
        n->elapsed += dt;
        if (n->elapsed >= n->duration || *v == n->to) {
            *v = n->to;
            release(tweens.active, n);
        } else {
            *v = remap_clamped(n->elapsed / n->duration, 0.0f, 1.0f, n->from.f, n->to);
        }
    }
}

int tween_busy(void) {
    for (const List *list : {&tweens.active, &tweens.timers})
        for (TweenNode *n = list->head; n; n = n->next)
            if (!n->background) return 1;
    return 0;
}

void tween_finish_all(void) {
    for (int pass = 0; pass < 4 && tween_busy(); pass++)
        tween_update(99999.0f);
}

void tween_init(void) {
    tween_shutdown();
    for (int i = 0; i < TWEEN_POOL_SIZE; i++)
        if (TweenNode *n = static_cast<TweenNode *>(calloc(1, sizeof(TweenNode))))
            push_front(tweens.pool, n);
}

void tween_shutdown(void) {
    free_list(tweens.active);
    free_list(tweens.timers);
    free_list(tweens.pool);
}

int tween_active_count(void) { return count(tweens.active); }
int tween_timer_count(void) { return count(tweens.timers); }
int tween_pool_count(void) { return count(tweens.pool); }
