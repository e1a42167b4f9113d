#include "CFLeakCheck.h"
#include "CFTestObjects.h"
#include "OutputCapture.h"

#include <gtest/gtest.h>

#include <map>

namespace {
CFMutableDictionaryRef MakeTypeDictionary()
{
    return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}
} // namespace

TEST(CFDictionary, FindsValuesByEqualKeysAndRetainsBoth)
{
    CFOwned<CFMutableDictionaryRef> dictionary(MakeTypeDictionary());
    CFOwned<CFStringRef> key(MakeString("manufacturer"));
    CFOwned<CFNumberRef> value(MakeSInt64(0x506C6E6B));
    CFDictionarySetValue(dictionary, key, value);
    EXPECT_EQ(CFGetRetainCount(key), 2);
    EXPECT_EQ(CFGetRetainCount(value), 2);
    // A different string object with the same text finds the entry.
    EXPECT_EQ(CFDictionaryGetValue(dictionary, CFSTR("manufacturer")), value.get());
    EXPECT_EQ(CFGetRetainCount(value), 2);
    EXPECT_TRUE(CFDictionaryContainsKey(dictionary, CFSTR("manufacturer")));
    EXPECT_FALSE(CFDictionaryContainsKey(dictionary, CFSTR("type")));
    EXPECT_TRUE(CFDictionaryContainsValue(dictionary, value));
    EXPECT_EQ(CFDictionaryGetValue(dictionary, CFSTR("type")), nullptr);
    CFDictionaryRemoveValue(dictionary, CFSTR("manufacturer"));
    EXPECT_EQ(CFGetRetainCount(key), 1);
    EXPECT_EQ(CFGetRetainCount(value), 1);
    EXPECT_EQ(CFDictionaryGetCount(dictionary), 0);
}

TEST(CFDictionary, AddReplaceAndSetFollowPresence)
{
    CFOwned<CFMutableDictionaryRef> dictionary(MakeTypeDictionary());
    CFDictionaryReplaceValue(dictionary, CFSTR("name"), CFSTR("ignored"));
    EXPECT_FALSE(CFDictionaryContainsKey(dictionary, CFSTR("name")));
    CFDictionaryAddValue(dictionary, CFSTR("name"), CFSTR("first"));
    CFDictionaryAddValue(dictionary, CFSTR("name"), CFSTR("second"));
    EXPECT_EQ(CFDictionaryGetValue(dictionary, CFSTR("name")), CFSTR("first"));
    CFDictionaryReplaceValue(dictionary, CFSTR("name"), CFSTR("third"));
    EXPECT_EQ(CFDictionaryGetValue(dictionary, CFSTR("name")), CFSTR("third"));
    CFOwned<CFStringRef> fourth(MakeString("fourth"));
    CFDictionarySetValue(dictionary, CFSTR("name"), fourth);
    CFDictionarySetValue(dictionary, CFSTR("name"), fourth); // same value again: still retained
    EXPECT_EQ(CFGetRetainCount(fourth), 2);
    EXPECT_EQ(CFDictionaryGetCount(dictionary), 1);
    CFDictionaryRemoveAllValues(dictionary);
    EXPECT_EQ(CFGetRetainCount(fourth), 1);
}

TEST(CFDictionary, GetValueIfPresentTellsANullValueFromAnAbsentKey)
{
    int marker = 0;
    CFOwned<CFMutableDictionaryRef> bare(CFDictionaryCreateMutable(nullptr, 0, nullptr, nullptr));
    CFDictionarySetValue(bare, &marker, nullptr);
    const void* value = &marker;
    EXPECT_TRUE(CFDictionaryGetValueIfPresent(bare, &marker, &value));
    EXPECT_EQ(value, nullptr);
    int other = 0; // bare pointers: keys compare by identity
    EXPECT_FALSE(CFDictionaryGetValueIfPresent(bare, &other, &value));
    EXPECT_FALSE(CFDictionaryGetValueIfPresent(nullptr, &marker, &value));
}

