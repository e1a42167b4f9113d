#include "CFLeakCheck.h"
#include "CFTestObjects.h"
#include "OutputCapture.h"
#include "Watchdog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <limits>
#include <unistd.h>
#include <vector>

namespace {

void SetNumber(CFMutableDictionaryRef dictionary, CFStringRef key, CFNumberType type,
               const void* value)
{
    CFOwned<CFNumberRef> number(CFNumberCreate(nullptr, type, value));
    CFDictionarySetValue(dictionary, key, number);
}

void SetBytes(CFMutableDictionaryRef dictionary, CFStringRef key, std::vector<UInt8> bytes)
{
    CFOwned<CFDataRef> data(CFDataCreate(nullptr, bytes.data(), CFIndex(bytes.size())));
    CFDictionarySetValue(dictionary, key, data);
}

CFMutableDictionaryRef MakeDictionary()
{
    return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}

// A saved state with every kind of value a property list holds; MatchesSample.py below checks
// the same values.
CFDictionaryRef MakeSample()
{
    CFMutableDictionaryRef sample = MakeDictionary();
    CFDictionarySetValue(sample, CFSTR("name"),
                         CFSTR("Plenko: PlenkoOut \xC3\xA9\xF0\x9F\x8E\xB9"));
    CFDictionarySetValue(sample, CFSTR("escaped"), CFSTR("<a & \"b\">"));
    CFDictionarySetValue(sample, CFSTR("empty-string"), CFSTR(""));
    const SInt32 version = 0, negative = -10851, nested = 2;
    const SInt64 largest = std::numeric_limits<SInt64>::max();
    const SInt64 smallest = std::numeric_limits<SInt64>::min();
    const Float32 load = 0.25f;
    const Float64 pi = 3.141592653589793;
    SetNumber(sample, CFSTR("version"), kCFNumberSInt32Type, &version);
    SetNumber(sample, CFSTR("negative"), kCFNumberSInt32Type, &negative);
    SetNumber(sample, CFSTR("largest"), kCFNumberSInt64Type, &largest);
    SetNumber(sample, CFSTR("smallest"), kCFNumberSInt64Type, &smallest);
    SetNumber(sample, CFSTR("cpu-load"), kCFNumberFloatType, &load);
    SetNumber(sample, CFSTR("pi"), kCFNumberFloat64Type, &pi);
    SetBytes(sample, CFSTR("data"), {0x00, 0x01, 0xFE, 0xFF, 0x3F, 0x80, 0x00, 0x00});
    SetBytes(sample, CFSTR("empty-data"), {});
    CFDictionarySetValue(sample, CFSTR("on"), kCFBooleanTrue);
    CFDictionarySetValue(sample, CFSTR("off"), kCFBooleanFalse);

    CFOwned<CFMutableDictionaryRef> inner(MakeDictionary());
    SetNumber(inner, CFSTR("depth"), kCFNumberSInt32Type, &nested);
    CFOwned<CFMutableArrayRef> list(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    CFArrayAppendValue(list, CFSTR("x"));
    CFOwned<CFNumberRef> half(MakeFloat64(1.5));
    CFArrayAppendValue(list, half);
    CFDictionarySetValue(inner, CFSTR("list"), list);
    CFDictionarySetValue(sample, CFSTR("nested"), inner);

    CFOwned<CFMutableArrayRef> array(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    CFOwned<CFNumberRef> minusOne(MakeSInt64(-1));
    const UInt8 byte = 0xAB;
    CFOwned<CFDataRef> oneByte(CFDataCreate(nullptr, &byte, 1));
    CFOwned<CFArrayRef> empty(CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks));
    for (CFTypeRef value :
         {CFTypeRef(CFSTR("a")), CFTypeRef(minusOne.get()), CFTypeRef(kCFBooleanTrue),
          CFTypeRef(oneByte.get()), CFTypeRef(empty.get())}) {
        CFArrayAppendValue(array, value);
    }
    CFDictionarySetValue(sample, CFSTR("array"), array);
    return sample;
}

const char kMatchesSamplePy[] = R"(
import math, plistlib, sys
with open(sys.argv[1], 'rb') as f:
    p = plistlib.load(f)
def check(key, expected, kind):
    value = p.get(key)
    if type(value) is not kind or value != expected:
        sys.exit('%s: expected %r (%s), read %r (%s)' % (key, expected, kind.__name__, value, type(value).__name__))
check('name', 'Plenko: PlenkoOut \u00e9\U0001F3B9', str)
check('escaped', '<a & "b">', str)
check('empty-string', '', str)
check('version', 0, int)
check('negative', -10851, int)
check('largest', 2**63 - 1, int)
check('smallest', -2**63, int)
check('cpu-load', 0.25, float)
check('pi', 3.141592653589793, float)
check('data', bytes([0, 1, 0xFE, 0xFF, 0x3F, 0x80, 0, 0]), bytes)
check('empty-data', b'', bytes)
check('on', True, bool)
check('off', False, bool)
check('nested', {'depth': 2, 'list': ['x', 1.5]}, dict)
check('array', ['a', -1, True, b'\xab', []], list)
if type(p['array'][2]) is not bool or type(p['nested']['list'][1]) is not float:
    sys.exit('array element types differ')
if len(p) != 15:
    sys.exit('expected 15 keys, read %d: %s' % (len(p), sorted(p)))
print('plistlib read every value')
)";

std::string TempPath(const std::string& name)
{
    return testing::TempDir() + "cf_" + std::to_string(getpid()) + "_" + name;
}

void WriteFile(const std::string& path, const void* bytes, size_t length)
{
    std::ofstream file(path, std::ios::binary);
    file.write(static_cast<const char*>(bytes), std::streamsize(length));
}

// Runs a command; returns its exit status and appends its output.
int RunCommand(const std::string& command, std::string& output)
{
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) {
        return -1;
    }
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe)) {
        output += buffer;
    }
    return pclose(pipe);
}

