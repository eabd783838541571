// SPDX-License-Identifier: MIT
#ifndef VORLAN_DEMO_FLEET_H
#define VORLAN_DEMO_FLEET_H

#include <QDateTime>
#include <QList>
#include <QString>

namespace Helvor {
class SimulatedIntersection;
}

class QObject;

// The intersections the workstation demo watches over. The same table
// feeds the schema generator, so the pictures match the stages.
namespace Fleet {

struct Stage
{
    int id;
    QString description;
    int seconds;
    // Movements released, separated by blanks: "NS" is from the north arm
    // straight on to the south, "NE" a turn, "pN" pedestrians crossing
    // the north arm.
    QString movements;
};

enum class Quirk { None, DroppingLine, Refusing };

struct Junction
{
    int number;
    QString name;
    // The arms the junction has, of "NESW".
    QString arms;
    QList<Stage> stages;
    Quirk quirk = Quirk::None;
};

QList<Junction> junctions();

// Schema file names; the pictures are the ".svg" files beside them.
QString planSchema(const QString &folder, const Junction &junction);
QString stageSchema(const QString &folder, const Junction &junction, const Stage &stage);

// A simulated controller for the junction, its clock at start.
Helvor::SimulatedIntersection *makeIntersection(const Junction &junction, const QString &schemaFolder,
                                                const QDateTime &start, QObject *parent = nullptr);

} // namespace Fleet

#endif // VORLAN_DEMO_FLEET_H
