#include "CFLeakCheck.h"
#include "CFTestObjects.h"
#include "OutputCapture.h"

#include <gtest/gtest.h>

TEST(CFArray, TypeCallbacksRetainWhatTheArrayHoldsAndReleaseOnRemoval)
{
    CFOwned<CFStringRef> value(MakeString("held"));
    {
        CFOwned<CFMutableArrayRef> array(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
        CFArrayAppendValue(array, value);
        CFArrayAppendValue(array, value);
        EXPECT_EQ(CFGetRetainCount(value), 3);
        EXPECT_EQ(CFArrayGetValueAtIndex(array, 1), value.get());
        EXPECT_EQ(CFGetRetainCount(value), 3); // Get does not retain
        CFArrayRemoveValueAtIndex(array, 0);
        EXPECT_EQ(CFGetRetainCount(value), 2);
        CFArraySetValueAtIndex(array, 0, CFSTR("other"));
        EXPECT_EQ(CFGetRetainCount(value), 1);
        CFArrayAppendValue(array, value);
    }
    EXPECT_EQ(CFGetRetainCount(value), 1); // freeing the array released its references
}

TEST(CFArray, NullCallbacksStoreBarePointers)
{
    int first = 1, second = 2;
    const void* values[] = {&first, &second};
    CFOwned<CFArrayRef> array(CFArrayCreate(nullptr, values, 2, nullptr));
    EXPECT_EQ(CFArrayGetCount(array), 2);
    EXPECT_EQ(CFArrayGetValueAtIndex(array, 0), &first);
    EXPECT_TRUE(CFArrayContainsValue(array, CFRangeMake(0, 2), &second));
    int equalButOther = 2;
    EXPECT_FALSE(CFArrayContainsValue(array, CFRangeMake(0, 2), &equalButOther));

    // The platform's parameter value strings: strings in an array without callbacks.
    CFOwned<CFStringRef> name(MakeString("RX Channel"));
    const void* names[] = {name.get()};
    CFOwned<CFArrayRef> strings(CFArrayCreate(nullptr, names, 1, nullptr));
    EXPECT_EQ(CFGetRetainCount(name), 1);
}

TEST(CFArray, InsertsRemovesAndReadsRanges)
{
    CFOwned<CFMutableArrayRef> array(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    CFArrayAppendValue(array, CFSTR("b"));
    CFArrayInsertValueAtIndex(array, 0, CFSTR("a"));
    CFArrayInsertValueAtIndex(array, 2, CFSTR("d"));
    CFArrayInsertValueAtIndex(array, 2, CFSTR("c"));
    const void* values[4] = {};
    CFArrayGetValues(array, CFRangeMake(0, 4), values);
    EXPECT_EQ(values[0], CFSTR("a"));
    EXPECT_EQ(values[1], CFSTR("b"));
    EXPECT_EQ(values[2], CFSTR("c"));
    EXPECT_EQ(values[3], CFSTR("d"));
    CFOwned<CFStringRef> equalToC(MakeString("c"));
    EXPECT_EQ(CFArrayGetFirstIndexOfValue(array, CFRangeMake(0, 4), equalToC), 2);
    EXPECT_EQ(CFArrayGetFirstIndexOfValue(array, CFRangeMake(0, 2), equalToC), kCFNotFound);
    EXPECT_EQ(CFArrayGetValueAtIndex(array, 4), nullptr);
    EXPECT_EQ(CFArrayGetValueAtIndex(array, -1), nullptr);
    CFArrayExchangeValuesAtIndices(array, 0, 3);
    EXPECT_EQ(CFArrayGetValueAtIndex(array, 0), CFSTR("d"));
    CFArrayAppendArray(array, array, CFRangeMake(0, 2));
    EXPECT_EQ(CFArrayGetCount(array), 6);
    EXPECT_EQ(CFArrayGetCountOfValue(array, CFRangeMake(0, 6), CFSTR("d")), 2);
    CFArrayRemoveAllValues(array);
    EXPECT_EQ(CFArrayGetCount(array), 0);
}

TEST(CFArray, CopiesAreIndependentAndEqualByContents)
{
    CFOwned<CFNumberRef> one(MakeSInt64(1));
    const void* values[] = {CFSTR("x"), one.get()};
    CFOwned<CFArrayRef> array(CFArrayCreate(nullptr, values, 2, &kCFTypeArrayCallBacks));
    CFOwned<CFMutableArrayRef> copy(CFArrayCreateMutableCopy(nullptr, 0, array));
    CFOwned<CFArrayRef> frozen(CFArrayCreateCopy(nullptr, copy));
    EXPECT_TRUE(CFEqual(array, copy));
    EXPECT_TRUE(CFEqual(array, frozen));
    CFArrayAppendValue(copy, CFSTR("y"));
    EXPECT_EQ(CFArrayGetCount(array), 2);
    EXPECT_EQ(CFArrayGetCount(frozen), 2);
    EXPECT_FALSE(CFEqual(array, copy));
    EXPECT_EQ(CFGetRetainCount(one), 4);
}

TEST(CFArray, AppliesAFunctionAndSorts)
{
    CFOwned<CFMutableArrayRef> array(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    for (const char* text : {"pear", "quince", "fig"}) {
        CFOwned<CFStringRef> string(MakeString(text));
        CFArrayAppendValue(array, string);
    }
    CFArraySortValues(
        array, CFRangeMake(0, 3),
        [](const void* a, const void* b, void*) {
            return CFStringCompare(static_cast<CFStringRef>(a), static_cast<CFStringRef>(b), 0);
        },
        nullptr);
    std::string joined;
    CFArrayApplyFunction(
        array, CFRangeMake(0, 3),
        [](const void* value, void* context) {
            *static_cast<std::string*>(context) += TextOf(static_cast<CFStringRef>(value)) + ",";
        },
        &joined);
    EXPECT_EQ(joined, "fig,pear,quince,");
}

TEST(CFArray, MisuseChangesNothingAndSaysWhy)
{
    CFOwned<CFMutableArrayRef> array(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    CFArrayAppendValue(array, CFSTR("only"));
    const void* values[] = {CFSTR("fixed")};
    CFOwned<CFArrayRef> fixed(CFArrayCreate(nullptr, values, 1, &kCFTypeArrayCallBacks));
    OutputCapture capture(OutputCapture::kStderr);
    CFArrayRemoveValueAtIndex(array, 1);
    CFArrayInsertValueAtIndex(array, 3, CFSTR("far"));
    CFArraySetValueAtIndex(array, -1, CFSTR("before"));
    CFArrayAppendValue(const_cast<CFMutableArrayRef>(fixed.get()), CFSTR("more"));
    CFArrayAppendValue(nullptr, CFSTR("nowhere"));
    const std::string messages = capture.Take();
    EXPECT_EQ(CFArrayGetCount(array), 1);
    EXPECT_EQ(CFArrayGetCount(fixed), 1);
    EXPECT_NE(messages.find("CFArrayRemoveValueAtIndex: index out of range"), std::string::npos)
        << messages;
    EXPECT_NE(messages.find("CFArrayInsertValueAtIndex: index out of range"), std::string::npos);
    EXPECT_NE(messages.find("the object is immutable"), std::string::npos);
    EXPECT_EQ(CFArrayCreate(nullptr, nullptr, 2, &kCFTypeArrayCallBacks), nullptr);
    EXPECT_EQ(CFArrayGetCount(nullptr), 0);
}

TEST(CFArray, DescriptionsShowObjectsAndOnlyTheAddressesOfBareValues)
{
    CFOwned<CFNumberRef> seven(MakeSInt64(7));
    const void* objects[] = {CFSTR("text"), seven.get(), kCFBooleanTrue};
    CFOwned<CFArrayRef> array(CFArrayCreate(nullptr, objects, 3, &kCFTypeArrayCallBacks));
    CFOwned<CFStringRef> description(CFCopyDescription(array));
    EXPECT_EQ(TextOf(description), "(\n    text,\n    7,\n    true\n)");

    // Bare values need not be objects at all: their description must not look inside them.
    int plain = 0;
    const void* bare[] = {&plain};
    CFOwned<CFArrayRef> bareArray(CFArrayCreate(nullptr, bare, 1, nullptr));
    CFOwned<CFMutableDictionaryRef> bareDictionary(
        CFDictionaryCreateMutable(nullptr, 0, nullptr, nullptr));
    CFDictionarySetValue(bareDictionary, &plain, &plain);
    CFOwned<CFStringRef> arrayText(CFCopyDescription(bareArray));
    CFOwned<CFStringRef> dictionaryText(CFCopyDescription(bareDictionary));
    char address[32];
    snprintf(address, sizeof address, "<%p>", static_cast<void*>(&plain));
    EXPECT_NE(TextOf(arrayText).find(address), std::string::npos);
    EXPECT_NE(TextOf(dictionaryText).find(address), std::string::npos);
}
