#include "PropertyChangeLog.h"

#include <AudioUnit/AudioUnitProperties.h>

PropertyChangeLog::PropertyChangeLog(AudioUnit unit, std::initializer_list<AudioUnitPropertyID> ids)
    : mUnit(unit), mIDs(ids)
{
    for (AudioUnitPropertyID id : mIDs)
        AudioUnitAddPropertyListener(mUnit, id, &PropertyChangeLog::Listener, this);
}

PropertyChangeLog::~PropertyChangeLog()
{
    for (AudioUnitPropertyID id : mIDs)
        AudioUnitRemovePropertyListenerWithUserData(mUnit, id, &PropertyChangeLog::Listener, this);
}

int PropertyChangeLog::Count(AudioUnitPropertyID id) const
{
    std::lock_guard<std::mutex> lock(mMutex);
    const auto found = mCounts.find(id);
    return found == mCounts.end() ? 0 : found->second;
}

void PropertyChangeLog::Clear()
{
    std::lock_guard<std::mutex> lock(mMutex);
    mCounts.clear();
}

void PropertyChangeLog::Listener(void* refCon, AudioUnit, AudioUnitPropertyID id,
                                 AudioUnitScope scope, AudioUnitElement element)
{
    auto& log = *static_cast<PropertyChangeLog*>(refCon);
    std::lock_guard<std::mutex> lock(log.mMutex);
    if (scope == kAudioUnitScope_Global && element == 0)
        ++log.mCounts[id];
}
