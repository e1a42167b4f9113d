// Holds one reference to a CoreFoundation object that its holder was given (+1) and releases it
// when the holder goes, on every way out of a scope, so that no error path leaks what it made.
// It moves but never copies; it reads as the reference it holds.
#pragma once

#include <CoreFoundation/CFBase.h>

#include <utility>

template <class Ref> class CFOwned {
public:
    explicit CFOwned(Ref ref = nullptr) noexcept : mRef(ref) {}
    CFOwned(CFOwned&& other) noexcept : mRef(other.release()) {}
    CFOwned& operator=(CFOwned&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    ~CFOwned() { reset(); }
    CFOwned(const CFOwned&) = delete;
    CFOwned& operator=(const CFOwned&) = delete;

    Ref get() const { return mRef; }
    operator Ref() const { return mRef; }

    // Gives the reference up to the caller, who releases it.
    Ref release() { return std::exchange(mRef, nullptr); }
    void reset(Ref ref = nullptr)
    {
        const Ref old = std::exchange(mRef, ref);
        if (old != nullptr)
            CFRelease(old);
    }
    // Where a call that returns a +1 reference through a pointer writes it; what was held is
    // released first.
    Ref* out()
    {
        reset();
        return &mRef;
    }

private:
    Ref mRef;
};
