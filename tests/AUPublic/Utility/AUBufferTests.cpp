#include "AUBuffer.h"
#include "OutputCapture.h"
#include "ThrownStatus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <new>
#include <vector>

namespace {

CAStreamBasicDescription Canonical(UInt32 channels, bool interleaved = false)
{
    CAStreamBasicDescription format;
    format.SetAUCanonical(channels, interleaved);
    format.mSampleRate = 44100;
    return format;
}

// A header with room for `count` buffers.
class Header {
public:
    explicit Header(UInt32 count) : mStorage(count + 1) { List().mNumberBuffers = count; }
    AudioBufferList& List() { return *reinterpret_cast<AudioBufferList*>(mStorage.data()); }

private:
    std::vector<AudioBuffer> mStorage;
};

TEST(AUBufferArithmetic, SafeMultiplyAddGuardsThe32BitRange)
{
    EXPECT_EQ(SafeMultiplyAddUInt32(3, 4, 5), 17u);
    EXPECT_EQ(SafeMultiplyAddUInt32(0, 0xFFFFFFFF, 7), 7u);
    EXPECT_EQ(SafeMultiplyAddUInt32(0xFFFFFFFF, 0, 7), 7u);
    EXPECT_EQ(SafeMultiplyAddUInt32(0x10000, 0xFFFF, 0xFFFF), 0xFFFFFFFFu);
    EXPECT_THROW(SafeMultiplyAddUInt32(0x10000, 0x10000, 0), std::bad_alloc);
    EXPECT_THROW(SafeMultiplyAddUInt32(1, 0xFFFFFFFF, 1), std::bad_alloc);
}

TEST(AUBufferArithmetic, ReallocGrowsAndThrowsWhenMemoryIsRefused)
{
    void* block = CA_realloc(nullptr, 16);
    ASSERT_NE(block, nullptr);
    block = CA_realloc(block, 4096);
    ASSERT_NE(block, nullptr);
    free(block);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_THROW(CA_realloc(nullptr, SIZE_MAX / 2), std::bad_alloc);
#endif
}

TEST(AUBufferList, StereoAllocationHasSixteenByteAlignedStridesAndChecksFrames)
{
    AUBufferList buffers;
    const CAStreamBasicDescription stereo = Canonical(2);
    buffers.Allocate(stereo, 1156);
    EXPECT_EQ(buffers.GetAllocatedBytes(), 2u * 4624);
    EXPECT_EQ(buffers.GetAllocatedStreams(), 2u);

    AudioBufferList& list = buffers.PrepareBuffer(stereo, 512);
    ASSERT_EQ(list.mNumberBuffers, 2u);
    EXPECT_EQ(list.mBuffers[0].mDataByteSize, 2048u);
    EXPECT_EQ(list.mBuffers[1].mDataByteSize, 2048u);
    EXPECT_EQ(list.mBuffers[0].mNumberChannels, 1u);
    EXPECT_EQ(static_cast<Byte*>(list.mBuffers[1].mData) -
                  static_cast<Byte*>(list.mBuffers[0].mData),
              4624);

    OutputCapture capture(OutputCapture::kStderr);
    EXPECT_EQ(ThrownStatus([&] { buffers.PrepareBuffer(stereo, 1157); }),
              kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(capture.Take(), "kAudioUnitErr_TooManyFramesToProcess\n");
    EXPECT_EQ(ThrownStatus([&] { buffers.PrepareBuffer(Canonical(3), 16); }),
              kAudioUnitErr_FormatNotSupported);
    EXPECT_EQ(capture.Take(), "kAudioUnitErr_FormatNotSupported\n");
}

TEST(AUBufferList, StrideRoundsOddSizesUpAndInterleavedUsesOneStream)
{
    AUBufferList buffers;
    buffers.Allocate(Canonical(2), 3); // 12 bytes per stream, rounded to 16
    EXPECT_EQ(buffers.GetAllocatedBytes(), 32u);
    const CAStreamBasicDescription interleaved = Canonical(2, true);
    buffers.Allocate(interleaved, 4);
    AudioBufferList& list = buffers.PrepareBuffer(interleaved, 4);
    ASSERT_EQ(list.mNumberBuffers, 1u);
    EXPECT_EQ(list.mBuffers[0].mNumberChannels, 2u);
    EXPECT_EQ(list.mBuffers[0].mDataByteSize, 32u);
    EXPECT_EQ(buffers.GetAllocatedBytes(), 32u) << "memory only grows";
}

TEST(AUBufferList, UsingPointersThatWereNeverPreparedThrows)
{
    AUBufferList buffers;
    buffers.Allocate(Canonical(2), 64);
    Header header(2);
    EXPECT_EQ(ThrownStatus([&] { buffers.GetBufferList(); }), -1);
    EXPECT_EQ(ThrownStatus([&] { buffers.CopyBufferListTo(header.List()); }), -1);
    EXPECT_EQ(ThrownStatus([&] { buffers.CopyBufferContentsTo(header.List()); }), -1);
    buffers.PrepareBuffer(Canonical(2), 64);
    EXPECT_NO_THROW(buffers.GetBufferList());
    buffers.InvalidateBufferList();
    EXPECT_EQ(ThrownStatus([&] { buffers.GetBufferList(); }), -1);

    Header tooMany(3);
    EXPECT_EQ(ThrownStatus([&] { buffers.SetBufferList(tooMany.List()); }), -1);
}

TEST(AUBufferList, ContentsCopyRepeatsTheLastSourceIntoExtraBuffers)
{
    AUBufferList buffers;
    const CAStreamBasicDescription stereo = Canonical(2);
    buffers.Allocate(stereo, 4);
    AudioBufferList& source = buffers.PrepareBuffer(stereo, 4);
    for (UInt32 c = 0; c < 2; ++c)
        for (UInt32 n = 0; n < 4; ++n)
            static_cast<Float32*>(source.mBuffers[c].mData)[n] = Float32(10 * c + n);

    std::vector<std::vector<Float32>> samples(3, std::vector<Float32>(8, -1));
    Header destination(3);
    for (UInt32 i = 0; i < 3; ++i)
        destination.List().mBuffers[i] = {1, 32, samples[i].data()};
    buffers.CopyBufferContentsTo(destination.List());
    EXPECT_EQ(samples[0][3], 3.0f);
    EXPECT_EQ(samples[1][3], 13.0f);
    EXPECT_EQ(samples[2][0], 10.0f);
    EXPECT_EQ(samples[2][3], 13.0f);
    EXPECT_EQ(samples[2][4], -1.0f) << "only the source's bytes are copied";
    for (UInt32 i = 0; i < 3; ++i)
        EXPECT_EQ(destination.List().mBuffers[i].mDataByteSize, 16u);
}

TEST(AUBufferList, ContentsCopyWritesOnlyWhereTheDestinationHasRoom)
{
    AUBufferList buffers;
    const CAStreamBasicDescription stereo = Canonical(2);
    buffers.Allocate(stereo, 4);
    buffers.PrepareBuffer(stereo, 4); // 16 bytes per stream

    // An exactly sized heap block, so that AddressSanitizer sees a write beyond it.
    std::vector<Float32> small(2, -1);
    Header destination(2);
    destination.List().mBuffers[0] = {1, 8, small.data()};
    destination.List().mBuffers[1] = {1, 16, nullptr};
    buffers.CopyBufferContentsTo(destination.List());
    EXPECT_EQ(destination.List().mBuffers[0].mDataByteSize, 8u);
    EXPECT_EQ(destination.List().mBuffers[1].mData, nullptr);
    EXPECT_EQ(destination.List().mBuffers[1].mDataByteSize, 0u);
}

TEST(AUBufferList, BorrowedCallersListIsWrittenInPlaceAndCopiedIntoOnlyOnceReplaced)
{
    // What a render does between borrowing the caller's list and the copy back.
    enum Render { kInPlace, kOwnBuffers, kOwnBuffersForOneFrame, kInvalidated };
    const struct {
        const char* name;
        Render render;
        std::vector<Float32> expectedFirst, expectedSecond;
        UInt32 expectedBytes;
        OSStatus expectedThrow;
    } cases[] = {
        {"written in place", kInPlace, {5, 5}, {5, 5}, 8, 0},
        {"own buffers prepared", kOwnBuffers, {7, 7}, {7, 7}, 8, 0},
        {"own buffers for one frame", kOwnBuffersForOneFrame, {7, 1}, {7, 2}, 4, 0},
        {"invalidated", kInvalidated, {1, 1}, {2, 2}, 8, -1},
    };
    for (const auto& c : cases) {
        AUBufferList buffers;
        const CAStreamBasicDescription stereo = Canonical(2);
        buffers.Allocate(stereo, 2);
        std::vector<Float32> first(2, 1), second(2, 2);
        Header caller(2);
        caller.List().mBuffers[0] = {1, 8, first.data()};
        caller.List().mBuffers[1] = {1, 8, second.data()};
        AudioBufferList& bus = buffers.SetBufferList(caller.List());
        EXPECT_EQ(&bus, &caller.List()) << c.name << ": borrowed, not copied";
        EXPECT_TRUE(buffers.HoldsCallersMemory()) << c.name;

        const UInt32 frames = c.render == kOwnBuffersForOneFrame ? 1 : 2;
        AudioBufferList* written = &bus;
        if (c.render == kOwnBuffers || c.render == kOwnBuffersForOneFrame)
            written = &buffers.PrepareBuffer(stereo, frames);
        if (c.render == kInvalidated)
            buffers.InvalidateBufferList();
        else
            for (UInt32 b = 0; b < 2; ++b)
                std::fill_n(static_cast<Float32*>(written->mBuffers[b].mData), frames,
                            written == &bus ? 5.0f : 7.0f);

        EXPECT_EQ(ThrownStatus([&] { buffers.CopyBufferContentsTo(caller.List()); }),
                  c.expectedThrow)
            << c.name;
        EXPECT_EQ(first, c.expectedFirst) << c.name;
        EXPECT_EQ(second, c.expectedSecond) << c.name;
        EXPECT_EQ(caller.List().mNumberBuffers, 2u) << c.name;
        EXPECT_EQ(caller.List().mBuffers[0].mData, first.data()) << c.name;
        EXPECT_EQ(caller.List().mBuffers[1].mData, second.data()) << c.name;
        EXPECT_EQ(caller.List().mBuffers[1].mDataByteSize, c.expectedBytes) << c.name;
    }
}

TEST(AUBufferList, OwnOperationsAfterBorrowingNeitherWriteNorFreeTheCallersList)
{
    alignas(16) static Byte external[2 * 64];
    const CAStreamBasicDescription stereo = Canonical(2);
    enum Afterwards { kOwn, kInvalid, kCallers }; // what GetBufferList gives
    const struct {
        const char* name;
        std::function<void(AUBufferList&)> operation;
        Afterwards header;
    } cases[] = {
        {"prepare", [&](AUBufferList& b) { b.PrepareBuffer(stereo, 4); }, kOwn},
        {"prepare null", [&](AUBufferList& b) { b.PrepareNullBuffer(stereo, 4); }, kOwn},
        {"allocate a larger header", [&](AUBufferList& b) { b.Allocate(Canonical(8), 4); },
         kInvalid},
        {"external memory",
         [&](AUBufferList& b) {
             b.UseExternalBuffer(stereo, {external, sizeof(external)});
         },
         kInvalid},
        {"deallocate", [&](AUBufferList& b) { b.Deallocate(); }, kInvalid},
        {"invalidate", [&](AUBufferList& b) { b.InvalidateBufferList(); }, kInvalid},
        {"only the destructor", [&](AUBufferList&) {}, kCallers},
    };
    for (const auto& c : cases) {
        Float32 left[4], right[4];
        // The caller's header on the heap, so that a free of it shows under AddressSanitizer.
        auto storage = std::make_unique<AudioBuffer[]>(3);
        auto& caller = *reinterpret_cast<AudioBufferList*>(storage.get());
        caller.mNumberBuffers = 2;
        caller.mBuffers[0] = {1, 16, left};
        caller.mBuffers[1] = {1, 16, right};
        const auto bytes = [&] {
            const Byte* begin = reinterpret_cast<const Byte*>(&caller);
            return std::vector<Byte>(begin, reinterpret_cast<const Byte*>(&caller.mBuffers[2]));
        };
        const std::vector<Byte> before = bytes();
        {
            AUBufferList buffers;
            buffers.Allocate(stereo, 4);
            buffers.SetBufferList(caller);
            c.operation(buffers);
            const AudioBufferList* after = nullptr;
            EXPECT_EQ(ThrownStatus([&] { after = &buffers.GetBufferList(); }),
                      c.header == kInvalid ? -1 : 0)
                << c.name;
            if (c.header != kInvalid) {
                EXPECT_EQ(after == &caller, c.header == kCallers) << c.name;
            }
            EXPECT_EQ(buffers.HoldsCallersMemory(), c.header == kCallers) << c.name;
        }
        EXPECT_EQ(bytes(), before) << c.name;
    }
}

TEST(AUBufferList, ListCopyHandsOutOurPointersAndSetListTakesTheCallers)
{
    AUBufferList buffers;
    const CAStreamBasicDescription stereo = Canonical(2);
    buffers.Allocate(stereo, 8);
    AudioBufferList& ours = buffers.PrepareBuffer(stereo, 8);
    Header header(2);
    buffers.CopyBufferListTo(header.List());
    EXPECT_EQ(header.List().mBuffers[1].mData, ours.mBuffers[1].mData);
    EXPECT_EQ(header.List().mBuffers[1].mDataByteSize, 32u);

    Float32 left[8], right[8];
    header.List().mBuffers[0] = {1, 32, left};
    header.List().mBuffers[1] = {1, 32, right};
    AudioBufferList& set = buffers.SetBufferList(header.List());
    EXPECT_EQ(&set, &header.List());
    EXPECT_EQ(set.mBuffers[0].mData, left);
    EXPECT_EQ(buffers.GetBufferList().mBuffers[1].mData, right);
}

TEST(AUBufferList, NullBufferHasNoMemoryButTheFormatsSizes)
{
    AUBufferList buffers;
    const CAStreamBasicDescription stereo = Canonical(2);
    buffers.Allocate(stereo, 0); // a bus that may not allocate gets a header only
    EXPECT_EQ(buffers.GetAllocatedBytes(), 0u);
    AudioBufferList& list = buffers.PrepareNullBuffer(stereo, 2000);
    ASSERT_EQ(list.mNumberBuffers, 2u);
    EXPECT_EQ(list.mBuffers[0].mData, nullptr);
    EXPECT_EQ(list.mBuffers[1].mDataByteSize, 8000u);
    OutputCapture capture(OutputCapture::kStderr);
    EXPECT_EQ(ThrownStatus([&] { buffers.PrepareBuffer(stereo, 1); }),
              kAudioUnitErr_TooManyFramesToProcess);
}

TEST(AUBufferList, ExternalMemoryIsTakenOnlyWhenItIsLargeEnough)
{
    alignas(16) static Byte external[2 * 4624 + 24];
    AUBufferList buffers;
    const CAStreamBasicDescription stereo = Canonical(2);
    buffers.UseExternalBuffer(stereo, {external, sizeof(external)});
    EXPECT_FALSE(buffers.HasExternalMemory()) << "no block yet: the offer is ignored";

    buffers.Allocate(stereo, 1156);
    buffers.UseExternalBuffer(stereo, {external, 2 * 4624 - 16});
    EXPECT_FALSE(buffers.HasExternalMemory()) << "smaller than the block: ignored";

    buffers.UseExternalBuffer(stereo, {external, sizeof(external)});
    ASSERT_TRUE(buffers.HasExternalMemory());
    EXPECT_EQ(buffers.GetAllocatedBytes(), 2u * 4624 + 16); // rounded down to 16
    // 4632 bytes per stream, of which an aligned stride of 4624 holds 1156 frames: preparing
    // all of them stays inside the lent block.
    EXPECT_EQ(buffers.GetAllocatedFrames(), 1156u);
    EXPECT_EQ(buffers.PrepareBuffer(stereo, 1156).mBuffers[0].mData, external);

    // Growing beyond the lent block forgets it (without freeing it) and allocates afresh.
    buffers.Allocate(stereo, 4096);
    EXPECT_FALSE(buffers.HasExternalMemory());
    EXPECT_NE(buffers.PrepareBuffer(stereo, 4096).mBuffers[0].mData, external);
    buffers.Allocate(stereo, 8);
    buffers.UseExternalBuffer(stereo, {external, sizeof(external)});
    EXPECT_FALSE(buffers.HasExternalMemory()) << "the block is now larger than the offer";
}

TEST(AUBufferList, FormatsWithoutChannelsOrBytesNeitherCrashNorDivideByZero)
{
    alignas(16) static Byte external[256];
    CAStreamBasicDescription noChannels = Canonical(0);
    AUBufferList buffers;
    buffers.Allocate(noChannels, 512);
    EXPECT_EQ(buffers.GetAllocatedBytes(), 0u);
    AudioBufferList& list = buffers.PrepareBuffer(noChannels, 512);
    EXPECT_EQ(list.mNumberBuffers, 0u);
    EXPECT_EQ(buffers.PrepareNullBuffer(noChannels, 512).mNumberBuffers, 0u);

    // A block made for a real format, then offered memory while the format has no bytes.
    CAStreamBasicDescription stereo = Canonical(2);
    buffers.Allocate(stereo, 8);
    CAStreamBasicDescription noBytes = stereo;
    noBytes.mBytesPerFrame = 0;
    buffers.UseExternalBuffer(noBytes, {external, sizeof(external)});
    EXPECT_FALSE(buffers.HasExternalMemory());
    buffers.UseExternalBuffer(noChannels, {external, sizeof(external)});
    EXPECT_FALSE(buffers.HasExternalMemory());
}

TEST(AUBufferList, DeallocateKeepsNothingButTheHeader)
{
    AUBufferList buffers;
    buffers.Allocate(Canonical(2), 64);
    buffers.Deallocate();
    EXPECT_EQ(buffers.GetAllocatedBytes(), 0u);
    EXPECT_EQ(buffers.GetAllocatedFrames(), 0u);
    EXPECT_EQ(buffers.GetAllocatedStreams(), 0u);
    OutputCapture capture(OutputCapture::kStderr);
    EXPECT_EQ(ThrownStatus([&] { buffers.PrepareBuffer(Canonical(2), 1); }),
              kAudioUnitErr_TooManyFramesToProcess);
    buffers.Allocate(Canonical(2), 64); // and allocates again
    EXPECT_EQ(buffers.PrepareBuffer(Canonical(2), 64).mNumberBuffers, 2u);
}

} // namespace
