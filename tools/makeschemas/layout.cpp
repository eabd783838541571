// SPDX-License-Identifier: MIT
#include "layout.h"

#include "movements.h"

bool makeLayout(const Fleet::Junction &junction, Layout *layout, QString *error)
{
    for (const QChar arm : junction.arms) {
        const int index = ArmLetters.indexOf(arm);
        if (index < 0) {
            *error = QStringLiteral("junction %1: no arm \"%2\"").arg(junction.number).arg(arm);
            return false;
        }
        layout->arms[index] = true;
    }
    for (const Fleet::Stage &stage : junction.stages) {
        Movements movements;
        if (!parseMovements(junction, stage, &movements, error))
            return false;
        for (const auto &movement : qAsConst(movements.vehicles)) {
            if (!layout->exits[movement.first].contains(movement.second))
                layout->exits[movement.first].append(movement.second);
        }
    }
    return true;
}
