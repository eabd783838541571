// SPDX-License-Identifier: MIT
#ifndef VORLAN_DEMO_FLEET_H
#define VORLAN_DEMO_FLEET_H

#include <QList>
#include <QString>

// The intersections the workstation demo watches over. The same table
// feeds the schema generator, so the pictures match the stages; it needs
// Qt Core only, so that the generator does without the host library.
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

} // namespace Fleet

#endif // VORLAN_DEMO_FLEET_H
