// An output bus: it always renders into memory of its own unless the host supplies buffers.
#pragma once

#include "AUIOElement.h"

class AUOutputElement : public AUIOElement {
public:
    explicit AUOutputElement(AUBase* audioUnit);

    // Stores the format and re-sizes the buffers for it. [host-thread]
    OSStatus SetStreamFormat(const CAStreamBasicDescription& format) override;
    // [any-thread]
    bool NeedsBufferSpace() const override { return true; }
};
