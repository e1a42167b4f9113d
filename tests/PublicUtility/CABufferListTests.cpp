#include "CABufferList.h"
#include "CAStreamBasicDescription.h"
#include "OutputCapture.h"

#include <array>
#include <gtest/gtest.h>
#include <initializer_list>
#include <numeric>
#include <string>
#include <vector>

namespace {

const std::string kOwnedReport =
    "PublicUtility/CABufferList:314: error: failed assertion: mBufferMemory == NULL\n";
const std::string kConsumedReport =
    "PublicUtility/CABufferList:222: error: failed assertion: nBytes <= buf->mDataByteSize\n";

Byte* Data(CABufferList& list, UInt32 index)
{
    return static_cast<Byte*>(list.GetBufferList().mBuffers[index].mData);
}

UInt32 Size(const CABufferList& list, UInt32 index)
{
    return list.GetBufferList().mBuffers[index].mDataByteSize;
}

void PointAt(CABufferList& list, UInt32 index, std::vector<Byte>& bytes)
{
    AudioBuffer& buffer = list.GetModifiableBufferList().mBuffers[index];
    buffer.mData = bytes.data();
    buffer.mDataByteSize = static_cast<UInt32>(bytes.size());
}

std::vector<Byte> Counting(size_t size, Byte first)
{
    std::vector<Byte> bytes(size);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

std::vector<Byte> Contents(CABufferList& list, UInt32 index)
{
    return std::vector<Byte>(Data(list, index), Data(list, index) + Size(list, index));
}

// A list of one-channel buffers, each pointing at bytes the list does not own.
CABufferList::Ptr Over(const char* name, std::initializer_list<std::vector<Byte>*> buffers)
{
    CABufferList::Ptr list = CABufferList::New(name, static_cast<UInt32>(buffers.size()), 1);
    UInt32 index = 0;
    for (std::vector<Byte>* bytes : buffers)
        PointAt(*list, index++, *bytes);
    return list;
}

// A list of one-channel buffers in memory of its own, `bytes` for each.
CABufferList::Ptr Owning(const char* name, UInt32 buffers, UInt32 bytes)
{
    CABufferList::Ptr list = CABufferList::New(name, buffers, 1);
    list->AllocateBuffers(bytes);
    return list;
}

} // namespace

TEST(CABufferList, NewListsAreShapedForTheirFormat)
{
    CAStreamBasicDescription format;
    format.SetAUCanonical(2, false);
    const CABufferList::Ptr separate = CABufferList::New("separate", format);
    EXPECT_STREQ(separate->GetName(), "separate");
    ASSERT_EQ(separate->GetNumberBuffers(), 2U);
    EXPECT_EQ(separate->GetBufferList().mBuffers[1].mNumberChannels, 1U);
    EXPECT_EQ(separate->GetBufferList().mBuffers[1].mData, nullptr);
    EXPECT_FALSE(separate->OwnsMemory());

    format.SetAUCanonical(6, true);
    const CABufferList::Ptr together = CABufferList::New("together", format);
    ASSERT_EQ(together->GetNumberBuffers(), 1U);
    EXPECT_EQ(together->GetBufferList().mBuffers[0].mNumberChannels, 6U);
}

TEST(CABufferList, SeveralBuffersGetAnOddMultipleOf16AsStride)
{
    const std::array<std::array<UInt32, 2>, 4> strides = {
        {{100, 112}, {128, 144}, {16, 16}, {1, 16}}};
    for (const auto& [requested, stride] : strides) {
        SCOPED_TRACE(requested);
        CABufferList::Ptr list = CABufferList::New("list", 3, 1);
        list->AllocateBuffers(requested);
        EXPECT_TRUE(list->OwnsMemory());
        for (UInt32 i = 0; i < 3; ++i) {
            EXPECT_EQ(Size(*list, i), stride);
            EXPECT_EQ(Data(*list, i), Data(*list, 0) + i * stride);
        }
    }
    CABufferList::Ptr single = CABufferList::New("single", 1, 2);
    single->AllocateBuffers(100);
    EXPECT_EQ(single->GetNumBytes(), 100U);
}

TEST(CABufferList, AllocateGrowsOnlyAndKeepsTheContents)
{
    CABufferList::Ptr list = Owning("list", 2, 32);
    Byte* const first = Data(*list, 0);
    list->AllocateBuffers(32);
    list->AllocateBuffers(20);
    EXPECT_EQ(Data(*list, 0), first);
    EXPECT_EQ(list->GetNumBytes(), 48U);

    for (UInt32 i = 0; i < 2; ++i) {
        std::vector<Byte> pattern = Counting(48, static_cast<Byte>(i * 100));
        std::copy(pattern.begin(), pattern.end(), Data(*list, i));
    }
    list->AllocateBuffers(200);
    ASSERT_EQ(list->GetNumBytes(), 208U);
    for (UInt32 i = 0; i < 2; ++i) {
        std::vector<Byte> expected = Counting(48, static_cast<Byte>(i * 100));
        expected.resize(208, 0);
        EXPECT_EQ(Contents(*list, i), expected);
    }
}

TEST(CABufferList, AllocateCopiesNoMoreThanTheNewStrideOfABiggerBuffer)
{
    // Buffer 1 holds more than buffer 0, whose size decides whether to grow.
    std::vector<Byte> small = Counting(8, 0);
    std::vector<Byte> large = Counting(64, 100);
    CABufferList::Ptr list = Over("list", {&small, &large});
    list->AllocateBuffers(16);
    ASSERT_EQ(Size(*list, 1), 16U);
    EXPECT_EQ(Contents(*list, 1), std::vector<Byte>(large.begin(), large.begin() + 16));
}

TEST(CABufferList, DeallocateForgetsEveryBuffer)
{
    CABufferList::Ptr list = Owning("list", 2, 64);
    list->DeallocateBuffers();
    EXPECT_FALSE(list->OwnsMemory());
    for (UInt32 i = 0; i < 2; ++i) {
        EXPECT_EQ(Data(*list, i), nullptr);
        EXPECT_EQ(Size(*list, i), 0U);
    }
}

TEST(CABufferList, BytesConsumedAdvancesAndNeverWraps)
{
    std::vector<Byte> left = Counting(32, 0);
    std::vector<Byte> right = Counting(8, 0);
    CABufferList::Ptr list = Over("list", {&left, &right});

    OutputCapture errors(OutputCapture::kStderr);
    list->BytesConsumed(6);
    EXPECT_EQ(errors.Take(), "");
    EXPECT_EQ(Data(*list, 0), left.data() + 6);
    EXPECT_EQ(Size(*list, 0), 26U);

    list->BytesConsumed(10);
    EXPECT_EQ(errors.Take(), kConsumedReport);
    EXPECT_EQ(Data(*list, 0), left.data() + 16);
    EXPECT_EQ(Size(*list, 0), 16U);
    EXPECT_EQ(Data(*list, 1), right.data() + 8);
    EXPECT_EQ(Size(*list, 1), 0U);
}

TEST(CABufferList, ConsumingFromOwnedMemoryIsReported)
{
    CABufferList::Ptr list = Owning("list", 1, 16);
    OutputCapture errors(OutputCapture::kStderr);
    list->BytesConsumed(4);
    EXPECT_EQ(errors.Take(), kOwnedReport);
    EXPECT_EQ(Size(*list, 0), 12U);
}

TEST(CABufferList, CopyAllFromMovesTheBytesAndConsumesThem)
{
    std::vector<Byte> left = Counting(8, 1);
    std::vector<Byte> right = Counting(8, 50);
    CABufferList::Ptr source = Over("source", {&left, &right});
    CABufferList::Ptr destination = Owning("destination", 2, 16);
    CABufferList::Ptr view = CABufferList::New("view", 2, 1);

    OutputCapture errors(OutputCapture::kStderr);
    destination->CopyAllFrom(source.get(), view.get());
    EXPECT_EQ(errors.Take(), "");
    for (UInt32 i = 0; i < 2; ++i) {
        EXPECT_EQ(Data(*view, i), Data(*destination, i));
        EXPECT_EQ(Size(*view, i), 8U);
        EXPECT_EQ(Size(*source, i), 0U);
    }
    EXPECT_EQ(Contents(*view, 0), left);
    EXPECT_EQ(Contents(*view, 1), right);
    EXPECT_EQ(Size(*destination, 0), 16U);
}

TEST(CABufferList, CopyAllFromNeverOverrunsTheDestination)
{
    std::vector<Byte> big = Counting(40, 0);
    std::vector<Byte> other = Counting(40, 100);
    CABufferList::Ptr source = Over("source", {&big, &other});
    CABufferList::Ptr destination = Owning("destination", 2, 16);

    destination->CopyAllFrom(source.get(), source.get());
    // The buffers sit back to back: an overrun of buffer 0 would show in buffer 1.
    EXPECT_EQ(Contents(*destination, 0), std::vector<Byte>(big.begin(), big.begin() + 16));
    EXPECT_EQ(Contents(*destination, 1), std::vector<Byte>(other.begin(), other.begin() + 16));
    // Re-pointed at what was copied, and not consumed as it is its own view.
    EXPECT_EQ(Data(*source, 0), Data(*destination, 0));
    EXPECT_EQ(Size(*source, 0), 16U);
}

TEST(CABufferList, CopyAllFromConsumesOnlyWhatFitted)
{
    std::vector<Byte> big = Counting(40, 0);
    CABufferList::Ptr source = Over("source", {&big});
    CABufferList::Ptr destination = Owning("destination", 1, 16);
    CABufferList::Ptr view = CABufferList::New("view", 1, 1);

    destination->CopyAllFrom(source.get(), view.get());
    EXPECT_EQ(Size(*view, 0), 16U);
    EXPECT_EQ(Data(*source, 0), big.data() + 16);
    EXPECT_EQ(Size(*source, 0), 24U);
}

TEST(CABufferList, AllocateAndCopyNeedsEqualBufferCounts)
{
    std::vector<Byte> bytes = Counting(8, 0);
    CABufferList::Ptr source = Over("source", {&bytes});
    CABufferList::Ptr destination = CABufferList::New("destination", 2, 1);
    CABufferList::Ptr view = CABufferList::New("view", 2, 1);
    destination->AllocateBuffersAndCopyFrom(64, source.get(), view.get());
    EXPECT_FALSE(destination->OwnsMemory());
    EXPECT_EQ(Size(*source, 0), 8U);
}

TEST(CABufferList, AllocateAndCopyGrowsThenMovesTheBytes)
{
    std::vector<Byte> left = Counting(24, 1);
    std::vector<Byte> right = Counting(24, 90);
    CABufferList::Ptr source = Over("source", {&left, &right});
    CABufferList::Ptr destination = CABufferList::New("destination", 2, 1);
    CABufferList::Ptr view = CABufferList::New("view", 2, 1);

    OutputCapture errors(OutputCapture::kStderr);
    destination->AllocateBuffersAndCopyFrom(100, source.get(), view.get());
    EXPECT_EQ(errors.Take(), "");
    ASSERT_TRUE(destination->OwnsMemory());
    EXPECT_EQ(Size(*destination, 0), 112U);
    EXPECT_EQ(Data(*destination, 1), Data(*destination, 0) + 112);
    EXPECT_EQ(Data(*view, 1), Data(*destination, 1));
    EXPECT_EQ(Contents(*view, 0), left);
    EXPECT_EQ(Contents(*view, 1), right);
    EXPECT_EQ(Size(*source, 0), 0U);
    EXPECT_EQ(Data(*source, 1), right.data() + 24);

    // Big enough already: copies into the memory it has.
    Byte* const block = Data(*destination, 0);
    std::vector<Byte> more = Counting(24, 200);
    PointAt(*source, 0, more);
    PointAt(*source, 1, right);
    destination->AllocateBuffersAndCopyFrom(50, source.get(), view.get());
    EXPECT_EQ(Data(*destination, 0), block);
    EXPECT_EQ(Contents(*view, 0), more);
}

TEST(CABufferList, AllocateAndCopyNeverCopiesMoreThanTheNewBuffers)
{
    std::vector<Byte> big = Counting(40, 0);
    CABufferList::Ptr source = Over("source", {&big});
    CABufferList::Ptr destination = CABufferList::New("destination", 1, 1);
    CABufferList::Ptr view = CABufferList::New("view", 1, 1);

    destination->AllocateBuffersAndCopyFrom(10, source.get(), view.get());
    EXPECT_EQ(Size(*destination, 0), 10U);
    EXPECT_EQ(Contents(*view, 0), std::vector<Byte>(big.begin(), big.begin() + 10));
    EXPECT_EQ(Data(*source, 0), big.data() + 10);
    EXPECT_EQ(Size(*source, 0), 30U);
}

TEST(CABufferList, RepointingAListThatOwnsMemoryIsReported)
{
    std::vector<Byte> bytes = Counting(8, 0);
    CABufferList::Ptr source = Over("source", {&bytes});
    CABufferList::Ptr destination = Owning("destination", 1, 16);
    CABufferList::Ptr owningView = Owning("view", 1, 16);

    OutputCapture errors(OutputCapture::kStderr);
    destination->CopyAllFrom(source.get(), owningView.get());
    EXPECT_EQ(errors.Take(), kOwnedReport);
    EXPECT_EQ(Contents(*owningView, 0), bytes);
}
