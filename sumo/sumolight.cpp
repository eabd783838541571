// SPDX-License-Identifier: MIT
#include "sumolight.h"

#include "sumosimulation.h"

#include <helvor/stage.h>
#include <request.h>
#include <response.h>

namespace Helvor {

SumoLight::SumoLight(SumoSimulation *simulation, int index, const SumoLightInfo &info)
    : Light(info.number, info.name, simulation)
    , m_simulation(simulation)
    , m_index(index)
{
    bind(index, info);
}

SumoLight::~SumoLight() = default;

void SumoLight::bind(int index, const SumoLightInfo &info)
{
    m_index = index;
    setNumber(info.number);
    setDisplayName(info.name);
    bool sameStages = m_stages.size() == info.stages.size();
    for (int i = 0; sameStages && i < m_stages.size(); ++i) {
        sameStages = m_stages.at(i)->description() == info.stages.at(i).description
            && m_stages.at(i)->shema() == info.stages.at(i).shema;
    }
    m_info = info;
    if (sameStages)
        return;
    qDeleteAll(m_stages);
    m_stages.clear();
    for (int i = 0; i < info.stages.size(); ++i)
        m_stages.append(new Stage(i + 1, info.stages.at(i).description, info.stages.at(i).shema, this));
}

QString SumoLight::sumoId() const
{
    return m_info.id;
}

int SumoLight::controlSource() const
{
    return m_centre ? CentreSource : LocalSource;
}

int SumoLight::controlAlgorithm() const
{
    return m_centre ? CentreAlgorithm : LocalAlgorithm;
}

int SumoLight::keyRegime() const
{
    switch (m_mode) {
    case SumoMode::Dark:
        return KeyDark;
    case SumoMode::Flashing:
    case SumoMode::Restarting:
        return KeyFlashing;
    default:
        return KeyProgramme;
    }
}

bool SumoLight::isConnected() const
{
    return m_online;
}

QDateTime SumoLight::phaseChangeTime() const
{
    return m_phaseChangeTime;
}

QString SumoLight::shema() const
{
    return m_info.shema;
}

QString SumoLight::signalState() const
{
    return m_state;
}

QString SumoLight::programme() const
{
    return m_programme;
}

int SumoLight::phase() const
{
    return m_phase;
}

SumoMode SumoLight::mode() const
{
    return m_mode;
}

QList<Stage *> SumoLight::stages() const
{
    return m_stages;
}

QStringList SumoLight::approaches(int stage) const
{
    if (stage == 0)
        return m_info.approaches;
    QStringList served;
    const QString state = stage >= 1 && stage <= m_info.stages.size() ? m_info.stages.at(stage - 1).state : QString();
    for (int i = 0; i < state.size() && i < m_info.signalApproach.size(); ++i) {
        const int approach = m_info.signalApproach.at(i);
        const bool green = state.at(i) == QLatin1Char('G') || state.at(i) == QLatin1Char('g');
        if (green && approach >= 0 && !served.contains(m_info.approaches.at(approach)))
            served.append(m_info.approaches.at(approach));
    }
    return served;
}

QVector<int> SumoLight::halting() const
{
    return m_halting;
}

int SumoLight::halting(const QString &approach) const
{
    return m_halting.value(m_info.approaches.indexOf(approach));
}

QList<QObject *> SumoLight::phases()
{
    QList<QObject *> result;
    result.reserve(m_stages.size());
    for (Stage *stage : qAsConst(m_stages))
        result.append(stage);
    return result;
}

Response *SumoLight::sendCommand(const QVariant &command)
{
    return this->command({command});
}

Response *SumoLight::sendCommand(const QVariant &command, const QVariant &argument)
{
    return this->command({command, argument});
}

Response *SumoLight::command(const QVariantList &arguments)
{
    // A device off line hears nothing, and refuses what it does not know.
    if (!m_online)
        return nullptr;
    const QString word = arguments.value(0).toString();
    SumoOrder order;
    order.light = m_index;
    if (word == QLatin1String("set_phase")) {
        bool ok = false;
        order.kind = SumoOrder::Stage;
        order.stage = arguments.value(1).toInt(&ok);
        if (!ok || order.stage < 1 || order.stage > m_stages.size())
            return nullptr;
    } else if (word == QLatin1String("set_yf")) {
        order.kind = SumoOrder::Flashing;
    } else if (word == QLatin1String("set_os")) {
        order.kind = SumoOrder::Dark;
    } else if (word == QLatin1String("set_start")) {
        order.kind = SumoOrder::Restart;
    } else {
        return nullptr;
    }
    // A new order replaces the one under way, which is then not carried out.
    finishPending(Refused);
    order.sequence = ++m_sequence;
    auto *response = new Response(new Request(word, arguments.mid(1)), this);
    m_pending = response;
    m_pendingSequence = order.sequence;
    m_simulation->order(order);
    return response;
}

void SumoLight::setLocal()
{
    finishPending(Refused);
    SumoOrder order;
    order.light = m_index;
    order.kind = SumoOrder::Local;
    order.sequence = ++m_sequence;
    m_simulation->order(order);
}

void SumoLight::update(const SumoLightState &state)
{
    const int stage = state.online ? state.stage : -1;
    const QDateTime since = QDateTime::fromMSecsSinceEpoch(state.sinceWall);
    const bool changed = stage != currentStage() || state.mode != m_mode || state.online != m_online
        || state.centre != m_centre || since != m_phaseChangeTime;
    const bool traffic = state.halting != m_halting;
    m_state = state.state;
    m_programme = state.programme;
    m_phase = state.phase;
    m_mode = state.mode;
    m_online = state.online;
    m_centre = state.centre;
    m_phaseChangeTime = since;
    m_halting = state.halting;
    setCurrentStage(stage);

    // The host may do anything in its slots, this light's end included.
    const QPointer<SumoLight> self(this);
    if (changed)
        Q_EMIT stateChanged();
    if (self && traffic)
        Q_EMIT trafficChanged();
    // Answered once the state that shows it has been told.
    if (self && m_pending && state.order == m_pendingSequence) {
        if (state.refused)
            finishPending(Refused);
        else if (state.reached)
            finishPending(Response::Success);
    }
}

void SumoLight::setOffline()
{
    const bool changed = m_online || m_centre || currentStage() >= 0;
    m_online = false;
    m_centre = false;
    m_mode = SumoMode::Local;
    m_state.clear();
    m_programme.clear();
    setCurrentStage(-1);
    const QPointer<SumoLight> self(this);
    if (changed)
        Q_EMIT stateChanged();
    if (self)
        finishPending(NoAnswer);
}

void SumoLight::finishPending(int code)
{
    const QPointer<Response> response = m_pending;
    m_pending.clear();
    if (!response)
        return;
    response->finish(code);
    // The host keeps no answer once it has been given.
    if (response)
        response->deleteLater();
}

} // namespace Helvor
