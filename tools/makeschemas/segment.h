// SPDX-License-Identifier: MIT
#ifndef VORLAN_TOOLS_SEGMENT_H
#define VORLAN_TOOLS_SEGMENT_H

#include "layout.h"

#include <pathdata.h>

#include <QPointF>
#include <QVector>

// One piece of the road's outline: a kerb, or the picture's edge where an
// arm runs out of it. The outline runs clockwise, the road on its right.
struct Segment
{
    QPointF from;
    QPointF to;
    bool kerb = true;
    bool arc = false;
    QPointF centre;
    double radius = 0;
    double start = 0;
    // Radians; positive turns clockwise on screen.
    double span = 0;

    double length() const;
    QPointF pointAt(double t) const;
    // Away from the road, towards the footway.
    QPointF normalAt(double t) const;
    Segment shifted(double distance) const;
    void appendTo(PathData &path) const;
};

// The road's outline: straight kerbs, kerb curves where arms meet, and
// the picture's edges where arms leave it.
QVector<Segment> outline(const Layout &layout);

#endif // VORLAN_TOOLS_SEGMENT_H
