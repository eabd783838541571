// SPDX-License-Identifier: MIT
#ifndef VORLAN_BENCH_JUNCTIONSVG_H
#define VORLAN_BENCH_JUNCTIONSVG_H

#include <QByteArray>

// Junction drawings for the benchmark, deterministic so that every run
// draws the same work: a plan made of many small paths (kerbs, paving,
// lane marks, trees, buildings), as surveyed plans are, and light stage
// overlays with a few movement arrows.
namespace JunctionSvg {

// A plan of the given number of small paths; 3000 give about 136 KB.
QByteArray plan(int paths);
// The movements of one stage, a few KB.
QByteArray overlay(int stage);

} // namespace JunctionSvg

#endif // VORLAN_BENCH_JUNCTIONSVG_H
