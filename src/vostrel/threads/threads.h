// Threads: thin wrappers over POSIX threads, mutexes, read-write locks and a
// millisecond sleep. Each primitive lives in heap storage behind a handle, a
// pointer-sized variable owned by the caller. Results of the thread library
// are dropped, except that a thread that could not be started, or storage
// that could not be allocated, leaves the handle null; every operation on a
// null handle does nothing. The wrappers add no locking of their own.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

typedef void *ThreadHandle; // points at the wrapper's pthread_t storage
typedef void *MutexHandle;  // points at the wrapper's pthread_mutex_t storage
typedef void *RwLockHandle; // points at the wrapper's pthread_rwlock_t storage
typedef void *(*ThreadStart)(void *);

// Threads
void thread_create(ThreadStart start, void *arg, int joinable, ThreadHandle *handle); // starts; *handle null if the thread could not be started
void thread_exit(void);                   // ends the calling thread; never returns
void thread_cancel(ThreadHandle *handle); // cancels and releases the storage; *handle is left dangling; nothing on null
void thread_join(ThreadHandle *handle);   // waits for a joinable thread, then releases the storage; nothing on null

// Mutexes
void mutex_create(MutexHandle *handle);  // allocates and initialises with default attributes; null if allocation fails
void mutex_destroy(MutexHandle *handle); // destroys and releases; *handle is left dangling
void mutex_lock(MutexHandle *handle);    // blocks until held
void mutex_unlock(MutexHandle *handle);  // releases

// Read-write locks
void rwlock_create(RwLockHandle *handle);       // allocates and initialises with default attributes; null if allocation fails
void rwlock_destroy(RwLockHandle *handle);      // destroys and releases; *handle is left dangling
void rwlock_read_lock(RwLockHandle *handle);    // shared hold
void rwlock_write_lock(RwLockHandle *handle);   // exclusive hold
void rwlock_read_unlock(RwLockHandle *handle);  // releases a shared hold
void rwlock_write_unlock(RwLockHandle *handle); // releases an exclusive hold

// Time
void sleep_ms(int milliseconds); // usleep(milliseconds * 1000)
// clang-format on