CFDataRef DataOf(const std::string& text)
{
    return CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(text.data()), CFIndex(text.size()));
}

std::string TextOfData(CFDataRef data)
{
    return std::string(reinterpret_cast<const char*>(CFDataGetBytePtr(data)),
                       size_t(CFDataGetLength(data)));
}

} // namespace

TEST(CFPropertyList, XMLRoundTripKeepsEveryKindOfValue)
{
    CFOwned<CFDictionaryRef> sample(MakeSample());
    CFOwned<CFErrorRef> error;
    CFOwned<CFDataRef> xml(
        CFPropertyListCreateData(nullptr, sample, kCFPropertyListXMLFormat_v1_0, 0, error.out()));
    ASSERT_NE(xml.get(), nullptr);
    EXPECT_EQ(error.get(), nullptr);
    const std::string text = TextOfData(xml);
    EXPECT_NE(text.find("<integer>-10851</integer>"), std::string::npos) << text;
    EXPECT_NE(text.find("<integer>-9223372036854775808</integer>"), std::string::npos);
    EXPECT_NE(text.find("&lt;a &amp; \"b\"&gt;"), std::string::npos);
    EXPECT_LT(text.find("<key>array</key>"), text.find("<key>cpu-load</key>")); // sorted keys

    CFPropertyListFormat format = 0;
    CFOwned<CFPropertyListRef> back(
        CFPropertyListCreateWithData(nullptr, xml, kCFPropertyListImmutable, &format, error.out()));
    ASSERT_NE(back.get(), nullptr) << TextOf(CFErrorCopyDescription(error));
    EXPECT_EQ(format, kCFPropertyListXMLFormat_v1_0);
    EXPECT_TRUE(CFEqual(back, sample));

    SInt64 smallest = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(
                         static_cast<CFDictionaryRef>(back.get()), CFSTR("smallest"))),
                     kCFNumberSInt64Type, &smallest);
    EXPECT_EQ(smallest, std::numeric_limits<SInt64>::min());
}

TEST(CFPropertyList, PythonPlistlibReadsTheWrittenXML)
{
    CFOwned<CFDictionaryRef> sample(MakeSample());
    CFOwned<CFDataRef> xml(
        CFPropertyListCreateData(nullptr, sample, kCFPropertyListXMLFormat_v1_0, 0, nullptr));
    ASSERT_NE(xml.get(), nullptr);
    const std::string xmlPath = TempPath("sample.plist");
    const std::string scriptPath = TempPath("matches_sample.py");
    WriteFile(xmlPath, CFDataGetBytePtr(xml), size_t(CFDataGetLength(xml)));
    WriteFile(scriptPath, kMatchesSamplePy, sizeof kMatchesSamplePy - 1);
    std::string output;
    const int status = RunCommand("python3 '" + scriptPath + "' '" + xmlPath + "'", output);
    EXPECT_EQ(status, 0) << "python3 (needed for this test; `make deps` installs it) said:\n"
                         << output;
    EXPECT_NE(output.find("plistlib read every value"), std::string::npos) << output;
    std::remove(xmlPath.c_str());
    std::remove(scriptPath.c_str());
}

