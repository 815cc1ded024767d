#include <vostrel/platform/heap.h>

#include <malloc.h>

int heap_keep_freed(void) { return mallopt(M_TRIM_THRESHOLD, HEAP_KEEP_FREED_BYTES) == 1; }
