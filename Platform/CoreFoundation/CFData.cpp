// Byte buffers, immutable or growable.
#include "CFRuntime.h"

#include <CoreFoundation/CFData.h>

#include <cstring>
#include <vector>

struct __CFData final : CFObject {
    static constexpr CFTypeID kTypeID = kCFRuntimeDataTypeID;

    __CFData(std::vector<UInt8> bytes, bool isMutable)
        : CFObject(kTypeID, Lifetime::Counted), mBytes(std::move(bytes)), mMutable(isMutable)
    {
    }

    bool Equals(const CFObject& other) const override
    {
        return mBytes == static_cast<const __CFData&>(other).mBytes;
    }
    CFHashCode Hash() const override;
    std::string Describe() const override;
    bool Contains(CFRange range) const { return CFRangeWithin(range, mBytes.size()); }

    std::vector<UInt8> mBytes;
    const bool mMutable;
};

CFHashCode __CFData::Hash() const
{
    // The length and the first bytes are enough to spread data keys.
    CFHashCode hash = mBytes.size();
    for (size_t i = 0; i < mBytes.size() && i < 64; ++i) {
        hash = hash * 31 + mBytes[i];
    }
    return hash;
}

std::string __CFData::Describe() const
{
    static const char kHexDigits[] = "0123456789abcdef";
    std::string text = "<";
    for (UInt8 byte : mBytes) {
        text += kHexDigits[byte >> 4];
        text += kHexDigits[byte & 15];
    }
    return text + ">";
}

namespace {

const __CFData* AsData(CFTypeRef cf)
{
    return CFAs<__CFData>(cf);
}

__CFData* Create(const UInt8* bytes, CFIndex length, bool isMutable)
{
    if (length < 0 || (!bytes && length > 0)) {
        return nullptr;
    }
    return CFCreateOrNull(
        [&] { return new __CFData(std::vector<UInt8>(bytes, bytes + length), isMutable); });
}

// Resizes mutable data; false (and a message) when the size cannot be had.
bool Resize(__CFData& data, size_t length, const char* function)
{
    try {
        data.mBytes.resize(length);
        return true;
    } catch (...) {
        CFReportMisuse(function, "cannot allocate the requested length");
        return false;
    }
}

} // namespace

extern "C" {

CFTypeID CFDataGetTypeID(void)
{
    return kCFRuntimeDataTypeID;
}

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length)
{
    return Create(bytes, length, false);
}

CFDataRef CFDataCreateCopy(CFAllocatorRef, CFDataRef theData)
{
    const __CFData* data = AsData(theData);
    if (data && !data->mMutable) {
        return static_cast<CFDataRef>(CFRetain(data));
    }
    return data ? Create(data->mBytes.data(), CFIndex(data->mBytes.size()), false) : nullptr;
}

CFMutableDataRef CFDataCreateMutable(CFAllocatorRef, CFIndex)
{
    return Create(nullptr, 0, true);
}

CFMutableDataRef CFDataCreateMutableCopy(CFAllocatorRef, CFIndex, CFDataRef theData)
{
    const __CFData* data = AsData(theData);
    return data ? Create(data->mBytes.data(), CFIndex(data->mBytes.size()), true) : nullptr;
}

CFIndex CFDataGetLength(CFDataRef theData)
{
    const __CFData* data = AsData(theData);
    return data ? CFIndex(data->mBytes.size()) : 0;
}

const UInt8* CFDataGetBytePtr(CFDataRef theData)
{
    const __CFData* data = AsData(theData);
    return data ? data->mBytes.data() : nullptr;
}

UInt8* CFDataGetMutableBytePtr(CFMutableDataRef theData)
{
    __CFData* data = CFAsMutable<__CFData>(theData, __func__);
    return data ? data->mBytes.data() : nullptr;
}

void CFDataGetBytes(CFDataRef theData, CFRange range, UInt8* buffer)
{
    const __CFData* data = AsData(theData);
    if (!data || !buffer || !data->Contains(range)) {
        return;
    }
    memcpy(buffer, data->mBytes.data() + range.location, static_cast<size_t>(range.length));
}

void CFDataSetLength(CFMutableDataRef theData, CFIndex length)
{
    __CFData* data = CFAsMutable<__CFData>(theData, __func__);
    if (data && length >= 0) {
        Resize(*data, static_cast<size_t>(length), __func__);
    }
}

void CFDataIncreaseLength(CFMutableDataRef theData, CFIndex extraLength)
{
    __CFData* data = CFAsMutable<__CFData>(theData, __func__);
    if (data && extraLength >= 0) {
        Resize(*data, data->mBytes.size() + static_cast<size_t>(extraLength), __func__);
    }
}

void CFDataAppendBytes(CFMutableDataRef theData, const UInt8* bytes, CFIndex length)
{
    CFDataReplaceBytes(theData, CFRangeMake(CFDataGetLength(theData), 0), bytes, length);
}

void CFDataReplaceBytes(CFMutableDataRef theData, CFRange range, const UInt8* newBytes,
                        CFIndex newLength)
{
    __CFData* data = CFAsMutable<__CFData>(theData, __func__);
    if (!data || newLength < 0 || (!newBytes && newLength > 0)) {
        return;
    }
    if (!data->Contains(range)) {
        CFReportMisuse(__func__, "range outside the data");
        return;
    }
    try {
        // Copied first since newBytes may point into the data itself; the data changes only
        // once every allocation has succeeded.
        const std::vector<UInt8> replacement(newBytes, newBytes + newLength);
        std::vector<UInt8>& bytes = data->mBytes;
        if (static_cast<size_t>(range.location) == bytes.size()) {
            bytes.insert(bytes.end(), replacement.begin(), replacement.end());
            return;
        }
        std::vector<UInt8> result(bytes.begin(), bytes.begin() + range.location);
        result.insert(result.end(), replacement.begin(), replacement.end());
        result.insert(result.end(), bytes.begin() + range.location + range.length, bytes.end());
        bytes.swap(result);
    } catch (...) {
        CFReportMisuse(__func__, "cannot allocate the requested length");
    }
}

void CFDataDeleteBytes(CFMutableDataRef theData, CFRange range)
{
    CFDataReplaceBytes(theData, range, nullptr, 0);
}

} // extern "C"
