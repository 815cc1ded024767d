// Animation: linear tweens of float variables and timers that set or flip
// variables, all from one node pool. A caller hands a pointer to its own
// variable; the module writes it on every update until the node is done or
// cancelled, then forgets it. The variable must outlive its node. Blocking
// nodes (all timers, and tweens not marked background) make tween_busy true,
// which holds up the second update stage and menu input. The shell's loop
// advances them (anim_internal.h holds its steps and the tests' counts).
// Main thread only.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

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
int tween_busy(void);               // 1 while a blocking node is in the active or timer list
// clang-format on
