#pragma once
// A re-entrant lock: the thread that holds it may take it again. It guards
// the pool list and every pool, whose critical sections are a few dozen
// instructions long, so an uncontended Busy/Free pair is one atomic
// exchange each way; a thread that finds it taken spins briefly, then
// yields its time slice.

#include <atomic>
#include <cstdint>
#include <pthread.h>
#include <thread>

class GSemaphor {
public:
    GSemaphor() = default;
    ~GSemaphor() = default;
    // A lock has no meaningful copy: each pool and the pool list own theirs.
    GSemaphor(const GSemaphor&) = delete;
    GSemaphor& operator=(const GSemaphor&) = delete;

    void Busy()
    {
        const std::uintptr_t self = Self();
        if (owner.load(std::memory_order_relaxed) == self) {
            ++depth;
            return;
        }
        for (int spins = 0;; ++spins) {
            std::uintptr_t expected = 0;
            if (owner.compare_exchange_weak(expected, self, std::memory_order_acquire,
                                            std::memory_order_relaxed))
                break;
            if (spins >= 64)
                std::this_thread::yield();
        }
        depth = 1;
    }

    void Free()
    {
        if (--depth == 0)
            owner.store(0, std::memory_order_release);
    }

private:
    static std::uintptr_t Self() { return static_cast<std::uintptr_t>(pthread_self()); }

    std::atomic<std::uintptr_t> owner{0};
    int depth = 0;
};

// Holds a GSemaphor for the lifetime of a scope.
class GSemaphorLock {
public:
    explicit GSemaphorLock(GSemaphor& s) : sem(s) { sem.Busy(); }
    ~GSemaphorLock() { sem.Free(); }
    GSemaphorLock(const GSemaphorLock&) = delete;
    GSemaphorLock& operator=(const GSemaphorLock&) = delete;

private:
    GSemaphor& sem;
};
