// Property lists: conversion between trees of CF objects and libplist trees, which read and
// write the XML and binary forms; deep copies and validity checks.
#include "CFPropertyListShape.h"
#include "CFRuntime.h"

#include "CFOwned.h"

#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFNumber.h>
#include <CoreFoundation/CFPropertyList.h>
#include <CoreFoundation/CFString.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <plist/plist.h>
#include <vector>

namespace {

// Deeper trees are refused: they are either hostile or contain themselves.
constexpr int kMaxDepth = 512;
// A binary list that shares values may expand to no more than this many (or its own number of
// objects): a few hundred bytes could otherwise ask for billions.
constexpr size_t kMaxSharedExpansion = size_t(1) << 20;

using CFHolder = CFOwned<CFTypeRef>;

struct PlistFreer {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistHolder = std::unique_ptr<void, PlistFreer>;

// Why a conversion failed; empty while it goes well.
using Problem = std::string;

bool IsMutableContainers(CFOptionFlags options)
{
    return options == kCFPropertyListMutableContainers ||
           options == kCFPropertyListMutableContainersAndLeaves;
}

std::string TypeName(CFTypeRef cf)
{
    CFHolder name(CFCopyTypeIDDescription(CFGetTypeID(cf)));
    return CFStringUTF8(static_cast<CFStringRef>(name.get()));
}

// An array of the (owned) values, +1.
CFTypeRef MakeArray(const std::vector<CFHolder>& values, CFOptionFlags options)
{
    if (IsMutableContainers(options)) {
        CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
        for (const CFHolder& value : values) {
            CFArrayAppendValue(array, value.get());
        }
        return array;
    }
    std::vector<const void*> bare;
    for (const CFHolder& value : values) {
        bare.push_back(value.get());
    }
    return CFArrayCreate(nullptr, bare.data(), CFIndex(bare.size()), &kCFTypeArrayCallBacks);
}

// A dictionary of the (owned) keys and values, +1.
CFTypeRef MakeDictionary(const std::vector<CFHolder>& keys, const std::vector<CFHolder>& values,
                         CFOptionFlags options)
{
    std::vector<const void*> bareKeys, bareValues;
    for (size_t i = 0; i < keys.size(); ++i) {
        bareKeys.push_back(keys[i].get());
        bareValues.push_back(values[i].get());
    }
    CFDictionaryRef dictionary =
        CFDictionaryCreate(nullptr, bareKeys.data(), bareValues.data(), CFIndex(keys.size()),
                           &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    if (!IsMutableContainers(options) || !dictionary) {
        return dictionary;
    }
    CFMutableDictionaryRef copy = CFDictionaryCreateMutableCopy(nullptr, 0, dictionary);
    CFRelease(dictionary);
    return copy;
}

CFTypeRef MakeString(const std::string& text, CFOptionFlags options)
{
    if (options == kCFPropertyListMutableContainersAndLeaves) {
        return CFStringCreateFromUTF8(text, true);
    }
    return CFStringCreateFromUTF8(text);
}

CFTypeRef MakeData(const UInt8* bytes, CFIndex length, CFOptionFlags options)
{
    if (options == kCFPropertyListMutableContainersAndLeaves) {
        CFMutableDataRef data = CFDataCreateMutable(nullptr, 0);
        CFDataAppendBytes(data, bytes, length);
        return data;
    }
    return CFDataCreate(nullptr, bytes, length);
}

// The dictionary's entries sorted by key, or a problem when a key is not a string.
std::vector<std::pair<CFStringRef, CFTypeRef>> SortedEntries(CFDictionaryRef dictionary,
                                                             Problem& problem)
{
    const CFIndex count = CFDictionaryGetCount(dictionary);
    std::vector<const void*> keys(static_cast<size_t>(count)), values(keys.size());
    CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
    std::vector<std::pair<CFStringRef, CFTypeRef>> entries;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (CFGetTypeID(keys[i]) != CFStringGetTypeID()) {
            problem = "a dictionary key is a " + TypeName(keys[i]) + ", not a string";
            return {};
        }
        entries.emplace_back(static_cast<CFStringRef>(keys[i]), values[i]);
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return CFStringUTF8(a.first) < CFStringUTF8(b.first);
    });
    return entries;
}

// ---- CF tree to libplist tree ----

plist_t ToNode(CFTypeRef cf, int depth, Problem& problem)
{
    if (depth > kMaxDepth) {
        problem = "the property list is nested too deeply (or contains itself)";
        return nullptr;
    }
    const CFTypeID type = CFGetTypeID(cf);
    if (type == CFStringGetTypeID()) {
        const std::string& text = CFStringUTF8(static_cast<CFStringRef>(cf));
        if (text.find('\0') != std::string::npos) {
            problem = "a string contains a zero character";
            return nullptr;
        }
        return plist_new_string(text.c_str());
    }
    if (type == CFNumberGetTypeID()) {
        CFNumberRef number = static_cast<CFNumberRef>(cf);
        if (CFNumberIsFloatType(number)) {
            Float64 real = 0;
            CFNumberGetValue(number, kCFNumberFloat64Type, &real);
            return plist_new_real(real);
        }
        SInt64 integer = 0;
        CFNumberGetValue(number, kCFNumberSInt64Type, &integer);
        return plist_new_uint(static_cast<uint64_t>(integer));
    }
    if (type == CFBooleanGetTypeID()) {
        return plist_new_bool(CFBooleanGetValue(static_cast<CFBooleanRef>(cf)));
    }
    if (type == CFDataGetTypeID()) {
        CFDataRef data = static_cast<CFDataRef>(cf);
        return plist_new_data(reinterpret_cast<const char*>(CFDataGetBytePtr(data)),
                              static_cast<uint64_t>(CFDataGetLength(data)));
    }
    if (type == CFArrayGetTypeID()) {
        CFArrayRef array = static_cast<CFArrayRef>(cf);
        PlistHolder node(plist_new_array());
        for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
            plist_t item = ToNode(CFArrayGetValueAtIndex(array, i), depth + 1, problem);
            if (!item) {
                return nullptr;
            }
            plist_array_append_item(node.get(), item);
        }
        return node.release();
    }
    if (type == CFDictionaryGetTypeID()) {
        const auto entries = SortedEntries(static_cast<CFDictionaryRef>(cf), problem);
        PlistHolder node(plist_new_dict());
        for (const auto& entry : entries) {
            const std::string& key = CFStringUTF8(entry.first);
            plist_t item = ToNode(entry.second, depth + 1, problem);
            if (!item || key.find('\0') != std::string::npos) {
                problem = item ? "a dictionary key contains a zero character" : problem;
                plist_free(item);
                return nullptr;
            }
            plist_dict_set_item(node.get(), key.c_str(), item);
        }
        return problem.empty() ? node.release() : nullptr;
    }
    problem = cf ? "a " + TypeName(cf) + " cannot be part of a property list"
                 : std::string("a NULL value cannot be part of a property list");
    return nullptr;
}

