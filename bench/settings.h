// SPDX-License-Identifier: MIT
#ifndef VORLAN_BENCH_SETTINGS_H
#define VORLAN_BENCH_SETTINGS_H

#include <QList>

// How long and how often the figures are taken; --quick and the command
// line's options change them.
struct Settings
{
    bool quick = false;
    int repeats = 11;
    int memoryPanels = 12;
    int stateCalls = 2000;
    int stateBatches = 7;
    int scaleOpens = 5;
    QList<int> scale{1, 50, 200, 500};
    // The idle figure with 200 panels, the other numbers of panels, the
    // bare timers' floors, and the wait after opening before idling counts.
    int idleMsecs = 10000;
    int scaleIdleMsecs = 5000;
    int floorMsecs = 4000;
    int settleMsecs = 4000;
};

#endif // VORLAN_BENCH_SETTINGS_H
