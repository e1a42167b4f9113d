// The framework's exception: a failed operation's description and the status it failed with.
// The host-call boundary turns it into that status.
#pragma once

#include <MacTypes.h>

#include <cstring>

class CAXException {
public:
    CAXException(const char* inOperation, OSStatus inError) : mError(inError)
    {
        if (inOperation == nullptr) {
            mOperation[0] = '\0';
            return;
        }
        std::strncpy(mOperation, inOperation, sizeof(mOperation) - 1);
        mOperation[sizeof(mOperation) - 1] = '\0';
    }

    const char* Operation() const { return mOperation; }
    OSStatus Error() const { return mError; }

    char mOperation[256];
    OSStatus mError;
};