TEST(CFDictionary, ListsKeysAndValuesInMatchingOrder)
{
    const void* keys[] = {CFSTR("a"), CFSTR("b"), CFSTR("c"), CFSTR("a")};
    CFOwned<CFNumberRef> one(MakeSInt64(1)), two(MakeSInt64(2)), three(MakeSInt64(3)),
        four(MakeSInt64(4));
    const void* values[] = {one.get(), two.get(), three.get(), four.get()};
    CFOwned<CFDictionaryRef> dictionary(CFDictionaryCreate(nullptr, keys, values, 4,
                                                           &kCFTypeDictionaryKeyCallBacks,
                                                           &kCFTypeDictionaryValueCallBacks));
    ASSERT_EQ(CFDictionaryGetCount(dictionary), 3); // the repeated key keeps its last value
    const void* gotKeys[3] = {};
    const void* gotValues[3] = {};
    CFDictionaryGetKeysAndValues(dictionary, gotKeys, gotValues);
    std::map<std::string, SInt64> entries;
    for (int i = 0; i < 3; ++i) {
        SInt64 number = 0;
        CFNumberGetValue(static_cast<CFNumberRef>(gotValues[i]), kCFNumberSInt64Type, &number);
        entries[TextOf(static_cast<CFStringRef>(gotKeys[i]))] = number;
    }
    EXPECT_EQ(entries, (std::map<std::string, SInt64>{{"a", 4}, {"b", 2}, {"c", 3}}));
    CFDictionaryGetKeysAndValues(dictionary, nullptr, gotValues);

    int visits = 0;
    CFDictionaryApplyFunction(
        dictionary, [](const void*, const void*, void* count) { ++*static_cast<int*>(count); },
        &visits);
    EXPECT_EQ(visits, 3);
}

TEST(CFDictionary, CopiesAreIndependentAndNestedContentsCompare)
{
    CFOwned<CFMutableDictionaryRef> inner(MakeTypeDictionary());
    CFDictionarySetValue(inner, CFSTR("depth"), kCFBooleanTrue);
    CFOwned<CFMutableDictionaryRef> outer(MakeTypeDictionary());
    CFDictionarySetValue(outer, CFSTR("inner"), inner);
    CFOwned<CFMutableDictionaryRef> copy(CFDictionaryCreateMutableCopy(nullptr, 0, outer));
    CFOwned<CFDictionaryRef> frozen(CFDictionaryCreateCopy(nullptr, outer));
    EXPECT_TRUE(CFEqual(outer, copy));
    EXPECT_TRUE(CFEqual(frozen, copy));
    CFDictionarySetValue(copy, CFSTR("extra"), kCFBooleanFalse);
    EXPECT_FALSE(CFEqual(outer, copy));
    EXPECT_EQ(CFDictionaryGetCount(outer), 1);
    // Copies are shallow: the nested dictionary is shared.
    EXPECT_EQ(CFDictionaryGetValue(copy, CFSTR("inner")), inner.get());
}

TEST(CFDictionary, CopyStringKeyCallbacksFreezeMutableKeys)
{
    CFOwned<CFMutableDictionaryRef> dictionary(CFDictionaryCreateMutable(
        nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFOwned<CFMutableStringRef> key(CFStringCreateMutable(nullptr, 0));
    CFStringAppendCString(key, "key", kCFStringEncodingUTF8);
    CFDictionarySetValue(dictionary, key, kCFBooleanTrue);
    CFStringAppendCString(key, "-changed", kCFStringEncodingUTF8);
    EXPECT_TRUE(CFDictionaryContainsKey(dictionary, CFSTR("key")));
    EXPECT_EQ(CFGetRetainCount(key), 1);
}

TEST(CFDictionary, ChangingAnImmutableDictionaryIsRefused)
{
    const void* keys[] = {CFSTR("k")};
    const void* values[] = {CFSTR("v")};
    CFOwned<CFDictionaryRef> fixed(CFDictionaryCreate(nullptr, keys, values, 1,
                                                      &kCFTypeDictionaryKeyCallBacks,
                                                      &kCFTypeDictionaryValueCallBacks));
    OutputCapture capture(OutputCapture::kStderr);
    CFDictionarySetValue(const_cast<CFMutableDictionaryRef>(fixed.get()), CFSTR("k"), CFSTR("w"));
    CFDictionaryRemoveAllValues(const_cast<CFMutableDictionaryRef>(fixed.get()));
    EXPECT_NE(capture.Take().find("CFDictionarySetValue: the object is immutable"),
              std::string::npos);
    EXPECT_EQ(CFDictionaryGetValue(fixed, CFSTR("k")), CFSTR("v"));
    EXPECT_EQ(CFDictionaryCreate(nullptr, nullptr, values, 1, nullptr, nullptr), nullptr);
}
