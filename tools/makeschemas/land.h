// SPDX-License-Identifier: MIT
#ifndef VORLAN_TOOLS_LAND_H
#define VORLAN_TOOLS_LAND_H

#include "scenery.h"

#include <svgwriter.h>

// The land beside the road: a river under a bridge, the bridge's
// parapets, and the scenery laid out around the junction.
void drawRiver(SvgWriter &svg, int seed);
void drawParapets(SvgWriter &svg);
void drawScenery(SvgWriter &svg, const Scenery &scenery);

#endif // VORLAN_TOOLS_LAND_H
