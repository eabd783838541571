// SPDX-License-Identifier: MIT
#ifndef HELVOR_SUMOSIMULATION_H
#define HELVOR_SUMOSIMULATION_H

#include "sumodata.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSharedPointer>
#include <QThread>
#include <QTimer>
#include <QVector>

namespace Helvor {

class SumoLight;
class SumoWorker;
struct SumoProcess;

// A SUMO simulation whose traffic lights stand in for field devices. It
// lives on the GUI thread and never waits there: sumo runs as a child
// process, driven from a worker thread of this object's own, and what the
// worker learns comes back as queued snapshots. One simulation runs in a
// process at a time, since SUMO's client library keeps one connection
// for the whole process.
class SumoSimulation : public QObject
{
    Q_OBJECT

public:
    enum class Status { Stopped, Starting, Running, Closing };

    explicit SumoSimulation(QObject *parent = nullptr);
    // Closes sumo; one that does not answer within a second is killed.
    ~SumoSimulation() override;

    // The sumo program: a name looked up on PATH, or a path. "sumo" unless set.
    void setProgram(const QString &program);
    QString program() const;
    // Where the junction pictures and sumo's log go; the user's cache
    // folder unless set.
    void setCacheDir(const QString &folder);
    QString cacheDir() const;
    // Without a step for this long (or three steps' time, if longer), sumo
    // is taken not to answer, and the lights go off line until it does.
    void setStallTimeout(int milliseconds);
    // Simulated seconds per second of the clock; 0 for as fast as it goes.
    void setSpeed(double factor);
    double speed() const;

    // Starts sumo on a scenario (a .sumocfg). The result comes as
    // started() or failed(); false when this or another simulation of
    // the process is running, with errorString() saying so.
    bool start(const QString &scenario);
    // Ends the simulation; closed() follows. The lights go off line.
    void close();

    Status status() const;
    bool isRunning() const;
    QString errorString() const;

    // The lights, ordered by number; they stay across runs of one scenario.
    QList<SumoLight *> lights() const;
    SumoLight *light(int number) const;

    // Of the latest step: simulated seconds, and where the vehicles are.
    double time() const;
    QVector<QPointF> vehicles() const;
    // sumo's process while it runs, else 0.
    qint64 processId() const;

Q_SIGNALS:
    void started();
    void failed(const QString &message);
    // sumo ended or stopped answering while it ran.
    void lost(const QString &message);
    void closed();
    void stepped();

private:
    friend class SumoLight;

    void order(const SumoOrder &order);
    void workerStarted(const Helvor::SumoNetwork &network);
    void workerFailed(const QString &message);
    void workerStepped(const Helvor::SumoSnapshot &snapshot);
    void workerLost(const QString &message);
    void workerClosed();
    void stalled();
    void setStopped();
    void allOffline();
    int stallMilliseconds() const;

    QString m_program = QStringLiteral("sumo");
    QString m_cacheDir;
    double m_speed = 1;
    int m_stallTimeout = 5000;
    Status m_status = Status::Stopped;
    QString m_error;
    double m_stepLength = 1;

    QThread m_thread;
    SumoWorker *m_worker = nullptr;
    QSharedPointer<SumoProcess> m_process;
    QVector<QPointer<SumoLight>> m_lights;
    double m_time = 0;
    QVector<QPointF> m_vehicles;
    // No snapshot for this long: sumo does not answer, the lights go off line.
    QTimer m_stall;
    // A close that takes longer ends with a kill.
    QTimer m_closeTimeout;
};

} // namespace Helvor

#endif // HELVOR_SUMOSIMULATION_H
