#include <RealTimeScheduling.h>

#include <pthread.h>
#include <sched.h>

Boolean RequestRealTimeScheduling(int priority)
{
    if (priority < sched_get_priority_min(SCHED_FIFO) ||
        priority > sched_get_priority_max(SCHED_FIFO))
        return false;
    sched_param parameter{};
    parameter.sched_priority = priority;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &parameter) == 0;
}
