// Numbers (an integer of up to 64 bits or a double, with the fixed-width type they were made as)
// and the two boolean constants.
#include "CFRuntime.h"

#include <CoreFoundation/CFNumber.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

struct __CFBoolean final : CFObject {
    static constexpr CFTypeID kTypeID = kCFRuntimeBooleanTypeID;

    constexpr explicit __CFBoolean(bool value) : CFObject(kTypeID), mValue(value) {}
    std::string Describe() const override { return mValue ? "true" : "false"; }

    const bool mValue;
};

struct __CFNumber final : CFObject {
    static constexpr CFTypeID kTypeID = kCFRuntimeNumberTypeID;

    __CFNumber(CFNumberType type, SInt64 integer)
        : CFObject(kTypeID, Lifetime::Counted), mType(type), mIsFloat(false), mInteger(integer)
    {
    }
    __CFNumber(CFNumberType type, Float64 real)
        : CFObject(kTypeID, Lifetime::Counted), mType(type), mIsFloat(true), mReal(real)
    {
    }

    // The value in a type that holds every SInt64 and every double exactly.
    long double Wide() const { return mIsFloat ? mReal : static_cast<long double>(mInteger); }
    bool Equals(const CFObject& other) const override;
    CFHashCode Hash() const override;
    std::string Describe() const override;

    const CFNumberType mType; // always one of the fixed-width types SInt8 ... Float64
    const bool mIsFloat;
    SInt64 mInteger = 0;
    Float64 mReal = 0;
};

namespace {

// The fixed-width type that stands for a C type on this (LP64) platform; 0 for an unknown type.
CFNumberType FixedWidthType(CFNumberType type)
{
    switch (type) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType:
        return kCFNumberSInt8Type;
    case kCFNumberSInt16Type:
    case kCFNumberShortType:
        return kCFNumberSInt16Type;
    case kCFNumberSInt32Type:
    case kCFNumberIntType:
        return kCFNumberSInt32Type;
    case kCFNumberSInt64Type:
    case kCFNumberLongType:
    case kCFNumberLongLongType:
    case kCFNumberCFIndexType:
    case kCFNumberNSIntegerType:
        return kCFNumberSInt64Type;
    case kCFNumberFloat32Type:
    case kCFNumberFloatType:
        return kCFNumberFloat32Type;
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
    case kCFNumberCGFloatType:
        return kCFNumberFloat64Type;
    default:
        return 0;
    }
}

template <class T> struct TypeTag {
    using Type = T;
};

// Calls visit with the tag of the C type a fixed-width number type stands for; any other type
// gives fallback. One table for making, reading and sizing numbers.
template <class Result, class Visit>
Result VisitFixedWidth(CFNumberType type, Result fallback, Visit visit)
{
    switch (type) {
    case kCFNumberSInt8Type:
        return visit(TypeTag<SInt8>{});
    case kCFNumberSInt16Type:
        return visit(TypeTag<SInt16>{});
    case kCFNumberSInt32Type:
        return visit(TypeTag<SInt32>{});
    case kCFNumberSInt64Type:
        return visit(TypeTag<SInt64>{});
    case kCFNumberFloat32Type:
        return visit(TypeTag<Float32>{});
    case kCFNumberFloat64Type:
        return visit(TypeTag<Float64>{});
    default:
        return fallback;
    }
}

template <class T> T Load(const void* valuePtr)
{
    T value;
    memcpy(&value, valuePtr, sizeof value);
    return value;
}

template <class T> void Store(void* valuePtr, T value)
{
    memcpy(valuePtr, &value, sizeof value);
}

// Converts to an integer type, clamping out-of-range values and truncating fractions.
template <class T> bool StoreInteger(const __CFNumber& number, void* valuePtr)
{
    using Limits = std::numeric_limits<T>;
    const long double wide = number.Wide();
    if (std::isnan(wide)) {
        Store<T>(valuePtr, 0);
        return false;
    }
    if (wide < static_cast<long double>(Limits::min())) {
        Store<T>(valuePtr, Limits::min());
        return false;
    }
    if (wide > static_cast<long double>(Limits::max())) {
        Store<T>(valuePtr, Limits::max());
        return false;
    }
    const T value = number.mIsFloat ? static_cast<T>(std::trunc(number.mReal))
                                    : static_cast<T>(number.mInteger);
    Store<T>(valuePtr, value);
    return static_cast<long double>(value) == wide;
}

template <class T> bool StoreReal(const __CFNumber& number, void* valuePtr)
{
    const T value =
        number.mIsFloat ? static_cast<T>(number.mReal) : static_cast<T>(number.mInteger);
    Store<T>(valuePtr, value);
    if (std::isnan(value)) {
        return number.mIsFloat && std::isnan(number.mReal);
    }
    return static_cast<long double>(value) == number.Wide();
}

