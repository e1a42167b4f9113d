// File-system URLs: a POSIX path, whether it names a folder, and for a relative path the working
// directory it was made in.
#include "CFRuntime.h"

#include <CoreFoundation/CFString.h>
#include <CoreFoundation/CFURL.h>

#include <cstring>
#include <unistd.h>

struct __CFURL final : CFObject {
    static constexpr CFTypeID kTypeID = kCFRuntimeURLTypeID;

    __CFURL(std::string path, std::string base, bool isDirectory);
    ~__CFURL() override { CFRelease(mString); }

    bool IsRelative() const { return !mBase.empty(); }
    std::string AbsolutePath() const
    {
        return IsRelative() ? (mBase == "/" ? "/" : mBase + "/") + mPath : mPath;
    }
    bool Equals(const CFObject& other) const override
    {
        const __CFURL& url = static_cast<const __CFURL&>(other);
        return mPath == url.mPath && mBase == url.mBase && mIsDirectory == url.mIsDirectory;
    }
    CFHashCode Hash() const override { return std::hash<std::string>()(mPath); }
    std::string Describe() const override { return CFStringUTF8(mString); }

    const std::string mPath; // as given, without trailing slashes except a lone "/"
    const std::string mBase; // empty for an absolute path
    const bool mIsDirectory;
    CFStringRef mString = nullptr;
};

namespace {

// Characters that stand for themselves in the path of a URL.
bool IsUnreservedInPath(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           strchr("-._~/!$&'()*+,;=:@", c) != nullptr;
}

std::string PercentEncoded(const std::string& path)
{
    static const char kHexDigits[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : path) {
        if (c != '\0' && IsUnreservedInPath(c)) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += kHexDigits[c >> 4];
            encoded += kHexDigits[c & 15];
        }
    }
    return encoded;
}

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string WorkingDirectory()
{
    std::string buffer(4096, '\0');
    if (!getcwd(&buffer[0], buffer.size())) {
        return "/";
    }
    return buffer.c_str();
}

const __CFURL* AsURL(CFTypeRef cf)
{
    return CFAs<__CFURL>(cf);
}

// A URL for a path in UTF-8 (+1); null for an empty path.
CFURLRef Create(std::string path, bool isDirectory)
{
    if (path.empty()) {
        return nullptr;
    }
    return CFCreateOrNull([&] {
        std::string base = path[0] == '/' ? std::string() : WorkingDirectory();
        return new __CFURL(WithoutTrailingSlashes(std::move(path)), std::move(base), isDirectory);
    });
}

} // namespace

__CFURL::__CFURL(std::string path, std::string base, bool isDirectory)
    : CFObject(kTypeID, Lifetime::Counted), mPath(std::move(path)), mBase(std::move(base)),
      mIsDirectory(isDirectory)
{
    std::string text = (IsRelative() ? "" : "file://") + PercentEncoded(mPath);
    if (mIsDirectory && text.back() != '/') {
        text += '/';
    }
    mString = CFStringCreateFromUTF8(std::move(text));
}

extern "C" {

CFTypeID CFURLGetTypeID(void)
{
    return kCFRuntimeURLTypeID;
}

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef filePath,
                                       CFURLPathStyle pathStyle, Boolean isDirectory)
{
    if (pathStyle != kCFURLPOSIXPathStyle || CFGetTypeID(filePath) != CFStringGetTypeID()) {
        return nullptr;
    }
    return Create(CFStringUTF8(filePath), isDirectory);
}

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef, const UInt8* buffer,
                                                 CFIndex bufLen, Boolean isDirectory)
{
    if (!buffer || bufLen <= 0) {
        return nullptr;
    }
    const char* text = reinterpret_cast<const char*>(buffer);
    const size_t length = strnlen(text, static_cast<size_t>(bufLen));
    CFStringRef path =
        CFStringCreateWithBytes(nullptr, buffer, CFIndex(length), kCFStringEncodingUTF8, false);
    CFURLRef url = path ? Create(CFStringUTF8(path), isDirectory) : nullptr;
    CFRelease(path);
    return url;
}

CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef, CFURLRef url,
                                               CFStringRef pathComponent, Boolean isDirectory)
{
    const __CFURL* object = AsURL(url);
    if (!object || CFGetTypeID(pathComponent) != CFStringGetTypeID()) {
        return nullptr;
    }
    const std::string separator = object->mPath == "/" ? "" : "/";
    const std::string path = object->mPath + separator + CFStringUTF8(pathComponent);
    return CFCreateOrNull(
        [&] { return new __CFURL(WithoutTrailingSlashes(path), object->mBase, isDirectory); });
}

CFURLRef CFURLCreateCopyDeletingLastPathComponent(CFAllocatorRef, CFURLRef url)
{
    const __CFURL* object = AsURL(url);
    if (!object) {
        return nullptr;
    }
    const size_t slash = object->mPath.rfind('/');
    std::string path;
    if (slash == std::string::npos) {
        path = ".";
    } else {
        path = slash == 0 ? "/" : object->mPath.substr(0, slash);
    }
    return CFCreateOrNull([&] { return new __CFURL(path, object->mBase, true); });
}

CFStringRef CFURLGetString(CFURLRef anURL)
{
    const __CFURL* object = AsURL(anURL);
    return object ? object->mString : nullptr;
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef anURL, CFURLPathStyle pathStyle)
{
    const __CFURL* object = AsURL(anURL);
    if (!object || pathStyle != kCFURLPOSIXPathStyle) {
        return nullptr;
    }
    return CFCreateOrNull([&] { return CFStringCreateFromUTF8(object->mPath); });
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase, UInt8* buffer,
                                         CFIndex maxBufLen)
{
    const __CFURL* object = AsURL(url);
    if (!object || !buffer || maxBufLen <= 0) {
        return false;
    }
    const std::string path = resolveAgainstBase ? object->AbsolutePath() : object->mPath;
    if (path.size() + 1 > static_cast<size_t>(maxBufLen)) {
        return false;
    }
    memcpy(buffer, path.c_str(), path.size() + 1);
    return true;
}

CFStringRef CFURLCopyLastPathComponent(CFURLRef url)
{
    const __CFURL* object = AsURL(url);
    if (!object) {
        return nullptr;
    }
    const size_t slash = object->mPath.rfind('/');
    const bool root = object->mPath == "/";
    return CFCreateOrNull([&] {
        return CFStringCreateFromUTF8(
            root || slash == std::string::npos ? object->mPath : object->mPath.substr(slash + 1));
    });
}

CFStringRef CFURLCopyPathExtension(CFURLRef url)
{
    CFStringRef last = CFURLCopyLastPathComponent(url);
    const std::string name = CFStringUTF8(last);
    CFRelease(last);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) {
        return nullptr;
    }
    return CFCreateOrNull([&] { return CFStringCreateFromUTF8(name.substr(dot + 1)); });
}

Boolean CFURLHasDirectoryPath(CFURLRef anURL)
{
    const __CFURL* object = AsURL(anURL);
    return object && object->mIsDirectory;
}

} // extern "C"
