// SPDX-License-Identifier: MIT
#ifndef VORLAN_BENCH_STATECHANGE_H
#define VORLAN_BENCH_STATECHANGE_H

class Bench;

// Figure 4: what a state change costs a panel with 32 stages, against
// reading the state itself.
void stateChange(Bench &bench);

#endif // VORLAN_BENCH_STATECHANGE_H
