// SPDX-License-Identifier: MIT
#include "segment.h"

#include "style.h"

#include <QLineF>
#include <QtMath>

#include <cmath>

double Segment::length() const
{
    return arc ? std::abs(span) * radius : QLineF(from, to).length();
}

QPointF Segment::pointAt(double t) const
{
    if (!arc)
        return from + (to - from) * t;
    const double angle = start + span * t;
    return centre + QPointF(std::cos(angle), std::sin(angle)) * radius;
}

QPointF Segment::normalAt(double t) const
{
    if (!arc) {
        const QPointF d = unit(to - from);
        return {d.y(), -d.x()};
    }
    const double angle = start + span * t;
    return QPointF(std::cos(angle), std::sin(angle)) * (span > 0 ? 1.0 : -1.0);
}

Segment Segment::shifted(double distance) const
{
    Segment moved = *this;
    moved.from = from + normalAt(0) * distance;
    moved.to = to + normalAt(1) * distance;
    if (arc)
        moved.radius = radius + (span > 0 ? distance : -distance);
    return moved;
}

void Segment::appendTo(PathData &path) const
{
    if (arc)
        path.arc(radius, false, span > 0, to);
    else
        path.line(to);
}

QVector<Segment> outline(const Layout &layout)
{
    const double left = Centre.x() - HalfRoad;
    const double right = Centre.x() + HalfRoad;
    const double top = Centre.y() - HalfRoad;
    const double bottom = Centre.y() + HalfRoad;
    const QPointF corners[ArmCount] = {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
    const QPointF ends[ArmCount][2] = {{{left, 0}, {right, 0}},
                                       {{Width, top}, {Width, bottom}},
                                       {{right, Height}, {left, Height}},
                                       {{0, bottom}, {0, top}}};
    struct Vertex
    {
        QPointF point;
        bool rounded;
        bool edge;
    };
    QVector<Vertex> vertices;
    for (int arm = 0; arm < ArmCount; ++arm) {
        // The corner before an arm is a kerb curve where two arms meet and a
        // rounded road end where none does; beside one arm the kerb runs straight on.
        vertices.append({corners[arm], layout.has((arm + ArmCount - 1) % ArmCount) == layout.has(arm), false});
        if (layout.has(arm)) {
            vertices.append({ends[arm][0], false, true});
            vertices.append({ends[arm][1], false, true});
        }
    }

    const int count = vertices.size();
    QVector<QPointF> in(count);
    QVector<QPointF> out(count);
    QVector<Segment> curves(count);
    for (int i = 0; i < count; ++i) {
        const Vertex &vertex = vertices.at(i);
        in[i] = out[i] = vertex.point;
        if (!vertex.rounded)
            continue;
        const QPointF before = unit(vertex.point - vertices.at((i + count - 1) % count).point);
        const QPointF after = unit(vertices.at((i + 1) % count).point - vertex.point);
        in[i] = vertex.point - before * Fillet;
        out[i] = vertex.point + after * Fillet;
        Segment &curve = curves[i];
        curve.arc = true;
        curve.from = in[i];
        curve.to = out[i];
        curve.centre = vertex.point - before * Fillet + after * Fillet;
        curve.radius = Fillet;
        curve.start = std::atan2(in[i].y() - curve.centre.y(), in[i].x() - curve.centre.x());
        curve.span = (cross(before, after) > 0 ? 1 : -1) * M_PI / 2;
    }

    QVector<Segment> segments;
    for (int i = 0; i < count; ++i) {
        if (vertices.at(i).rounded)
            segments.append(curves.at(i));
        const int next = (i + 1) % count;
        Segment straight;
        straight.from = out[i];
        straight.to = in[next];
        straight.kerb = !(vertices.at(i).edge && vertices.at(next).edge);
        segments.append(straight);
    }
    return segments;
}
