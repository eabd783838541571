// SPDX-License-Identifier: MIT
#ifndef VORLAN_BENCH_OPENTIMES_H
#define VORLAN_BENCH_OPENTIMES_H

#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class Bench;

namespace Helvor {
class SimulatedIntersection;
}

// What opening a panel takes, and its floor: the figures of opening, at
// first and with many panels open.
struct OpenTimes
{
    double cpuMsecs = 0;
    double wallMsecs = 0;
};

using MakeController = std::function<std::unique_ptr<Helvor::SimulatedIntersection>()>;

// The floor of opening: every distinct SVG drawn once into a pixmap of the
// list's icon size, parsing included, as any way of showing them must.
double svgFloorMsecs(const QStringList &files, std::vector<double> *parse = nullptr,
                     std::vector<double> *render = nullptr);

// One open() for a fresh controller made by make; the panel is deleted
// again, as a closed panel deletes itself.
OpenTimes timeOpen(Bench &bench, const MakeController &make);
OpenTimes medianOpen(Bench &bench, int repeats, const MakeController &make);

#endif // VORLAN_BENCH_OPENTIMES_H
