// Threads: POSIX wrappers. See threads.h for the contracts.
#include <vostrel/threads/threads.h>

#include <pthread.h>
#include <stdlib.h>
#include <unistd.h>

// A thread that was not started gets no storage: a zero-filled pthread_t is
// not a thread id, and handing it to pthread_join or pthread_cancel is
// undefined. The null handle makes join and cancel do nothing instead.
void thread_create(ThreadStart start, void *arg, int joinable, ThreadHandle *handle) {
    pthread_t *id = static_cast<pthread_t *>(calloc(1, sizeof(pthread_t)));
    *handle = nullptr;
    if (!id) return;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr,
                                joinable ? PTHREAD_CREATE_JOINABLE : PTHREAD_CREATE_DETACHED);
    int failed = pthread_create(id, &attr, start, arg);
    pthread_attr_destroy(&attr);
    if (failed) {
        free(id);
        return;
    }
    *handle = id;
}

void thread_exit(void) { pthread_exit(nullptr); }

void thread_cancel(ThreadHandle *handle) {
    pthread_t *id = static_cast<pthread_t *>(*handle);
    if (!id) return;
    pthread_cancel(*id);
    free(id);
}

// Joining releases the id storage too: after a join the id is meaningless,
// and keeping it would leak one pthread_t per joined thread.
void thread_join(ThreadHandle *handle) {
    pthread_t *id = static_cast<pthread_t *>(*handle);
    if (!id) return;
    pthread_join(*id, nullptr);
    free(id);
}

// A lock whose allocation failed has a null handle; every operation on it
// does nothing rather than hand pthreads a null object.
void mutex_create(MutexHandle *handle) {
    pthread_mutex_t *m = static_cast<pthread_mutex_t *>(calloc(1, sizeof(pthread_mutex_t)));
    *handle = m;
    if (m) pthread_mutex_init(m, nullptr);
}

void mutex_destroy(MutexHandle *handle) {
    pthread_mutex_t *m = static_cast<pthread_mutex_t *>(*handle);
    if (m) pthread_mutex_destroy(m);
    free(m);
}

void mutex_lock(MutexHandle *handle) {
    if (*handle) pthread_mutex_lock(static_cast<pthread_mutex_t *>(*handle));
}

void mutex_unlock(MutexHandle *handle) {
    if (*handle) pthread_mutex_unlock(static_cast<pthread_mutex_t *>(*handle));
}

void rwlock_create(RwLockHandle *handle) {
    pthread_rwlock_t *l = static_cast<pthread_rwlock_t *>(calloc(1, sizeof(pthread_rwlock_t)));
    *handle = l;
    if (l) pthread_rwlock_init(l, nullptr);
}

void rwlock_destroy(RwLockHandle *handle) {
    pthread_rwlock_t *l = static_cast<pthread_rwlock_t *>(*handle);
    if (l) pthread_rwlock_destroy(l);
    free(l);
}

void rwlock_read_lock(RwLockHandle *handle) {
    if (*handle) pthread_rwlock_rdlock(static_cast<pthread_rwlock_t *>(*handle));
}

void rwlock_write_lock(RwLockHandle *handle) {
    if (*handle) pthread_rwlock_wrlock(static_cast<pthread_rwlock_t *>(*handle));
}

void rwlock_read_unlock(RwLockHandle *handle) {
    if (*handle) pthread_rwlock_unlock(static_cast<pthread_rwlock_t *>(*handle));
}

void rwlock_write_unlock(RwLockHandle *handle) {
    if (*handle) pthread_rwlock_unlock(static_cast<pthread_rwlock_t *>(*handle));
}

void sleep_ms(int milliseconds) { usleep(static_cast<useconds_t>(milliseconds) * 1000); }
