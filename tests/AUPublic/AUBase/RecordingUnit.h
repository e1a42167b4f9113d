// A unit class that records its lifecycle and can be told to fail at a given step, registered as
// an in-process component so that tests open it like a host would.
#pragma once

#include "APFactory.h"
#include "CAXException.h"

#include <AudioUnit/AUComponent.h>
#include <CoreFoundation/CFString.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

class RecordingUnit : public ComponentBase {
public:
    enum class Failure {
        kNone,
        kConstructorThrowsInt,
        kConstructorThrowsShort,
        kConstructorThrowsBadAlloc,
        kConstructorThrowsCAXException,
        kConstructorThrowsOther,
        kPostConstructorThrows,
        kPreDestructorThrows
    };

    explicit RecordingUnit(AudioComponentInstance instance) : ComponentBase(instance)
    {
        sEvents.push_back("construct");
        sLastConstructed = this;
        sInstanceTypeSeen = sNewInstanceType;
        switch (sFailure) {
        case Failure::kConstructorThrowsInt:
            throw static_cast<int>(kAudioUnitErr_InvalidScope);
        case Failure::kConstructorThrowsShort:
            throw static_cast<short>(-5);
        case Failure::kConstructorThrowsBadAlloc:
            throw std::bad_alloc();
        case Failure::kConstructorThrowsCAXException:
            throw CAXException("open the unit", kAudioUnitErr_FailedInitialization);
        case Failure::kConstructorThrowsOther:
            throw std::runtime_error("not a status");
        default:
            break;
        }
    }
    ~RecordingUnit() override { sEvents.push_back("destruct"); }

    void PostConstructor() override
    {
        sEvents.push_back("post-construct");
        if (sFailure == Failure::kPostConstructorThrows) {
            throw static_cast<int>(kAudioUnitErr_InvalidElement);
        }
    }
    void PreDestructor() override
    {
        sEvents.push_back("pre-destruct");
        if (sFailure == Failure::kPreDestructorThrows) {
            throw static_cast<int>(kAudioUnitErr_Initialized);
        }
    }

    static inline Failure sFailure = Failure::kNone;
    static inline std::vector<std::string> sEvents;
    static inline SInt32 sInstanceTypeSeen = -1;
    static inline RecordingUnit* sLastConstructed = nullptr;
};

struct NoSelectors {
    static AudioComponentMethod Lookup(SInt16) { return nullptr; }
};

using RecordingFactory = APFactory<NoSelectors, RecordingUnit>;

inline AudioComponentDescription RecordingDescription(OSType subtype)
{
    return AudioComponentDescription{0x61756d75 /* aumu */, subtype, 0x54737473 /* Tsts */, 0, 0};
}
