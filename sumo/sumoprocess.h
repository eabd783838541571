// SPDX-License-Identifier: MIT
#ifndef HELVOR_SUMOPROCESS_H
#define HELVOR_SUMOPROCESS_H

#include "sumodata.h"

#include <QMutex>
#include <QVector>

#include <atomic>

namespace Helvor {

// What the GUI thread may touch while the worker is busy, even blocked in
// a call to SUMO: the process, to kill it; orders, which the worker takes
// before its next step however busy it is; and the count of snapshots
// the GUI thread has not yet taken.
struct SumoProcess
{
    QMutex mutex;
    int pidfd = -1;
    qint64 pid = 0;
    QVector<SumoOrder> orders;
    std::atomic<int> unread{0};

    // SIGKILL to our sumo, never to a process that took its pid later.
    void kill();
    void order(const SumoOrder &order);
    // The orders given since the last take, oldest first.
    QVector<SumoOrder> takeOrders();
};

} // namespace Helvor

#endif // HELVOR_SUMOPROCESS_H
