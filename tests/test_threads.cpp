// Tests for the thread wrappers' failure contract: a thread that could not be
// started leaves a null handle, and every operation on a null handle is a
// no-op instead of handing pthreads an object that does not exist.
#include <vostrel/threads/threads.h>

#include <gtest/gtest.h>

#include <atomic>
#include <stdio.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

std::atomic<int> ran{0};

void *mark_ran(void *) {
    ran.store(1);
    return nullptr;
}

// The process's address-space size in bytes, from /proc.
long long mapped_bytes() {
    FILE *f = fopen("/proc/self/statm", "r");
    if (!f) return -1;
    long long pages = -1;
    if (fscanf(f, "%lld", &pages) != 1) pages = -1;
    fclose(f);
    return pages < 0 ? -1 : pages * sysconf(_SC_PAGESIZE);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Exit codes of the child below, so a failure says which step went wrong.
enum { CHILD_OK = 0, CHILD_NO_LIMIT = 1, CHILD_HANDLE_SET = 2, CHILD_THREAD_RAN = 3 };

// In a child process whose address space cannot grow by a thread stack,
// pthread_create fails; the wrapper must report that through a null handle
// that join and cancel then ignore.
int create_without_room_for_a_stack() {
    long long now = mapped_bytes();
    if (now < 0) return CHILD_NO_LIMIT;
    // Room for small heap allocations, none for a thread stack (8 MiB by
    // default, never below 2 MiB).
    rlimit lim = {static_cast<rlim_t>(now + (512 << 10)), static_cast<rlim_t>(now + (512 << 10))};
    if (setrlimit(RLIMIT_AS, &lim) != 0) return CHILD_NO_LIMIT;
    ThreadHandle t = &lim; // anything but null: the call must overwrite it
    thread_create(mark_ran, nullptr, 1, &t);
    if (t != nullptr) return CHILD_HANDLE_SET;
    thread_join(&t);
    thread_cancel(&t);
    return ran.load() ? CHILD_THREAD_RAN : CHILD_OK;
}

TEST(ThreadsDeathTest, FailedCreateLeavesANullHandleThatJoinAndCancelIgnore) {
    if (kSanitized) GTEST_SKIP() << "the sanitizer maps memory of its own for every new thread";
    EXPECT_EXIT(_exit(create_without_room_for_a_stack()), ::testing::ExitedWithCode(CHILD_OK), "");
}

// Each of these would dereference a null pthreads object without the guard.
void use_null_handles() {
    ThreadHandle t = nullptr;
    thread_join(&t);
    thread_cancel(&t);
    MutexHandle m = nullptr;
    mutex_lock(&m);
    mutex_unlock(&m);
    mutex_destroy(&m);
    RwLockHandle l = nullptr;
    rwlock_read_lock(&l);
    rwlock_read_unlock(&l);
    rwlock_write_lock(&l);
    rwlock_write_unlock(&l);
    rwlock_destroy(&l);
}

TEST(ThreadsDeathTest, EveryOperationOnANullHandleDoesNothing) {
    EXPECT_EXIT(
        {
            use_null_handles();
            _exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
