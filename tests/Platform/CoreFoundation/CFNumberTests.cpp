#include "CFLeakCheck.h"
#include "CFTestObjects.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>

TEST(CFNumber, StoresTheFixedWidthTypeOfTheCType)
{
    const int intValue = 5;
    const long longValue = 6;
    const float floatValue = 1.5f;
    const double doubleValue = 2.5;
    const CFIndex indexValue = 7;
    const struct {
        CFNumberType created;
        const void* value;
        CFNumberType stored;
        bool isFloat;
    } cases[] = {{kCFNumberIntType, &intValue, kCFNumberSInt32Type, false},
                 {kCFNumberLongType, &longValue, kCFNumberSInt64Type, false},
                 {kCFNumberCFIndexType, &indexValue, kCFNumberSInt64Type, false},
                 {kCFNumberFloatType, &floatValue, kCFNumberFloat32Type, true},
                 {kCFNumberDoubleType, &doubleValue, kCFNumberFloat64Type, true}};
    for (const auto& c : cases) {
        CFOwned<CFNumberRef> number(CFNumberCreate(nullptr, c.created, c.value));
        ASSERT_NE(number.get(), nullptr);
        EXPECT_EQ(CFGetTypeID(number), CFNumberGetTypeID());
        EXPECT_EQ(CFNumberGetType(number), c.stored) << "created as " << c.created;
        EXPECT_EQ(CFNumberIsFloatType(number), c.isFloat) << "created as " << c.created;
    }
    EXPECT_EQ(CFNumberCreate(nullptr, 99, &intValue), nullptr);
    EXPECT_EQ(CFNumberCreate(nullptr, kCFNumberIntType, nullptr), nullptr);
}

TEST(CFNumber, KeepsNegativeAnd64BitIntegersExactly)
{
    for (SInt64 value : {SInt64{-1}, SInt64{-10851}, std::numeric_limits<SInt64>::min(),
                         std::numeric_limits<SInt64>::max(), SInt64{0x123456789ABCDEF}}) {
        CFOwned<CFNumberRef> number(MakeSInt64(value));
        SInt64 back = 0;
        EXPECT_TRUE(CFNumberGetValue(number, kCFNumberSInt64Type, &back));
        EXPECT_EQ(back, value);
    }
}

namespace {

// Whether CFNumberGetValue reports a T of `type` as exact, and what it stores there. The T starts
// as 1, a value no case expects, so that a conversion that stores nothing shows.
template <class T> std::pair<bool, T> Converted(CFNumberRef number, CFNumberType type)
{
    T value = 1;
    const bool exact = CFNumberGetValue(number, type, &value);
    return {exact, value};
}

} // namespace

TEST(CFNumber, ReportsWhetherAConversionLostNothing)
{
    CFOwned<CFNumberRef> big(MakeSInt64(SInt64{1} << 40));
    // Clamped, not wrapped.
    EXPECT_EQ(Converted<SInt32>(big, kCFNumberSInt32Type),
              std::make_pair(false, std::numeric_limits<SInt32>::max()));

    CFOwned<CFNumberRef> negative(MakeSInt64(-300));
    EXPECT_EQ(Converted<SInt8>(negative, kCFNumberSInt8Type), std::make_pair(false, SInt8{-128}));
    EXPECT_EQ(Converted<SInt16>(negative, kCFNumberSInt16Type), std::make_pair(true, SInt16{-300}));

    CFOwned<CFNumberRef> fraction(MakeFloat64(-2.75));
    EXPECT_EQ(Converted<SInt32>(fraction, kCFNumberIntType), std::make_pair(false, SInt32{-2}));
    EXPECT_EQ(Converted<Float32>(fraction, kCFNumberFloat32Type), std::make_pair(true, -2.75f));

    CFOwned<CFNumberRef> tenth(MakeFloat64(0.1));
    const std::pair<bool, Float32> single = Converted<Float32>(tenth, kCFNumberFloatType);
    EXPECT_FALSE(single.first);
    EXPECT_FLOAT_EQ(single.second, 0.1f);

    CFOwned<CFNumberRef> whole(MakeFloat64(1e6));
    EXPECT_EQ(Converted<SInt32>(whole, kCFNumberSInt32Type), std::make_pair(true, SInt32{1000000}));

    CFOwned<CFNumberRef> huge(MakeSInt64(std::numeric_limits<SInt64>::max()));
    EXPECT_FALSE(Converted<Float64>(huge, kCFNumberFloat64Type).first);
    CFOwned<CFNumberRef> notANumber(MakeFloat64(std::nan("")));
    EXPECT_EQ(Converted<SInt32>(notANumber, kCFNumberSInt32Type), std::make_pair(false, SInt32{0}));
    SInt32 exact = 0;
    EXPECT_FALSE(CFNumberGetValue(nullptr, kCFNumberSInt32Type, &exact));
    EXPECT_FALSE(CFNumberGetValue(whole, kCFNumberSInt32Type, nullptr));
}

