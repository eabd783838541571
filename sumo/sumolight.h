// SPDX-License-Identifier: MIT
#ifndef HELVOR_SUMOLIGHT_H
#define HELVOR_SUMOLIGHT_H

#include "sumodata.h"

#include <helvor/light.h>

#include <QDateTime>
#include <QList>
#include <QPointer>
#include <QVariantList>

class Response;

namespace Helvor {

class SumoSimulation;
class Stage;

// One traffic light of a SUMO simulation, as the host sees a field
// device: its stages are the green phases of the light's own programme,
// and the centre's orders reach the signals through amber and all-red.
// It lives on the GUI thread and knows the light from the snapshots the
// simulation hands it.
class SumoLight : public Light
{
    Q_OBJECT
    Q_PROPERTY(int controlSource READ controlSource)
    Q_PROPERTY(int controlAlgorithm READ controlAlgorithm)
    Q_PROPERTY(int keyRegime READ keyRegime)
    Q_PROPERTY(bool isConnected READ isConnected)
    Q_PROPERTY(QDateTime phaseChangeTime READ phaseChangeTime)
    Q_PROPERTY(QString shema READ shema)
    Q_PROPERTY(QString sumoId READ sumoId)

public:
    enum : int { LocalSource = 1, CentreSource = 3, LocalAlgorithm = 1, CentreAlgorithm = 0 };
    enum : int { KeyDark = 0, KeyProgramme = 1, KeyFlashing = 2 };
    // Codes a device answers with besides success: an order it did not
    // carry out, and one it could not hear.
    enum : int { Refused = 0x1203, NoAnswer = 0x1204 };

    ~SumoLight() override;

    QString sumoId() const;
    int controlSource() const;
    int controlAlgorithm() const;
    int keyRegime() const;
    bool isConnected() const;
    QDateTime phaseChangeTime() const;
    QString shema() const;

    // SUMO's signal state, one character per signal, its programme and
    // phase, and how it is driven.
    QString signalState() const;
    QString programme() const;
    int phase() const;
    SumoMode mode() const;
    QList<Stage *> stages() const;

    // The edges the light's vehicles come from; with a stage, those it lets go.
    QStringList approaches(int stage = 0) const;
    // Vehicles standing on each approach, in the order of approaches().
    QVector<int> halting() const;
    int halting(const QString &approach) const;

    Q_INVOKABLE QList<QObject *> phases();
    Q_INVOKABLE Response *sendCommand(const QVariant &command);
    Q_INVOKABLE Response *sendCommand(const QVariant &command, const QVariant &argument);
    Q_INVOKABLE void setLocal();

Q_SIGNALS:
    // The halting numbers changed; they are not part of stateChanged().
    void trafficChanged();

private:
    friend class SumoSimulation;

    SumoLight(SumoSimulation *simulation, int index, const SumoLightInfo &info);
    // Takes the light's place in a new run.
    void bind(int index, const SumoLightInfo &info);
    void update(const SumoLightState &state);
    void setOffline();

    Response *command(const QVariantList &arguments);
    void finishPending(int code);

    SumoSimulation *m_simulation;
    int m_index;
    SumoLightInfo m_info;
    QList<Stage *> m_stages;

    QString m_state;
    QString m_programme;
    int m_phase = 0;
    SumoMode m_mode = SumoMode::Local;
    bool m_online = false;
    bool m_centre = false;
    QDateTime m_phaseChangeTime;
    QVector<int> m_halting;

    quint64 m_sequence = 0;
    QPointer<Response> m_pending;
    quint64 m_pendingSequence = 0;
};

} // namespace Helvor

#endif // HELVOR_SUMOLIGHT_H
