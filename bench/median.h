// SPDX-License-Identifier: MIT
#ifndef VORLAN_BENCH_MEDIAN_H
#define VORLAN_BENCH_MEDIAN_H

#include <vector>

// Figures are medians: one run that meets other work on the machine
// moves them little.
double median(std::vector<double> values);

#endif // VORLAN_BENCH_MEDIAN_H
