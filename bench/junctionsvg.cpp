// SPDX-License-Identifier: MIT
#include "junctionsvg.h"

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

QByteArray n(double value)
{
    return QByteArray::number(value, 'f', 1);
}

QByteArray header(const char *title)
{
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.2\" baseProfile=\"tiny\" "
                      "width=\"400\" height=\"250\" viewBox=\"0 0 400 250\">\n <title>")
        + title + "</title>\n";
}

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
    QByteArray svg = header("Benchmark junction plan");
    svg += " <rect width=\"400\" height=\"250\" fill=\"#a3cf7f\"/>\n"
           " <path d=\"M0,89 L400,89 L400,161 L0,161 Z M164,0 L236,0 L236,250 L164,250 Z\" fill=\"#dedad1\"/>\n";

    // Shares of the paths: kerb stones, paving, lane marks, zebra stripes, trees, buildings.
    const int kerbs = paths * 25 / 100;
    const int paving = paths * 30 / 100;
    const int lanes = paths * 10 / 100;
    const int zebras = paths * 5 / 100;
    const int trees = paths * 15 / 100;
    const int buildings = paths - kerbs - paving - lanes - zebras - trees;

    svg += " <g fill=\"none\" stroke=\"#c5c0b4\" stroke-width=\"0.6\">\n";
    for (int i = 0; i < kerbs; ++i) {
        double x, y, dx, dy;
        kerbPoint(state, x, y, dx, dy);
        svg += "  <path d=\"M" + n(x) + ',' + n(y) + " l" + n(dx * 3) + ',' + n(dy * 3) + "\"/>\n";
    }
    svg += " </g>\n <g fill=\"#d4cfc4\" stroke=\"#b9b3a6\" stroke-width=\"0.25\">\n";
    for (int i = 0; i < paving; ++i) {
        double x, y, dx, dy;
        kerbPoint(state, x, y, dx, dy);
        const double out = within(state, 2, 10);
        const double side = within(state, 1.2, 2.2);
        svg += "  <path d=\"M" + n(x + dx * out) + ',' + n(y + dy * out) + " h" + n(side) + " v" + n(side) + " h-"
            + n(side) + " z\"/>\n";
    }
    svg += " </g>\n <g fill=\"#ffffff\">\n";
    for (int i = 0; i < lanes; ++i) {
        // Dashes on the centre and lane lines of both roads, outside the junction box.
        const int line = i % 6;
        const double offset = (line % 3 - 1) * 18.0;
        const double along = within(state, 0, 1);
        if (line < 3) {
            const double x =
                along < 0.5 ? along * 2 * (westEdge - 10) : eastEdge + 4 + (along - 0.5) * 2 * (width - eastEdge - 10);
            svg += "  <path d=\"M" + n(x) + ',' + n(centreY + offset) + " h6 v0.8 h-6 z\"/>\n";
        } else {
            const double y = along < 0.5 ? along * 2 * (northEdge - 10)
                                         : southEdge + 4 + (along - 0.5) * 2 * (height - southEdge - 10);
            svg += "  <path d=\"M" + n(centreX + offset) + ',' + n(y) + " v6 h0.8 v-6 z\"/>\n";
        }
    }
    for (int i = 0; i < zebras; ++i) {
        // Crossings across each arm, just outside the junction box.
        const int arm = i % 4;
        const double step = (i / 4 % 16) * 4.5;
        if (arm < 2) {
            const double x = arm == 0 ? westEdge - 16 : eastEdge + 6;
            svg += "  <path d=\"M" + n(x) + ',' + n(northEdge + 1 + step) + " h10 v2.2 h-10 z\"/>\n";
        } else {
            const double y = arm == 2 ? northEdge - 16 : southEdge + 6;
            svg += "  <path d=\"M" + n(westEdge + 1 + step) + ',' + n(y) + " v10 h2.2 v-10 z\"/>\n";
        }
    }
    svg += " </g>\n <g fill=\"#5c9a43\" stroke=\"#3f7a2c\" stroke-width=\"0.4\">\n";
    for (int i = 0; i < trees; ++i) {
        double x, y;
        cornerPoint(state, 4, x, y);
        const double r = within(state, 1.5, 4.5);
        svg += "  <path d=\"M" + n(x - r) + ',' + n(y) + " a" + n(r) + ',' + n(r) + " 0 1 0 " + n(2 * r) + ",0 a" + n(r)
            + ',' + n(r) + " 0 1 0 " + n(-2 * r) + ",0 z\"/>\n";
    }
    svg += " </g>\n <g fill=\"#8a8f86\" stroke=\"#6d7169\" stroke-width=\"0.3\">\n";
    for (int i = 0; i < buildings; ++i) {
        double x, y;
        cornerPoint(state, 10, x, y);
        const double w = within(state, 4, 12);
        const double h = within(state, 4, 10);
        svg += "  <path d=\"M" + n(x) + ',' + n(y) + " l" + n(w) + ',' + n(within(state, -1, 1)) + " l"
            + n(within(state, -1, 1)) + ',' + n(h) + " l" + n(-w) + ',' + n(within(state, -1, 1)) + " z\"/>\n";
    }
    svg += " </g>\n</svg>\n";
    return svg;
}

