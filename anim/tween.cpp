// Animation: no tween or timer is ever started in this program, so the queue
// is always empty; the later tweens issue fills these in place.
#include "anim/anim.h"

void tween_update(float) {}
int tween_busy(void) { return 0; }
void tween_finish_all(void) {}
void tween_shutdown(void) {}