// ---- libplist tree to CF tree ----

// libplist keeps integers as 64-bit patterns and reads both -1 and 18446744073709551615 as the
// same bits; only its own writer can still tell them apart. A negative pattern is therefore
// accepted only when libplist writes it back as a negative number.
bool IsNegativeInteger(plist_t node)
{
    PlistHolder copy(plist_copy(node));
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(copy.get(), &xml, &length);
    const bool negative = xml && std::string(xml, length).find("<integer>-") != std::string::npos;
    plist_to_xml_free(xml);
    return negative;
}

CFTypeRef FromNode(plist_t node, CFOptionFlags options, int depth, Problem& problem);

CFTypeRef ArrayFromNode(plist_t node, CFOptionFlags options, int depth, Problem& problem)
{
    std::vector<CFHolder> values;
    const uint32_t count = plist_array_get_size(node);
    for (uint32_t i = 0; i < count; ++i) {
        values.emplace_back(FromNode(plist_array_get_item(node, i), options, depth + 1, problem));
        if (!values.back()) {
            return nullptr;
        }
    }
    return MakeArray(values, options);
}

CFTypeRef DictionaryFromNode(plist_t node, CFOptionFlags options, int depth, Problem& problem)
{
    std::vector<CFHolder> keys, values;
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(node, &iterator);
    for (;;) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, iterator, &key, &item);
        if (!key || !item) {
            free(key);
            break;
        }
        keys.emplace_back(CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8));
        free(key);
        if (!keys.back()) {
            problem = "a dictionary key is not valid UTF-8";
            break;
        }
        values.emplace_back(FromNode(item, options, depth + 1, problem));
        if (!values.back()) {
            break;
        }
    }
    free(iterator);
    return problem.empty() ? MakeDictionary(keys, values, options) : nullptr;
}

