// SPDX-License-Identifier: MIT
#include "pictures.h"

#include "land.h"
#include "road.h"
#include "scenery.h"
#include "segment.h"
#include "style.h"

#include <movementarrows.h>
#include <svgwriter.h>

#include <QStringList>

namespace {

void text(SvgWriter &svg, const QPointF &at, double size, const QString &text)
{
    svg.addText("text",
                {{"x", svg.number(at.x())},
                 {"y", svg.number(at.y())},
                 {"font-size", svg.number(size)},
                 {"font-family", QStringLiteral("DejaVu Sans, Arial, sans-serif")},
                 {"font-weight", QStringLiteral("bold")},
                 {"text-anchor", QStringLiteral("middle")},
                 {"fill", Ink}},
                text);
}

void drawLabels(SvgWriter &svg, const Layout &layout, int number)
{
    const QString label = QString::number(number);
    const double width = 10 + 9 * label.size();
    svg.rect(QRectF(3, 3, width, 19),
             {{"rx", QStringLiteral("3")},
              {"fill", QStringLiteral("#ffffff")},
              {"fill-opacity", QStringLiteral("0.9")},
              {"stroke", Ink},
              {"stroke-width", QStringLiteral("0.8")}});
    text(svg, QPointF(3 + width / 2, 18), 15, label);

    // Each letter stands beside the end of its arm, on the kerb side of the lane out.
    const QPointF places[ArmCount] = {{Centre.x() + HalfRoad + Footway + 9, 11},
                                      {Width - 11, Centre.y() - HalfRoad - Footway - 9},
                                      {Centre.x() - HalfRoad - Footway - 9, Height - 11},
                                      {11, Centre.y() + HalfRoad + Footway + 9}};
    for (int arm = 0; arm < ArmCount; ++arm) {
        if (!layout.has(arm))
            continue;
        const QPointF &at = places[arm];
        svg.circle(at, 8,
                   {{"fill", QStringLiteral("#ffffff")},
                    {"fill-opacity", QStringLiteral("0.9")},
                    {"stroke", Ink},
                    {"stroke-width", QStringLiteral("0.8")}});
        text(svg, at + QPointF(0, 4), 11, ArmLetters.at(arm));
    }
}

} // namespace

QByteArray plan(const Fleet::Junction &junction, const Layout &layout)
{
    SvgWriter svg(PictureSize, QStringLiteral("Junction %1, %2").arg(junction.number).arg(junction.name), Decimals);
    // The fleet table says nothing of rivers; a junction named a bridge gets one.
    const bool bridge = junction.name.contains(QLatin1String("Bridge"));
    svg.add("rect", {{"width", svg.number(Width)}, {"height", svg.number(Height)}, {"fill", Grass}});
    if (bridge)
        drawRiver(svg, junction.number);
    const QVector<Segment> segments = outline(layout);
    drawRoad(svg, layout, segments);
    if (bridge)
        drawParapets(svg);
    drawMarkings(svg, layout);
    drawScenery(svg, layOut(layout, bridge, junction.number));
    drawSignals(svg, layout);
    drawLabels(svg, layout, junction.number);
    return svg.finish();
}

QByteArray overlay(const Fleet::Junction &junction, const Fleet::Stage &stage, const Movements &movements)
{
    SvgWriter svg(PictureSize,
                  QStringLiteral("Junction %1, stage %2: %3").arg(junction.number).arg(stage.id).arg(stage.description),
                  Decimals);

    if (!movements.pedestrians.isEmpty()) {
        svg.begin("g", {{"fill", WalkGreen}, {"stroke", ArrowOutline}, {"stroke-width", QStringLiteral("1.5")}});
        for (const int arm : movements.pedestrians) {
            for (const QRectF &stripe : zebra(arm))
                svg.rect(stripe.adjusted(-0.5, -1, 0.5, 1));
        }
        svg.end();
    }
    if (movements.vehicles.isEmpty())
        return svg.finish();

    QStringList shafts;
    QStringList heads;
    for (const auto &movement : movements.vehicles) {
        const int from = movement.first;
        const int to = movement.second;
        const QPointF out = -inward(to);
        // Arrows start and end short of the edge, the N and S arms being short.
        const QPointF start = onArm(from, reach(from) - (from % 2 ? 50 : 15), LaneOffset);
        const QPointF tip = onArm(to, reach(to) - (to % 2 ? 40 : 9), -LaneOffset);
        const QPointF neck = tip - out * HeadLength;
        PathData path = svg.path();
        path.move(start);
        if (turn(from, to) != Turn::Straight) {
            // Along the lane in, round the corner where the lanes meet, along the lane out.
            const QPointF corner = Centre + rightOf(inward(from)) * LaneOffset + rightOf(out) * LaneOffset;
            path.line(onArm(from, HalfRoad + 4, LaneOffset)).quad(corner, onArm(to, HalfRoad + 4, -LaneOffset));
        }
        shafts.append(path.line(neck).text());
        heads.append(svg.points({tip, neck + rightOf(out) * HeadHalfWidth, neck - rightOf(out) * HeadHalfWidth}));
    }
    drawMovementArrows(svg, shafts, heads);
    return svg.finish();
}

// The panel reads the picture beside the file the controller names.
