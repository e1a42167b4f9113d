#include "ThreadScheduling.h"

#include <dirent.h>
#include <fstream>
#include <linux/capability.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

ThreadScheduling SchedulingOf(pid_t thread)
{
    sched_param parameter{};
    sched_getparam(thread, &parameter);
    return {sched_getscheduler(thread), parameter.sched_priority};
}

bool CapabilityData(__user_cap_data_struct (&data)[2])
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capget, &header, data) == 0;
}

} // namespace

ThreadScheduling CurrentThreadScheduling()
{
    return SchedulingOf(pid_t(syscall(SYS_gettid)));
}

std::optional<ThreadScheduling> NamedThreadScheduling(const std::string& name)
{
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr)
        return std::nullopt;
    std::optional<ThreadScheduling> found;
    while (dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string threadName;
        if (std::getline(comm, threadName) && threadName == name) {
            found = SchedulingOf(pid_t(std::stoi(entry->d_name)));
            break;
        }
    }
    closedir(tasks);
    return found;
}

bool RealTimeAllowed(int priority)
{
    __user_cap_data_struct data[2] = {};
    if (CapabilityData(data) &&
        (data[CAP_SYS_NICE / 32].effective & (1u << (CAP_SYS_NICE % 32))) != 0)
        return true;
    rlimit limit{};
    return getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur >= rlim_t(priority);
}

bool GiveUpRealTime()
{
    __user_cap_data_struct data[2] = {};
    if (!CapabilityData(data))
        return false;
    const unsigned bit = 1u << (CAP_SYS_NICE % 32);
    data[CAP_SYS_NICE / 32].effective &= ~bit;
    data[CAP_SYS_NICE / 32].permitted &= ~bit;
    data[CAP_SYS_NICE / 32].inheritable &= ~bit;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    const rlimit none{0, 0};
    return syscall(SYS_capset, &header, data) == 0 && setrlimit(RLIMIT_RTPRIO, &none) == 0 &&
           !RealTimeAllowed(1);
}
