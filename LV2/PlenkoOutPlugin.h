// One instance of the plug-in: the adapter between an LV2 host and the unit inside the plug-in's
// folder, which it drives through the component host's host calls alone. The control inputs set
// the unit's parameters, the MIDI input becomes MusicDeviceMIDIEvent calls at each event's frame,
// and each run() becomes render calls (split where the run is longer than the unit's slices)
// whose time stamps carry the cycle's host time: the audio server's own time of the cycle while
// the host runs in the server's cycles, else a delay-locked loop's over the runs. What the audio
// thread must not do (choosing a destination, reading its delivery delay) runs on the host's
// worker, or on a thread of the adapter's own when the host offers none. The state holds the unit's
// own saved state and the destination by name.
#pragma once

#include "BundledUnit.h"
#include "CycleClock.h"
#include "CycleStartFloor.h"
#include "Destination.h"
#include "JobThread.h"
#include "PlenkoOutLV2.h"
#include "PlenkoOutPorts.h"
#include "ServerCycleFollower.h"

#include <lv2/atom/atom.h>
#include <lv2/log/logger.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class PlenkoOutPlugin {
public:
    // Slices of a host that names no bounded block length; the longest slice the unit is given.
    static constexpr UInt32 kDefaultMaxFrames = 4096;
    static constexpr UInt32 kLargestMaxFrames = 8192;
    // How often the delivery delay is read again, so that the latency follows the server.
    static constexpr Float64 kLatencyRefreshSeconds = 0.25;

    // Opens and initializes the unit of the bundle; throws std::runtime_error with a line that
    // says what failed (also when the host gives no URID map). [host-thread]
    PlenkoOutPlugin(double sampleRate, const std::string& bundlePath,
                    const LV2_Feature* const* features);
    // Ends the adapter's thread, if any, then the unit. [host-thread]
    ~PlenkoOutPlugin();
    PlenkoOutPlugin(const PlenkoOutPlugin&) = delete;
    PlenkoOutPlugin& operator=(const PlenkoOutPlugin&) = delete;

    // [render-thread]
    void ConnectPort(uint32_t port, void* data);
    // The next cycle restarts the clock's loop: the host paused. [host-thread]
    void Activate()
    {
        mClock.Restart();
        mStartFloor.Restart();
    }
    // [render-thread]
    void Run(uint32_t frames);

    // Does what the audio thread asked for. [worker-thread]
    void PerformJobs();
    // [render-thread]
    PlenkoOutCycleTime LastCycle() const { return mLastCycle; }

    // May run beside Run and PerformJobs. [host-thread]
    LV2_State_Status Save(LV2_State_Store_Function store, LV2_State_Handle handle);
    // Restores the unit's state and chooses the destination the state names, by unique id, else
    // by name; a destination that is not there is said once, and nothing is sent. Never beside
    // Run. [host-thread]
    LV2_State_Status Restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

private:
    struct URIs {
        LV2_URID midiEvent, atomString, atomInt, atomFloat, atomChunk, maxBlockLength;
        LV2_URID classInfo, destination, destinationId, txDevice;
    };

    void ReadFeatures(const LV2_Feature* const* features, LV2_URID_Map*& map);
    // Sets the parameters whose ports changed; asks for a new destination when tx_device did.
    void ForwardControls();
    void RenderCycle(const CycleClock::Cycle& cycle, UInt32 frames);
    void Dispatch(const uint8_t* bytes, uint32_t size, UInt32 offset) const;
    void RenderSlice(const CycleClock::Cycle& cycle, UInt32 start, UInt32 frames) const;
    // Wakes the worker or the adapter's thread; a worker that is full is asked again next run.
    void ScheduleJobs();
    // With mChoiceLock held.
    void ChooseDestination(Float32 txDevice);
    void RefreshLatency();
    void RestoreClassInfo(const void* value, size_t size, uint32_t type);
    // The controls but tx_device set the unit's parameters at the next run only where their
    // ports differ from the unit's values of now. [host-thread]
    void TakeUnitsParameters();

    const Float64 mSampleRate;
    URIs mURIs{};
    LV2_Log_Logger mLogger{};
    const LV2_Worker_Schedule* mSchedule = nullptr;
    UInt32 mMaxFrames = kDefaultMaxFrames;
    std::unique_ptr<BundledUnit> mUnit;
    AudioUnit mAudioUnit = nullptr;

    // Ports.
    const LV2_Atom_Sequence* mMIDIIn = nullptr;
    const float* mControls[std::size(kParameterPorts)] = {};
    float* mLatency = nullptr;
    float* mOutputs[2] = {};

    // Audio thread (and Restore, never beside it).
    CycleClock mClock;
    ServerCycleFollower mServerCycle;
    CycleStartFloor mStartFloor;
    PlenkoOutCycleTime mLastCycle{};
    float mForwarded[std::size(kParameterPorts)] = {};
    bool mKnown[std::size(kParameterPorts)] = {};
    // After a restore the destination it chose holds until tx_device changes to a value other
    // than the one the state was saved with (a host restores the port after the state).
    bool mRestoreHold = false;
    float mRestoredPortValue = 0;
    bool mHasRestoredPortValue = false;
    UInt64 mNextRefresh = 0; // host time
    bool mJobsPending = false;

    // Between the audio thread and the jobs.
    std::atomic<bool> mDeviceWanted{false};
    std::atomic<float> mWantedDevice{0};
    std::atomic<float> mLatencyFrames{0};
    std::atomic<float> mDevicePortValue{0};

    // The destination chosen and how the state names it (kept when it is not there), shared by
    // the jobs, Save and Restore.
    std::mutex mChoiceLock;
    MIDIEndpointRef mDestination = 0;
    std::optional<DestinationIdentity> mIdentity;

    // Last: ended first, before anything it works on.
    std::unique_ptr<JobThread> mJobThread;
};
