// Counts a unit's announcements of the given properties in the global scope, element 0, on
// whatever thread they come, for tests that check which changes a call announces.
#pragma once

#include <AudioUnit/AUComponent.h>

#include <initializer_list>
#include <map>
#include <mutex>
#include <vector>

class PropertyChangeLog {
public:
    PropertyChangeLog(AudioUnit unit, std::initializer_list<AudioUnitPropertyID> ids);
    ~PropertyChangeLog();
    PropertyChangeLog(const PropertyChangeLog&) = delete;
    PropertyChangeLog& operator=(const PropertyChangeLog&) = delete;

    // Announcements of `id` since construction or Clear().
    int Count(AudioUnitPropertyID id) const;
    void Clear();

private:
    static void Listener(void* refCon, AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                         AudioUnitElement element);

    AudioUnit mUnit;
    std::vector<AudioUnitPropertyID> mIDs;
    mutable std::mutex mMutex;
    std::map<AudioUnitPropertyID, int> mCounts;
};
