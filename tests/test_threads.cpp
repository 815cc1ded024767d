// Tests for the thread, lock and sleep wrappers, and their failure contract: a
// thread that could not be started leaves a null handle, and every operation
// on a null handle is a no-op instead of handing pthreads an object that does
// not exist.
#include <vostrel/threads/threads.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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

void *set_flag(void *arg) {
    static_cast<std::atomic<int> *>(arg)->store(1);
    return nullptr;
}

TEST(Threads, JoinableAndDetachedThreadsRun) {
    std::atomic<int> flag{0};
    ThreadHandle t = nullptr;
    thread_create(set_flag, &flag, 1, &t);
    ASSERT_NE(t, nullptr);
    thread_join(&t);
    EXPECT_EQ(flag.load(), 1) << "joined only after the routine ran";

    static std::atomic<int> detached_flag{0};
    ThreadHandle d = nullptr;
    thread_create(set_flag, &detached_flag, 0, &d);
    for (int i = 0; i < 5000 && !detached_flag.load(); i++)
        sleep_ms(1);
    EXPECT_EQ(detached_flag.load(), 1);
}

struct Shared {
    MutexHandle mutex = nullptr;
    RwLockHandle rw = nullptr;
    long counter = 0;
    long a = 0, b = 0;
    std::atomic<long> torn{0};
};

void *count_up(void *arg) {
    Shared *s = static_cast<Shared *>(arg);
    for (int i = 0; i < 100000; i++) {
        mutex_lock(&s->mutex);
        s->counter++;
        mutex_unlock(&s->mutex);
    }
    return nullptr;
}

TEST(Threads, MutexGuardsACounterFromTwoThreads) {
    Shared s;
    mutex_create(&s.mutex);
    ThreadHandle t1 = nullptr, t2 = nullptr;
    thread_create(count_up, &s, 1, &t1);
    thread_create(count_up, &s, 1, &t2);
    thread_join(&t1);
    thread_join(&t2);
    EXPECT_EQ(s.counter, 200000);
    mutex_destroy(&s.mutex);
}

void *write_pairs(void *arg) {
    Shared *s = static_cast<Shared *>(arg);
    for (int i = 0; i < 20000; i++) {
        rwlock_write_lock(&s->rw);
        s->a++;
        s->b++;
        rwlock_write_unlock(&s->rw);
    }
    return nullptr;
}

void *read_pairs(void *arg) {
    Shared *s = static_cast<Shared *>(arg);
    for (int i = 0; i < 20000; i++) {
        rwlock_read_lock(&s->rw);
        if (s->a != s->b) s->torn++;
        rwlock_read_unlock(&s->rw);
    }
    return nullptr;
}

void *read_once(void *arg) {
    Shared *s = static_cast<Shared *>(arg);
    rwlock_read_lock(&s->rw);
    s->torn++;
    rwlock_read_unlock(&s->rw);
    return nullptr;
}

TEST(Threads, ReadWriteLockSharesReadersAndExcludesWriters) {
    Shared s;
    rwlock_create(&s.rw);

    // A reader gets in while another reader holds the lock (a deadlock here
    // would show as the test timing out).
    rwlock_read_lock(&s.rw);
    ThreadHandle r = nullptr;
    thread_create(read_once, &s, 1, &r);
    thread_join(&r);
    EXPECT_EQ(s.torn.load(), 1);
    rwlock_read_unlock(&s.rw);

    // A reader waits while a writer holds it.
    s.torn = 0;
    rwlock_write_lock(&s.rw);
    thread_create(read_once, &s, 1, &r);
    sleep_ms(50);
    EXPECT_EQ(s.torn.load(), 0) << "reader got in under a writer";
    rwlock_write_unlock(&s.rw);
    thread_join(&r);
    EXPECT_EQ(s.torn.load(), 1);

    // Readers never see a half-done write.
    s.torn = 0;
    ThreadHandle w1 = nullptr, w2 = nullptr, r1 = nullptr, r2 = nullptr;
    thread_create(write_pairs, &s, 1, &w1);
    thread_create(read_pairs, &s, 1, &r1);
    thread_create(write_pairs, &s, 1, &w2);
    thread_create(read_pairs, &s, 1, &r2);
    thread_join(&w1);
    thread_join(&w2);
    thread_join(&r1);
    thread_join(&r2);
    EXPECT_EQ(s.a, 40000);
    EXPECT_EQ(s.b, 40000);
    EXPECT_EQ(s.torn.load(), 0);
    rwlock_destroy(&s.rw);
}

TEST(Threads, SleepLastsAtLeastTheRequestedTime) {
    auto t0 = std::chrono::steady_clock::now();
    sleep_ms(20);
    auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(std::chrono::duration_cast<std::chrono::microseconds>(waited).count(), 20000);
}

} // namespace
