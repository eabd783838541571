// SPDX-License-Identifier: MIT
#ifndef HELVOR_SUMODATA_H
#define HELVOR_SUMODATA_H

#include <QMetaType>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QVector>

namespace Helvor {

// What the worker thread learns of one traffic light when the simulation
// starts, and hands to the GUI thread by value.
struct SumoStageInfo
{
    // Index of the stage's phase in the light's local programme.
    int phase = 0;
    QString description;
    QString state;
    // The stage's picture, as a controller names it (a .wmf beside its .svg).
    QString shema;
};

struct SumoLightInfo
{
    QString id;
    int number = 0;
    QString name;
    // The junction plan, as a controller names it.
    QString shema;
    QVector<SumoStageInfo> stages;
    // The edges whose vehicles the light stops, in the order of halting
    // numbers, and the approach of each signal (-1 for a pedestrian's).
    QStringList approaches;
    QVector<int> signalApproach;
};

struct SumoNetwork
{
    QString scenario;
    double stepLength = 1;
    QVector<SumoLightInfo> lights;
};

// How a light is driven, as the worker reports it.
enum class SumoMode { Local, Changing, Held, Flashing, Dark, Restarting };

struct SumoLightState
{
    QString state;
    // SUMO's programme running and its phase: "online" while the state is set from here.
    QString programme;
    int phase = 0;
    // Stage showing, numbered from 1; negative while none does.
    int stage = -1;
    SumoMode mode = SumoMode::Local;
    bool online = true;
    // Driven by the centre's orders rather than by its own programme.
    bool centre = false;
    // The latest order, whether what it asked for shows, or whether it was
    // not taken at all.
    quint64 order = 0;
    bool reached = false;
    bool refused = false;
    // Since when the stage (or the lack of one) has been showing.
    double since = 0;
    qint64 sinceWall = 0;
    QVector<int> halting;
};

struct SumoSnapshot
{
    double time = 0;
    qint64 wall = 0;
    QVector<SumoLightState> lights;
    QVector<QPointF> vehicles;
};

// One command for one light, from the GUI thread to the worker.
struct SumoOrder
{
    enum Kind { Stage, Flashing, Dark, Restart, Local };
    int light = 0;
    Kind kind = Local;
    int stage = 0;
    quint64 sequence = 0;
};

} // namespace Helvor

Q_DECLARE_METATYPE(Helvor::SumoNetwork)
Q_DECLARE_METATYPE(Helvor::SumoSnapshot)
Q_DECLARE_METATYPE(Helvor::SumoOrder)

#endif // HELVOR_SUMODATA_H
