// SPDX-License-Identifier: MIT
#include "sumoprocess.h"

#include <csignal>

// glibc 2.36 declares these without C linkage.
extern "C" {
#include <sys/pidfd.h>
}

namespace Helvor {

void SumoProcess::kill()
{
    // Without a pidfd, the pid: the worker reaps under the same lock, so
    // while it is set it is still ours.
    QMutexLocker lock(&mutex);
    if (pidfd >= 0)
        ::pidfd_send_signal(pidfd, SIGKILL, nullptr, 0);
    else if (pid > 0)
        ::kill(pid_t(pid), SIGKILL);
}

void SumoProcess::order(const SumoOrder &order)
{
    QMutexLocker lock(&mutex);
    orders.append(order);
}

QVector<SumoOrder> SumoProcess::takeOrders()
{
    QVector<SumoOrder> taken;
    QMutexLocker lock(&mutex);
    taken.swap(orders);
    return taken;
}

} // namespace Helvor
