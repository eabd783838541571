// SPDX-License-Identifier: MIT
#include "road.h"

#include "geometry.h"
#include "style.h"

#include <cmath>

namespace {

// Calls f(point, normal, tangent) about every spacing units along the segment, ends excluded.
template<typename F> void walk(const Segment &segment, double spacing, F f)
{
    const int count = qMax(1, int(std::lround(segment.length() / spacing)));
    for (int i = 1; i < count; ++i) {
        const double t = double(i) / count;
        const QPointF normal = segment.normalAt(t);
        f(segment.pointAt(t), normal, QPointF(-normal.y(), normal.x()));
    }
}

QString outlinePath(const SvgWriter &svg, const QVector<Segment> &segments)
{
    PathData path = svg.path();
    path.move(segments.first().from);
    for (const Segment &segment : segments)
        segment.appendTo(path);
    return path.close().text();
}

QString segmentPath(const SvgWriter &svg, const Segment &segment)
{
    PathData path = svg.path();
    path.move(segment.from);
    segment.appendTo(path);
    return path.text();
}

// Every kerb of the outline as one line, shifted that far onto the footway.
void drawKerbs(SvgWriter &svg, const QVector<Segment> &segments, double shift, const QString &colour,
               const QString &width)
{
    svg.begin("g", {{"fill", QStringLiteral("none")}, {"stroke", colour}, {"stroke-width", width}});
    for (const Segment &segment : segments) {
        if (segment.kerb)
            svg.add("path", {{"d", segmentPath(svg, segment.shifted(shift))}});
    }
    svg.end();
}

void drawPaintedArrow(SvgWriter &svg, int arm, const QVector<int> &exits)
{
    const QPointF in = inward(arm);
    const QPointF fork = onArm(arm, StopLine + 20, LaneOffset);
    svg.add("path", {{"d", svg.path().move(onArm(arm, StopLine + 34, LaneOffset)).line(fork).text()}});
    for (const int to : exits) {
        const Turn kind = turn(arm, to);
        if (kind == Turn::Straight) {
            const QPointF tip = onArm(arm, StopLine + 8, LaneOffset);
            svg.add("path", {{"d", svg.path().move(fork).line(tip - in * 4).text()}});
            svg.add("polygon",
                    {{"fill", Paint},
                     {"stroke", QStringLiteral("none")},
                     {"points", svg.points({tip, tip - in * 5 + rightOf(in) * 3, tip - in * 5 - rightOf(in) * 3})}});
        } else if (kind != Turn::Back) {
            const QPointF side = kind == Turn::Right ? rightOf(in) : -rightOf(in);
            const QPointF end = fork + in * 9 + side * 6;
            svg.add("path", {{"d", svg.path().move(fork).quad(fork + in * 9, end).text()}});
            const QPointF tip = end + side * 5;
            svg.add("polygon",
                    {{"fill", Paint},
                     {"stroke", QStringLiteral("none")},
                     {"points", svg.points({tip, end + in * 3, end - in * 3})}});
        }
    }
}

} // namespace

void drawRoad(SvgWriter &svg, const Layout &layout, const QVector<Segment> &segments)
{
    const QString shape = outlinePath(svg, segments);
    // The footway is the road's outline drawn wide underneath the road itself.
    svg.add("path",
            {{"d", shape},
             {"fill", Paving},
             {"stroke", Paving},
             {"stroke-width", svg.number(2 * Footway)},
             {"stroke-linejoin", QStringLiteral("round")}});

    svg.begin("g",
              {{"fill", QStringLiteral("none")}, {"stroke", PavingJoint}, {"stroke-width", QStringLiteral("0.6")}});
    for (const Segment &segment : segments) {
        if (!segment.kerb)
            continue;
        svg.add("path", {{"d", segmentPath(svg, segment.shifted(Footway / 2))}});
        walk(segment, 9,
             [&](const QPointF &p, const QPointF &n, const QPointF &) { svg.line(p + n * 2, p + n * Footway); });
    }
    svg.end();
    // The back of the footway.
    drawKerbs(svg, segments, Footway, QStringLiteral("#b3ad9f"), QStringLiteral("0.8"));

    svg.add("path", {{"d", shape}, {"fill", Asphalt}});

    // Gullies sit in the gutter, on the straight runs of kerb.
    svg.begin("g",
              {{"fill", QStringLiteral("none")},
               {"stroke", QStringLiteral("#3d3f43")},
               {"stroke-width", QStringLiteral("3")}});
    for (const Segment &segment : segments) {
        if (segment.kerb && !segment.arc && segment.length() > 40) {
            walk(segment, 40, [&](const QPointF &p, const QPointF &n, const QPointF &t) {
                svg.line(p - n * 3.5 - t * 3, p - n * 3.5 + t * 3);
            });
        }
    }
    svg.end();

    svg.begin("g", {{"fill", Asphalt}, {"stroke", QStringLiteral("#505358")}, {"stroke-width", QStringLiteral("0.8")}});
    for (int arm = 0; arm < ArmCount; ++arm) {
        if (!layout.has(arm) || reach(arm) < StopLine + 60)
            continue;
        for (const QPointF &at :
             {onArm(arm, StopLine + 45, LaneOffset - 6), onArm(arm, StopLine + 95, -LaneOffset + 4)})
            svg.circle(at, 3.2);
    }
    svg.end();

    drawKerbs(svg, segments, 0, KerbStone, QStringLiteral("3"));
    // Street lamps stand at the back of the footway and reach out over the road.
    svg.begin("g",
              {{"fill", QStringLiteral("#fafafa")},
               {"stroke", QStringLiteral("#4a4a4a")},
               {"stroke-width", QStringLiteral("0.8")}});
    for (const Segment &segment : segments) {
        if (segment.kerb && !segment.arc && segment.length() > 70) {
            walk(segment, 55, [&](const QPointF &p, const QPointF &n, const QPointF &) {
                const QPointF post = p + n * (Footway - 3);
                svg.line(post, p - n * 4);
                svg.circle(post, 1.8);
            });
        }
    }
    svg.end();
    svg.begin("g", {{"fill", QStringLiteral("none")}, {"stroke", KerbJoint}, {"stroke-width", QStringLiteral("0.6")}});
    for (const Segment &segment : segments) {
        if (!segment.kerb)
            continue;
        walk(segment, 6,
             [&](const QPointF &p, const QPointF &n, const QPointF &) { svg.line(p - n * 1.5, p + n * 1.5); });
    }
    svg.end();
}

