// SPDX-License-Identifier: MIT
#include "clocks.h"

#include <time.h>

namespace {

qint64 clockNanoseconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

} // namespace

qint64 threadCpu()
{
    return clockNanoseconds(CLOCK_THREAD_CPUTIME_ID);
}

qint64 processCpu()
{
    return clockNanoseconds(CLOCK_PROCESS_CPUTIME_ID);
}

qint64 wallClock()
{
    return clockNanoseconds(CLOCK_MONOTONIC);
}
