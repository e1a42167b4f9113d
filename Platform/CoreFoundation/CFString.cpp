// Strings: UTF-8 storage with the UTF-16 length the platform's ranges count in, the interned
// CFSTR constants, comparison and the public string calls.
#include "CFRuntime.h"
#include "CFStringFormat.h"
#include "CFUnicode.h"

#include <CoreFoundation/CFString.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <vector>

using namespace CFUnicode;

struct __CFString final : CFObject {
    static constexpr CFTypeID kTypeID = kCFRuntimeStringTypeID;

    __CFString(std::string text, bool isMutable, Lifetime lifetime)
        : CFObject(kTypeID, lifetime), mMutable(isMutable)
    {
        SetText(std::move(text));
    }

    // text must be valid UTF-8.
    void SetText(std::string text);

    bool Equals(const CFObject& other) const override
    {
        return mText == static_cast<const __CFString&>(other).mText;
    }
    CFHashCode Hash() const override { return std::hash<std::string>()(mText); }
    std::string Describe() const override { return mText; }

    std::string mText;
    CFIndex mLength = 0;
    const bool mMutable;
};

namespace {

const __CFString* AsString(CFTypeRef cf)
{
    return CFAs<__CFString>(cf);
}

CFStringRef CreateFromBytes(const char* bytes, size_t length, CFStringEncoding encoding)
{
    return CFCreateOrNull([&]() -> CFStringRef {
        std::string text;
        if (!DecodeBytes(bytes, length, encoding, text)) {
            return nullptr;
        }
        return CFStringCreateFromUTF8(std::move(text));
    });
}

int FoldASCII(UInt8 c)
{
    return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c;
}

bool IsDigit(UInt8 c)
{
    return c >= '0' && c <= '9';
}

// Compares two runs of digits by value: longer (without leading zeros) is greater.
int CompareDigitRuns(const std::string& a, size_t& i, const std::string& b, size_t& j)
{
    while (i < a.size() && a[i] == '0' && i + 1 < a.size() && IsDigit(a[i + 1])) {
        ++i;
    }
    while (j < b.size() && b[j] == '0' && j + 1 < b.size() && IsDigit(b[j + 1])) {
        ++j;
    }
    size_t endA = i, endB = j;
    while (endA < a.size() && IsDigit(a[endA])) {
        ++endA;
    }
    while (endB < b.size() && IsDigit(b[endB])) {
        ++endB;
    }
    int result = 0;
    if (endA - i != endB - j) {
        result = endA - i < endB - j ? -1 : 1;
    } else {
        result = a.compare(i, endA - i, b, j, endB - j);
    }
    i = endA;
    j = endB;
    return result;
}

int CompareTexts(const std::string& a, const std::string& b, CFStringCompareFlags options)
{
    const bool caseless = options & kCFCompareCaseInsensitive;
    const bool numeric = options & kCFCompareNumerically;
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const UInt8 ca = static_cast<UInt8>(a[i]), cb = static_cast<UInt8>(b[j]);
        if (numeric && IsDigit(ca) && IsDigit(cb)) {
            if (int result = CompareDigitRuns(a, i, b, j)) {
                return result;
            }
            continue;
        }
        const int fa = caseless ? FoldASCII(ca) : ca, fb = caseless ? FoldASCII(cb) : cb;
        if (fa != fb) {
            return fa < fb ? -1 : 1;
        }
        ++i, ++j;
    }
    if (i < a.size()) {
        return 1;
    }
    return j < b.size() ? -1 : 0;
}

// The interned constants: a map that makes each one once, under a lock, and a fixed index in
// front of it that finds one made before with neither a lock nor an allocation, since the unit
// may ask for a constant on its render thread. Neither is ever destroyed, so the constants
// outlive every static object that might still use them at exit.
class ConstantTable {
public:
    // The constant for the text; null only when it cannot be made. [any-thread]
    const __CFString* Intern(const char* text)
    {
        const size_t hash = std::hash<std::string_view>()(text);
        if (const Entry* entry = Look(hash, text)) {
            return entry->second;
        }
        return CFCreateOrNull([&] { return Make(hash, text); });
    }

private:
    using Entry = std::pair<const std::string, const __CFString*>;
    static constexpr size_t kIndexSize = 4096;
    static constexpr size_t kMaxProbes = 64;

    const Entry* Look(size_t hash, const char* text) const
    {
        for (size_t probe = 0; probe < kMaxProbes; ++probe) {
            const Entry* entry =
                mIndex[(hash + probe) % kIndexSize].load(std::memory_order_acquire);
            if (!entry || entry->first == text) {
                return entry;
            }
        }
        return nullptr;
    }

