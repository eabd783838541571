// SPDX-License-Identifier: MIT
#include "movements.h"

#include "geometry.h"

#include <QStringList>

bool parseMovements(const Fleet::Junction &junction, const Fleet::Stage &stage, Movements *movements, QString *error)
{
    const QStringList words = stage.movements.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &word : words) {
        const bool walkers = word.size() == 2 && word.at(0) == QLatin1Char('p');
        const int from = word.size() == 2 ? junction.arms.indexOf(word.at(walkers ? 1 : 0)) : -1;
        const int to = word.size() == 2 && !walkers ? junction.arms.indexOf(word.at(1)) : -1;
        if (from < 0 || (!walkers && (to < 0 || from == to))) {
            *error = QStringLiteral("junction %1, stage %2: no movement \"%3\" on arms %4")
                         .arg(junction.number)
                         .arg(stage.id)
                         .arg(word, junction.arms);
            return false;
        }
        const int fromArm = ArmLetters.indexOf(junction.arms.at(from));
        if (walkers)
            movements->pedestrians.append(fromArm);
        else
            movements->vehicles.append({fromArm, int(ArmLetters.indexOf(junction.arms.at(to)))});
    }
    return true;
}
