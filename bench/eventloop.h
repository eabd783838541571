// SPDX-License-Identifier: MIT
#ifndef VORLAN_BENCH_EVENTLOOP_H
#define VORLAN_BENCH_EVENTLOOP_H

// Runs the event loop for so long, as the workstation's would run.
void runEventLoop(int msecs);
// Deferred deletions and layout requests settle before anything is measured.
void settle();

#endif // VORLAN_BENCH_EVENTLOOP_H