QByteArray overlay(int stage)
{
    // Where the movements enter and leave: the middle of each arm's lanes.
    static const double ends[8][2] = {{182, 5},   {218, 5},   {395, 107}, {395, 143},
                                      {218, 245}, {182, 245}, {5, 143},   {5, 107}};
    quint32 state = 7919u * quint32(stage) + 17u;
    const int movements = 3 + stage % 4;
    QByteArray strokes, heads;
    for (int m = 0; m < movements; ++m) {
        const int from = int(unit(state) * 8);
        const int to = (from + 2 + int(unit(state) * 5)) % 8;
        const double x0 = ends[from][0], y0 = ends[from][1];
        const double x1 = ends[to][0] * 0.9 + centreX * 0.1, y1 = ends[to][1] * 0.9 + centreY * 0.1;
        const double cx = within(state, centreX - 15, centreX + 15), cy = within(state, centreY - 10, centreY + 10);
        strokes +=
            "  <path d=\"M" + n(x0) + ',' + n(y0) + " Q" + n(cx) + ',' + n(cy) + ' ' + n(x1) + ',' + n(y1) + "\"/>\n";
        // The arrow head points along the curve's last tangent.
        const double length = qMax(1.0, qSqrt((x1 - cx) * (x1 - cx) + (y1 - cy) * (y1 - cy)));
        const double ux = (x1 - cx) / length, uy = (y1 - cy) / length;
        heads += "  <polygon points=\"" + n(x1 + ux * 16) + ',' + n(y1 + uy * 16) + ' ' + n(x1 - uy * 11) + ','
            + n(y1 + ux * 11) + ' ' + n(x1 + uy * 11) + ',' + n(y1 - ux * 11) + "\"/>\n";
    }
    QByteArray svg = header("Benchmark stage");
    svg += " <g fill=\"none\" stroke=\"#0a3314\" stroke-width=\"14\" stroke-linecap=\"round\" "
           "stroke-linejoin=\"round\">\n"
        + strokes + " </g>\n <g fill=\"#0a3314\" stroke=\"#0a3314\" stroke-width=\"5\" stroke-linejoin=\"round\">\n"
        + heads
        + " </g>\n <g fill=\"none\" stroke=\"#29d14a\" stroke-width=\"9\" stroke-linecap=\"round\" "
          "stroke-linejoin=\"round\">\n"
        + strokes + " </g>\n <g fill=\"#29d14a\">\n" + heads + " </g>\n</svg>\n";
    return svg;
}

} // namespace JunctionSvg
