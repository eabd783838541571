// SPDX-License-Identifier: MIT
#ifndef VORLAN_TOOLS_ROAD_H
#define VORLAN_TOOLS_ROAD_H

#include "layout.h"
#include "segment.h"

#include <svgwriter.h>

// The road of a plan, drawn in this order: the road with its footways,
// kerbs and furniture, then its painted markings; its signals go on top
// of the scenery.
void drawRoad(SvgWriter &svg, const Layout &layout, const QVector<Segment> &segments);
void drawMarkings(SvgWriter &svg, const Layout &layout);
void drawSignals(SvgWriter &svg, const Layout &layout);

#endif // VORLAN_TOOLS_ROAD_H
