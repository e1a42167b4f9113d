// The object model shared by the CoreFoundation sources: the counted base class every object
// derives from, type-checked casts and the small helpers the type families have in common.
#pragma once

#include <CoreFoundation/CFBase.h>

#include <atomic>
#include <string>

// Type numbers returned by the XxxGetTypeID functions.
enum : CFTypeID {
    kCFRuntimeBooleanTypeID = 21,
    kCFRuntimeNumberTypeID = 22,
    kCFRuntimeStringTypeID = 7,
    kCFRuntimeDataTypeID = 20,
    kCFRuntimeArrayTypeID = 19,
    kCFRuntimeDictionaryTypeID = 18,
    kCFRuntimeURLTypeID = 29,
    kCFRuntimeErrorTypeID = 30
};

// Base of every object: an atomic reference count (or none, for constants that live for the
// whole process), the type number and the operations CFEqual, CFHash and CFCopyDescription use.
class CFObject {
public:
    enum class Lifetime { Counted, Immortal };

    CFObject(CFTypeID typeID, Lifetime lifetime);
    // For constants defined as static objects: initialised before any code runs, so that other
    // static initialisers may already use them.
    constexpr explicit CFObject(CFTypeID typeID) : mTypeID(typeID), mImmortal(true) {}
    virtual ~CFObject();
    CFObject(const CFObject&) = delete;
    CFObject& operator=(const CFObject&) = delete;

    CFTypeID TypeID() const { return mTypeID; }
    bool IsImmortal() const { return mImmortal; }
    void Retain() const;
    // Drops one reference and deletes the object with the last one.
    void Release() const;
    CFIndex RetainCount() const;

    // Called only with an object of the same type.
    virtual bool Equals(const CFObject& other) const { return this == &other; }
    virtual CFHashCode Hash() const { return reinterpret_cast<CFHashCode>(this); }
    virtual std::string Describe() const = 0;

    static CFIndex LiveCount() { return sLiveCount.load(std::memory_order_acquire); }

private:
    const CFTypeID mTypeID;
    const bool mImmortal;
    mutable std::atomic<CFIndex> mRetainCount{1};
    static std::atomic<CFIndex> sLiveCount;
};

// Writes "function: problem" to stderr: the platform would crash on such a call.
void CFReportMisuse(const char* function, const char* problem);

// The object behind a reference, or null when the reference is null.
inline const CFObject* CFObjectOf(CFTypeRef cf)
{
    return static_cast<const CFObject*>(cf);
}

// The typed object behind a reference when it is of type T, else null (so every public call can
// answer a null or mistyped argument with its neutral result).
template <class T> const T* CFAs(CFTypeRef cf)
{
    const CFObject* object = CFObjectOf(cf);
    return object && object->TypeID() == T::kTypeID ? static_cast<const T*>(object) : nullptr;
}

// The same for the mutable variant: null unless the object is of type T and mutable.
template <class T> T* CFAsMutable(const void* cf, const char* function)
{
    const T* object = CFAs<T>(cf);
    if (object && !object->mMutable) {
        CFReportMisuse(function, "the object is immutable");
        return nullptr;
    }
    return const_cast<T*>(object);
}

// Whether a caller's range lies within a sequence of size elements, decided without an overflow
// for any range at all.
inline bool CFRangeWithin(CFRange range, size_t size)
{
    return range.location >= 0 && range.length >= 0 &&
           static_cast<size_t>(range.location) <= size &&
           static_cast<size_t>(range.length) <= size - static_cast<size_t>(range.location);
}

// The text of a description of any object, "(null)" for null.
std::string CFDescribe(CFTypeRef cf);
// "<address>": the description of a container value that has no description callback.
std::string CFDescribePointer(const void* value);

// The retain and release callbacks of the CF-type containers: they count a reference for every
// value they hold.
const void* CFRetainCallBackForCFType(CFAllocatorRef allocator, const void* value);
void CFReleaseCallBackForCFType(CFAllocatorRef allocator, const void* value);

// A new string object from valid UTF-8 (+1).
CFStringRef CFStringCreateFromUTF8(std::string text, bool isMutable = false);
// The UTF-8 text of a string object, empty for null or a non-string.
const std::string& CFStringUTF8(CFStringRef string);

// Runs a creation that may throw (allocation failure, length error) and gives null instead.
template <class Body> auto CFCreateOrNull(Body&& body) noexcept -> decltype(body())
{
    try {
        return body();
    } catch (...) {
        return nullptr;
    }
}
