// Animation: linear tweens of float variables and timers that set or flip
// variables, all from one node pool. A caller hands a pointer to its own
// variable; the module writes it on every update until the node is done or
// cancelled, then forgets it. The variable must outlive its node. Blocking
// nodes (all timers, and tweens not marked background) make tween_busy true,
// which holds up the second update stage and menu input. Main thread only.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

enum TweenKind { TWEEN_FLOAT = 0, TIMER_SET_INT = 1, TIMER_SET_POINTER = 2, TIMER_TOGGLE = 3 };

constexpr int TWEEN_POOL_SIZE = 16; // nodes tween_init puts in the pool

// Tweens (to, duration and delay in seconds)
void tween_add(float *variable, float to, float duration, float delay, int background); // delay > 0: waits in the timer list; else (re)starts from the current value; no node if already at 'to'
void tween_start(float *variable, float to, float duration);                            // no delay, blocking
void tween_start_background(float *variable, float to, float duration);                 // no delay, background
void tween_start_delayed(float *variable, float to, float duration, float delay);       // blocking, after the delay
void tween_start_delayed_background(float *variable, float to, float duration, float delay); // background, after the delay

// Timers (always blocking)
void timer_set_int(int *variable, int value, float delay);          // stores value when due
void timer_set_pointer(void **variable, void *value, float delay);  // stores the pointer when due (whole pointer, not 32 bits)
void timer_toggle(int *variable, float delay);                      // 0 -> 1, anything else -> 0, when due

// Control
void tween_cancel(void *variable);  // removes the running tween of the variable, else its newest timer; the value stays
void tween_update(float dt);        // dt > 0: timers fall due, tweens advance; dt <= 0 changes nothing
int tween_busy(void);               // 1 while a blocking node is in the active or timer list
void tween_finish_all(void);        // up to 4 updates of 99999 s while busy
void tween_init(void);              // empties the lists (nodes back to the heap) and puts 16 fresh nodes in the pool
void tween_shutdown(void);          // frees every node; lists empty
int tween_active_count(void);       // running tweens (tests)
int tween_timer_count(void);        // waiting timers and delayed tweens (tests)
int tween_pool_count(void);         // free nodes (tests)

// clang-format on
