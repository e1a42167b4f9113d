// An LV2 host of the tests' own, through lilv: it loads PlenkoOut.lv2 from the build tree (no
// search path), instantiates the plug-in with the features a real host offers (URID map, options
// with a bounded block length, log, worker) or fewer, connects every port, feeds each run an atom
// sequence of MIDI events and does the worker's jobs after the run, as a host's worker thread
// would. State goes through the plug-in's state interface, or through lilv's own save and
// restore.
#pragma once

#include "PlenkoOutLV2.h"

#include <MacTypes.h>

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/log/log.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The "TX Device" value that chooses the destination of that name (as it named itself), counted
// as the MIDI services count them now; 0 when there is none. Other programs' destinations (a
// JACK server's) may come first.
float TXDeviceOf(const std::string& name);

// A MIDI event of one run, at its frame.
struct TimedMIDI {
    UInt32 frame;
    std::vector<Byte> bytes;
};

// The world with the plug-in loaded and the URID map every instance shares.
class LilvHost {
public:
    LilvHost();
    ~LilvHost();
    LilvHost(const LilvHost&) = delete;
    LilvHost& operator=(const LilvHost&) = delete;

    LilvWorld* World() const { return mWorld; }
    const LilvPlugin* Plugin() const { return mPlugin; }
    LV2_URID_Map* Map() { return &mMap; }
    LV2_URID_Unmap* Unmap() { return &mUnmap; }
    LV2_URID Urid(const char* uri) { return mMap.map(mMap.handle, uri); }

private:
    static LV2_URID MapUri(LV2_URID_Map_Handle handle, const char* uri);
    static const char* UnmapUrid(LV2_URID_Unmap_Handle handle, LV2_URID urid);

    LilvWorld* mWorld = nullptr;
    const LilvPlugin* mPlugin = nullptr;
    std::mutex mMapLock;
    std::vector<std::unique_ptr<std::string>> mUris;
    LV2_URID_Map mMap{this, &MapUri};
    LV2_URID_Unmap mUnmap{this, &UnmapUrid};
};

struct LilvInstanceOptions {
    double sampleRate = 48000;
    UInt32 maxBlockLength = 0; // 0: no such option
    bool worker = true;
    bool log = true;
};

// One instance with its port buffers; the control inputs start at their defaults.
class LilvPluginInstance {
public:
    static constexpr UInt32 kMaxFrames = 8192;
    static constexpr size_t kSequenceBytes = 1 << 16;

    LilvPluginInstance(LilvHost& host, const LilvInstanceOptions& options = {});
    ~LilvPluginInstance();
    LilvPluginInstance(const LilvPluginInstance&) = delete;
    LilvPluginInstance& operator=(const LilvPluginInstance&) = delete;

    bool IsOpen() const { return mInstance != nullptr; }
    LilvInstance* Instance() const { return mInstance; }
    LV2_Handle Handle() const { return lilv_instance_get_handle(mInstance); }

    void SetControl(const char* symbol, float value);
    float Control(const char* symbol) const;
    // One run of `frames` with these events (in frame order), then the jobs it scheduled.
    void Run(UInt32 frames, const std::vector<TimedMIDI>& events = {});
    // The same at the time a real-time host runs it: each run waits for its cycle's start on
    // the host clock, counted from the first such run.
    void RunInRealTime(UInt32 frames, const std::vector<TimedMIDI>& events = {});
    // Just the run, nothing else: what the allocation test counts.
    void RunOnly(UInt32 frames) { lilv_instance_run(mInstance, frames); }
    // Fills the sequence for the next RunOnly.
    void SetEvents(const std::vector<TimedMIDI>& events);
    void PerformJobs();
    PlenkoOutCycleTime LastCycle() const;
    const float* Output(size_t channel) const { return mAudio[channel].data(); }
    void FillOutputs(float value);

    // What the plug-in logged through log:log, one entry per call.
    std::vector<std::string> LogLines() const;

    // The state through lilv (ports and properties), serialized to text and read back.
    std::string SaveStateText();
    void RestoreStateText(const std::string& text);
    // The plug-in's own save and restore, through a plain map of the host's.
    struct StateValue {
        std::vector<Byte> bytes;
        LV2_URID type;
    };
    using StateMap = std::map<LV2_URID, StateValue>;
    StateMap Save() const;
    LV2_State_Status Restore(const StateMap& state);

private:
    static LV2_Worker_Status Schedule(LV2_Worker_Schedule_Handle handle, uint32_t size,
                                      const void* data);
    static int Print(LV2_Log_Handle handle, LV2_URID type, const char* format, ...);
    static int VPrint(LV2_Log_Handle handle, LV2_URID type, const char* format, va_list ap);

    LilvHost& mHost;
    LilvInstance* mInstance = nullptr;
    const LV2_Worker_Interface* mWorker = nullptr;
    const LV2_State_Interface* mState = nullptr;
    std::vector<float> mControls;
    std::array<std::vector<float>, 2> mAudio;
    std::vector<uint64_t> mSequence;
    // Room made up front: scheduling a job allocates nothing, as a real-time host's worker.
    struct Job {
        std::array<Byte, 16> bytes;
        uint32_t size;
    };
    static constexpr size_t kMaxJobs = 64;
    std::vector<Job> mJobs;
    int32_t mMaxBlockLength = 0;
    double mSampleRate;
    UInt64 mRealTimeStart = 0;
    UInt64 mRealTimeFrames = 0;
    LV2_Options_Option mOptions[2] = {};
    LV2_Worker_Schedule mSchedule{this, &Schedule};
    LV2_Log_Log mLog{this, &Print, &VPrint};
    mutable std::mutex mLogLock;
    std::vector<std::string> mLogLines;
};
