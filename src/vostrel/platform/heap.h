// Heap tuning for the frame loop.
//
// Mesa's software renderer frees and allocates about 2 MB of scene memory
// every frame. With glibc's default trim threshold (128 KB) each free gives
// the top of the heap back to the kernel, and the next frame faults it in
// again page by page: on the build machine that cost 4-5 ms of the 5 ms the
// main thread spent on a frame. Keeping up to HEAP_KEEP_FREED_BYTES of
// freed memory mapped lets every frame reuse the same pages.
#pragma once

constexpr int HEAP_KEEP_FREED_BYTES = 32 * 1024 * 1024;

int heap_keep_freed(void); // 1 when the allocator took the setting; 0 leaves its defaults
