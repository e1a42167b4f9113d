#include "CFLeakCheck.h"
#include "CFTestObjects.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {
std::string RepresentationOf(CFURLRef url, bool resolve)
{
    UInt8 buffer[4096];
    if (!CFURLGetFileSystemRepresentation(url, resolve, buffer, sizeof buffer)) {
        return "<failed>";
    }
    return reinterpret_cast<const char*>(buffer);
}
} // namespace

TEST(CFURL, AbsolutePathsRoundTripAndAreEncodedInTheURLString)
{
    CFOwned<CFStringRef> path(MakeString("/tmp/My Presets/caf\xC3\xA9.aupreset"));
    CFOwned<CFURLRef> url(
        CFURLCreateWithFileSystemPath(nullptr, path, kCFURLPOSIXPathStyle, false));
    ASSERT_NE(url.get(), nullptr);
    EXPECT_EQ(CFGetTypeID(url), CFURLGetTypeID());
    EXPECT_EQ(TextOf(CFURLGetString(url)), "file:///tmp/My%20Presets/caf%C3%A9.aupreset");
    CFOwned<CFStringRef> back(CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle));
    EXPECT_TRUE(CFEqual(back, path));
    EXPECT_EQ(RepresentationOf(url, true), "/tmp/My Presets/caf\xC3\xA9.aupreset");
    CFOwned<CFStringRef> extension(CFURLCopyPathExtension(url));
    EXPECT_EQ(TextOf(extension), "aupreset");
    CFOwned<CFStringRef> last(CFURLCopyLastPathComponent(url));
    EXPECT_EQ(TextOf(last), "caf\xC3\xA9.aupreset");
}

TEST(CFURL, DirectoriesGetATrailingSlashOnlyInTheirString)
{
    const char representation[] = "/usr/local/lib/audio-components/";
    CFOwned<CFURLRef> folder(CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8*>(representation), sizeof representation - 1, true));
    EXPECT_TRUE(CFURLHasDirectoryPath(folder));
    EXPECT_EQ(TextOf(CFURLGetString(folder)), "file:///usr/local/lib/audio-components/");
    CFOwned<CFStringRef> path(CFURLCopyFileSystemPath(folder, kCFURLPOSIXPathStyle));
    EXPECT_EQ(TextOf(path), "/usr/local/lib/audio-components");

    CFOwned<CFURLRef> plist(CFURLCreateCopyAppendingPathComponent(
        nullptr, folder, CFSTR("Out.component/Contents/Info.plist"), false));
    EXPECT_EQ(RepresentationOf(plist, false),
              "/usr/local/lib/audio-components/Out.component/Contents/Info.plist");
    CFOwned<CFURLRef> parent(CFURLCreateCopyDeletingLastPathComponent(nullptr, plist));
    EXPECT_EQ(TextOf(CFURLGetString(parent)),
              "file:///usr/local/lib/audio-components/Out.component/Contents/");
}

TEST(CFURL, RelativePathsResolveAgainstTheWorkingDirectory)
{
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    CFOwned<CFURLRef> url(CFURLCreateWithFileSystemPath(nullptr, CFSTR("presets/a b.aupreset"),
                                                        kCFURLPOSIXPathStyle, false));
    EXPECT_EQ(RepresentationOf(url, false), "presets/a b.aupreset");
    EXPECT_EQ(RepresentationOf(url, true), std::string(cwd) + "/presets/a b.aupreset");
    EXPECT_EQ(TextOf(CFURLGetString(url)), "presets/a%20b.aupreset");
}

TEST(CFURL, RefusesWhatItCannotRepresent)
{
    EXPECT_EQ(CFURLCreateWithFileSystemPath(nullptr, CFSTR(""), kCFURLPOSIXPathStyle, false),
              nullptr);
    EXPECT_EQ(CFURLCreateWithFileSystemPath(nullptr, CFSTR("C:\\x"), kCFURLWindowsPathStyle, false),
              nullptr);
    EXPECT_EQ(CFURLCreateWithFileSystemPath(nullptr, nullptr, kCFURLPOSIXPathStyle, false),
              nullptr);
    const UInt8 invalid[] = {'/', 0xFF};
    EXPECT_EQ(CFURLCreateFromFileSystemRepresentation(nullptr, invalid, 2, false), nullptr);
    EXPECT_EQ(CFURLGetString(nullptr), nullptr);

    CFOwned<CFURLRef> url(
        CFURLCreateWithFileSystemPath(nullptr, CFSTR("/abc"), kCFURLPOSIXPathStyle, false));
    UInt8 exact[5];
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(url, true, exact, 4));
    EXPECT_TRUE(CFURLGetFileSystemRepresentation(url, true, exact, 5));
    EXPECT_EQ(CFURLCopyPathExtension(url), nullptr);
}
