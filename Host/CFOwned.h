// Holds one reference to a CoreFoundation object that the holder was given (+1) and releases it
// at the end of its scope, so that every error path of the host's set-up lets go of what it made.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

template <typename Ref> class CFOwned {
public:
    explicit CFOwned(Ref ref = nullptr) : mRef(ref) {}
    ~CFOwned()
    {
        if (mRef != nullptr)
            CFRelease(mRef);
    }
    CFOwned(const CFOwned&) = delete;
    CFOwned& operator=(const CFOwned&) = delete;

    Ref Get() const { return mRef; }
    explicit operator bool() const { return mRef != nullptr; }

private:
    Ref mRef;
};
