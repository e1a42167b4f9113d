#include <sys/sysctl.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

// The kernel's own list of the processor's features, read independently of cpuid.
std::set<std::string> KernelCPUFlags()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("flags", 0) != 0)
            continue;
        std::istringstream words(line.substr(line.find(':') + 1));
        std::set<std::string> flags;
        for (std::string flag; words >> flag;)
            flags.insert(flag);
        return flags;
    }
    return {};
}

int ReadValue(const char* name)
{
    int value = -1;
    size_t size = sizeof value;
    EXPECT_EQ(sysctlbyname(name, &value, &size, nullptr, 0), 0) << name;
    EXPECT_EQ(size, sizeof(int)) << name;
    return value;
}

} // namespace

TEST(SystemValues, ProcessorFeaturesMatchTheKernelsFlags)
{
    const std::set<std::string> flags = KernelCPUFlags();
    if (flags.empty())
        GTEST_SKIP() << "no x86 feature flags in /proc/cpuinfo";
    EXPECT_EQ(ReadValue("hw.optional.sse2"), flags.count("sse2") ? 1 : 0);
    EXPECT_EQ(ReadValue("hw.optional.sse3"), flags.count("pni") ? 1 : 0);
    EXPECT_EQ(ReadValue("hw.optional.avx1_0"), flags.count("avx") ? 1 : 0);
}

TEST(SystemValues, SizeQueriesAndErrors)
{
    size_t size = 0;
    EXPECT_EQ(sysctlbyname("hw.optional.sse2", nullptr, &size, nullptr, 0), 0);
    EXPECT_EQ(size, sizeof(int));

    char small[2] = {'x', 'y'};
    size = sizeof small;
    errno = 0;
    EXPECT_EQ(sysctlbyname("hw.optional.sse2", small, &size, nullptr, 0), -1);
    EXPECT_EQ(errno, ENOMEM);
    EXPECT_EQ(small[0], 'x') << "a too small buffer must stay untouched";

    int value = 7;
    size = sizeof value;
    errno = 0;
    EXPECT_EQ(sysctlbyname("hw.optional.neon", &value, &size, nullptr, 0), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(value, 7);
    errno = 0;
    EXPECT_EQ(sysctlbyname("hw.optional.sse", &value, &size, nullptr, 0), -1);
    EXPECT_EQ(errno, ENOENT) << "a prefix of a known name is not that name";

    int one = 1;
    errno = 0;
    EXPECT_EQ(sysctlbyname("hw.optional.sse2", nullptr, &size, &one, sizeof one), -1);
    EXPECT_EQ(errno, EPERM);
    errno = 0;
    EXPECT_EQ(sysctlbyname(nullptr, &value, &size, nullptr, 0), -1);
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_EQ(sysctlbyname("hw.optional.sse2", &value, nullptr, nullptr, 0), -1);
    EXPECT_EQ(errno, EINVAL);
}