__CFBoolean sTrue(true);
__CFBoolean sFalse(false);

const __CFNumber* AsNumber(CFTypeRef cf)
{
    return CFAs<__CFNumber>(cf);
}

int CompareNumbers(const __CFNumber& a, const __CFNumber& b)
{
    if (!a.mIsFloat && !b.mIsFloat) {
        return a.mInteger < b.mInteger ? -1 : (a.mInteger > b.mInteger ? 1 : 0);
    }
    const long double x = a.Wide(), y = b.Wide();
    if (std::isnan(x) || std::isnan(y)) {
        // NaN sorts below every other value and equals itself, keeping CFEqual reflexive.
        return std::isnan(x) ? (std::isnan(y) ? 0 : -1) : 1;
    }
    return x < y ? -1 : (x > y ? 1 : 0);
}

} // namespace

bool __CFNumber::Equals(const CFObject& other) const
{
    return CompareNumbers(*this, static_cast<const __CFNumber&>(other)) == 0;
}

CFHashCode __CFNumber::Hash() const
{
    // Integral doubles hash like the integer they equal, so that CFEqual numbers hash alike.
    const long double wide = Wide();
    const bool integral =
        !mIsFloat || (std::trunc(mReal) == mReal && wide >= -0x1p63L && wide < 0x1p63L);
    if (integral) {
        return std::hash<SInt64>()(mIsFloat ? static_cast<SInt64>(mReal) : mInteger);
    }
    return std::isnan(mReal) ? 0 : std::hash<double>()(mReal);
}

std::string __CFNumber::Describe() const
{
    if (!mIsFloat) {
        return std::to_string(mInteger);
    }
    char text[40];
    snprintf(text, sizeof text, "%.17g", mReal);
    return text;
}

extern "C" {

const CFBooleanRef kCFBooleanTrue = &sTrue;
const CFBooleanRef kCFBooleanFalse = &sFalse;

CFTypeID CFBooleanGetTypeID(void)
{
    return kCFRuntimeBooleanTypeID;
}

Boolean CFBooleanGetValue(CFBooleanRef boolean)
{
    const __CFBoolean* object = CFAs<__CFBoolean>(boolean);
    return object && object->mValue;
}

CFTypeID CFNumberGetTypeID(void)
{
    return kCFRuntimeNumberTypeID;
}

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void* valuePtr)
{
    const CFNumberType type = FixedWidthType(theType);
    if (!valuePtr || type == 0) {
        return nullptr;
    }
    return CFCreateOrNull([&]() {
        return VisitFixedWidth(type, CFNumberRef{}, [&](auto tag) -> CFNumberRef {
            using T = typename decltype(tag)::Type;
            using Held = std::conditional_t<std::is_integral_v<T>, SInt64, Float64>;
            return new __CFNumber(type, Held{Load<T>(valuePtr)});
        });
    });
}

CFNumberType CFNumberGetType(CFNumberRef number)
{
    const __CFNumber* object = AsNumber(number);
    return object ? object->mType : 0;
}

CFIndex CFNumberGetByteSize(CFNumberRef number)
{
    return VisitFixedWidth(CFNumberGetType(number), CFIndex{0},
                           [](auto tag) { return CFIndex{sizeof(typename decltype(tag)::Type)}; });
}

Boolean CFNumberIsFloatType(CFNumberRef number)
{
    const __CFNumber* object = AsNumber(number);
    return object && object->mIsFloat;
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr)
{
    const __CFNumber* object = AsNumber(number);
    if (!object || !valuePtr) {
        return false;
    }
    return VisitFixedWidth(FixedWidthType(theType), false, [&](auto tag) {
        using T = typename decltype(tag)::Type;
        if constexpr (std::is_integral_v<T>) {
            return StoreInteger<T>(*object, valuePtr);
        } else {
            return StoreReal<T>(*object, valuePtr);
        }
    });
}

CFComparisonResult CFNumberCompare(CFNumberRef number, CFNumberRef otherNumber, void*)
{
    const __CFNumber* first = AsNumber(number);
    const __CFNumber* second = AsNumber(otherNumber);
    if (!first || !second) {
        return first ? kCFCompareGreaterThan : (second ? kCFCompareLessThan : kCFCompareEqualTo);
    }
    const int result = CompareNumbers(*first, *second);
    return result < 0 ? kCFCompareLessThan
                      : (result > 0 ? kCFCompareGreaterThan : kCFCompareEqualTo);
}

} // extern "C"
