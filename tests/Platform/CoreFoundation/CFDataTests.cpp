#include "CFLeakCheck.h"
#include "CFTestObjects.h"
#include "OutputCapture.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {
std::vector<UInt8> BytesOf(CFDataRef data)
{
    const UInt8* bytes = CFDataGetBytePtr(data);
    return std::vector<UInt8>(bytes, bytes + CFDataGetLength(data));
}
} // namespace

TEST(CFData, CreateCopiesTheBytes)
{
    UInt8 bytes[] = {1, 2, 3};
    CFOwned<CFDataRef> data(CFDataCreate(nullptr, bytes, 3));
    bytes[0] = 9;
    EXPECT_EQ(BytesOf(data), (std::vector<UInt8>{1, 2, 3}));
    EXPECT_EQ(CFGetTypeID(data), CFDataGetTypeID());
    UInt8 middle[2] = {};
    CFDataGetBytes(data, CFRangeMake(1, 2), middle);
    EXPECT_EQ(middle[0], 2);
    EXPECT_EQ(middle[1], 3);
    EXPECT_EQ(CFDataCreate(nullptr, nullptr, 4), nullptr);
    EXPECT_EQ(CFDataCreate(nullptr, bytes, -1), nullptr);
    EXPECT_EQ(CFDataGetLength(nullptr), 0);
    EXPECT_EQ(CFDataGetBytePtr(nullptr), nullptr);
}

TEST(CFData, MutableDataGrowsShrinksAndZeroFills)
{
    CFOwned<CFMutableDataRef> data(CFDataCreateMutable(nullptr, 0));
    const UInt8 head[] = {0xAA, 0xBB};
    CFDataAppendBytes(data, head, 2);
    CFDataSetLength(data, 4);
    EXPECT_EQ(BytesOf(data), (std::vector<UInt8>{0xAA, 0xBB, 0, 0}));
    CFDataIncreaseLength(data, 1);
    EXPECT_EQ(CFDataGetLength(data), 5);
    CFDataGetMutableBytePtr(data)[4] = 0xCC;
    CFDataSetLength(data, 1);
    EXPECT_EQ(BytesOf(data), (std::vector<UInt8>{0xAA}));

    // Appending the data's own bytes to itself reads them before the buffer moves.
    CFDataSetLength(data, 0);
    CFDataAppendBytes(data, head, 2);
    for (int i = 0; i < 6; ++i) {
        CFDataAppendBytes(data, CFDataGetBytePtr(data), CFDataGetLength(data));
    }
    ASSERT_EQ(CFDataGetLength(data), 128);
    EXPECT_EQ(CFDataGetBytePtr(data)[127], 0xBB);

    const UInt8 replacement[] = {1, 2, 3};
    CFDataReplaceBytes(data, CFRangeMake(1, 126), replacement, 3);
    EXPECT_EQ(BytesOf(data), (std::vector<UInt8>{0xAA, 1, 2, 3, 0xBB}));
    CFDataDeleteBytes(data, CFRangeMake(0, 2));
    EXPECT_EQ(BytesOf(data), (std::vector<UInt8>{2, 3, 0xBB}));
}

TEST(CFData, CopiesAreIndependentAndCompareByBytes)
{
    const UInt8 bytes[] = {5, 6};
    CFOwned<CFMutableDataRef> original(CFDataCreateMutable(nullptr, 0));
    CFDataAppendBytes(original, bytes, 2);
    CFOwned<CFDataRef> copy(CFDataCreateCopy(nullptr, original));
    CFOwned<CFDataRef> same(CFDataCreate(nullptr, bytes, 2));
    EXPECT_TRUE(CFEqual(copy, same));
    EXPECT_EQ(CFHash(copy), CFHash(same));
    CFDataAppendBytes(original, bytes, 1);
    EXPECT_EQ(CFDataGetLength(copy), 2);
    EXPECT_FALSE(CFEqual(original, same));
}

TEST(CFData, MisuseChangesNothingAndSaysWhy)
{
    const UInt8 bytes[] = {1, 2};
    CFOwned<CFDataRef> fixed(CFDataCreate(nullptr, bytes, 2));
    CFOwned<CFMutableDataRef> data(CFDataCreateMutableCopy(nullptr, 0, fixed));
    OutputCapture capture(OutputCapture::kStderr);
    CFDataAppendBytes(const_cast<CFMutableDataRef>(fixed.get()), bytes, 2);
    EXPECT_EQ(CFDataGetMutableBytePtr(const_cast<CFMutableDataRef>(fixed.get())), nullptr);
    CFDataReplaceBytes(data, CFRangeMake(1, 5), bytes, 1);
    CFDataSetLength(data, -1);
    CFDataIncreaseLength(data, std::numeric_limits<CFIndex>::max());
    const std::string messages = capture.Take();
    EXPECT_EQ(CFDataGetLength(fixed), 2);
    EXPECT_EQ(BytesOf(data), (std::vector<UInt8>{1, 2}));
    EXPECT_NE(messages.find("the object is immutable"), std::string::npos) << messages;
    EXPECT_NE(messages.find("CFDataReplaceBytes: range outside the data"), std::string::npos);
    EXPECT_NE(messages.find("CFDataIncreaseLength: cannot allocate"), std::string::npos);
}