    const __CFString* Make(size_t hash, const char* text)
    {
        std::lock_guard<std::mutex> lock(mMutex);
        const auto found = mStrings.find(text);
        if (found != mStrings.end()) {
            return found->second;
        }
        std::string decoded;
        if (!DecodeBytes(text, strlen(text), kCFStringEncodingUTF8, decoded)) {
            DecodeBytes(text, strlen(text), kCFStringEncodingISOLatin1, decoded);
        }
        auto made = std::make_unique<__CFString>(decoded, false, CFObject::Lifetime::Immortal);
        const Entry& entry = *mStrings.emplace(text, made.get()).first;
        // Map nodes never move, so the index may point at them; past a full probe run the
        // constant is found through the map alone.
        for (size_t probe = 0; probe < kMaxProbes; ++probe) {
            std::atomic<const Entry*>& slot = mIndex[(hash + probe) % kIndexSize];
            if (!slot.load(std::memory_order_relaxed)) {
                slot.store(&entry, std::memory_order_release);
                break;
            }
        }
        return made.release();
    }

    std::atomic<const Entry*> mIndex[kIndexSize] = {};
    std::mutex mMutex;
    std::unordered_map<std::string, const __CFString*> mStrings;
};

ConstantTable& Constants()
{
    static ConstantTable* table = new ConstantTable;
    return *table;
}

} // namespace

void __CFString::SetText(std::string text)
{
    mText = std::move(text);
    CFIndex length = 0;
    for (char c : mText) {
        const UInt8 byte = static_cast<UInt8>(c);
        if ((byte & 0xC0) != 0x80) {
            length += byte >= 0xF0 ? 2 : 1;
        }
    }
    mLength = length;
}

CFStringRef CFStringCreateFromUTF8(std::string text, bool isMutable)
{
    return new __CFString(std::move(text), isMutable, CFObject::Lifetime::Counted);
}

const std::string& CFStringUTF8(CFStringRef string)
{
    static const std::string* empty = new std::string;
    const __CFString* object = AsString(string);
    return object ? object->mText : *empty;
}

extern "C" {

CFStringRef __CFStringMakeConstantString(const char* cStr)
{
    return cStr ? Constants().Intern(cStr) : nullptr;
}

CFTypeID CFStringGetTypeID(void)
{
    return kCFRuntimeStringTypeID;
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding)
{
    return cStr ? CreateFromBytes(cStr, strlen(cStr), encoding) : nullptr;
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation)
{
    if (numBytes < 0 || (!bytes && numBytes > 0)) {
        return nullptr;
    }
    const char* text = reinterpret_cast<const char*>(bytes);
    size_t length = static_cast<size_t>(numBytes);
    const bool byteOrderMark = isExternalRepresentation && encoding == kCFStringEncodingUTF8 &&
                               length >= 3 && memcmp(text, "\xEF\xBB\xBF", 3) == 0;
    if (byteOrderMark) {
        text += 3, length -= 3;
    }
    return CreateFromBytes(length ? text : "", length, encoding);
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UniChar* chars, CFIndex numChars)
{
    if (numChars < 0 || (!chars && numChars > 0)) {
        return nullptr;
    }
    return CFCreateOrNull(
        [&] { return CFStringCreateFromUTF8(FromUTF16(chars, static_cast<size_t>(numChars))); });
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef theString)
{
    const __CFString* string = AsString(theString);
    if (!string) {
        return nullptr;
    }
    if (!string->mMutable) {
        return static_cast<CFStringRef>(CFRetain(string));
    }
    return CFCreateOrNull([&] { return CFStringCreateFromUTF8(string->mText); });
}

CFStringRef CFStringCreateWithSubstring(CFAllocatorRef, CFStringRef str, CFRange range)
{
    const __CFString* string = AsString(str);
    if (!string || !CFRangeWithin(range, static_cast<size_t>(string->mLength))) {
        return nullptr;
    }
    return CFCreateOrNull([&] {
        const std::vector<UniChar> units = ToUTF16(string->mText);
        return CFStringCreateFromUTF8(
            FromUTF16(units.data() + range.location, static_cast<size_t>(range.length)));
    });
}

CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions,
                                     CFStringRef format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    CFStringRef result =
        CFStringCreateWithFormatAndArguments(alloc, formatOptions, format, arguments);
    va_end(arguments);
    return result;
}

CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef, CFDictionaryRef,
                                                 CFStringRef format, va_list arguments)
{
    const __CFString* formatString = AsString(format);
    if (!formatString) {
        return nullptr;
    }
    return CFCreateOrNull([&]() -> CFStringRef {
        std::string text = CFFormatText(formatString->mText, arguments);
        if (!IsValidUTF8(text)) {
            return nullptr;
        }
        return CFStringCreateFromUTF8(std::move(text));
    });
}

CFIndex CFStringGetLength(CFStringRef theString)
{
    const __CFString* string = AsString(theString);
    return string ? string->mLength : 0;
}

UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx)
{
    const __CFString* string = AsString(theString);
    if (!string || idx < 0 || idx >= string->mLength) {
        return 0;
    }
    return ToUTF16(string->mText)[static_cast<size_t>(idx)];
}

