// SPDX-License-Identifier: MIT
#include "junctionsvg.h"

#include <movementarrows.h>
#include <svgwriter.h>

#include <QStringList>
#include <QtMath>

namespace JunctionSvg {

namespace {

// The plan's frame: two roads 72 units wide crossing in the middle.
constexpr double width = 400;
constexpr double height = 250;
constexpr double westEdge = 164;
constexpr double eastEdge = 236;
constexpr double northEdge = 89;
constexpr double southEdge = 161;
constexpr double centreX = 200;
constexpr double centreY = 125;

// A fixed linear congruential sequence: the same drawing on every machine.
double unit(quint32 &state)
{
    state = state * 1664525u + 1013904223u;
    return double(state >> 8) / double(1u << 24);
}

double within(quint32 &state, double low, double high)
{
    return low + (high - low) * unit(state);
}

constexpr QSize size{int(width), int(height)};
// Tenths, as a surveyed plan's coordinates come.
constexpr int decimals = 1;

// A point in one of the four grass corners outside the roads and pavements.
void cornerPoint(quint32 &state, double margin, double &x, double &y)
{
    const bool west = unit(state) < 0.5;
    const bool north = unit(state) < 0.5;
    x = west ? within(state, margin, westEdge - 12 - margin) : within(state, eastEdge + 12 + margin, width - margin);
    y = north ? within(state, margin, northEdge - 12 - margin)
              : within(state, southEdge + 12 + margin, height - margin);
}

// A point on one of the eight kerb lines, with the direction across it.
void kerbPoint(quint32 &state, double &x, double &y, double &dx, double &dy)
{
    const int edge = int(unit(state) * 8);
    const double along = unit(state);
    const bool horizontal = edge < 4;
    if (horizontal) {
        y = (edge % 2) ? southEdge : northEdge;
        x = (edge < 2) ? along * (westEdge - 18) : eastEdge + 18 + along * (width - eastEdge - 18);
        dx = 0;
        dy = (edge % 2) ? 1 : -1;
    } else {
        x = (edge % 2) ? eastEdge : westEdge;
        y = (edge < 6) ? along * (northEdge - 18) : southEdge + 18 + along * (height - southEdge - 18);
        dx = (edge % 2) ? 1 : -1;
        dy = 0;
    }
}

} // namespace

QByteArray plan(int paths)
{
    quint32 state = 20240607u;
    SvgWriter svg(size, QStringLiteral("Benchmark junction plan"), decimals);
    svg.add("rect",
            {{"width", svg.number(width)}, {"height", svg.number(height)}, {"fill", QStringLiteral("#a3cf7f")}});
    const PathData roads = svg.path()
                               .move({0, northEdge})
                               .line({width, northEdge})
                               .line({width, southEdge})
                               .line({0, southEdge})
                               .close()
                               .move({westEdge, 0})
                               .line({eastEdge, 0})
                               .line({eastEdge, height})
                               .line({westEdge, height})
                               .close();
    svg.add("path", {{"d", roads.text()}, {"fill", QStringLiteral("#dedad1")}});

    // Shares of the paths: kerb stones, paving, lane marks, zebra stripes, trees, buildings.
    const int kerbs = paths * 25 / 100;
    const int paving = paths * 30 / 100;
    const int lanes = paths * 10 / 100;
    const int zebras = paths * 5 / 100;
    const int trees = paths * 15 / 100;
    const int buildings = paths - kerbs - paving - lanes - zebras - trees;
    const auto path = [&svg](const PathData &data) {
        svg.add("path", {{"d", data.text()}});
    };

    svg.begin("g",
              {{"fill", QStringLiteral("none")},
               {"stroke", QStringLiteral("#c5c0b4")},
               {"stroke-width", QStringLiteral("0.6")}});
    for (int i = 0; i < kerbs; ++i) {
        double x, y, dx, dy;
        kerbPoint(state, x, y, dx, dy);
        path(svg.path().move({x, y}).lineBy({dx * 3, dy * 3}));
    }
    svg.end();
    svg.begin("g",
              {{"fill", QStringLiteral("#d4cfc4")},
               {"stroke", QStringLiteral("#b9b3a6")},
               {"stroke-width", QStringLiteral("0.25")}});
    for (int i = 0; i < paving; ++i) {
        double x, y, dx, dy;
        kerbPoint(state, x, y, dx, dy);
        const double out = within(state, 2, 10);
        const double side = within(state, 1.2, 2.2);
        path(svg.path()
                 .move({x + dx * out, y + dy * out})
                 .horizontalBy(side)
                 .verticalBy(side)
                 .horizontalBy(-side)
                 .close());
    }
    svg.end();
    svg.begin("g", {{"fill", QStringLiteral("#ffffff")}});
    for (int i = 0; i < lanes; ++i) {
        // Dashes on the centre and lane lines of both roads, outside the junction box.
        const int line = i % 6;
        const double offset = (line % 3 - 1) * 18.0;
        const double along = within(state, 0, 1);
        if (line < 3) {
            const double x =
                along < 0.5 ? along * 2 * (westEdge - 10) : eastEdge + 4 + (along - 0.5) * 2 * (width - eastEdge - 10);
            path(svg.path().move({x, centreY + offset}).horizontalBy(6).verticalBy(0.8).horizontalBy(-6).close());
        } else {
            const double y = along < 0.5 ? along * 2 * (northEdge - 10)
                                         : southEdge + 4 + (along - 0.5) * 2 * (height - southEdge - 10);
            path(svg.path().move({centreX + offset, y}).verticalBy(6).horizontalBy(0.8).verticalBy(-6).close());
        }
    }
    for (int i = 0; i < zebras; ++i) {
        // Crossings across each arm, just outside the junction box.
        const int arm = i % 4;
        const double step = (i / 4 % 16) * 4.5;
        if (arm < 2) {
            const double x = arm == 0 ? westEdge - 16 : eastEdge + 6;
            path(svg.path().move({x, northEdge + 1 + step}).horizontalBy(10).verticalBy(2.2).horizontalBy(-10).close());
        } else {
            const double y = arm == 2 ? northEdge - 16 : southEdge + 6;
            path(svg.path().move({westEdge + 1 + step, y}).verticalBy(10).horizontalBy(2.2).verticalBy(-10).close());
        }
    }
    svg.end();
    svg.begin("g",
              {{"fill", QStringLiteral("#5c9a43")},
               {"stroke", QStringLiteral("#3f7a2c")},
               {"stroke-width", QStringLiteral("0.4")}});
    for (int i = 0; i < trees; ++i) {
        double x, y;
        cornerPoint(state, 4, x, y);
        const double r = within(state, 1.5, 4.5);
        path(svg.path().move({x - r, y}).arcBy(r, true, false, {2 * r, 0}).arcBy(r, true, false, {-2 * r, 0}).close());
    }
    svg.end();
    svg.begin("g",
              {{"fill", QStringLiteral("#8a8f86")},
               {"stroke", QStringLiteral("#6d7169")},
               {"stroke-width", QStringLiteral("0.3")}});
    for (int i = 0; i < buildings; ++i) {
        double x, y;
        cornerPoint(state, 10, x, y);
        const double w = within(state, 4, 12);
        const double h = within(state, 4, 10);
        // Drawn in this order, the plan stays the one the figures so far were taken on.
        const double skew3 = within(state, -1, 1);
        const double skew2 = within(state, -1, 1);
        const double skew1 = within(state, -1, 1);
        path(svg.path().move({x, y}).lineBy({w, skew1}).lineBy({skew2, h}).lineBy({-w, skew3}).close());
    }
    svg.end();
    return svg.finish();
}

QByteArray overlay(int stage)
{
    // Where the movements enter and leave: the middle of each arm's lanes.
    static const double ends[8][2] = {{182, 5},   {218, 5},   {395, 107}, {395, 143},
                                      {218, 245}, {182, 245}, {5, 143},   {5, 107}};
    quint32 state = 7919u * quint32(stage) + 17u;
    const int movements = 3 + stage % 4;
    SvgWriter svg(size, QStringLiteral("Benchmark stage"), decimals);
    QStringList shafts, heads;
    for (int m = 0; m < movements; ++m) {
        const int from = int(unit(state) * 8);
        const int to = (from + 2 + int(unit(state) * 5)) % 8;
        const double x0 = ends[from][0], y0 = ends[from][1];
        const double x1 = ends[to][0] * 0.9 + centreX * 0.1, y1 = ends[to][1] * 0.9 + centreY * 0.1;
        const double cx = within(state, centreX - 15, centreX + 15), cy = within(state, centreY - 10, centreY + 10);
        shafts.append(svg.path().move({x0, y0}).quad({cx, cy}, {x1, y1}).text());
        // The arrow head points along the curve's last tangent.
        const double length = qMax(1.0, qSqrt((x1 - cx) * (x1 - cx) + (y1 - cy) * (y1 - cy)));
        const double ux = (x1 - cx) / length, uy = (y1 - cy) / length;
        heads.append(
            svg.points({{x1 + ux * 16, y1 + uy * 16}, {x1 - uy * 11, y1 + ux * 11}, {x1 + uy * 11, y1 - ux * 11}}));
    }
    drawMovementArrows(svg, shafts, heads);
    return svg.finish();
}

} // namespace JunctionSvg
