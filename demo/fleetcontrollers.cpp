// SPDX-License-Identifier: MIT
#include "fleetcontrollers.h"

#include <helvor/simulatedintersection.h>

namespace Fleet {

Helvor::SimulatedIntersection *makeIntersection(const Junction &junction, const QString &schemaFolder,
                                                const QDateTime &start, QObject *parent)
{
    QList<Helvor::SimulatedIntersection::StagePlan> programme;
    for (const Stage &stage : junction.stages)
        programme.append({stage.id, stage.description, stage.seconds, stageSchema(schemaFolder, junction, stage)});
    // Each junction its own fixed seed: every run of the demo tells the same story.
    auto *light = new Helvor::SimulatedIntersection(junction.number, junction.name, programme, start,
                                                    quint32(junction.number) * 7919u, parent);
    light->setShema(planSchema(schemaFolder, junction));
    switch (junction.quirk) {
    case Quirk::DroppingLine:
        light->setDropInterval(75);
        break;
    case Quirk::Refusing:
        light->setRefusalRate(0.4);
        break;
    case Quirk::None:
        break;
    }
    return light;
}

} // namespace Fleet
