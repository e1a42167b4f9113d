// Real-time scheduling for the threads that carry time: a request for first-in-first-out
// scheduling of the calling thread that is granted where the system allows it and quietly refused
// elsewhere. The priorities stay below those of a JACK server started with its defaults (its
// driver thread at 10, every client's process thread at 5), which must never wait for ours.
#pragma once

#include <MacTypes.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    // The MIDI services' pool grower, which must keep ahead of senders on a busy machine.
    kRealTimePriorityMIDIPool = 2,
    // auhost's render thread: renders a slice ahead, so it may yield to the delivery thread.
    kRealTimePriorityRender = 3,
    // The MIDI services' delivery thread, which hands packets to virtual destinations on time.
    kRealTimePriorityMIDIDelivery = 4
};

// Asks for SCHED_FIFO at the priority for the calling thread; true when granted. When refused
// (no permission, no real-time budget) the thread keeps its scheduling, and nothing is printed.
// [any-thread]
Boolean RequestRealTimeScheduling(int priority);

#ifdef __cplusplus
}
#endif
