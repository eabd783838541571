// SPDX-License-Identifier: MIT
#ifndef VORLAN_TOOLS_MOVEMENTARROWS_H
#define VORLAN_TOOLS_MOVEMENTARROWS_H

#include "svgwriter.h"

#include <QString>
#include <QStringList>

// The arrows' outline, which the demo's crossings for pedestrians share.
inline const QString ArrowOutline = QStringLiteral("#0a3314");

// The movement arrows of a stage picture, as the demo's and the
// benchmark's are drawn: green on a dark outline that keeps them apart
// from any plan. The outlines all go first, so that arrows that share a
// lane merge into one shape.
// shafts: the arrows' paths ("d"); heads: their heads' polygons ("points").
void drawMovementArrows(SvgWriter &svg, const QStringList &shafts, const QStringList &heads);

#endif // VORLAN_TOOLS_MOVEMENTARROWS_H
