// SPDX-License-Identifier: MIT
#ifndef VORLAN_BENCH_BENCHAPPLICATION_H
#define VORLAN_BENCH_BENCHAPPLICATION_H

#include <QApplication>

// The benchmark's application object. Every event passes through notify(),
// so it is where the panels' timer ticks can be counted and timed as the
// running event loop delivers them, without touching the plug-in.
class BenchApplication : public QApplication
{
public:
    BenchApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // Counts timer events of objects of this class from now on.
    void watchTimers(const char *className);
    void resetTicks();
    qint64 ticks() const;
    // Thread CPU time spent handling those events, in nanoseconds.
    qint64 tickNanoseconds() const;

private:
    QByteArray m_className;
    const QMetaObject *m_class = nullptr;
    qint64 m_ticks = 0;
    qint64 m_tickNanoseconds = 0;
};

#endif // VORLAN_BENCH_BENCHAPPLICATION_H
