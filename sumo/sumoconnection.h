// SPDX-License-Identifier: MIT
#ifndef HELVOR_SUMOCONNECTION_H
#define HELVOR_SUMOCONNECTION_H

#include <QObject>
#include <QSharedPointer>
#include <QString>

#include <sys/types.h>

class QSocketNotifier;

namespace Helvor {

struct SumoProcess;

// The worker's sumo and the library's connection to it: sumo started as a
// new process would be, connected to once it listens, watched for its end,
// and reaped, killed if it will not end. Used from the worker's thread
// only; the GUI thread kills sumo through the SumoProcess they share.
class SumoConnection : public QObject
{
    Q_OBJECT

public:
    SumoConnection(const QSharedPointer<SumoProcess> &process, QObject *parent);

    // Starts sumo on a scenario, its output to log, and connects to it;
    // false with message saying why it did not.
    bool open(const QString &scenario, const QString &program, const QString &log, QString *message);
    // Closes the connection and reaps sumo.
    void close();
    // Whether there is a sumo still to reap.
    bool hasProcess() const;
    // Reaps sumo, killing it after the grace.
    void reap(int graceMilliseconds);
    // Whether the latest reap killed sumo, rather than it ending by itself.
    bool killed() const;
    // How sumo ended, as the operator is told.
    QString exitReason() const;

Q_SIGNALS:
    // sumo ended, as its pidfd tells where the kernel has them; it stays
    // unreaped until reap().
    void exited();

private:
    enum class Launch { Connected, PortTaken, Failed };

    Launch launch(const QString &scenario, const QString &program, int port, QString *message);
    // Whether sumo has ended, and if so reaps it.
    bool ended();
    QString lastError() const;

    QSharedPointer<SumoProcess> m_process;
    QSocketNotifier *m_exitNotifier = nullptr;
    pid_t m_pid = -1;
    int m_exitStatus = -1;
    bool m_killed = false;
    QString m_log;
    bool m_connected = false;
};

} // namespace Helvor

#endif // HELVOR_SUMOCONNECTION_H
