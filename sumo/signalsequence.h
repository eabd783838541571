// SPDX-License-Identifier: MIT
#ifndef HELVOR_SIGNALSEQUENCE_H
#define HELVOR_SIGNALSEQUENCE_H

#include "sumodata.h"

#include <QString>
#include <QVector>

namespace Helvor {

// The signals of one traffic light as a field device drives them: its
// local programme, and the centre's orders carried out through amber and
// all-red. It decides, before each simulation step, what the light must
// be told, and learns after the step what it shows; it calls no one, so
// that the worker alone talks to SUMO.
class SignalSequence
{
public:
    struct Phase
    {
        QString state;
        double duration = 0;
        QString name;
    };

    // What SUMO must be told before the next step.
    struct Action
    {
        enum Kind {
            None,
            Show, // show state, off the programme
            Hold, // the programme's phase, for as long as the order stands
            Release, // end the held phase: the programme goes on from it
            Resume, // the programme where its cycle now is, from a stage
            Restart, // the programme from its first phase
        };
        Kind kind = None;
        QString state;
        int phase = -1;
    };

    // A device restarting shows flashing amber this long, off line.
    static constexpr double restartSeconds = 5;

    SignalSequence(const QString &programme, const QVector<Phase> &phases);

    // The phases an operator can order: those with a name; in a programme
    // that names none, every phase with green and no amber.
    static QVector<int> stagePhases(const QVector<Phase> &phases);

    // The phase of a stage (numbered from 1; -1 for none), and the stage
    // of a phase (0 for a phase that is none).
    int stagePhase(int stage) const;
    int stageOf(int phase) const;
    // The phase of the first stage after a phase, round the cycle.
    int stagePhaseAfter(int phase) const;
    int stageCount() const;
    QString programme() const;
    double amberSeconds() const;
    double allRedSeconds() const;

    // Takes an order; it is carried out at the next plan(), and replaces
    // one not yet carried out.
    void order(const SumoOrder &order);
    // Before the step whose end is at next, with the state showing now.
    Action plan(double next, const QString &showing);
    // After a step: what the light shows at time.
    void observe(double time, const QString &state, const QString &programme, int phase);

    SumoMode mode() const;
    int stage() const;
    bool online() const;
    bool centre() const;
    quint64 orderSequence() const;
    bool reached() const;
    bool refused() const;
    // When the stage, or the lack of one, began to show.
    double since() const;
    // Whether since() moved at the latest observe().
    bool changed() const;

    static bool isGreen(QChar signal);
    // Every signal that loses green shows amber; one green in both stays green.
    static QString amberState(const QString &showing, const QString &target);
    // Red but for the signals green in both.
    static QString allRedState(const QString &showing, const QString &target);

private:
    enum class Target { Stage, Local, Restart };
    enum class Step { Amber, AllRed };

    Action begin(const SumoOrder &order, double next, const QString &showing);
    Action change(Target target, int stage, double next, const QString &showing);
    Action finish();
    bool flashing() const;
    QString allSignals(QChar signal) const;

    QString m_programme;
    QVector<Phase> m_phases;
    QVector<int> m_stagePhases;
    int m_links = 0;
    double m_amber = 3;
    double m_allRed = 2;

    SumoMode m_mode = SumoMode::Local;
    Target m_target = Target::Local;
    int m_targetStage = 0;
    Step m_step = Step::Amber;
    double m_stepStart = 0;

    bool m_hasRequest = false;
    SumoOrder m_request;
    SumoOrder m_order;
    bool m_refused = false;
    bool m_centre = false;
    bool m_online = true;

    int m_stage = -1;
    // The stage, or what shows instead: -1 amber or red, -2 flashing, -3 dark.
    int m_showing = 0;
    QString m_state;
    double m_since = 0;
    bool m_changed = false;
};

} // namespace Helvor

#endif // HELVOR_SIGNALSEQUENCE_H
