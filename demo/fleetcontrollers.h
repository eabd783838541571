// SPDX-License-Identifier: MIT
#ifndef VORLAN_DEMO_FLEETCONTROLLERS_H
#define VORLAN_DEMO_FLEETCONTROLLERS_H

#include "fleet.h"

#include <QDateTime>

namespace Helvor {
class SimulatedIntersection;
}

class QObject;

// The fleet's junctions as the host's simulated controllers. Apart from
// the table, which the schema generator shares without the host library.
namespace Fleet {

// A simulated controller for the junction, its clock at start.
Helvor::SimulatedIntersection *makeIntersection(const Junction &junction, const QString &schemaFolder,
                                                const QDateTime &start, QObject *parent = nullptr);

} // namespace Fleet

#endif // VORLAN_DEMO_FLEETCONTROLLERS_H
