// SPDX-License-Identifier: MIT
#ifndef HELVOR_SIMULATEDINTERSECTION_H
#define HELVOR_SIMULATEDINTERSECTION_H

#include "helvor/simulatedlight.h"

#include <QDateTime>
#include <QList>
#include <QPointer>
#include <QRandomGenerator>

namespace Helvor {

// A controller that behaves like a field device: it runs its own stage
// programme, carries out the centre's commands after a realistic delay
// and answers each with a Response. It keeps its own clock, which only
// advance() moves, so a test can run hours of traffic in no time and the
// workstation demo can drive it from a real timer.
class SimulatedIntersection : public SimulatedLight
{
    Q_OBJECT

public:
    struct StagePlan
    {
        int id;
        QString description;
        int seconds;
        QString shema = QString();
    };

    enum class Mode { Programme, HeldStage, FlashingYellow, Dark, Restarting };

    // Codes a device answers with besides success.
    enum : int { Refused = 0x1203, NoAnswer = 0x1204 };

    SimulatedIntersection(int number, const QString &name, const QList<StagePlan> &programme, const QDateTime &start,
                          quint32 seed, QObject *parent = nullptr);
    ~SimulatedIntersection() override;

    QDateTime now() const;
    // Moves the intersection's clock on, carrying out everything due meanwhile.
    void advance(qint64 msecs);

    Mode mode() const;

    // Share of commands the device refuses (answers with Refused).
    void setRefusalRate(double share);
    double refusalRate() const;
    // Mean seconds between connection losses; 0 for a line that never drops.
    void setDropInterval(int seconds);
    int dropInterval() const;
    // Drops the connection for the given seconds, as the line would.
    void dropConnection(int seconds);

    // Delay between a command and its answer, in milliseconds.
    static constexpr int minAnswerDelay = 300;
    static constexpr int maxAnswerDelay = 2000;
    // How long a restart keeps the device off line.
    static constexpr int restartSeconds = 6;

protected:
    void commandAccepted(const QString &command, const QVariantList &arguments, Response *response) override;
    void localRequested() override;

private:
    struct PendingAnswer
    {
        QPointer<Response> response;
        QString command;
        QVariantList arguments;
        QDateTime due;
    };

    void runProgramme(int index, const QDateTime &at);
    void carryOut(const PendingAnswer &answer, const QDateTime &at);
    void scheduleDrop(const QDateTime &from);
    int stageIndex(int id) const;

    QList<StagePlan> m_programme;
    QDateTime m_now;
    QRandomGenerator m_random;
    Mode m_mode = Mode::Programme;
    int m_stageIndex = 0;
    QDateTime m_stageEnds;
    QDateTime m_backOnline;
    QDateTime m_nextDrop;
    QList<PendingAnswer> m_answers;
    double m_refusalRate = 0.03;
    int m_dropInterval = 0;
};

} // namespace Helvor

#endif // HELVOR_SIMULATEDINTERSECTION_H
