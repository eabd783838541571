// SPDX-License-Identifier: MIT
#ifndef VORLAN_TOOLS_LAYOUT_H
#define VORLAN_TOOLS_LAYOUT_H

#include "fleet.h"
#include "geometry.h"

#include <QString>
#include <QVector>

// A junction's road as its plan shows it: the arms it has, and the lanes'
// painted arrows.
struct Layout
{
    bool arms[ArmCount] = {};
    // Exits used from each arm by any stage, for the arrows painted on its lane.
    QVector<int> exits[ArmCount];

    bool has(int arm) const
    {
        return arms[arm];
    }
    int armCount() const
    {
        return int(arms[North]) + int(arms[East]) + int(arms[South]) + int(arms[West]);
    }
};

// The layout of the junction of the fleet's table; false with a message
// when the table names an arm or a movement that is not there.
bool makeLayout(const Fleet::Junction &junction, Layout *layout, QString *error);

#endif // VORLAN_TOOLS_LAYOUT_H
