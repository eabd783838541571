// SPDX-License-Identifier: MIT
#ifndef VORLAN_BENCH_CLOCKS_H
#define VORLAN_BENCH_CLOCKS_H

#include <QtGlobal>

// The clocks the figures are read from, in nanoseconds.

// CPU time of this thread: the machine may be busy with other work, which
// stretches wall times but not this.
qint64 threadCpu();
qint64 processCpu();
qint64 wallClock();

#endif // VORLAN_BENCH_CLOCKS_H
