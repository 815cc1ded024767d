// Platform tuning: freed heap memory stays mapped, so a frame that frees and
// re-allocates a few megabytes does not fault them in again.
#include <vostrel/platform/heap.h>

#include <gtest/gtest.h>
#include <malloc.h>

#include <vector>

namespace {

TEST(Heap, FreedMemoryStaysMappedForReuse) {
    if (!heap_keep_freed()) GTEST_SKIP() << "this allocator has no trim setting (sanitizer build)";
    // 4 MB in 32 KB blocks: heap memory (below the mmap threshold), freed in
    // reverse so it all merges into the top of the heap, as a renderer's
    // per-frame scene memory does.
    std::vector<void *> blocks(128);
    for (void *&b : blocks)
        b = malloc(32 * 1024);
    const size_t grown = mallinfo2().arena;
    for (auto b = blocks.rbegin(); b != blocks.rend(); ++b)
        free(*b);
    EXPECT_GE(mallinfo2().arena, grown) << "the top of the heap was given back";
}

} // namespace
