// SPDX-License-Identifier: MIT
#ifndef VORLAN_BENCH_OPENLATENCY_H
#define VORLAN_BENCH_OPENLATENCY_H

class Bench;

// Figure 1: how long opening a panel with 16 composed stage pictures takes,
// against drawing each of its distinct SVGs once.
void openLatency(Bench &bench);

#endif // VORLAN_BENCH_OPENLATENCY_H
