// SPDX-License-Identifier: MIT
#ifndef HELVOR_JUNCTIONPICTURES_H
#define HELVOR_JUNCTIONPICTURES_H

#include <QByteArray>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <QVector>

namespace Helvor {

// The pictures of one traffic light, drawn from SUMO's own geometry: a
// plan of the junction, and for each stage an overlay of the movements it
// lets go. The panel draws the plan and then the overlay onto a 200 x 125
// icon, so both share one view box of that shape over the junction's
// surroundings. Coordinates are SUMO's metres, y turned to point down.
class JunctionPictures
{
public:
    struct Lane
    {
        enum Kind { Road, Footway, Crossing, WalkingArea };
        QPolygonF shape;
        double width = 3.2;
        Kind kind = Road;
        // A lane that vehicles leave the junction from stops at a line.
        bool approach = false;
    };

    // One controlled link: the way through the junction from the stop line
    // on, or the crossing a pedestrian signal guards.
    struct Link
    {
        QPolygonF path;
        bool crossing = false;
        double width = 0;
    };

    struct Plan
    {
        QVector<QPolygonF> junctions;
        QVector<Lane> lanes;
        // By link index; a link index may stand for several links.
        QVector<QVector<Link>> links;
    };

    explicit JunctionPictures(const Plan &plan);

    // The first and the last length metres of a line.
    static QPolygonF head(const QPolygonF &line, double length);
    static QPolygonF tail(const QPolygonF &line, double length);

    // The area drawn, in SUMO's coordinates.
    QRectF area() const;

    QByteArray plan(const QString &title) const;
    // The movements green in state, one signal per link index.
    QByteArray stage(const QString &state, const QString &title) const;

private:
    QString point(const QPointF &p) const;
    QString points(const QPolygonF &shape) const;

    Plan m_plan;
    QRectF m_area;
};

} // namespace Helvor

#endif // HELVOR_JUNCTIONPICTURES_H
