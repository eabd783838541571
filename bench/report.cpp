// SPDX-License-Identifier: MIT
#include "report.h"

#include <cstdio>

void report(const QByteArray &name, double value, const char *unit, double floor, const char *floorText,
            const QString &target)
{
    if (floor > 0) {
        std::printf("%-32s %12.3f %-5s floor %12.3f %-5s %-36s ratio %7.2f  %s\n", name.constData(), value, unit, floor,
                    unit, floorText, value / floor, qPrintable(target));
    } else {
        std::printf("%-32s %12.3f %-5s floor %12s %-5s %-36s ratio %7s  %s\n", name.constData(), value, unit, "-", unit,
                    "(not measured)", "-", qPrintable(target));
    }
    std::fflush(stdout);
}

void note(const QString &text)
{
    std::printf("# %s\n", qPrintable(text));
    std::fflush(stdout);
}
