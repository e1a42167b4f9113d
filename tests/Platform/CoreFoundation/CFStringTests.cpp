#include "CFLeakCheck.h"
#include "CFTestObjects.h"
#include "OutputCapture.h"

#include <gtest/gtest.h>

#include <limits>

TEST(CFString, CreatesFromUTF8AndCountsUTF16Units)
{
    // "é" is one unit, the keyboard emoji a surrogate pair.
    CFOwned<CFStringRef> text(MakeString("h\xC3\xA9llo \xF0\x9F\x8E\xB9"));
    ASSERT_NE(text.get(), nullptr);
    EXPECT_EQ(CFGetTypeID(text), CFStringGetTypeID());
    EXPECT_EQ(CFStringGetLength(text), 8);
    EXPECT_EQ(CFStringGetCharacterAtIndex(text, 1), 0xE9);
    EXPECT_EQ(CFStringGetCharacterAtIndex(text, 6), 0xD83C);
    EXPECT_EQ(CFStringGetCharacterAtIndex(text, 8), 0);
    char buffer[32];
    ASSERT_TRUE(CFStringGetCString(text, buffer, sizeof buffer, kCFStringEncodingUTF8));
    EXPECT_STREQ(buffer, "h\xC3\xA9llo \xF0\x9F\x8E\xB9");
    EXPECT_EQ(CFStringGetMaximumSizeForEncoding(CFStringGetLength(text), kCFStringEncodingUTF8),
              24);
}

TEST(CFString, RejectsBytesInvalidInTheirEncoding)
{
    const char* invalidUTF8[] = {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "a\xFF", "\xF4\x90\x80\x80"};
    for (const char* bytes : invalidUTF8) {
        EXPECT_EQ(CFStringCreateWithCString(nullptr, bytes, kCFStringEncodingUTF8), nullptr)
            << "bytes " << testing::PrintToString(bytes);
    }
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "caf\xE9", kCFStringEncodingASCII), nullptr);
    EXPECT_EQ(CFStringCreateWithCString(nullptr, nullptr, kCFStringEncodingUTF8), nullptr);
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "x", 0x1234), nullptr);

    CFOwned<CFStringRef> latin(
        CFStringCreateWithCString(nullptr, "caf\xE9", kCFStringEncodingISOLatin1));
    EXPECT_EQ(TextOf(latin), "caf\xC3\xA9");
    char buffer[8];
    EXPECT_FALSE(CFStringGetCString(latin, buffer, sizeof buffer, kCFStringEncodingASCII));
    ASSERT_TRUE(CFStringGetCString(latin, buffer, sizeof buffer, kCFStringEncodingISOLatin1));
    EXPECT_STREQ(buffer, "caf\xE9");
    EXPECT_EQ(CFStringGetCStringPtr(latin, kCFStringEncodingASCII), nullptr);
}

TEST(CFString, GetCStringNeedsRoomForTheTerminator)
{
    CFOwned<CFStringRef> text(MakeString("abcd"));
    char buffer[5] = "zzzz";
    EXPECT_FALSE(CFStringGetCString(text, buffer, 4, kCFStringEncodingUTF8));
    EXPECT_TRUE(CFStringGetCString(text, buffer, 5, kCFStringEncodingUTF8));
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_FALSE(CFStringGetCString(text, nullptr, 5, kCFStringEncodingUTF8));
    EXPECT_FALSE(CFStringGetCString(nullptr, buffer, 5, kCFStringEncodingUTF8));
}

TEST(CFString, BytesKeepEmbeddedZerosAndDropAByteOrderMark)
{
    const UInt8 bytes[] = {0xEF, 0xBB, 0xBF, 'a', 0, 'b'};
    CFOwned<CFStringRef> external(
        CFStringCreateWithBytes(nullptr, bytes, sizeof bytes, kCFStringEncodingUTF8, true));
    EXPECT_EQ(CFStringGetLength(external), 3);
    CFOwned<CFStringRef> internal(
        CFStringCreateWithBytes(nullptr, bytes, sizeof bytes, kCFStringEncodingUTF8, false));
    EXPECT_EQ(CFStringGetLength(internal), 4);
    EXPECT_EQ(CFStringCreateWithBytes(nullptr, bytes, -1, kCFStringEncodingUTF8, false), nullptr);
}

TEST(CFString, ConstantsAreInternedAndSurviveTooManyReleases)
{
    const CFIndex liveBefore = CFLiveObjectCount();
    CFStringRef first = CFSTR("interned constant");
    EXPECT_EQ(first, CFSTR("interned constant"));
    EXPECT_EQ(CFLiveObjectCount(), liveBefore);
    for (int i = 0; i < 10; ++i) {
        CFRelease(first);
    }
    EXPECT_EQ(TextOf(CFSTR("interned constant")), "interned constant");
    EXPECT_GT(CFGetRetainCount(first), 1000);
    CFOwned<CFStringRef> copy(CFStringCreateCopy(nullptr, first));
    EXPECT_EQ(copy.get(), first);
}