TEST(CFPropertyList, BinaryRoundTripAndTheOlderCalls)
{
    CFOwned<CFDictionaryRef> sample(MakeSample());
    CFOwned<CFDataRef> binary(
        CFPropertyListCreateData(nullptr, sample, kCFPropertyListBinaryFormat_v1_0, 0, nullptr));
    ASSERT_NE(binary.get(), nullptr);
    EXPECT_EQ(TextOfData(binary).substr(0, 6), "bplist");
    CFPropertyListFormat format = 0;
    CFOwned<CFPropertyListRef> back(
        CFPropertyListCreateWithData(nullptr, binary, 0, &format, nullptr));
    EXPECT_EQ(format, kCFPropertyListBinaryFormat_v1_0);
    EXPECT_TRUE(CFEqual(back, sample));

    CFOwned<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, sample));
    CFStringRef errorString = CFSTR("stale");
    CFOwned<CFPropertyListRef> old(CFPropertyListCreateFromXMLData(nullptr, xml, 0, &errorString));
    EXPECT_TRUE(CFEqual(old, sample));
    EXPECT_EQ(errorString, nullptr);
    CFOwned<CFDataRef> garbage(DataOf("not a plist"));
    EXPECT_EQ(CFPropertyListCreateFromXMLData(nullptr, garbage, 0, &errorString), nullptr);
    CFOwned<CFStringRef> ownedError(errorString);
    EXPECT_NE(TextOf(ownedError).find("cannot be read"), std::string::npos);
}

TEST(CFPropertyList, MutabilityOptionsDecideWhatCanChange)
{
    CFOwned<CFDataRef> xml(DataOf("<plist version=\"1.0\"><dict><key>list</key><array>"
                                  "<string>a</string></array></dict></plist>"));
    CFOwned<CFPropertyListRef> containers(CFPropertyListCreateWithData(
        nullptr, xml, kCFPropertyListMutableContainers, nullptr, nullptr));
    CFMutableDictionaryRef dictionary = (CFMutableDictionaryRef)containers.get();
    CFDictionarySetValue(dictionary, CFSTR("added"), kCFBooleanTrue);
    EXPECT_EQ(CFDictionaryGetCount(dictionary), 2);
    CFMutableArrayRef list = (CFMutableArrayRef)CFDictionaryGetValue(dictionary, CFSTR("list"));
    CFArrayAppendValue(list, CFSTR("b"));
    EXPECT_EQ(CFArrayGetCount(list), 2);

    CFOwned<CFPropertyListRef> leaves(CFPropertyListCreateWithData(
        nullptr, xml, kCFPropertyListMutableContainersAndLeaves, nullptr, nullptr));
    CFMutableStringRef leaf = (CFMutableStringRef)CFArrayGetValueAtIndex(
        (CFArrayRef)CFDictionaryGetValue((CFDictionaryRef)leaves.get(), CFSTR("list")), 0);
    CFStringAppend(leaf, CFSTR("z"));
    EXPECT_EQ(TextOf(leaf), "az");

    CFOwned<CFPropertyListRef> frozen(
        CFPropertyListCreateWithData(nullptr, xml, kCFPropertyListImmutable, nullptr, nullptr));
    OutputCapture capture(OutputCapture::kStderr);
    CFDictionarySetValue((CFMutableDictionaryRef)frozen.get(), CFSTR("added"), kCFBooleanTrue);
    EXPECT_NE(capture.Take().find("immutable"), std::string::npos);
    EXPECT_EQ(CFDictionaryGetCount((CFDictionaryRef)frozen.get()), 1);
}

