// Errors: a domain string, a code and an optional user-info dictionary.
#include "CFRuntime.h"

#include <CoreFoundation/CFError.h>
#include <CoreFoundation/CFString.h>

struct __CFError final : CFObject {
    static constexpr CFTypeID kTypeID = kCFRuntimeErrorTypeID;

    __CFError(CFStringRef domain, CFIndex code, CFDictionaryRef userInfo)
        : CFObject(kTypeID, Lifetime::Counted), mDomain(static_cast<CFStringRef>(CFRetain(domain))),
          mCode(code), mUserInfo(userInfo)
    {
    }
    ~__CFError() override
    {
        CFRelease(mDomain);
        CFRelease(mUserInfo);
    }

    bool Equals(const CFObject& other) const override
    {
        const __CFError& error = static_cast<const __CFError&>(other);
        return mCode == error.mCode && CFEqual(mDomain, error.mDomain) &&
               (mUserInfo == error.mUserInfo || CFEqual(mUserInfo, error.mUserInfo));
    }
    CFHashCode Hash() const override { return static_cast<CFHashCode>(mCode); }
    std::string Describe() const override;

    const CFStringRef mDomain;
    const CFIndex mCode;
    const CFDictionaryRef mUserInfo; // owned, may be null
};

std::string __CFError::Describe() const
{
    const void* description = CFDictionaryGetValue(mUserInfo, kCFErrorDescriptionKey);
    if (CFGetTypeID(description) == CFStringGetTypeID()) {
        return CFStringUTF8(static_cast<CFStringRef>(description));
    }
    return "The operation couldn't be completed. (" + CFStringUTF8(mDomain) + " error " +
           std::to_string(mCode) + ".)";
}

extern "C" {

const CFErrorDomain kCFErrorDomainPOSIX = CFSTR("NSPOSIXErrorDomain");
const CFErrorDomain kCFErrorDomainOSStatus = CFSTR("NSOSStatusErrorDomain");
const CFErrorDomain kCFErrorDomainCocoa = CFSTR("NSCocoaErrorDomain");
const CFStringRef kCFErrorDescriptionKey = CFSTR("NSDescription");

CFTypeID CFErrorGetTypeID(void)
{
    return kCFRuntimeErrorTypeID;
}

CFErrorRef CFErrorCreate(CFAllocatorRef, CFErrorDomain domain, CFIndex code,
                         CFDictionaryRef userInfo)
{
    if (CFGetTypeID(domain) != CFStringGetTypeID()) {
        return nullptr;
    }
    CFDictionaryRef info = nullptr;
    if (userInfo) {
        info = CFDictionaryCreateCopy(nullptr, userInfo);
        if (!info) {
            return nullptr;
        }
    }
    CFErrorRef error = CFCreateOrNull([&] { return new __CFError(domain, code, info); });
    if (!error) {
        CFRelease(info);
    }
    return error;
}

CFErrorDomain CFErrorGetDomain(CFErrorRef err)
{
    const __CFError* error = CFAs<__CFError>(err);
    return error ? error->mDomain : nullptr;
}

CFIndex CFErrorGetCode(CFErrorRef err)
{
    const __CFError* error = CFAs<__CFError>(err);
    return error ? error->mCode : 0;
}

CFStringRef CFErrorCopyDescription(CFErrorRef err)
{
    const __CFError* error = CFAs<__CFError>(err);
    return error ? CFCopyDescription(error) : nullptr;
}

CFDictionaryRef CFErrorCopyUserInfo(CFErrorRef err)
{
    const __CFError* error = CFAs<__CFError>(err);
    if (!error) {
        return nullptr;
    }
    if (error->mUserInfo) {
        return static_cast<CFDictionaryRef>(CFRetain(error->mUserInfo));
    }
    return CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                              &kCFTypeDictionaryValueCallBacks);
}

} // extern "C"