TEST(CFNumber, EqualValuesOfDifferentTypesAreEqualAndHashAlike)
{
    const SInt32 three = 3;
    const Float32 threeReal = 3.0f;
    CFOwned<CFNumberRef> integer(CFNumberCreate(nullptr, kCFNumberSInt32Type, &three));
    CFOwned<CFNumberRef> real(CFNumberCreate(nullptr, kCFNumberFloat32Type, &threeReal));
    CFOwned<CFNumberRef> other(MakeFloat64(3.5));
    EXPECT_TRUE(CFEqual(integer, real));
    EXPECT_EQ(CFHash(integer), CFHash(real));
    EXPECT_FALSE(CFEqual(integer, other));
    EXPECT_EQ(CFNumberCompare(integer, other, nullptr), kCFCompareLessThan);
    EXPECT_EQ(CFNumberCompare(other, real, nullptr), kCFCompareGreaterThan);
    // 2^63 - 1 is not equal to the double nearest to it.
    CFOwned<CFNumberRef> maxInteger(MakeSInt64(std::numeric_limits<SInt64>::max()));
    CFOwned<CFNumberRef> nearest(MakeFloat64(9223372036854775807.0));
    EXPECT_FALSE(CFEqual(maxInteger, nearest));
}

TEST(CFBoolean, ConstantsAreImmortalAndReadBack)
{
    const CFIndex live = CFLiveObjectCount();
    EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
    EXPECT_FALSE(CFBooleanGetValue(kCFBooleanFalse));
    EXPECT_FALSE(CFBooleanGetValue(nullptr));
    EXPECT_EQ(CFGetTypeID(kCFBooleanTrue), CFBooleanGetTypeID());
    CFRelease(kCFBooleanTrue);
    CFRelease(kCFBooleanTrue);
    EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
    EXPECT_FALSE(CFEqual(kCFBooleanTrue, kCFBooleanFalse));
    EXPECT_EQ(CFLiveObjectCount(), live);
}

TEST(CFBase, NullArgumentsGiveNeutralResults)
{
    CFRelease(nullptr);
    EXPECT_EQ(CFRetain(nullptr), nullptr);
    EXPECT_EQ(CFGetRetainCount(nullptr), 0);
    EXPECT_EQ(CFGetTypeID(nullptr), 0u);
    EXPECT_EQ(CFHash(nullptr), 0u);
    CFOwned<CFStringRef> description(CFCopyDescription(nullptr));
    EXPECT_EQ(TextOf(description), "(null)");
    CFOwned<CFStringRef> typeName(CFCopyTypeIDDescription(CFNumberGetTypeID()));
    EXPECT_EQ(TextOf(typeName), "CFNumber");
}

TEST(CFBase, RetainAndReleaseCountAndTheLastReleaseFrees)
{
    const CFIndex live = CFLiveObjectCount();
    CFDataRef data = CFDataCreate(nullptr, nullptr, 0);
    EXPECT_EQ(CFLiveObjectCount(), live + 1);
    EXPECT_EQ(CFGetRetainCount(data), 1);
    EXPECT_EQ(CFRetain(data), data);
    EXPECT_EQ(CFGetRetainCount(data), 2);
    CFRelease(data);
    EXPECT_EQ(CFGetRetainCount(data), 1);
    CFRelease(data);
    EXPECT_EQ(CFLiveObjectCount(), live);
}

TEST(CFByteOrder, BigEndianConversionsReverseBytesOnThisLittleEndianHost)
{
    const UInt32 big = CFSwapInt32HostToBig(0x3F800000); // 1.0f as saved in a preset's data
    const UInt8* bytes = reinterpret_cast<const UInt8*>(&big);
    EXPECT_EQ(bytes[0], 0x3F);
    EXPECT_EQ(bytes[1], 0x80);
    EXPECT_EQ(bytes[3], 0x00);
    EXPECT_EQ(CFSwapInt32BigToHost(big), 0x3F800000u);
    EXPECT_EQ(CFSwapInt16BigToHost(0x1234), 0x3412);
    EXPECT_EQ(CFSwapInt64HostToBig(0x0102030405060708ULL), 0x0807060504030201ULL);
    EXPECT_EQ(CFSwapInt32LittleToHost(0x11223344), 0x11223344u);
}
