// SPDX-License-Identifier: MIT
#ifndef VORLAN_BENCH_IDLECOST_H
#define VORLAN_BENCH_IDLECOST_H

class Bench;

// Figures 2 and 5: what idle panels cost, against Qt keeping their status
// lines counting, and opening, at each number of open panels.
void idleCost(Bench &bench);

#endif // VORLAN_BENCH_IDLECOST_H