TEST(CFPropertyList, MalformedInputGivesNullAndAnErrorNeverACrash)
{
    const std::string inputs[] = {
        "",
        "garbage",
        "<plist><array><string>x</string>",
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key><integer>1</integer>",
        "<plist><integer>18446744073709551615</integer></plist>",
        "<plist><integer>99999999999999999999</integer></plist>",
        "<plist><date>2020-01-01T00:00:00Z</date></plist>",
        "<plist><string>\xFF\xFE</string></plist>",
        std::string("bplist00\x00\x01\x02", 11),
        std::string("\x00\x00\x00\x00", 4),
    };
    for (const std::string& input : inputs) {
        CFOwned<CFDataRef> data(DataOf(input));
        CFOwned<CFErrorRef> error;
        CFOwned<CFPropertyListRef> result(
            CFPropertyListCreateWithData(nullptr, data, 0, nullptr, error.out()));
        EXPECT_EQ(result.get(), nullptr) << "input: " << testing::PrintToString(input);
        ASSERT_NE(error.get(), nullptr) << "input: " << testing::PrintToString(input);
        EXPECT_EQ(CFErrorGetCode(error), kCFPropertyListReadCorruptError);
        EXPECT_TRUE(CFEqual(CFErrorGetDomain(error), kCFErrorDomainCocoa));
        CFOwned<CFStringRef> description(CFErrorCopyDescription(error));
        EXPECT_NE(TextOf(description).find("cannot be read"), std::string::npos);
        // Without an error pointer the same input fails just as quietly.
        EXPECT_EQ(CFPropertyListCreateWithData(nullptr, data, 0, nullptr, nullptr), nullptr);
    }
    CFOwned<CFErrorRef> error;
    EXPECT_EQ(CFPropertyListCreateWithData(nullptr, nullptr, 0, nullptr, error.out()), nullptr);
    EXPECT_NE(error.get(), nullptr);
    CFOwned<CFErrorRef> typeError;
    EXPECT_EQ(CFPropertyListCreateWithData(nullptr, (CFDataRef)CFSTR("<plist/>"), 0, nullptr,
                                           typeError.out()),
              nullptr);
    EXPECT_NE(typeError.get(), nullptr);
}

namespace {

// A binary property list of the given encoded objects (one-byte references and offsets), the
// last of them at the top.
std::string BinaryList(const std::vector<std::string>& objects)
{
    std::string bytes = "bplist00";
    std::string offsets;
    for (const std::string& object : objects) {
        offsets += char(bytes.size());
        bytes += object;
    }
    const size_t table = bytes.size();
    bytes += offsets;
    bytes += std::string(6, '\0') + '\x01' + '\x01';
    for (uint64_t value :
         {uint64_t(objects.size()), uint64_t(objects.size() - 1), uint64_t(table)}) {
        for (int shift = 56; shift >= 0; shift -= 8) {
            bytes += char(value >> shift & 0xFF);
        }
    }
    return bytes;
}

// levels arrays, each holding the one below twice: small on disk, 2^levels values once every
// reference is followed.
std::string SelfMultiplyingBinaryList(int levels)
{
    std::vector<std::string> objects = {"\xA0"};
    for (int object = 1; object <= levels; ++object) {
        objects.push_back({'\xA2', char(object - 1), char(object - 1)});
    }
    return BinaryList(objects);
}

} // namespace

TEST(CFPropertyList, HostileShapesAreRefusedBeforeTheyExhaustTheReader)
{
    Watchdog watchdog(60, "hostile property-list shapes");
    std::string deep = "<plist version=\"1.0\">";
    for (int i = 0; i < 1000000; ++i) {
        deep += "<array>";
    }
    for (int i = 0; i < 1000000; ++i) {
        deep += "</array>";
    }
    deep += "</plist>";
    const struct {
        std::string input;
        const char* problem;
    } cases[] = {
        {deep, "nested too deeply"},
        {SelfMultiplyingBinaryList(40), "too many values"},
        // A key with a zero character: UTF-16 (libplist aborts reading it) and ASCII (it would
        // come back cut short).
        {BinaryList({std::string("\x63\x00\x61\x00\x00\x00\x62", 7), "\x51x",
                     std::string("\xD1\x00\x01", 3)}),
         "key contains a zero character"},
        {BinaryList({std::string("\x53\x61\x00\x62", 4), "\x51x", std::string("\xD1\x00\x01", 3)}),
         "key contains a zero character"},
    };
    for (const auto& c : cases) {
        CFOwned<CFDataRef> data(DataOf(c.input));
        CFOwned<CFErrorRef> error;
        EXPECT_EQ(CFPropertyListCreateWithData(nullptr, data, 0, nullptr, error.out()), nullptr);
        ASSERT_NE(error.get(), nullptr);
        CFOwned<CFStringRef> description(CFErrorCopyDescription(error));
        EXPECT_NE(TextOf(description).find(c.problem), std::string::npos) << TextOf(description);
    }

    // Shared values within bounds are read, every reference followed.
    CFOwned<CFDataRef> shared(DataOf(SelfMultiplyingBinaryList(4)));
    CFOwned<CFPropertyListRef> tree(
        CFPropertyListCreateWithData(nullptr, shared, 0, nullptr, nullptr));
    ASSERT_NE(tree.get(), nullptr);
    CFTypeRef level = tree.get();
    for (int depth = 0; depth < 4; ++depth) {
        ASSERT_EQ(CFArrayGetCount(static_cast<CFArrayRef>(level)), 2);
        level = CFArrayGetValueAtIndex(static_cast<CFArrayRef>(level), 1);
    }
    EXPECT_EQ(CFArrayGetCount(static_cast<CFArrayRef>(level)), 0);
}

