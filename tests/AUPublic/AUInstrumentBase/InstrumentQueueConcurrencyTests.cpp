// Several threads queue notes while the render thread performs them: every event arrives once,
// each producer's in its order, and ThreadSanitizer sees the ring's hand-over as ordered.
#include "InstrumentFixture.h"
#include "OutputCapture.h"
#include "Watchdog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace instrument_test;

constexpr UInt32 kProducers = 2;
constexpr UInt32 kNotesPerProducer = 50000; // a note on and a note off each: 200 000 events
constexpr UInt32 kVoices = 1024;            // more than one ring's worth of notes at once

// A render call's period, short enough for the ring to fill now and then.
constexpr std::chrono::microseconds kRenderPeriod{200};

// Retries while the ring is full; any other answer ends the call.
template <class Call> OSStatus UntilQueued(Call call)
{
    OSStatus status;
    while ((status = call()) == AUInstrumentBase::kEventQueueFull)
        std::this_thread::sleep_for(kRenderPeriod / 4);
    return status;
}

TEST(InstrumentQueueConcurrency, NotesOfTwoProducersArriveOnceEachAndInTheirOrder)
{
    Watchdog watchdog(240, "two producers and a render thread");
    auto unit = MakeInitialized(std::make_unique<TestInstrument>(kVoices, kVoices));
    for (UInt32 i = 0; i < kVoices; ++i)
        unit->Note(i).mEndsAfterRelease = true;
    unit->mLog.reserve(4 * kProducers * kNotesPerProducer);

    // The note lists write a line whenever a note moves: the threads run quietly.
    auto quiet = std::make_unique<OutputCapture>(OutputCapture::kStdout);
    std::atomic<bool> producing{true};
    std::thread render([&] {
        test_support::TestBuffers buffers(kFrames);
        AudioUnitRenderActionFlags flags = 0;
        Float64 sampleTime = 0;
        auto renderOnce = [&] {
            EXPECT_EQ(unit->DoRender(flags, test_support::SampleTime(sampleTime += kFrames), 0,
                                     kFrames, buffers.List()),
                      noErr);
        };
        while (producing.load(std::memory_order_acquire)) {
            renderOnce();
            std::this_thread::sleep_for(kRenderPeriod);
        }
        renderOnce(); // performs what the producers queued last
        renderOnce(); // ends the notes released by it
    });
    std::vector<std::thread> producers;
    for (UInt32 p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (UInt32 k = 0; k < kNotesPerProducer; ++k) {
                const UInt32 id = p * kNotesPerProducer + k;
                // Every other note's parameters are copied to the heap.
                const NoteParamsRecord note = NoteParams(Float32(id), 100, k % 2 == 0 ? 3 : 4);
                ASSERT_EQ(UntilQueued([&] { return unit->StartNote(0, p, nullptr, 0, note); }),
                          noErr);
                ASSERT_EQ(UntilQueued([&] { return unit->StopNote(p, id, 0); }), noErr);
            }
        });
    }
    for (std::thread& producer : producers)
        producer.join();
    producing.store(false, std::memory_order_release);
    render.join();
    quiet.reset();

    // Each producer's starts and releases, in the order the render thread saw them.
    std::vector<std::vector<std::pair<NoteCallKind, NoteInstanceID>>> seen(kProducers);
    for (const NoteCall& call : unit->mLog)
        if (call.kind == NoteCallKind::Start || call.kind == NoteCallKind::Release)
            seen.at(call.noteID / kNotesPerProducer).emplace_back(call.kind, call.noteID);
    for (UInt32 p = 0; p < kProducers; ++p) {
        SCOPED_TRACE(p);
        ASSERT_EQ(seen[p].size(), 2 * kNotesPerProducer);
        for (UInt32 k = 0; k < kNotesPerProducer; ++k) {
            const NoteInstanceID id = p * kNotesPerProducer + k;
            ASSERT_EQ(seen[p][2 * k], std::make_pair(NoteCallKind::Start, id)) << k;
            ASSERT_EQ(seen[p][2 * k + 1], std::make_pair(NoteCallKind::Release, id)) << k;
        }
    }
    // Each render call performs at most a ring's worth, so the notes end before voices run out.
    EXPECT_EQ(Count(unit->mLog, NoteCallKind::Kill), 0) << "a voice was stolen";
    EXPECT_EQ(unit->DroppedEventCount(), 0u);
    EXPECT_EQ(unit->NumActiveNotes(), 0u);
}

} // namespace
