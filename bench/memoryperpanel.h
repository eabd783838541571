// SPDX-License-Identifier: MIT
#ifndef VORLAN_BENCH_MEMORYPERPANEL_H
#define VORLAN_BENCH_MEMORYPERPANEL_H

class Bench;

// Figure 3: the memory a panel holds, against the pixels its pictures hold.
void memoryPerPanel(Bench &bench);

#endif // VORLAN_BENCH_MEMORYPERPANEL_H
