// SPDX-License-Identifier: MIT
#ifndef VORLAN_TOOLS_MOVEMENTS_H
#define VORLAN_TOOLS_MOVEMENTS_H

#include "fleet.h"

#include <QString>
#include <QVector>

#include <utility>

// What a stage releases, as arms of "NESW" (see Arm).
struct Movements
{
    // From an arm to another.
    QVector<std::pair<int, int>> vehicles;
    // Crossing an arm.
    QVector<int> pedestrians;
};

// Reads the stage's movements on the junction's arms; false with a
// message when a movement names no arm of it.
bool parseMovements(const Fleet::Junction &junction, const Fleet::Stage &stage, Movements *movements, QString *error);

#endif // VORLAN_TOOLS_MOVEMENTS_H