TEST(CFPropertyList, ObjectsOutsideThePropertyListKindsFailToWrite)
{
    CFOwned<CFURLRef> url(
        CFURLCreateWithFileSystemPath(nullptr, CFSTR("/tmp"), kCFURLPOSIXPathStyle, true));
    CFOwned<CFMutableDictionaryRef> withURL(MakeDictionary());
    CFDictionarySetValue(withURL, CFSTR("icon"), url);
    CFOwned<CFMutableDictionaryRef> numberKey(MakeDictionary());
    CFOwned<CFNumberRef> one(MakeSInt64(1));
    CFDictionarySetValue(numberKey, one, CFSTR("one"));
    CFOwned<CFMutableArrayRef> selfContaining(
        CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    CFArrayAppendValue(selfContaining, selfContaining);

    const struct {
        CFPropertyListRef plist;
        const char* problem;
    } cases[] = {{withURL.get(), "a CFURL cannot be part of a property list"},
                 {numberKey.get(), "a dictionary key is a CFNumber, not a string"},
                 {selfContaining.get(), "nested too deeply"},
                 {nullptr, "a NULL value"}};
    for (const auto& c : cases) {
        CFOwned<CFErrorRef> error;
        EXPECT_EQ(CFPropertyListCreateData(nullptr, c.plist, kCFPropertyListXMLFormat_v1_0, 0,
                                           error.out()),
                  nullptr);
        ASSERT_NE(error.get(), nullptr);
        EXPECT_EQ(CFErrorGetCode(error), kCFPropertyListWriteInvalidError);
        CFOwned<CFStringRef> description(CFErrorCopyDescription(error));
        EXPECT_NE(TextOf(description).find(c.problem), std::string::npos) << TextOf(description);
        EXPECT_FALSE(CFPropertyListIsValid(c.plist, kCFPropertyListXMLFormat_v1_0));
        EXPECT_EQ(CFPropertyListCreateDeepCopy(nullptr, c.plist, 0), nullptr);
    }
    CFArrayRemoveAllValues(selfContaining); // breaks the reference cycle
    EXPECT_EQ(
        CFPropertyListCreateData(nullptr, CFSTR("x"), kCFPropertyListOpenStepFormat, 0, nullptr),
        nullptr);
}

TEST(CFPropertyList, DeepCopyIsEqualButSharesNoContainer)
{
    CFOwned<CFDictionaryRef> sample(MakeSample());
    EXPECT_TRUE(CFPropertyListIsValid(sample, kCFPropertyListXMLFormat_v1_0));
    CFOwned<CFPropertyListRef> copy(
        CFPropertyListCreateDeepCopy(nullptr, sample, kCFPropertyListMutableContainers));
    EXPECT_TRUE(CFEqual(copy, sample));
    CFMutableDictionaryRef nested =
        (CFMutableDictionaryRef)CFDictionaryGetValue((CFDictionaryRef)copy.get(), CFSTR("nested"));
    EXPECT_NE(nested, CFDictionaryGetValue(sample, CFSTR("nested")));
    CFDictionarySetValue(nested, CFSTR("depth"), kCFBooleanFalse);
    EXPECT_FALSE(CFEqual(copy, sample));
}
