// Ordered lists of values with optional retain/release/equal callbacks.
#include "CFRuntime.h"

#include <CoreFoundation/CFArray.h>

#include <algorithm>
#include <vector>

struct __CFArray final : CFObject {
    static constexpr CFTypeID kTypeID = kCFRuntimeArrayTypeID;

    __CFArray(const CFArrayCallBacks* callBacks, bool isMutable)
        : CFObject(kTypeID, Lifetime::Counted), mCallBacks(callBacks ? *callBacks : kNone),
          mMutable(isMutable)
    {
    }
    ~__CFArray() override
    {
        for (const void* value : mValues) {
            ReleaseValue(value);
        }
    }

    const void* RetainValue(const void* value) const
    {
        return mCallBacks.retain ? mCallBacks.retain(nullptr, value) : value;
    }
    void ReleaseValue(const void* value) const
    {
        if (mCallBacks.release) {
            mCallBacks.release(nullptr, value);
        }
    }
    bool ValuesEqual(const void* a, const void* b) const
    {
        return a == b || (mCallBacks.equal && mCallBacks.equal(a, b));
    }
    bool Contains(CFRange range) const { return CFRangeWithin(range, mValues.size()); }

    bool Equals(const CFObject& other) const override;
    CFHashCode Hash() const override { return mValues.size(); }
    std::string Describe() const override;

    static constexpr CFArrayCallBacks kNone = {0, nullptr, nullptr, nullptr, nullptr};
    const CFArrayCallBacks mCallBacks;
    std::vector<const void*> mValues;
    const bool mMutable;
};

bool __CFArray::Equals(const CFObject& other) const
{
    const __CFArray& array = static_cast<const __CFArray&>(other);
    if (array.mValues.size() != mValues.size()) {
        return false;
    }
    for (size_t i = 0; i < mValues.size(); ++i) {
        if (!ValuesEqual(mValues[i], array.mValues[i])) {
            return false;
        }
    }
    return true;
}

std::string __CFArray::Describe() const
{
    std::string text = "(";
    for (size_t i = 0; i < mValues.size(); ++i) {
        text += i ? ",\n    " : "\n    ";
        text += mCallBacks.copyDescription ? CFDescribe(mValues[i]) : CFDescribePointer(mValues[i]);
    }
    return text + (mValues.empty() ? ")" : "\n)");
}

namespace {

const __CFArray* AsArray(CFTypeRef cf)
{
    return CFAs<__CFArray>(cf);
}

__CFArray* Create(const void** values, CFIndex count, const CFArrayCallBacks* callBacks,
                  bool isMutable)
{
    if (count < 0 || (!values && count > 0)) {
        return nullptr;
    }
    return CFCreateOrNull([&] {
        __CFArray* array = new __CFArray(callBacks, isMutable);
        try {
            array->mValues.reserve(static_cast<size_t>(count));
        } catch (...) {
            delete array;
            throw;
        }
        for (CFIndex i = 0; i < count; ++i) {
            array->mValues.push_back(array->RetainValue(values[i]));
        }
        return array;
    });
}

__CFArray* CreateCopy(CFArrayRef theArray, bool isMutable)
{
    const __CFArray* array = AsArray(theArray);
    if (!array) {
        return nullptr;
    }
    return Create(const_cast<const void**>(array->mValues.data()), CFIndex(array->mValues.size()),
                  &array->mCallBacks, isMutable);
}

// The mutable array for a change at idx (idx == count allowed when appending), else null and a
// message.
__CFArray* ForChange(CFMutableArrayRef theArray, CFIndex idx, bool mayAppend, const char* function)
{
    __CFArray* array = CFAsMutable<__CFArray>(theArray, function);
    if (!array) {
        return nullptr;
    }
    const CFIndex limit = CFIndex(array->mValues.size()) + (mayAppend ? 1 : 0);
    if (idx < 0 || idx >= limit) {
        CFReportMisuse(function, "index out of range");
        return nullptr;
    }
    return array;
}

} // namespace

extern "C" {

const CFArrayCallBacks kCFTypeArrayCallBacks = {
    0, CFRetainCallBackForCFType, CFReleaseCallBackForCFType, CFCopyDescription, CFEqual};

CFTypeID CFArrayGetTypeID(void)
{
    return kCFRuntimeArrayTypeID;
}

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex numValues,
                         const CFArrayCallBacks* callBacks)
{
    return Create(values, numValues, callBacks, false);
}

CFArrayRef CFArrayCreateCopy(CFAllocatorRef, CFArrayRef theArray)
{
    return CreateCopy(theArray, false);
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex, const CFArrayCallBacks* callBacks)
{
    return Create(nullptr, 0, callBacks, true);
}

CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef, CFIndex, CFArrayRef theArray)
{
    return CreateCopy(theArray, true);
}

CFIndex CFArrayGetCount(CFArrayRef theArray)
{
    const __CFArray* array = AsArray(theArray);
    return array ? CFIndex(array->mValues.size()) : 0;
}

const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx)
{
    const __CFArray* array = AsArray(theArray);
    if (!array || idx < 0 || static_cast<size_t>(idx) >= array->mValues.size()) {
        return nullptr;
    }
    return array->mValues[static_cast<size_t>(idx)];
}