TEST(CFString, CopiesOfImmutableStringsShareTheObject)
{
    CFOwned<CFStringRef> text(MakeString("shared"));
    CFOwned<CFStringRef> copy(CFStringCreateCopy(nullptr, text));
    EXPECT_EQ(copy.get(), text.get());
    EXPECT_EQ(CFGetRetainCount(text), 2);

    CFOwned<CFMutableStringRef> mutableText(CFStringCreateMutableCopy(nullptr, 0, text));
    CFOwned<CFStringRef> snapshot(CFStringCreateCopy(nullptr, mutableText));
    CFStringAppendCString(mutableText, "!", kCFStringEncodingUTF8);
    EXPECT_EQ(TextOf(mutableText), "shared!");
    EXPECT_EQ(TextOf(snapshot), "shared");
}

TEST(CFString, FormatsLikePrintfWithObjectsForAtSign)
{
    CFOwned<CFStringRef> name(MakeString("Pout"));
    CFOwned<CFNumberRef> number(MakeSInt64(-42));
    CFOwned<CFStringRef> text(CFStringCreateWithFormat(
        nullptr, nullptr, CFSTR("%d|%5.2f|%s|%@|%@|%lld|%qd|%zu|%x|%%|%*d|%-3s|%c"), 7, 3.14159,
        "c", name.get(), number.get(), -5LL, 6LL, size_t{9}, 255u, 4, 8, "ab", 'z'));
    EXPECT_EQ(TextOf(text), "7| 3.14|c|Pout|-42|-5|6|9|ff|%|   8|ab |z");

    CFOwned<CFStringRef> nothing(
        CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%@ and %s"), nullptr, nullptr));
    EXPECT_EQ(TextOf(nothing), "(null) and (null)");
    CFOwned<CFStringRef> truncated(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("50%")));
    EXPECT_EQ(TextOf(truncated), "50%");
    EXPECT_EQ(CFStringCreateWithFormat(nullptr, nullptr, nullptr), nullptr);
}

TEST(CFString, ComparesLiterallyCaselesslyAndNumerically)
{
    CFOwned<CFStringRef> a(MakeString("Track 9")), b(MakeString("track 10"));
    EXPECT_EQ(CFStringCompare(a, b, 0), kCFCompareLessThan);                         // 'T' < 't'
    EXPECT_EQ(CFStringCompare(b, a, kCFCompareCaseInsensitive), kCFCompareLessThan); // '1' < '9'
    EXPECT_EQ(CFStringCompare(a, b, kCFCompareCaseInsensitive | kCFCompareNumerically),
              kCFCompareLessThan);
    EXPECT_EQ(CFStringCompare(a, CFSTR("TRACK 9"), kCFCompareCaseInsensitive), kCFCompareEqualTo);
    EXPECT_EQ(CFStringCompare(CFSTR("ab"), CFSTR("abc"), 0), kCFCompareLessThan);
    EXPECT_TRUE(CFStringHasPrefix(a, CFSTR("Tra")));
    EXPECT_TRUE(CFStringHasSuffix(a, CFSTR(" 9")));
    EXPECT_FALSE(CFStringHasSuffix(CFSTR("9"), a));
    EXPECT_EQ(CFStringGetIntValue(CFSTR("  -17 dB")), -17);
    EXPECT_EQ(CFStringGetIntValue(CFSTR("none")), 0);
}

TEST(CFString, EqualStringsHashAlike)
{
    CFOwned<CFStringRef> made(MakeString("same"));
    EXPECT_TRUE(CFEqual(made, CFSTR("same")));
    EXPECT_EQ(CFHash(made), CFHash(CFSTR("same")));
    EXPECT_FALSE(CFEqual(made, CFSTR("Same")));
    CFOwned<CFNumberRef> number(MakeSInt64(1));
    EXPECT_FALSE(CFEqual(made, number));
    EXPECT_FALSE(CFEqual(made, nullptr));
    EXPECT_TRUE(CFEqual(nullptr, nullptr));
}

TEST(CFString, UTF16RoundTripAndSubstrings)
{
    const UniChar units[] = {'A', 0xD83C, 0xDFB9, 'z'};
    CFOwned<CFStringRef> text(CFStringCreateWithCharacters(nullptr, units, 4));
    EXPECT_EQ(TextOf(text), "A\xF0\x9F\x8E\xB9z");
    UniChar back[4] = {};
    CFStringGetCharacters(text, CFRangeMake(0, 4), back);
    EXPECT_EQ(0, memcmp(back, units, sizeof units));
    CFOwned<CFStringRef> tail(CFStringCreateWithSubstring(nullptr, text, CFRangeMake(1, 3)));
    EXPECT_EQ(TextOf(tail), "\xF0\x9F\x8E\xB9z");
    EXPECT_EQ(CFStringCreateWithSubstring(nullptr, text, CFRangeMake(2, 3)), nullptr);
    // A range whose end overflows is outside the string too, not a short one.
    const CFRange overflowing = CFRangeMake(1, std::numeric_limits<CFIndex>::max());
    EXPECT_EQ(CFStringCreateWithSubstring(nullptr, text, overflowing), nullptr);
    UniChar untouched[4] = {};
    CFStringGetCharacters(text, overflowing, untouched);
    EXPECT_EQ(untouched[0], 0);
}

TEST(CFString, ChangingAnImmutableStringIsRefusedWithAMessage)
{
    CFOwned<CFStringRef> text(MakeString("fixed"));
    OutputCapture capture(OutputCapture::kStderr);
    CFStringAppend(const_cast<CFMutableStringRef>(text.get()), CFSTR("!"));
    EXPECT_EQ(TextOf(text), "fixed");
    EXPECT_NE(capture.Take().find("CFStringAppend: the object is immutable"), std::string::npos);
}