void drawMarkings(SvgWriter &svg, const Layout &layout)
{
    svg.begin("g", {{"fill", QStringLiteral("none")}, {"stroke", Paint}, {"stroke-width", QStringLiteral("2")}});
    for (int arm = 0; arm < ArmCount; ++arm) {
        if (!layout.has(arm))
            continue;
        // Solid where no one should change lanes, dashed further out.
        svg.line(onArm(arm, StopLine, 0), onArm(arm, StopLine + 22, 0));
        for (double d = StopLine + 30; d < reach(arm); d += 16)
            svg.line(onArm(arm, d, 0), onArm(arm, qMin(d + 9, reach(arm)), 0));
    }
    for (int arm = North; arm <= East; ++arm) {
        const int opposite = arm + 2;
        if (!layout.has(arm) || !layout.has(opposite))
            continue;
        const int crossing = layout.armCount() - 2;
        if (crossing == 0) {
            svg.line(onArm(arm, ZebraNear - 3, 0), onArm(opposite, ZebraNear - 3, 0));
        } else if (crossing == 1) {
            // The through road of a T-junction keeps a guide line across the side road's mouth.
            for (double d = -(ZebraNear - 3); d < ZebraNear - 3; d += 10)
                svg.line(onArm(arm, -d, 0), onArm(arm, -qMin(d + 5, ZebraNear - 3), 0));
        }
    }
    svg.end();

    svg.begin("g", {{"fill", Paint}});
    for (int arm = 0; arm < ArmCount; ++arm) {
        if (!layout.has(arm))
            continue;
        svg.rect(QRectF(onArm(arm, StopLine, 1), onArm(arm, StopLine + 3, HalfRoad - 2)).normalized());
        for (const QRectF &stripe : zebra(arm))
            svg.rect(stripe);
    }
    svg.end();

    svg.begin("g",
              {{"fill", QStringLiteral("none")},
               {"stroke", Paint},
               {"stroke-width", QStringLiteral("2")},
               {"stroke-linecap", QStringLiteral("round")}});
    for (int arm = 0; arm < ArmCount; ++arm) {
        if (layout.has(arm) && !layout.exits[arm].isEmpty())
            drawPaintedArrow(svg, arm, layout.exits[arm]);
    }
    svg.end();
}

void drawSignals(SvgWriter &svg, const Layout &layout)
{
    static const QString lamps[3] = {QStringLiteral("#e53935"), QStringLiteral("#ffb300"), QStringLiteral("#43a047")};
    for (int arm = 0; arm < ArmCount; ++arm) {
        if (!layout.has(arm) || layout.exits[arm].isEmpty())
            continue;
        const QPointF in = inward(arm);
        const QPointF at = onArm(arm, StopLine + 2, HalfRoad + Footway / 2);
        svg.begin("g");
        svg.add("polygon", {{"fill", Ink}, {"points", svg.points(box(at, in, 6, 2.6))}});
        for (int lamp = 0; lamp < 3; ++lamp) {
            const QPointF c = at + in * (lamp - 1) * 3.8;
            svg.circle(c, 1.3, {{"fill", lamps[lamp]}});
        }
        svg.end();
    }
}
