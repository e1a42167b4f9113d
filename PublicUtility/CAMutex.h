// The interface of a unit's optional shared mutex, and the scope guard the host-call adapters
// hold it with. Only the interface is needed here: no unit of this system installs a mutex.
#pragma once

class CAMutex {
public:
    virtual ~CAMutex() = default;

    // True when this call took the lock; false when the caller already held it (a recursive
    // take), in which case it must not unlock. [any-thread]
    virtual bool Lock() = 0;
    // [any-thread]
    virtual void Unlock() = 0;

    // Holds the mutex for a scope when there is one; a null mutex makes the guard do nothing.
    class Locker {
    public:
        explicit Locker(CAMutex* mutex)
            : mMutex(mutex), mNeedsRelease(mutex != nullptr && mutex->Lock())
        {
        }
        ~Locker()
        {
            if (mNeedsRelease)
                mMutex->Unlock();
        }
        Locker(const Locker&) = delete;
        Locker& operator=(const Locker&) = delete;

    private:
        CAMutex* mMutex;
        bool mNeedsRelease;
    };
};
