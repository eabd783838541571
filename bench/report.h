// SPDX-License-Identifier: MIT
#ifndef VORLAN_BENCH_REPORT_H
#define VORLAN_BENCH_REPORT_H

#include <QByteArray>
#include <QString>

// One figure: name, value and unit, and what it is held against. A floor
// is measured in the same run; a target is only printed for comparison.
void report(const QByteArray &name, double value, const char *unit, double floor, const char *floorText,
            const QString &target);
// A line of context above the figures.
void note(const QString &text);

#endif // VORLAN_BENCH_REPORT_H
