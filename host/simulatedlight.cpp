// SPDX-License-Identifier: MIT
#include "helvor/simulatedlight.h"

#include "helvor/stage.h"
#include "request.h"
#include "response.h"

namespace Helvor {

SimulatedLight::SimulatedLight(int number, const QString &displayName, QObject *parent)
    : Light(number, displayName, parent)
{
}

SimulatedLight::~SimulatedLight() = default;

int SimulatedLight::controlSource() const
{
    return m_controlSource;
}

void SimulatedLight::setControlSource(int source)
{
    m_controlSource = source;
}

int SimulatedLight::controlAlgorithm() const
{
    return m_controlAlgorithm;
}

void SimulatedLight::setControlAlgorithm(int algorithm)
{
    m_controlAlgorithm = algorithm;
}

int SimulatedLight::keyRegime() const
{
    return m_keyRegime;
}

void SimulatedLight::setKeyRegime(int regime)
{
    m_keyRegime = regime;
}

bool SimulatedLight::isConnected() const
{
    return m_connected;
}

void SimulatedLight::setConnected(bool connected)
{
    m_connected = connected;
}

QDateTime SimulatedLight::phaseChangeTime() const
{
    return m_phaseChangeTime;
}

void SimulatedLight::setPhaseChangeTime(const QDateTime &time)
{
    m_phaseChangeTime = time;
}

QString SimulatedLight::shema() const
{
    return m_shema;
}

void SimulatedLight::setShema(const QString &shema)
{
    m_shema = shema;
}

void SimulatedLight::setDispatchControl(bool centre)
{
    m_controlSource = centre ? CentreSource : LocalSource;
    m_controlAlgorithm = centre ? CentreAlgorithm : LocalAlgorithm;
}

Stage *SimulatedLight::addStage(int id, const QString &description, const QString &shema)
{
    auto *stage = new Stage(id, description, shema, this);
    m_stages.append(stage);
    return stage;
}

QList<Stage *> SimulatedLight::stages() const
{
    return m_stages;
}

void SimulatedLight::setAcceptsCommands(bool accepts)
{
    m_acceptsCommands = accepts;
}

bool SimulatedLight::acceptsCommands() const
{
    return m_acceptsCommands;
}

QList<SimulatedLight::Call> SimulatedLight::calls() const
{
    return m_calls;
}

QList<SimulatedLight::Call> SimulatedLight::calls(const QByteArray &method) const
{
    QList<Call> result;
    for (const Call &call : m_calls) {
        if (call.method == method)
            result.append(call);
    }
    return result;
}

void SimulatedLight::clearCalls()
{
    m_calls.clear();
}

Response *SimulatedLight::lastResponse() const
{
    return m_lastResponse;
}

QList<QObject *> SimulatedLight::phases()
{
    m_calls.append({QByteArrayLiteral("phases"), {}});
    QList<QObject *> result;
    result.reserve(m_stages.size());
    for (Stage *stage : qAsConst(m_stages))
        result.append(stage);
    return result;
}

Response *SimulatedLight::sendCommand(const QVariant &command)
{
    return this->command({command});
}

Response *SimulatedLight::sendCommand(const QVariant &command, const QVariant &argument)
{
    return this->command({command, argument});
}

void SimulatedLight::setLocal()
{
    m_calls.append({QByteArrayLiteral("setLocal"), {}});
    localRequested();
}

Response *SimulatedLight::command(const QVariantList &arguments)
{
    m_calls.append({QByteArrayLiteral("sendCommand"), arguments});
    if (!m_acceptsCommands)
        return nullptr;
    const QString word = arguments.value(0).toString();
    const QVariantList rest = arguments.mid(1);
    auto *response = new Response(new Request(word, rest), this);
    m_lastResponse = response;
    commandAccepted(word, rest, response);
    return response;
}

void SimulatedLight::commandAccepted(const QString &, const QVariantList &, Response *)
{
}

void SimulatedLight::localRequested()
{
}

} // namespace Helvor