void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer)
{
    const __CFString* string = AsString(theString);
    if (!string || !buffer || !CFRangeWithin(range, static_cast<size_t>(string->mLength))) {
        return;
    }
    const std::vector<UniChar> units = ToUTF16(string->mText);
    std::copy(units.begin() + range.location, units.begin() + range.location + range.length,
              buffer);
}

Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding)
{
    const __CFString* string = AsString(theString);
    if (!string || !buffer || bufferSize <= 0) {
        return false;
    }
    buffer[0] = '\0';
    // Text already in the encoding is copied without a conversion (and without allocating).
    const char* direct = CFStringGetCStringPtr(theString, encoding);
    std::string converted;
    if (!direct && !EncodeText(string->mText, encoding, converted)) {
        return false;
    }
    const size_t length = direct ? string->mText.size() : converted.size();
    if (length + 1 > static_cast<size_t>(bufferSize)) {
        return false;
    }
    memcpy(buffer, direct ? direct : converted.c_str(), length + 1);
    return true;
}

const char* CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding)
{
    const __CFString* string = AsString(theString);
    if (!string) {
        return nullptr;
    }
    const bool direct =
        encoding == kCFStringEncodingUTF8 ||
        ((encoding == kCFStringEncodingASCII || encoding == kCFStringEncodingMacRoman ||
          encoding == kCFStringEncodingISOLatin1) &&
         IsASCII(string->mText));
    return direct ? string->mText.c_str() : nullptr;
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding)
{
    if (length < 0) {
        return kCFNotFound;
    }
    switch (encoding) {
    case kCFStringEncodingUTF8:
        return length > LONG_MAX / 3 ? CFIndex(kCFNotFound) : length * 3;
    case kCFStringEncodingASCII:
    case kCFStringEncodingMacRoman:
    case kCFStringEncodingISOLatin1:
        return length;
    default:
        return kCFNotFound;
    }
}

CFStringEncoding CFStringGetSystemEncoding(void)
{
    return kCFStringEncodingUTF8;
}

CFComparisonResult CFStringCompare(CFStringRef theString1, CFStringRef theString2,
                                   CFStringCompareFlags compareOptions)
{
    const int result =
        CompareTexts(CFStringUTF8(theString1), CFStringUTF8(theString2), compareOptions);
    return result < 0 ? kCFCompareLessThan
                      : (result > 0 ? kCFCompareGreaterThan : kCFCompareEqualTo);
}

Boolean CFStringHasPrefix(CFStringRef theString, CFStringRef prefix)
{
    const std::string& text = CFStringUTF8(theString);
    const std::string& start = CFStringUTF8(prefix);
    return AsString(theString) && AsString(prefix) && text.compare(0, start.size(), start) == 0;
}

Boolean CFStringHasSuffix(CFStringRef theString, CFStringRef suffix)
{
    const std::string& text = CFStringUTF8(theString);
    const std::string& end = CFStringUTF8(suffix);
    return AsString(theString) && AsString(suffix) && text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

SInt32 CFStringGetIntValue(CFStringRef str)
{
    const long long value = strtoll(CFStringUTF8(str).c_str(), nullptr, 10);
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    return value < INT32_MIN ? INT32_MIN : static_cast<SInt32>(value);
}

double CFStringGetDoubleValue(CFStringRef str)
{
    return strtod(CFStringUTF8(str).c_str(), nullptr);
}

CFMutableStringRef CFStringCreateMutable(CFAllocatorRef, CFIndex)
{
    return CFCreateOrNull(
        [] { return const_cast<CFMutableStringRef>(CFStringCreateFromUTF8({}, true)); });
}

CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef, CFIndex, CFStringRef theString)
{
    const __CFString* string = AsString(theString);
    if (!string) {
        return nullptr;
    }
    return CFCreateOrNull([&] {
        return const_cast<CFMutableStringRef>(CFStringCreateFromUTF8(string->mText, true));
    });
}

void CFStringAppend(CFMutableStringRef theString, CFStringRef appendedString)
{
    __CFString* string = CFAsMutable<__CFString>(theString, __func__);
    const __CFString* appended = AsString(appendedString);
    if (string && appended) {
        string->SetText(string->mText + appended->mText);
    }
}

void CFStringAppendCString(CFMutableStringRef theString, const char* cStr,
                           CFStringEncoding encoding)
{
    __CFString* string = CFAsMutable<__CFString>(theString, __func__);
    std::string text;
    if (!string || !cStr) {
        return;
    }
    if (!DecodeBytes(cStr, strlen(cStr), encoding, text)) {
        CFReportMisuse(__func__, "the text is not valid in the given encoding");
        return;
    }
    string->SetText(string->mText + text);
}

void CFStringAppendFormat(CFMutableStringRef theString, CFDictionaryRef formatOptions,
                          CFStringRef format, ...)
{
    __CFString* string = CFAsMutable<__CFString>(theString, __func__);
    if (!string) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    CFStringRef formatted =
        CFStringCreateWithFormatAndArguments(nullptr, formatOptions, format, arguments);
    va_end(arguments);
    CFStringAppend(theString, formatted);
    CFRelease(formatted);
}

} // extern "C"
