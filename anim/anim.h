// Animation: linear tweens of float variables and timers that set or flip
// variables. Nothing in this program starts one; the shell drives the queue
// through these calls, which a later issue fills with the tween list.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

void tween_update(float dt);  // advances every tween and timer
int tween_busy(void);         // 1 while a blocking tween or timer is pending
void tween_finish_all(void);  // runs pending tweens and timers to their ends
void tween_shutdown(void);    // frees every node
// clang-format on
