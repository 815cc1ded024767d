// Animation, inside: the node kinds and pool, the steps the shell's loop,
// start-up and shutdown drive, and the counts the tests read. An application
// starts and cancels tweens and timers with anim.h alone.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <vostrel/anim/anim.h>

enum TweenKind { TWEEN_FLOAT = 0, TIMER_SET_INT = 1, TIMER_SET_POINTER = 2, TIMER_TOGGLE = 3 };

constexpr int TWEEN_POOL_SIZE = 16; // nodes tween_init puts in the pool

// The shell's steps
void tween_update(float dt);        // dt > 0: timers fall due, tweens advance; dt <= 0 changes nothing
void tween_finish_all(void);        // up to 4 updates of 99999 s while busy
void tween_init(void);              // empties the lists (nodes back to the heap) and puts 16 fresh nodes in the pool
void tween_shutdown(void);          // frees every node; lists empty

// Counts (tests)
int tween_active_count(void);       // running tweens (tests)
int tween_timer_count(void);        // waiting timers and delayed tweens (tests)
int tween_pool_count(void);         // free nodes (tests)
// clang-format on
