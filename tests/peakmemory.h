// SPDX-License-Identifier: MIT
#ifndef VORLAN_TESTS_PEAKMEMORY_H
#define VORLAN_TESTS_PEAKMEMORY_H

#include <QtGlobal>

// The peak memory of one step. Linux resets a process's peak (VmHWM) when
// it writes 5 to its clear_refs; where that is refused, the peak of the
// whole run (ru_maxrss) is all there is, and only growth beyond it shows.
class PeakMemory
{
public:
    PeakMemory();

    qint64 growthKibibytes() const;
    bool exact() const;

private:
    bool m_exact;
    qint64 m_base;
};

#endif // VORLAN_TESTS_PEAKMEMORY_H