void CFArrayGetValues(CFArrayRef theArray, CFRange range, const void** values)
{
    const __CFArray* array = AsArray(theArray);
    if (array && values && array->Contains(range)) {
        std::copy_n(array->mValues.begin() + range.location, range.length, values);
    }
}

CFIndex CFArrayGetFirstIndexOfValue(CFArrayRef theArray, CFRange range, const void* value)
{
    const __CFArray* array = AsArray(theArray);
    if (!array || !array->Contains(range)) {
        return kCFNotFound;
    }
    for (CFIndex i = range.location; i < range.location + range.length; ++i) {
        if (array->ValuesEqual(array->mValues[static_cast<size_t>(i)], value)) {
            return i;
        }
    }
    return kCFNotFound;
}

Boolean CFArrayContainsValue(CFArrayRef theArray, CFRange range, const void* value)
{
    return CFArrayGetFirstIndexOfValue(theArray, range, value) != kCFNotFound;
}

CFIndex CFArrayGetCountOfValue(CFArrayRef theArray, CFRange range, const void* value)
{
    const __CFArray* array = AsArray(theArray);
    if (!array || !array->Contains(range)) {
        return 0;
    }
    const auto begin = array->mValues.begin() + range.location;
    return std::count_if(begin, begin + range.length,
                         [&](const void* element) { return array->ValuesEqual(element, value); });
}

void CFArrayApplyFunction(CFArrayRef theArray, CFRange range, CFArrayApplierFunction applier,
                          void* context)
{
    const __CFArray* array = AsArray(theArray);
    if (!array || !applier || !array->Contains(range)) {
        return;
    }
    for (CFIndex i = range.location; i < range.location + range.length; ++i) {
        applier(array->mValues[static_cast<size_t>(i)], context);
    }
}

void CFArrayAppendValue(CFMutableArrayRef theArray, const void* value)
{
    CFArrayInsertValueAtIndex(theArray, CFArrayGetCount(theArray), value);
}

void CFArrayInsertValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value)
{
    __CFArray* array = ForChange(theArray, idx, true, __func__);
    if (!array) {
        return;
    }
    try {
        array->mValues.insert(array->mValues.begin() + idx, value);
        array->RetainValue(value);
    } catch (...) {
        CFReportMisuse(__func__, "out of memory");
    }
}

void CFArraySetValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value)
{
    __CFArray* array = CFAsMutable<__CFArray>(theArray, __func__);
    if (array && static_cast<size_t>(idx) == array->mValues.size()) {
        CFArrayAppendValue(theArray, value);
        return;
    }
    array = ForChange(theArray, idx, false, __func__);
    if (!array) {
        return;
    }
    const void* old = array->mValues[static_cast<size_t>(idx)];
    array->mValues[static_cast<size_t>(idx)] = array->RetainValue(value);
    array->ReleaseValue(old);
}

void CFArrayRemoveValueAtIndex(CFMutableArrayRef theArray, CFIndex idx)
{
    __CFArray* array = ForChange(theArray, idx, false, __func__);
    if (!array) {
        return;
    }
    const void* old = array->mValues[static_cast<size_t>(idx)];
    array->mValues.erase(array->mValues.begin() + idx);
    array->ReleaseValue(old);
}

void CFArrayRemoveAllValues(CFMutableArrayRef theArray)
{
    __CFArray* array = CFAsMutable<__CFArray>(theArray, __func__);
    if (!array) {
        return;
    }
    std::vector<const void*> old;
    old.swap(array->mValues);
    for (const void* value : old) {
        array->ReleaseValue(value);
    }
}

void CFArrayExchangeValuesAtIndices(CFMutableArrayRef theArray, CFIndex idx1, CFIndex idx2)
{
    __CFArray* array = ForChange(theArray, idx1, false, __func__);
    if (array && ForChange(theArray, idx2, false, __func__)) {
        std::swap(array->mValues[static_cast<size_t>(idx1)],
                  array->mValues[static_cast<size_t>(idx2)]);
    }
}

void CFArrayAppendArray(CFMutableArrayRef theArray, CFArrayRef otherArray, CFRange otherRange)
{
    const __CFArray* other = AsArray(otherArray);
    if (!other || !other->Contains(otherRange)) {
        return;
    }
    try {
        // Copied first: otherArray may be theArray itself.
        const auto begin = other->mValues.begin() + otherRange.location;
        const std::vector<const void*> values(begin, begin + otherRange.length);
        for (const void* value : values) {
            CFArrayAppendValue(theArray, value);
        }
    } catch (...) {
        CFReportMisuse(__func__, "out of memory");
    }
}

void CFArraySortValues(CFMutableArrayRef theArray, CFRange range, CFComparatorFunction comparator,
                       void* context)
{
    __CFArray* array = CFAsMutable<__CFArray>(theArray, __func__);
    if (!array || !comparator || !array->Contains(range)) {
        return;
    }
    const auto begin = array->mValues.begin() + range.location;
    std::stable_sort(begin, begin + range.length, [&](const void* a, const void* b) {
        return comparator(a, b, context) == kCFCompareLessThan;
    });
}

} // extern "C"