CFTypeRef FromNode(plist_t node, CFOptionFlags options, int depth, Problem& problem)
{
    if (depth > kMaxDepth) {
        problem = "the property list is nested too deeply";
        return nullptr;
    }
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return value ? kCFBooleanTrue : kCFBooleanFalse;
    }
    case PLIST_UINT: {
        uint64_t bits = 0;
        plist_get_uint_val(node, &bits);
        const SInt64 value = static_cast<SInt64>(bits);
        if (value < 0 && !IsNegativeInteger(node)) {
            problem = "an integer is larger than 9223372036854775807";
            return nullptr;
        }
        return CFNumberCreate(nullptr, kCFNumberSInt64Type, &value);
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return CFNumberCreate(nullptr, kCFNumberFloat64Type, &value);
    }
    case PLIST_STRING: {
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        std::string utf8(text ? text : "", text ? length : 0);
        CFStringRef check =
            CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(utf8.data()),
                                    CFIndex(utf8.size()), kCFStringEncodingUTF8, false);
        if (!check) {
            problem = "a string is not valid UTF-8";
            return nullptr;
        }
        CFRelease(check);
        return MakeString(utf8, options);
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(node, &length);
        return MakeData(reinterpret_cast<const UInt8*>(bytes), bytes ? CFIndex(length) : 0,
                        options);
    }
    case PLIST_ARRAY:
        return ArrayFromNode(node, options, depth, problem);
    case PLIST_DICT:
        return DictionaryFromNode(node, options, depth, problem);
    case PLIST_DATE:
        problem = "dates are not supported";
        return nullptr;
    default:
        problem = "the property list holds a value of an unsupported kind";
        return nullptr;
    }
}

// ---- CF tree to CF tree ----

CFTypeRef DeepCopy(CFTypeRef cf, CFOptionFlags options, int depth, Problem& problem)
{
    if (depth > kMaxDepth) {
        problem = "the property list is nested too deeply (or contains itself)";
        return nullptr;
    }
    const CFTypeID type = CFGetTypeID(cf);
    if (type == CFStringGetTypeID()) {
        return MakeString(CFStringUTF8(static_cast<CFStringRef>(cf)), options);
    }
    if (type == CFDataGetTypeID()) {
        CFDataRef data = static_cast<CFDataRef>(cf);
        return MakeData(CFDataGetBytePtr(data), CFDataGetLength(data), options);
    }
    if (type == CFNumberGetTypeID() || type == CFBooleanGetTypeID()) {
        return CFRetain(cf);
    }
    if (type == CFArrayGetTypeID()) {
        CFArrayRef array = static_cast<CFArrayRef>(cf);
        std::vector<CFHolder> values;
        for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
            values.emplace_back(
                DeepCopy(CFArrayGetValueAtIndex(array, i), options, depth + 1, problem));
            if (!values.back()) {
                return nullptr;
            }
        }
        return MakeArray(values, options);
    }
    if (type == CFDictionaryGetTypeID()) {
        std::vector<CFHolder> keys, values;
        for (const auto& entry : SortedEntries(static_cast<CFDictionaryRef>(cf), problem)) {
            keys.emplace_back(CFStringCreateCopy(nullptr, entry.first));
            values.emplace_back(DeepCopy(entry.second, options, depth + 1, problem));
            if (!values.back()) {
                return nullptr;
            }
        }
        return problem.empty() ? MakeDictionary(keys, values, options) : nullptr;
    }
    problem = cf ? "a " + TypeName(cf) + " cannot be part of a property list"
                 : std::string("a NULL value cannot be part of a property list");
    return nullptr;
}

void ReportError(CFErrorRef* error, CFIndex code, const std::string& description)
{
    if (!error) {
        return;
    }
    CFHolder text(CFStringCreateFromUTF8(description));
    const void* keys[] = {kCFErrorDescriptionKey};
    const void* values[] = {text.get()};
    CFHolder userInfo(CFDictionaryCreate(nullptr, keys, values, 1, &kCFTypeDictionaryKeyCallBacks,
                                         &kCFTypeDictionaryValueCallBacks));
    *error = CFErrorCreate(nullptr, kCFErrorDomainCocoa, code,
                           static_cast<CFDictionaryRef>(userInfo.get()));
}

CFDataRef Serialize(CFPropertyListRef propertyList, CFPropertyListFormat format, Problem& problem)
{
    if (format != kCFPropertyListXMLFormat_v1_0 && format != kCFPropertyListBinaryFormat_v1_0) {
        problem = "only the XML and binary formats can be written";
        return nullptr;
    }
    PlistHolder root(ToNode(propertyList, 0, problem));
    if (!root) {
        return nullptr;
    }
    char* bytes = nullptr;
    uint32_t length = 0;
    if (format == kCFPropertyListXMLFormat_v1_0) {
        plist_to_xml(root.get(), &bytes, &length);
    } else {
        plist_to_bin(root.get(), &bytes, &length);
    }
    if (!bytes) {
        problem = "the property list could not be written";
        return nullptr;
    }
    CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes), length);
    format == kCFPropertyListXMLFormat_v1_0 ? plist_to_xml_free(bytes) : plist_to_bin_free(bytes);
    return data;
}

