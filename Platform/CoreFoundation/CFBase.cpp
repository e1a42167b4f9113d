// Reference counting, identity and description of every object, and the allocator constants.
#include "CFRuntime.h"

#include <CoreFoundation/CFString.h>

#include <cstdio>

std::atomic<CFIndex> CFObject::sLiveCount{0};

namespace {
// What CFGetRetainCount reports for constants, which no release can free.
constexpr CFIndex kImmortalRetainCount = 0x7fffffff;
} // namespace

CFObject::CFObject(CFTypeID typeID, Lifetime lifetime)
    : mTypeID(typeID), mImmortal(lifetime == Lifetime::Immortal)
{
    if (!mImmortal) {
        sLiveCount.fetch_add(1, std::memory_order_relaxed);
    }
}

CFObject::~CFObject()
{
    if (!mImmortal) {
        sLiveCount.fetch_sub(1, std::memory_order_release);
    }
}

void CFObject::Retain() const
{
    if (!mImmortal) {
        mRetainCount.fetch_add(1, std::memory_order_relaxed);
    }
}

void CFObject::Release() const
{
    if (mImmortal) {
        return;
    }
    if (mRetainCount.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete this;
    }
}

CFIndex CFObject::RetainCount() const
{
    return mImmortal ? kImmortalRetainCount : mRetainCount.load(std::memory_order_relaxed);
}

void CFReportMisuse(const char* function, const char* problem)
{
    fprintf(stderr, "%s: %s\n", function, problem);
}

std::string CFDescribe(CFTypeRef cf)
{
    const CFObject* object = CFObjectOf(cf);
    return object ? object->Describe() : std::string("(null)");
}

std::string CFDescribePointer(const void* value)
{
    char text[32];
    snprintf(text, sizeof text, "<%p>", value);
    return text;
}

const void* CFRetainCallBackForCFType(CFAllocatorRef, const void* value)
{
    return CFRetain(value);
}

void CFReleaseCallBackForCFType(CFAllocatorRef, const void* value)
{
    CFRelease(value);
}

extern "C" {

const CFAllocatorRef kCFAllocatorDefault = nullptr;
const CFAllocatorRef kCFAllocatorSystemDefault = nullptr;
const CFAllocatorRef kCFAllocatorMalloc = nullptr;
const CFAllocatorRef kCFAllocatorNull = nullptr;

CFTypeRef CFRetain(CFTypeRef cf)
{
    if (const CFObject* object = CFObjectOf(cf)) {
        object->Retain();
    }
    return cf;
}

void CFRelease(CFTypeRef cf)
{
    if (const CFObject* object = CFObjectOf(cf)) {
        object->Release();
    }
}

CFIndex CFGetRetainCount(CFTypeRef cf)
{
    const CFObject* object = CFObjectOf(cf);
    return object ? object->RetainCount() : 0;
}

CFTypeID CFGetTypeID(CFTypeRef cf)
{
    const CFObject* object = CFObjectOf(cf);
    return object ? object->TypeID() : 0;
}

CFStringRef CFCopyTypeIDDescription(CFTypeID typeID)
{
    const char* name = "CFType";
    switch (typeID) {
    case kCFRuntimeBooleanTypeID:
        name = "CFBoolean";
        break;
    case kCFRuntimeNumberTypeID:
        name = "CFNumber";
        break;
    case kCFRuntimeStringTypeID:
        name = "CFString";
        break;
    case kCFRuntimeDataTypeID:
        name = "CFData";
        break;
    case kCFRuntimeArrayTypeID:
        name = "CFArray";
        break;
    case kCFRuntimeDictionaryTypeID:
        name = "CFDictionary";
        break;
    case kCFRuntimeURLTypeID:
        name = "CFURL";
        break;
    case kCFRuntimeErrorTypeID:
        name = "CFError";
        break;
    default:
        break;
    }
    return CFStringCreateWithCString(nullptr, name, kCFStringEncodingUTF8);
}

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2)
{
    if (cf1 == cf2) {
        return true;
    }
    const CFObject* first = CFObjectOf(cf1);
    const CFObject* second = CFObjectOf(cf2);
    if (!first || !second || first->TypeID() != second->TypeID()) {
        return false;
    }
    return first->Equals(*second);
}

CFHashCode CFHash(CFTypeRef cf)
{
    const CFObject* object = CFObjectOf(cf);
    return object ? object->Hash() : 0;
}

CFStringRef CFCopyDescription(CFTypeRef cf)
{
    return CFCreateOrNull([&] { return CFStringCreateFromUTF8(CFDescribe(cf)); });
}

CFIndex CFLiveObjectCount(void)
{
    return CFObject::LiveCount();
}

} // extern "C"
