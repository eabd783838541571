// SPDX-License-Identifier: MIT
#ifndef VORLAN_TESTS_FIFOWATCH_H
#define VORLAN_TESTS_FIFOWATCH_H

#include <QByteArray>
#include <QString>

#include <atomic>
#include <thread>

// Opening a FIFO for reading blocks until a writer comes. This helper
// comes as the writer, after a grace period, whenever a reader waits, and
// counts how often: a module that blocks on the FIFO is released and
// fails the test instead of hanging the run. The grace period is real
// time on purpose: it is the time the module was frozen.
class FifoWatch
{
public:
    explicit FifoWatch(const QString &path);
    ~FifoWatch();

    int releases() const;

private:
    void run();

    const QByteArray m_path;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_releases{0};
    std::thread m_thread;
};

#endif // VORLAN_TESTS_FIFOWATCH_H
