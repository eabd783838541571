// SPDX-License-Identifier: MIT
#ifndef HELVOR_SIMULATEDLIGHT_H
#define HELVOR_SIMULATEDLIGHT_H

#include "helvor/light.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPointer>
#include <QVariantList>

class Response;

namespace Helvor {

class Stage;

// A controller without a device behind it. It answers the calls a panel
// makes, keeps a record of each one, and lets its owner set every state
// value directly. Responses stay open until the owner finishes them.
class SimulatedLight : public Light
{
    Q_OBJECT
    Q_PROPERTY(int controlSource READ controlSource WRITE setControlSource)
    Q_PROPERTY(int controlAlgorithm READ controlAlgorithm WRITE setControlAlgorithm)
    Q_PROPERTY(int keyRegime READ keyRegime WRITE setKeyRegime)
    Q_PROPERTY(bool isConnected READ isConnected WRITE setConnected)
    Q_PROPERTY(QDateTime phaseChangeTime READ phaseChangeTime WRITE setPhaseChangeTime)
    Q_PROPERTY(QString shema READ shema WRITE setShema)

public:
    // One call received from a client, with its arguments as they came.
    struct Call
    {
        QByteArray method;
        QVariantList arguments;
    };

    // Control source and algorithms that mean "dispatch control by the centre".
    enum : int { CentreSource = 3, LocalSource = 1, CentreAlgorithm = 255, LocalAlgorithm = 1 };

    explicit SimulatedLight(int number, const QString &displayName = QString(), QObject *parent = nullptr);
    ~SimulatedLight() override;

    int controlSource() const;
    void setControlSource(int source);
    int controlAlgorithm() const;
    void setControlAlgorithm(int algorithm);
    int keyRegime() const;
    void setKeyRegime(int regime);
    bool isConnected() const;
    void setConnected(bool connected);
    QDateTime phaseChangeTime() const;
    void setPhaseChangeTime(const QDateTime &time);
    QString shema() const;
    void setShema(const QString &shema);

    // Sets control source and algorithm as the device reports them.
    void setDispatchControl(bool centre);

    Stage *addStage(int id, const QString &description, const QString &shema = QString());
    QList<Stage *> stages() const;

    // When off, sendCommand refuses with a null response.
    void setAcceptsCommands(bool accepts);
    bool acceptsCommands() const;

    QList<Call> calls() const;
    // Calls of one method only, e.g. "sendCommand".
    QList<Call> calls(const QByteArray &method) const;
    void clearCalls();

    // The response handed out by the latest accepted sendCommand.
    Response *lastResponse() const;

    Q_INVOKABLE QList<QObject *> phases();
    Q_INVOKABLE Response *sendCommand(const QVariant &command);
    Q_INVOKABLE Response *sendCommand(const QVariant &command, const QVariant &argument);
    Q_INVOKABLE void setLocal();

protected:
    // Called for every accepted command after it has been recorded;
    // the response is already made. Subclasses make the device act on it.
    virtual void commandAccepted(const QString &command, const QVariantList &arguments, Response *response);
    // Called for every "setLocal" after it has been recorded.
    virtual void localRequested();

private:
    Response *command(const QVariantList &arguments);

    int m_controlSource = LocalSource;
    int m_controlAlgorithm = LocalAlgorithm;
    int m_keyRegime = 1;
    bool m_connected = true;
    QDateTime m_phaseChangeTime;
    QString m_shema;
    QList<Stage *> m_stages;
    bool m_acceptsCommands = true;
    QList<Call> m_calls;
    QPointer<Response> m_lastResponse;
};

} // namespace Helvor

#endif // HELVOR_SIMULATEDLIGHT_H
