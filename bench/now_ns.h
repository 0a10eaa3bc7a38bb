/* The bench's C programs: the monotonic clock in nanoseconds. */
#pragma once

#include <time.h>

static inline long long now_ns(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}
