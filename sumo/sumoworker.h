// SPDX-License-Identifier: MIT
#ifndef HELVOR_SUMOWORKER_H
#define HELVOR_SUMOWORKER_H

#include "sumoconnection.h"
#include "sumodata.h"
#include "sumostepper.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QTimer>

namespace Helvor {

struct SumoProcess;

// The one thread that talks to SUMO. SUMO's client library keeps its
// connection in globals without a lock, so every call to it is made here,
// from the slots below and the parts they drive (the connection, the
// network reader, the stepper); the GUI thread hears of the simulation
// only through the signals, by value.
class SumoWorker : public QObject
{
    Q_OBJECT

public:
    // Snapshots on their way to the GUI thread before stepping waits.
    static constexpr int maxUnread = 4;

    explicit SumoWorker(const QSharedPointer<SumoProcess> &process);
    ~SumoWorker() override;

public Q_SLOTS:
    // First of all in the worker's thread, as it starts.
    void prepareThread();
    void start(const QString &scenario, const QString &program, const QString &cacheDir, double speed);
    // Simulated seconds per second; 0 or less: as fast as it goes.
    void setSpeed(double factor);
    void close();
    // Closes, then ends the thread.
    void shutdown();

Q_SIGNALS:
    void started(const Helvor::SumoNetwork &network);
    void failed(const QString &message);
    void stepped(const Helvor::SumoSnapshot &snapshot);
    void lost(const QString &message);
    void closed();

private Q_SLOTS:
    void run();
    void processEnded();

private:
    bool step();
    void schedule();

    // Ends the run: closes the connection and reaps sumo.
    void stop();
    void lose(const QString &why);

    QSharedPointer<SumoProcess> m_process;
    // Children, so that they move to the worker's thread along with it.
    QTimer m_timer;
    SumoConnection m_connection;
    SumoStepper m_stepper;
    bool m_running = false;

    double m_speed = 1;
    QElapsedTimer m_pace;
    qint64 m_paceSteps = 0;
};

} // namespace Helvor

#endif // HELVOR_SUMOWORKER_H
