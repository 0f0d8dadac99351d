#pragma once
// CMTLock: the per-mesh lock taken by code that shares a mesh's scratch
// members and facet hash with another thread (the projection routines).
//
// Ownership: each Mesh::CBaseMesh creates and deletes its own lock.
// Thread-safety: recursive, so a thread that already holds the lock may take
// it again (a projection routine calling another one on the same mesh).

#include <mutex>

class CMTLock {
public:
    CMTLock() = default;
    CMTLock(const CMTLock&) = delete;
    CMTLock& operator=(const CMTLock&) = delete;
    virtual ~CMTLock() = default;

    // Waits for the lock; always true.
    bool lock()
    {
        mutex.lock();
        return true;
    }
    // Releases one level of the lock held by this thread; always true.
    bool unlock()
    {
        mutex.unlock();
        return true;
    }

private:
    std::recursive_mutex mutex;
};