CFPropertyListRef Parse(CFDataRef data, CFOptionFlags options, CFPropertyListFormat* format,
                        Problem& problem)
{
    if (CFGetTypeID(data) != CFDataGetTypeID() || CFDataGetLength(data) == 0) {
        problem = "cannot parse a NULL or zero-length data";
        return nullptr;
    }
    const CFIndex length = CFDataGetLength(data);
    if (length > CFIndex(UINT32_MAX)) {
        problem = "the data is too large to be a property list";
        return nullptr;
    }
    const char* bytes = reinterpret_cast<const char*>(CFDataGetBytePtr(data));
    const bool binary = plist_is_binary(bytes, static_cast<uint32_t>(length));
    if (!CFPropertyListShapeIsReadable(bytes, static_cast<size_t>(length), binary, kMaxDepth + 1,
                                       kMaxSharedExpansion, problem)) {
        return nullptr;
    }
    plist_t parsed = nullptr;
    plist_from_memory(bytes, static_cast<uint32_t>(length), &parsed);
    PlistHolder root(parsed);
    if (!root) {
        problem = "the data is not a property list in XML or binary form";
        return nullptr;
    }
    CFPropertyListRef result = FromNode(root.get(), options, 0, problem);
    if (result && format) {
        *format = binary ? kCFPropertyListBinaryFormat_v1_0 : kCFPropertyListXMLFormat_v1_0;
    }
    return result;
}

// Runs a conversion whose failure (including an allocation failure) becomes a problem text.
template <class Body> auto Guarded(Problem& problem, Body&& body) -> decltype(body())
{
    try {
        return body();
    } catch (...) {
        problem = "out of memory";
        return nullptr;
    }
}

} // namespace

extern "C" {

CFDataRef CFPropertyListCreateData(CFAllocatorRef, CFPropertyListRef propertyList,
                                   CFPropertyListFormat format, CFOptionFlags, CFErrorRef* error)
{
    Problem problem;
    CFDataRef data = Guarded(problem, [&] { return Serialize(propertyList, format, problem); });
    if (!data) {
        ReportError(error, kCFPropertyListWriteInvalidError,
                    "The property list cannot be written: " + problem);
    }
    return data;
}

CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef, CFDataRef data,
                                               CFOptionFlags options, CFPropertyListFormat* format,
                                               CFErrorRef* error)
{
    Problem problem;
    CFPropertyListRef result =
        Guarded(problem, [&] { return Parse(data, options, format, problem); });
    if (!result) {
        ReportError(error, kCFPropertyListReadCorruptError,
                    "The property list cannot be read: " + problem);
    }
    return result;
}

CFDataRef CFPropertyListCreateXMLData(CFAllocatorRef allocator, CFPropertyListRef propertyList)
{
    return CFPropertyListCreateData(allocator, propertyList, kCFPropertyListXMLFormat_v1_0, 0,
                                    nullptr);
}

CFPropertyListRef CFPropertyListCreateFromXMLData(CFAllocatorRef allocator, CFDataRef xmlData,
                                                  CFOptionFlags mutabilityOption,
                                                  CFStringRef* errorString)
{
    CFErrorRef error = nullptr;
    CFPropertyListRef result =
        CFPropertyListCreateWithData(allocator, xmlData, mutabilityOption, nullptr, &error);
    if (errorString) {
        *errorString = error ? CFErrorCopyDescription(error) : nullptr;
    }
    CFRelease(error);
    return result;
}

Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFPropertyListFormat format)
{
    if (format != kCFPropertyListXMLFormat_v1_0 && format != kCFPropertyListBinaryFormat_v1_0) {
        return false;
    }
    Problem problem;
    return Guarded(problem, [&] { return PlistHolder(ToNode(plist, 0, problem)); }) != nullptr;
}

CFPropertyListRef CFPropertyListCreateDeepCopy(CFAllocatorRef, CFPropertyListRef propertyList,
                                               CFOptionFlags mutabilityOption)
{
    Problem problem;
    return Guarded(problem, [&] { return DeepCopy(propertyList, mutabilityOption, 0, problem); });
}

} // extern "C"
