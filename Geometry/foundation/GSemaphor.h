#pragma once
// A re-entrant lock: the same thread may take it again while it holds it.
// It guards the pool list and every pool.

#include <mutex>

class GSemaphor {
public:
    GSemaphor() = default;
    ~GSemaphor() = default;
    // A lock has no meaningful copy: each pool and the pool list own theirs.
    GSemaphor(const GSemaphor&) = delete;
    GSemaphor& operator=(const GSemaphor&) = delete;

    void Busy() { section.lock(); }
    void Free() { section.unlock(); }

private:
    std::recursive_mutex section;
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
