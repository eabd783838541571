// SPDX-License-Identifier: MIT
#include "signalsequence.h"

#include <QtGlobal>

namespace Helvor {

namespace {

// Steps fall on multiples of the step length; a sum of them may miss by a little.
constexpr double slack = 1e-6;

bool hasAmber(const QString &state)
{
    return state.contains(QLatin1Char('y')) || state.contains(QLatin1Char('Y'));
}

bool hasGreen(const QString &state)
{
    for (const QChar signal : state) {
        if (SignalSequence::isGreen(signal))
            return true;
    }
    return false;
}

} // namespace

SignalSequence::SignalSequence(const QString &programme, const QVector<Phase> &phases)
    : m_programme(programme)
    , m_phases(phases)
    , m_stagePhases(stagePhases(phases))
    , m_links(phases.isEmpty() ? 0 : phases.first().state.size())
{
    // The centre's changes take no less time than the programme's own: a
    // longer all-red is there to clear a crossing.
    double allRed = 0;
    for (int i = 0; i < m_phases.size(); ++i) {
        const Phase &phase = m_phases.at(i);
        if (hasAmber(phase.state)) {
            m_amber = qMax(m_amber, phase.duration);
        } else if (stageOf(i) == 0 && hasAmber(m_phases.at((i + m_phases.size() - 1) % m_phases.size()).state)) {
            allRed = qMax(allRed, phase.duration);
        }
    }
    if (allRed > 0)
        m_allRed = qMax(1.0, allRed);
}

QVector<int> SignalSequence::stagePhases(const QVector<Phase> &phases)
{
    QVector<int> named;
    QVector<int> green;
    for (int i = 0; i < phases.size(); ++i) {
        if (!phases.at(i).name.isEmpty())
            named.append(i);
        if (hasGreen(phases.at(i).state) && !hasAmber(phases.at(i).state))
            green.append(i);
    }
    return named.isEmpty() ? green : named;
}

int SignalSequence::stagePhase(int stage) const
{
    return stage >= 1 && stage <= m_stagePhases.size() ? m_stagePhases.at(stage - 1) : -1;
}

int SignalSequence::stageOf(int phase) const
{
    return m_stagePhases.indexOf(phase) + 1;
}

int SignalSequence::stagePhaseAfter(int phase) const
{
    for (const int stage : m_stagePhases) {
        if (stage > phase)
            return stage;
    }
    return m_stagePhases.value(0, 0);
}

int SignalSequence::stageCount() const
{
    return m_stagePhases.size();
}

QString SignalSequence::programme() const
{
    return m_programme;
}

double SignalSequence::amberSeconds() const
{
    return m_amber;
}

double SignalSequence::allRedSeconds() const
{
    return m_allRed;
}

void SignalSequence::order(const SumoOrder &order)
{
    m_request = order;
    m_hasRequest = true;
}

SignalSequence::Action SignalSequence::plan(double next, const QString &showing)
{
    if (m_hasRequest) {
        m_hasRequest = false;
        const Action action = begin(m_request, next, showing);
        if (action.kind != Action::None)
            return action;
    }
    switch (m_mode) {
    case SumoMode::Changing:
        if (m_step == Step::Amber && next - m_stepStart >= m_amber - slack) {
            m_step = Step::AllRed;
            m_stepStart = next;
            const QString target = m_target == Target::Stage ? m_phases.at(stagePhase(m_targetStage)).state : QString();
            return {Action::Show, allRedState(showing, target), -1};
        }
        if (m_step == Step::AllRed && next - m_stepStart >= m_allRed - slack)
            return finish();
        break;
    case SumoMode::Restarting:
        if (next - m_stepStart >= restartSeconds - slack) {
            // Back on line, it switches on as from dark: amber, all-red, the programme.
            m_online = true;
            return change(Target::Restart, 0, next, showing);
        }
        break;
    default:
        break;
    }
    return {};
}

SignalSequence::Action SignalSequence::begin(const SumoOrder &order, double next, const QString &showing)
{
    // A restarting device hears nothing until it is back.
    if (m_mode == SumoMode::Restarting || (m_mode == SumoMode::Changing && m_target == Target::Restart)) {
        if (order.kind != SumoOrder::Local) {
            m_order = order;
            m_refused = true;
        }
        return {};
    }
    if (order.kind == SumoOrder::Local) {
        m_centre = false;
        switch (m_mode) {
        case SumoMode::Local:
            return {};
        case SumoMode::Held:
            // The programme's own amber and all-red follow its stage.
            m_mode = SumoMode::Local;
            return {Action::Release, QString(), -1};
        default:
            return change(Target::Local, 0, next, showing);
        }
    }

    m_order = order;
    m_refused = false;
    m_centre = true;
    switch (order.kind) {
    case SumoOrder::Stage:
        if (stagePhase(order.stage) < 0) {
            m_refused = true;
            return {};
        }
        if ((m_mode == SumoMode::Local || m_mode == SumoMode::Held) && m_stage == order.stage) {
            m_mode = SumoMode::Held;
            return {Action::Hold, QString(), stagePhase(order.stage)};
        }
        if (m_mode == SumoMode::Changing && m_target == Target::Stage && m_targetStage == order.stage)
            return {};
        return change(Target::Stage, order.stage, next, showing);
    case SumoOrder::Flashing:
        m_mode = SumoMode::Flashing;
        return {Action::Show, allSignals(QLatin1Char('o')), -1};
    case SumoOrder::Dark:
        m_mode = SumoMode::Dark;
        return {Action::Show, allSignals(QLatin1Char('O')), -1};
    case SumoOrder::Restart:
        m_mode = SumoMode::Restarting;
        m_online = false;
        m_stepStart = next;
        return {Action::Show, allSignals(QLatin1Char('o')), -1};
    case SumoOrder::Local:
        break;
    }
    return {};
}

SignalSequence::Action SignalSequence::change(Target target, int stage, double next, const QString &showing)
{
    m_mode = SumoMode::Changing;
    m_target = target;
    m_targetStage = stage;
    m_stepStart = next;
    const QString targetState = target == Target::Stage ? m_phases.at(stagePhase(stage)).state : QString();
    const QString amber = amberState(showing, targetState);
    if (hasAmber(amber)) {
        m_step = Step::Amber;
        return {Action::Show, amber, -1};
    }
    // Nothing loses green: red, for as long as after an amber.
    m_step = Step::AllRed;
    return {Action::Show, allRedState(showing, targetState), -1};
}

SignalSequence::Action SignalSequence::finish()
{
    switch (m_target) {
    case Target::Stage:
        m_mode = SumoMode::Held;
        return {Action::Hold, QString(), stagePhase(m_targetStage)};
    case Target::Local:
        m_mode = SumoMode::Local;
        return {Action::Resume, QString(), -1};
    case Target::Restart:
        m_mode = SumoMode::Local;
        m_centre = false;
        return {Action::Restart, QString(), 0};
    }
    return {};
}

void SignalSequence::observe(double time, const QString &state, const QString &programme, int phase)
{
    m_state = state;
    const int stage = programme == m_programme ? stageOf(phase) : 0;
    m_stage = stage > 0 ? stage : -1;
    // The panel counts from here: a new stage, or a new way of showing none.
    const int showing = m_stage > 0 ? m_stage : m_mode == SumoMode::Dark ? -3 : flashing() ? -2 : -1;
    m_changed = showing != m_showing;
    if (m_changed)
        m_since = time;
    m_showing = showing;
}

SumoMode SignalSequence::mode() const
{
    return m_mode;
}

int SignalSequence::stage() const
{
    return m_stage;
}

bool SignalSequence::online() const
{
    return m_online;
}

bool SignalSequence::centre() const
{
    return m_centre;
}

quint64 SignalSequence::orderSequence() const
{
    return m_order.sequence;
}

bool SignalSequence::reached() const
{
    if (m_refused)
        return false;
    switch (m_order.kind) {
    case SumoOrder::Stage:
        return m_mode == SumoMode::Held && m_stage == m_order.stage;
    case SumoOrder::Flashing:
        return m_mode == SumoMode::Flashing && m_state == allSignals(QLatin1Char('o'));
    case SumoOrder::Dark:
        return m_mode == SumoMode::Dark && m_state == allSignals(QLatin1Char('O'));
    case SumoOrder::Restart:
    case SumoOrder::Local:
        return true;
    }
    return false;
}

bool SignalSequence::refused() const
{
    return m_refused;
}

double SignalSequence::since() const
{
    return m_since;
}

bool SignalSequence::changed() const
{
    return m_changed;
}

bool SignalSequence::isGreen(QChar signal)
{
    return signal == QLatin1Char('G') || signal == QLatin1Char('g');
}

QString SignalSequence::amberState(const QString &showing, const QString &target)
{
    QString state(showing.size(), QLatin1Char('r'));
    for (int i = 0; i < showing.size(); ++i) {
        const QChar now = showing.at(i);
        if (isGreen(now) && i < target.size() && isGreen(target.at(i)))
            state[i] = now;
        // Amber goes on; flashing and dark come on as steady amber first.
        else if (isGreen(now) || now == QLatin1Char('y') || now == QLatin1Char('Y') || now == QLatin1Char('o')
                 || now == QLatin1Char('O'))
            state[i] = QLatin1Char('y');
    }
    return state;
}

QString SignalSequence::allRedState(const QString &showing, const QString &target)
{
    QString state(showing.size(), QLatin1Char('r'));
    for (int i = 0; i < showing.size(); ++i) {
        if (isGreen(showing.at(i)) && i < target.size() && isGreen(target.at(i)))
            state[i] = showing.at(i);
    }
    return state;
}

bool SignalSequence::flashing() const
{
    return m_mode == SumoMode::Flashing || m_mode == SumoMode::Restarting;
}

QString SignalSequence::allSignals(QChar signal) const
{
    return QString(m_links, signal);
}

} // namespace Helvor
