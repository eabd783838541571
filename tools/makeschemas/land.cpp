// SPDX-License-Identifier: MIT
#include "land.h"

#include "dice.h"
#include "style.h"

#include <QLineF>
#include <QSizeF>

#include <cmath>

void drawRiver(SvgWriter &svg, int seed)
{
    const QRectF bed = riverBed();
    Dice dice{quint32(seed)};
    const double phase = dice.between(0, 6);
    PathData water = svg.path();
    // Banks that wander a little, as a river's do.
    water.move(QPointF(bed.left() + 12 + 5 * std::sin(-10 / 37.0 + phase), -10));
    for (double y = 0; y <= Height + 10; y += 10)
        water.line(QPointF(bed.left() + 12 + 5 * std::sin(y / 37 + phase), y));
    for (double y = Height + 10; y >= -10; y -= 10)
        water.line(QPointF(bed.right() - 12 + 4 * std::sin(y / 29 + phase + 1), y));
    svg.add("path",
            {{"d", water.close().text()},
             {"fill", Water},
             {"stroke", QStringLiteral("#6f9f57")},
             {"stroke-width", QStringLiteral("3")}});
    svg.begin("g",
              {{"fill", QStringLiteral("none")},
               {"stroke", QStringLiteral("#d5ecf8")},
               {"stroke-width", QStringLiteral("1")}});
    for (int i = 0; i < 14; ++i) {
        const QPointF at(dice.between(bed.left() + 24, bed.right() - 30), dice.between(4, Height - 4));
        if (std::abs(at.y() - Centre.y()) < HalfRoad + Footway + 6)
            continue;
        svg.add("path", {{"d", svg.path().move(at).quad(at + QPointF(4, -2.5), at + QPointF(8, 0)).text()}});
    }
    svg.end();
}

void drawParapets(SvgWriter &svg)
{
    const QRectF bed = riverBed();
    svg.begin("g",
              {{"fill", QStringLiteral("#8d8a84")},
               {"stroke", QStringLiteral("#4d4b47")},
               {"stroke-width", QStringLiteral("0.8")}});
    for (const double y : {Centre.y() - HalfRoad - Footway - 3, Centre.y() + HalfRoad + Footway})
        svg.rect(QRectF(bed.left() + 4, y, bed.width() - 8, 3));
    svg.end();
}

void drawScenery(SvgWriter &svg, const Scenery &scenery)
{
    static const QString cars[6] = {QStringLiteral("#c62828"), QStringLiteral("#1565c0"), QStringLiteral("#eeeeee"),
                                    QStringLiteral("#37474f"), QStringLiteral("#f9a825"), QStringLiteral("#6a1b9a")};
    static const QString roofs[4] = {QStringLiteral("#c0765a"), QStringLiteral("#a8553d"), QStringLiteral("#8f8f96"),
                                     QStringLiteral("#b98a62")};

    for (const CarPark &park : scenery.carParks) {
        svg.rect(park.rect,
                 {{"fill", QStringLiteral("#8a8d91")},
                  {"stroke", QStringLiteral("#6c6f73")},
                  {"stroke-width", QStringLiteral("1")}});
        svg.begin("g", {{"stroke", QStringLiteral("#e9e9e9")}, {"stroke-width", QStringLiteral("0.8")}});
        for (const QLineF &bay : park.bays)
            svg.line(bay.p1(), bay.p2());
        svg.end();
        svg.begin("g", {{"stroke", QStringLiteral("#222222")}, {"stroke-width", QStringLiteral("0.5")}});
        for (const Car &car : park.cars) {
            svg.rect(car.rect, {{"rx", QStringLiteral("1.5")}, {"fill", cars[car.colour % 6]}});
        }
        svg.end();
    }

    for (const Building &building : scenery.buildings) {
        const QRectF &r = building.rect;
        svg.begin("g");
        if (!building.walk.isEmpty())
            svg.rect(building.walk, {{"fill", Paving}});
        svg.rect(r.translated(3, 3), {{"fill", QStringLiteral("#000000")}, {"fill-opacity", QStringLiteral("0.18")}});
        const QString fill = building.flat ? QStringLiteral("#b9bcc0") : roofs[building.colour % 4];
        svg.rect(r, {{"fill", fill}, {"stroke", QStringLiteral("#4a3b33")}, {"stroke-width", QStringLiteral("1")}});
        if (building.flat) {
            // Parapet and plant make a flat roof read as one.
            svg.rect(QRectF(r.x() + 3, r.y() + 3, r.width() - 6, r.height() - 6),
                     {{"fill", QStringLiteral("none")},
                      {"stroke", QStringLiteral("#8e9296")},
                      {"stroke-width", QStringLiteral("1")}});
            const QPointF unitAt = r.center() + QPointF(r.width() / 6, -r.height() / 8);
            svg.rect(QRectF(unitAt, QSizeF(10, 7)),
                     {{"fill", QStringLiteral("#9ea2a6")},
                      {"stroke", QStringLiteral("#6d7175")},
                      {"stroke-width", QStringLiteral("0.8")}});
        } else {
            // Ridge and hips make a pitched roof read as one, even at icon size.
            const bool wide = r.width() >= r.height();
            const double half = (wide ? r.height() : r.width()) / 2;
            const QPointF a = wide ? QPointF(r.left() + half, r.center().y()) : QPointF(r.center().x(), r.top() + half);
            const QPointF b =
                wide ? QPointF(r.right() - half, r.center().y()) : QPointF(r.center().x(), r.bottom() - half);
            PathData hips = svg.path();
            hips.move(r.topLeft()).line(a).line(wide ? r.bottomLeft() : r.topRight());
            hips.move(wide ? r.topRight() : r.bottomLeft()).line(b).line(r.bottomRight());
            svg.add("path",
                    {{"d", hips.text()},
                     {"fill", QStringLiteral("none")},
                     {"stroke", QStringLiteral("#5e4438")},
                     {"stroke-width", QStringLiteral("0.8")}});
            svg.add("path",
                    {{"d", svg.path().move(a).line(b).text()},
                     {"fill", QStringLiteral("none")},
                     {"stroke", QStringLiteral("#5e4438")},
                     {"stroke-width", QStringLiteral("1.2")}});
        }
        svg.end();
    }

    svg.begin("g", {{"fill", QStringLiteral("#000000")}, {"fill-opacity", QStringLiteral("0.2")}});
    for (const Tree &tree : scenery.trees)
        svg.circle(tree.centre + QPointF(2, 2), tree.radius);
    svg.end();
    svg.begin("g", {{"stroke", QStringLiteral("#2f5a23")}, {"stroke-width", QStringLiteral("0.8")}});
    for (const Tree &tree : scenery.trees) {
        svg.circle(tree.centre, tree.radius, {{"fill", QStringLiteral("#4e8c3a")}});
        const QPointF light = tree.centre - QPointF(tree.radius, tree.radius) * 0.3;
        svg.circle(light, tree.radius * 0.45,
                   {{"fill", QStringLiteral("#6cae52")}, {"stroke", QStringLiteral("none")}});
    }
    svg.end();
}
