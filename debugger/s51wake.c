/* Preloaded into the s51 simulator by the debugger. While it waits for a
   command, s51 looks at its console only every 100 ms and sleeps in between;
   a debugger that sends a few commands per step would then need a tenth of a
   second per command. This shortens every sleep of the simulator to at most
   one millisecond, so an answer comes back within about a millisecond. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <time.h>
#include <unistd.h>

enum { MaxSleepNs = 1000000 };

static struct timespec Shorter(const struct timespec *request)
{
    struct timespec t = *request;
    if (t.tv_sec > 0 || t.tv_nsec > MaxSleepNs) {
        t.tv_sec = 0;
        t.tv_nsec = MaxSleepNs;
    }
    return t;
}

typedef int (*NanosleepFunction)(const struct timespec *, struct timespec *);
typedef int (*ClockNanosleepFunction)(clockid_t, int, const struct timespec *, struct timespec *);

int nanosleep(const struct timespec *request, struct timespec *remaining)
{
    static NanosleepFunction next;
    if (!next)
        next = (NanosleepFunction)dlsym(RTLD_NEXT, "nanosleep");
    const struct timespec t = Shorter(request);
    return next(&t, remaining);
}

int clock_nanosleep(clockid_t clock, int flags, const struct timespec *request, struct timespec *remaining)
{
    static ClockNanosleepFunction next;
    if (!next)
        next = (ClockNanosleepFunction)dlsym(RTLD_NEXT, "clock_nanosleep");
    if (flags & TIMER_ABSTIME)
        return next(clock, flags, request, remaining);
    const struct timespec t = Shorter(request);
    return next(clock, flags, &t, remaining);
}

int usleep(useconds_t microseconds)
{
    const struct timespec t = {0, (long)(microseconds > 1000 ? 1000 : microseconds) * 1000};
    return clock_nanosleep(CLOCK_MONOTONIC, 0, &t, NULL);
}
