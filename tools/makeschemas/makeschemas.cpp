// SPDX-License-Identifier: MIT
//
// Generates the demo's schema pictures: for every junction of the fleet a
// plan, and for every stage an overlay with the movements it releases. The
// panel draws the plan and then the overlay on a white 200 x 125 icon, so an
// overlay has no background of its own and everything has to read at half
// the size drawn here. Output is deterministic: rerunning it gives
// identical bytes.
//
// Usage: makeschemas <output-folder>

#include "fleet.h"

#include <QtCore/QByteArray>
#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QLineF>
#include <QtCore/QPointF>
#include <QtCore/QRectF>
#include <QtCore/QSaveFile>
#include <QtCore/QSizeF>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QTextStream>
#include <QtCore/QVector>
#include <QtCore/QXmlStreamWriter>
#include <QtCore/QtMath>

#include <cmath>
#include <initializer_list>
#include <utility>

namespace {

// Twice the icon's size, so that coordinates stay whole numbers.
constexpr double Width = 400;
constexpr double Height = 250;
const QPointF Centre(Width / 2, Height / 2);

constexpr double HalfRoad = 36; // one lane each way
constexpr double LaneOffset = HalfRoad / 2;
constexpr double Fillet = 18;
constexpr double Footway = 12;
// The crossing keeps clear of the kerb curve, so that it spans a straight road.
constexpr double ZebraNear = HalfRoad + Fillet + 4;
constexpr double ZebraFar = ZebraNear + 16;
constexpr double StopLine = ZebraFar + 5;
constexpr int ZebraStripes = 7;
constexpr double StripeWidth = 6;
constexpr double StripeGap = 4;

// Movement arrows: 4.5 px wide on the icon, the least that still reads.
constexpr double ArrowWidth = 9;
constexpr double OutlineWidth = 14;
constexpr double HeadLength = 18;
constexpr double HeadHalfWidth = 12;

const QString Grass = QStringLiteral("#a3cf7f");
const QString Paving = QStringLiteral("#dedad1");
const QString PavingJoint = QStringLiteral("#c5c0b4");
const QString KerbStone = QStringLiteral("#f5f3ee");
const QString KerbJoint = QStringLiteral("#aaa79f");
const QString Asphalt = QStringLiteral("#6e7176");
const QString Paint = QStringLiteral("#ffffff");
const QString Ink = QStringLiteral("#262626");
const QString Water = QStringLiteral("#8cc4e6");
const QString ArrowGreen = QStringLiteral("#29d14a");
const QString WalkGreen = QStringLiteral("#7dff8f");
const QString ArrowEdge = QStringLiteral("#0a3314");

enum Arm { North, East, South, West, ArmCount };
const QString ArmLetters = QStringLiteral("NESW");

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

// ---------------------------------------------------------------- geometry

QPointF unit(const QPointF &v)
{
    const double length = std::hypot(v.x(), v.y());
    return length > 0 ? v / length : v;
}

double cross(const QPointF &a, const QPointF &b)
{
    return a.x() * b.y() - a.y() * b.x();
}

// From the arm into the junction.
QPointF inward(int arm)
{
    static const QPointF directions[ArmCount] = {{0, 1}, {-1, 0}, {0, -1}, {1, 0}};
    return directions[arm];
}

// With y pointing down; traffic keeps to this side.
QPointF rightOf(const QPointF &direction)
{
    return {-direction.y(), direction.x()};
}

// From the centre to the picture's edge.
double reach(int arm)
{
    return arm == North || arm == South ? Height / 2 : Width / 2;
}

// A point on an arm: its distance from the centre, and its offset to the
// right of traffic coming in, so +LaneOffset is the lane in, -LaneOffset
// the lane out.
QPointF onArm(int arm, double distance, double offset)
{
    return Centre - inward(arm) * distance + rightOf(inward(arm)) * offset;
}

// Our own generator: its sequence cannot change with the Qt version.
class Dice
{
public:
    explicit Dice(quint32 seed)
        : m_state(seed * 2654435761u + 12345u)
    {
    }

    double between(double low, double high)
    {
        m_state = m_state * 1664525u + 1013904223u;
        return low + (high - low) * (double(m_state >> 8) / double(1u << 24));
    }

private:
    quint32 m_state;
};

// ---------------------------------------------------------------- writing

QString num(double value)
{
    // Hundredths are far finer than an icon pixel and keep the files small.
    QString text = QString::number(value, 'f', 2);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

QString xy(const QPointF &point)
{
    return num(point.x()) + QLatin1Char(',') + num(point.y());
}

QString points(std::initializer_list<QPointF> list)
{
    QStringList words;
    for (const QPointF &point : list)
        words.append(xy(point));
    return words.join(QLatin1Char(' '));
}

class PathData
{
public:
    PathData &move(const QPointF &to)
    {
        return word(QStringLiteral("M") + xy(to));
    }
    PathData &line(const QPointF &to)
    {
        return word(QStringLiteral("L") + xy(to));
    }
    PathData &quad(const QPointF &control, const QPointF &to)
    {
        return word(QStringLiteral("Q") + xy(control) + QLatin1Char(' ') + xy(to));
    }
    PathData &arc(double radius, bool clockwise, const QPointF &to)
    {
        const QString r = num(radius);
        return word(QStringLiteral("A%1 %1 0 0 %2 %3").arg(r, QLatin1String(clockwise ? "1" : "0"), xy(to)));
    }
    PathData &close()
    {
        return word(QStringLiteral("Z"));
    }
    QString text() const
    {
        return m_text;
    }

private:
    PathData &word(const QString &word)
    {
        if (!m_text.isEmpty())
            m_text += QLatin1Char(' ');
        m_text += word;
        return *this;
    }

    QString m_text;
};

using Attribute = std::pair<const char *, QString>;

class Svg
{
public:
    explicit Svg(const QString &title)
        : m_xml(&m_bytes)
    {
        m_xml.setAutoFormatting(true);
        m_xml.setAutoFormattingIndent(1);
        m_xml.writeStartDocument();
        m_xml.writeStartElement(QStringLiteral("svg"));
        m_xml.writeDefaultNamespace(QStringLiteral("http://www.w3.org/2000/svg"));
        // Tiny 1.2 is what the panel's renderer reads.
        write({{"version", QStringLiteral("1.2")},
               {"baseProfile", QStringLiteral("tiny")},
               {"width", num(Width)},
               {"height", num(Height)},
               {"viewBox", QStringLiteral("0 0 %1 %2").arg(num(Width), num(Height))}});
        m_xml.writeTextElement(QStringLiteral("title"), title);
    }

    void begin(const char *name, std::initializer_list<Attribute> attributes = {})
    {
        m_xml.writeStartElement(QLatin1String(name));
        write(attributes);
    }

    void end()
    {
        m_xml.writeEndElement();
    }

    void add(const char *name, std::initializer_list<Attribute> attributes)
    {
        m_xml.writeEmptyElement(QLatin1String(name));
        write(attributes);
    }

    void text(const QPointF &at, double size, const QString &text)
    {
        m_xml.writeStartElement(QStringLiteral("text"));
        write({{"x", num(at.x())},
               {"y", num(at.y())},
               {"font-size", num(size)},
               {"font-family", QStringLiteral("DejaVu Sans, Arial, sans-serif")},
               {"font-weight", QStringLiteral("bold")},
               {"text-anchor", QStringLiteral("middle")},
               {"fill", Ink}});
        m_xml.writeCharacters(text);
        m_xml.writeEndElement();
    }

    QByteArray finish()
    {
        m_xml.writeEndDocument();
        return m_bytes;
    }

private:
    void write(std::initializer_list<Attribute> attributes)
    {
        for (const Attribute &attribute : attributes)
            m_xml.writeAttribute(QLatin1String(attribute.first), attribute.second);
    }

    // Declared first: the writer writes into it.
    QByteArray m_bytes;
    QXmlStreamWriter m_xml;
};

void line(Svg &svg, const QPointF &from, const QPointF &to)
{
    svg.add("path", {{"d", PathData().move(from).line(to).text()}});
}

void rect(Svg &svg, const QRectF &r)
{
    svg.add("rect", {{"x", num(r.x())}, {"y", num(r.y())}, {"width", num(r.width())}, {"height", num(r.height())}});
}

// A rectangle with any orientation, given its centre, its long axis and half sizes.
QString box(const QPointF &centre, const QPointF &axis, double halfLength, double halfWidth)
{
    const QPointF along = axis * halfLength;
    const QPointF across = rightOf(axis) * halfWidth;
    return points({centre - along - across, centre + along - across, centre + along + across, centre - along + across});
}

// ---------------------------------------------------------------- the road

struct Layout
{
    bool arms[ArmCount] = {};
    // Exits used from each arm by any stage, for the arrows painted on its lane.
    QVector<int> exits[ArmCount];

    bool has(int arm) const
    {
        return arms[arm];
    }
    int armCount() const
    {
        return int(arms[North]) + int(arms[East]) + int(arms[South]) + int(arms[West]);
    }
};

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

    double length() const
    {
        return arc ? std::abs(span) * radius : QLineF(from, to).length();
    }

    QPointF pointAt(double t) const
    {
        if (!arc)
            return from + (to - from) * t;
        const double angle = start + span * t;
        return centre + QPointF(std::cos(angle), std::sin(angle)) * radius;
    }

    // Away from the road, towards the footway.
    QPointF normalAt(double t) const
    {
        if (!arc) {
            const QPointF d = unit(to - from);
            return {d.y(), -d.x()};
        }
        const double angle = start + span * t;
        return QPointF(std::cos(angle), std::sin(angle)) * (span > 0 ? 1.0 : -1.0);
    }

    Segment shifted(double distance) const
    {
        Segment moved = *this;
        moved.from = from + normalAt(0) * distance;
        moved.to = to + normalAt(1) * distance;
        if (arc)
            moved.radius = radius + (span > 0 ? distance : -distance);
        return moved;
    }

    void appendTo(PathData &path) const
    {
        if (arc)
            path.arc(radius, span > 0, to);
        else
            path.line(to);
    }
};

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

QString outlinePath(const QVector<Segment> &segments)
{
    PathData path;
    path.move(segments.first().from);
    for (const Segment &segment : segments)
        segment.appendTo(path);
    return path.close().text();
}

QString segmentPath(const Segment &segment)
{
    PathData path;
    path.move(segment.from);
    segment.appendTo(path);
    return path.text();
}

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

QList<QRectF> zebra(int arm)
{
    QList<QRectF> stripes;
    const double first = -(ZebraStripes * StripeWidth + (ZebraStripes - 1) * StripeGap) / 2;
    for (int i = 0; i < ZebraStripes; ++i) {
        const double offset = first + i * (StripeWidth + StripeGap);
        stripes.append(QRectF(onArm(arm, ZebraNear, offset), onArm(arm, ZebraFar, offset + StripeWidth)).normalized());
    }
    return stripes;
}

enum class Turn { Straight, Right, Left, Back };

Turn turn(int from, int to)
{
    const QPointF in = inward(from);
    const QPointF out = -inward(to);
    if (in == out)
        return Turn::Straight;
    if (out == rightOf(in))
        return Turn::Right;
    if (out == -rightOf(in))
        return Turn::Left;
    return Turn::Back;
}

void drawRoad(Svg &svg, const Layout &layout, const QVector<Segment> &segments)
{
    const QString shape = outlinePath(segments);
    // The footway is the road's outline drawn wide underneath the road itself.
    svg.add("path",
            {{"d", shape},
             {"fill", Paving},
             {"stroke", Paving},
             {"stroke-width", num(2 * Footway)},
             {"stroke-linejoin", QStringLiteral("round")}});

    svg.begin("g",
              {{"fill", QStringLiteral("none")}, {"stroke", PavingJoint}, {"stroke-width", QStringLiteral("0.6")}});
    for (const Segment &segment : segments) {
        if (!segment.kerb)
            continue;
        svg.add("path", {{"d", segmentPath(segment.shifted(Footway / 2))}});
        walk(segment, 9,
             [&](const QPointF &p, const QPointF &n, const QPointF &) { line(svg, p + n * 2, p + n * Footway); });
    }
    svg.end();
    svg.begin("g",
              {{"fill", QStringLiteral("none")},
               {"stroke", QStringLiteral("#b3ad9f")},
               {"stroke-width", QStringLiteral("0.8")}});
    for (const Segment &segment : segments) {
        if (segment.kerb)
            svg.add("path", {{"d", segmentPath(segment.shifted(Footway))}});
    }
    svg.end();

    svg.add("path", {{"d", shape}, {"fill", Asphalt}});

    // Gullies sit in the gutter, on the straight runs of kerb.
    svg.begin("g",
              {{"fill", QStringLiteral("none")},
               {"stroke", QStringLiteral("#3d3f43")},
               {"stroke-width", QStringLiteral("3")}});
    for (const Segment &segment : segments) {
        if (segment.kerb && !segment.arc && segment.length() > 40) {
            walk(segment, 40, [&](const QPointF &p, const QPointF &n, const QPointF &t) {
                line(svg, p - n * 3.5 - t * 3, p - n * 3.5 + t * 3);
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
            svg.add("circle", {{"cx", num(at.x())}, {"cy", num(at.y())}, {"r", QStringLiteral("3.2")}});
    }
    svg.end();

    svg.begin("g", {{"fill", QStringLiteral("none")}, {"stroke", KerbStone}, {"stroke-width", QStringLiteral("3")}});
    for (const Segment &segment : segments) {
        if (segment.kerb)
            svg.add("path", {{"d", segmentPath(segment)}});
    }
    svg.end();
    // Street lamps stand at the back of the footway and reach out over the road.
    svg.begin("g",
              {{"fill", QStringLiteral("#fafafa")},
               {"stroke", QStringLiteral("#4a4a4a")},
               {"stroke-width", QStringLiteral("0.8")}});
    for (const Segment &segment : segments) {
        if (segment.kerb && !segment.arc && segment.length() > 70) {
            walk(segment, 55, [&](const QPointF &p, const QPointF &n, const QPointF &) {
                const QPointF post = p + n * (Footway - 3);
                line(svg, post, p - n * 4);
                svg.add("circle", {{"cx", num(post.x())}, {"cy", num(post.y())}, {"r", QStringLiteral("1.8")}});
            });
        }
    }
    svg.end();
    svg.begin("g", {{"fill", QStringLiteral("none")}, {"stroke", KerbJoint}, {"stroke-width", QStringLiteral("0.6")}});
    for (const Segment &segment : segments) {
        if (!segment.kerb)
            continue;
        walk(segment, 6,
             [&](const QPointF &p, const QPointF &n, const QPointF &) { line(svg, p - n * 1.5, p + n * 1.5); });
    }
    svg.end();
}

void drawPaintedArrow(Svg &svg, int arm, const QVector<int> &exits)
{
    const QPointF in = inward(arm);
    const QPointF fork = onArm(arm, StopLine + 20, LaneOffset);
    svg.add("path", {{"d", PathData().move(onArm(arm, StopLine + 34, LaneOffset)).line(fork).text()}});
    for (const int to : exits) {
        const Turn kind = turn(arm, to);
        if (kind == Turn::Straight) {
            const QPointF tip = onArm(arm, StopLine + 8, LaneOffset);
            svg.add("path", {{"d", PathData().move(fork).line(tip - in * 4).text()}});
            svg.add("polygon",
                    {{"fill", Paint},
                     {"stroke", QStringLiteral("none")},
                     {"points", points({tip, tip - in * 5 + rightOf(in) * 3, tip - in * 5 - rightOf(in) * 3})}});
        } else if (kind != Turn::Back) {
            const QPointF side = kind == Turn::Right ? rightOf(in) : -rightOf(in);
            const QPointF end = fork + in * 9 + side * 6;
            svg.add("path", {{"d", PathData().move(fork).quad(fork + in * 9, end).text()}});
            const QPointF tip = end + side * 5;
            svg.add("polygon",
                    {{"fill", Paint},
                     {"stroke", QStringLiteral("none")},
                     {"points", points({tip, end + in * 3, end - in * 3})}});
        }
    }
}

void drawMarkings(Svg &svg, const Layout &layout)
{
    svg.begin("g", {{"fill", QStringLiteral("none")}, {"stroke", Paint}, {"stroke-width", QStringLiteral("2")}});
    for (int arm = 0; arm < ArmCount; ++arm) {
        if (!layout.has(arm))
            continue;
        // Solid where no one should change lanes, dashed further out.
        line(svg, onArm(arm, StopLine, 0), onArm(arm, StopLine + 22, 0));
        for (double d = StopLine + 30; d < reach(arm); d += 16)
            line(svg, onArm(arm, d, 0), onArm(arm, qMin(d + 9, reach(arm)), 0));
    }
    for (int arm = North; arm <= East; ++arm) {
        const int opposite = arm + 2;
        if (!layout.has(arm) || !layout.has(opposite))
            continue;
        const int crossing = layout.armCount() - 2;
        if (crossing == 0) {
            line(svg, onArm(arm, ZebraNear - 3, 0), onArm(opposite, ZebraNear - 3, 0));
        } else if (crossing == 1) {
            // The through road of a T-junction keeps a guide line across the side road's mouth.
            for (double d = -(ZebraNear - 3); d < ZebraNear - 3; d += 10)
                line(svg, onArm(arm, -d, 0), onArm(arm, -qMin(d + 5, ZebraNear - 3), 0));
        }
    }
    svg.end();

    svg.begin("g", {{"fill", Paint}});
    for (int arm = 0; arm < ArmCount; ++arm) {
        if (!layout.has(arm))
            continue;
        rect(svg, QRectF(onArm(arm, StopLine, 1), onArm(arm, StopLine + 3, HalfRoad - 2)).normalized());
        for (const QRectF &stripe : zebra(arm))
            rect(svg, stripe);
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

void drawSignals(Svg &svg, const Layout &layout)
{
    static const QString lamps[3] = {QStringLiteral("#e53935"), QStringLiteral("#ffb300"), QStringLiteral("#43a047")};
    for (int arm = 0; arm < ArmCount; ++arm) {
        if (!layout.has(arm) || layout.exits[arm].isEmpty())
            continue;
        const QPointF in = inward(arm);
        const QPointF at = onArm(arm, StopLine + 2, HalfRoad + Footway / 2);
        svg.begin("g");
        svg.add("polygon", {{"fill", Ink}, {"points", box(at, in, 6, 2.6)}});
        for (int lamp = 0; lamp < 3; ++lamp) {
            const QPointF c = at + in * (lamp - 1) * 3.8;
            svg.add("circle",
                    {{"cx", num(c.x())}, {"cy", num(c.y())}, {"r", QStringLiteral("1.3")}, {"fill", lamps[lamp]}});
        }
        svg.end();
    }
}

// ---------------------------------------------------------------- the land

struct Plot
{
    QRectF area;
    int column;
    int row;
    // Sides on the road: trees line them, buildings turn away from them.
    bool road[ArmCount];
};

// The land around the road, as the cells of a 3 x 3 grid that the road does not take.
QVector<Plot> plots(const Layout &layout)
{
    const double xs[4] = {0, Centre.x() - HalfRoad, Centre.x() + HalfRoad, Width};
    const double ys[4] = {0, Centre.y() - HalfRoad, Centre.y() + HalfRoad, Height};
    const auto isRoad = [&](int column, int row) {
        if (column < 0 || column > 2 || row < 0 || row > 2)
            return false;
        if (column == 1 && row == 1)
            return true;
        if (column == 1)
            return layout.has(row == 0 ? North : South);
        if (row == 1)
            return layout.has(column == 0 ? West : East);
        return false;
    };
    constexpr double margin = Footway + 3;
    QVector<Plot> list;
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            if (isRoad(column, row))
                continue;
            Plot plot{QRectF(QPointF(xs[column], ys[row]), QPointF(xs[column + 1], ys[row + 1])), column, row, {}};
            plot.road[North] = isRoad(column, row - 1);
            plot.road[East] = isRoad(column + 1, row);
            plot.road[South] = isRoad(column, row + 1);
            plot.road[West] = isRoad(column - 1, row);
            plot.area.adjust(plot.road[West] ? margin : 0, plot.road[North] ? margin : 0, plot.road[East] ? -margin : 0,
                             plot.road[South] ? -margin : 0);
            list.append(plot);
        }
    }
    return list;
}

struct Building
{
    QRectF rect;
    bool flat;
    int colour;
    QRectF walk;
};

struct Car
{
    QRectF rect;
    int colour;
};

struct CarPark
{
    QRectF rect;
    QVector<QLineF> bays;
    QVector<Car> cars;
};

struct Tree
{
    QPointF centre;
    double radius;
};

struct Scenery
{
    QVector<Building> buildings;
    QVector<CarPark> carParks;
    QVector<Tree> trees;
};

QRectF riverBed()
{
    return QRectF(Centre.x() - 62, 0, 124, Height);
}

CarPark makeCarPark(const QRectF &rect, Dice &dice)
{
    CarPark park{rect, {}, {}};
    const bool across = rect.width() >= rect.height();
    const double length = across ? rect.width() : rect.height();
    const double depth = across ? rect.height() : rect.width();
    // Bays 10 wide and 16 deep on both sides of an aisle, or one row when narrow.
    const int rows = depth >= 44 ? 2 : 1;
    const int bays = int((length - 4) / 10);
    const double first = (length - bays * 10) / 2;
    for (int r = 0; r < rows; ++r) {
        const double near = r == 0 ? 2 : depth - 18;
        for (int b = 0; b <= bays; ++b) {
            const double along = first + b * 10;
            const QPointF a = across ? QPointF(rect.left() + along, rect.top() + near)
                                     : QPointF(rect.left() + near, rect.top() + along);
            const QPointF step = across ? QPointF(0, 16) : QPointF(16, 0);
            park.bays.append(QLineF(a, a + step));
            if (b < bays && dice.between(0, 1) < 0.7) {
                const QPointF mid = a + step / 2 + (across ? QPointF(5, 0) : QPointF(0, 5));
                const QSizeF size = across ? QSizeF(6.5, 12) : QSizeF(12, 6.5);
                park.cars.append(
                    {QRectF(mid - QPointF(size.width() / 2, size.height() / 2), size), int(dice.between(0, 6))});
            }
        }
    }
    return park;
}

Scenery layOut(const Layout &layout, bool river, int seed)
{
    Scenery scenery;
    QVector<QRectF> taken;
    if (river)
        taken.append(riverBed());
    const auto clear = [&](const QRectF &r) {
        for (const QRectF &other : qAsConst(taken)) {
            if (other.intersects(r))
                return false;
        }
        return true;
    };

    const QVector<Plot> land = plots(layout);
    for (int index = 0; index < land.size(); ++index) {
        const Plot &plot = land.at(index);
        const QRectF &area = plot.area;
        Dice dice(quint32(seed) * 31u + quint32(index));
        // Away from the junction is always towards the picture's edge.
        const int awayX = plot.column - 1;
        const int awayY = plot.row - 1;
        const auto place = [&](double low, double high, double size, int away) {
            // Now and then past the edge, as on a plan cut out of a larger one.
            const double overhang = dice.between(-6, 14);
            if (away < 0)
                return low - overhang;
            if (away > 0)
                return high - size + overhang;
            return (low + high - size) / 2;
        };

        if (area.width() >= 64 && area.height() >= 44) {
            const bool park = dice.between(0, 1) < 0.3;
            const double w = qMin(area.width() * dice.between(0.45, 0.62), park ? 96.0 : 110.0);
            const double h = qMin(area.height() * dice.between(0.5, 0.7), 64.0);
            const QRectF spot(place(area.left(), area.right(), w, awayX), place(area.top(), area.bottom(), h, awayY), w,
                              h);
            if (clear(spot)) {
                if (park) {
                    const QRectF paved = spot.intersected(area.adjusted(2, 2, -2, -2));
                    scenery.carParks.append(makeCarPark(paved, dice));
                    taken.append(paved.adjusted(-2, -2, 2, 2));
                } else {
                    Building building{spot, dice.between(0, 1) < 0.35, int(dice.between(0, 4)), QRectF()};
                    // A walk leads to a road, never across the river or a neighbour's plot.
                    QVector<int> fronts;
                    for (int side = 0; side < ArmCount; ++side) {
                        if (plot.road[side])
                            fronts.append(side);
                    }
                    if (!fronts.isEmpty()) {
                        const int front = fronts.at(int(dice.between(0, fronts.size())) % fronts.size());
                        const double x = spot.center().x() - 2;
                        const double y = spot.center().y() - 2;
                        switch (front) {
                        case North:
                            building.walk = QRectF(QPointF(x, area.top() - 4), QPointF(x + 4, spot.top()));
                            break;
                        case East:
                            building.walk = QRectF(QPointF(spot.right(), y), QPointF(area.right() + 4, y + 4));
                            break;
                        case South:
                            building.walk = QRectF(QPointF(x, spot.bottom()), QPointF(x + 4, area.bottom() + 4));
                            break;
                        default:
                            building.walk = QRectF(QPointF(area.left() - 4, y), QPointF(spot.left(), y + 4));
                            break;
                        }
                    }
                    scenery.buildings.append(building);
                    taken.append(spot.adjusted(-3, -3, 3, 3));
                    if (!building.walk.isEmpty())
                        taken.append(building.walk.adjusted(-1, -1, 1, 1));
                }
            }
        }

        const auto plant = [&](const QPointF &centre, double radius) {
            const QRectF crown(centre - QPointF(radius, radius), QSizeF(2 * radius, 2 * radius));
            if (!area.contains(crown) || !clear(crown))
                return;
            scenery.trees.append({centre, radius});
            taken.append(crown.adjusted(1.5, 1.5, -1.5, -1.5));
        };
        // Street trees first, so that they get the places along the road; gardens take what is left.
        for (int side = 0; side < ArmCount; ++side) {
            if (!plot.road[side])
                continue;
            const bool horizontal = side == North || side == South;
            const double from = horizontal ? area.left() : area.top();
            const double to = horizontal ? area.right() : area.bottom();
            for (double d = from + dice.between(6, 12); d < to - 6; d += dice.between(17, 23)) {
                const double radius = dice.between(5, 7.5);
                const double inset = radius + 1.5;
                QPointF centre;
                switch (side) {
                case North:
                    centre = QPointF(d, area.top() + inset);
                    break;
                case South:
                    centre = QPointF(d, area.bottom() - inset);
                    break;
                case West:
                    centre = QPointF(area.left() + inset, d);
                    break;
                default:
                    centre = QPointF(area.right() - inset, d);
                    break;
                }
                plant(centre, radius);
            }
        }
        const int tries = int(area.width() * area.height() / 500);
        for (int i = 0; i < tries; ++i) {
            const double radius = dice.between(5, 9);
            plant(QPointF(dice.between(area.left(), area.right()), dice.between(area.top(), area.bottom())), radius);
        }
    }
    return scenery;
}

void drawRiver(Svg &svg, int seed)
{
    const QRectF bed = riverBed();
    Dice dice{quint32(seed)};
    const double phase = dice.between(0, 6);
    PathData water;
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
        svg.add("path", {{"d", PathData().move(at).quad(at + QPointF(4, -2.5), at + QPointF(8, 0)).text()}});
    }
    svg.end();
}

void drawParapets(Svg &svg)
{
    const QRectF bed = riverBed();
    svg.begin("g",
              {{"fill", QStringLiteral("#8d8a84")},
               {"stroke", QStringLiteral("#4d4b47")},
               {"stroke-width", QStringLiteral("0.8")}});
    for (const double y : {Centre.y() - HalfRoad - Footway - 3, Centre.y() + HalfRoad + Footway})
        rect(svg, QRectF(bed.left() + 4, y, bed.width() - 8, 3));
    svg.end();
}

void drawScenery(Svg &svg, const Scenery &scenery)
{
    static const QString cars[6] = {QStringLiteral("#c62828"), QStringLiteral("#1565c0"), QStringLiteral("#eeeeee"),
                                    QStringLiteral("#37474f"), QStringLiteral("#f9a825"), QStringLiteral("#6a1b9a")};
    static const QString roofs[4] = {QStringLiteral("#c0765a"), QStringLiteral("#a8553d"), QStringLiteral("#8f8f96"),
                                     QStringLiteral("#b98a62")};

    for (const CarPark &park : scenery.carParks) {
        svg.add("rect",
                {{"x", num(park.rect.x())},
                 {"y", num(park.rect.y())},
                 {"width", num(park.rect.width())},
                 {"height", num(park.rect.height())},
                 {"fill", QStringLiteral("#8a8d91")},
                 {"stroke", QStringLiteral("#6c6f73")},
                 {"stroke-width", QStringLiteral("1")}});
        svg.begin("g", {{"stroke", QStringLiteral("#e9e9e9")}, {"stroke-width", QStringLiteral("0.8")}});
        for (const QLineF &bay : park.bays)
            line(svg, bay.p1(), bay.p2());
        svg.end();
        svg.begin("g", {{"stroke", QStringLiteral("#222222")}, {"stroke-width", QStringLiteral("0.5")}});
        for (const Car &car : park.cars) {
            svg.add("rect",
                    {{"x", num(car.rect.x())},
                     {"y", num(car.rect.y())},
                     {"width", num(car.rect.width())},
                     {"height", num(car.rect.height())},
                     {"rx", QStringLiteral("1.5")},
                     {"fill", cars[car.colour % 6]}});
        }
        svg.end();
    }

    for (const Building &building : scenery.buildings) {
        const QRectF &r = building.rect;
        svg.begin("g");
        if (!building.walk.isEmpty()) {
            svg.add("rect",
                    {{"x", num(building.walk.x())},
                     {"y", num(building.walk.y())},
                     {"width", num(building.walk.width())},
                     {"height", num(building.walk.height())},
                     {"fill", Paving}});
        }
        svg.add("rect",
                {{"x", num(r.x() + 3)},
                 {"y", num(r.y() + 3)},
                 {"width", num(r.width())},
                 {"height", num(r.height())},
                 {"fill", QStringLiteral("#000000")},
                 {"fill-opacity", QStringLiteral("0.18")}});
        const QString fill = building.flat ? QStringLiteral("#b9bcc0") : roofs[building.colour % 4];
        svg.add("rect",
                {{"x", num(r.x())},
                 {"y", num(r.y())},
                 {"width", num(r.width())},
                 {"height", num(r.height())},
                 {"fill", fill},
                 {"stroke", QStringLiteral("#4a3b33")},
                 {"stroke-width", QStringLiteral("1")}});
        if (building.flat) {
            // Parapet and plant make a flat roof read as one.
            svg.add("rect",
                    {{"x", num(r.x() + 3)},
                     {"y", num(r.y() + 3)},
                     {"width", num(r.width() - 6)},
                     {"height", num(r.height() - 6)},
                     {"fill", QStringLiteral("none")},
                     {"stroke", QStringLiteral("#8e9296")},
                     {"stroke-width", QStringLiteral("1")}});
            const QPointF unitAt = r.center() + QPointF(r.width() / 6, -r.height() / 8);
            svg.add("rect",
                    {{"x", num(unitAt.x())},
                     {"y", num(unitAt.y())},
                     {"width", QStringLiteral("10")},
                     {"height", QStringLiteral("7")},
                     {"fill", QStringLiteral("#9ea2a6")},
                     {"stroke", QStringLiteral("#6d7175")},
                     {"stroke-width", QStringLiteral("0.8")}});
        } else {
            // Ridge and hips make a pitched roof read as one, even at icon size.
            const bool wide = r.width() >= r.height();
            const double half = (wide ? r.height() : r.width()) / 2;
            const QPointF a = wide ? QPointF(r.left() + half, r.center().y()) : QPointF(r.center().x(), r.top() + half);
            const QPointF b =
                wide ? QPointF(r.right() - half, r.center().y()) : QPointF(r.center().x(), r.bottom() - half);
            PathData hips;
            hips.move(r.topLeft()).line(a).line(wide ? r.bottomLeft() : r.topRight());
            hips.move(wide ? r.topRight() : r.bottomLeft()).line(b).line(r.bottomRight());
            svg.add("path",
                    {{"d", hips.text()},
                     {"fill", QStringLiteral("none")},
                     {"stroke", QStringLiteral("#5e4438")},
                     {"stroke-width", QStringLiteral("0.8")}});
            svg.add("path",
                    {{"d", PathData().move(a).line(b).text()},
                     {"fill", QStringLiteral("none")},
                     {"stroke", QStringLiteral("#5e4438")},
                     {"stroke-width", QStringLiteral("1.2")}});
        }
        svg.end();
    }

    svg.begin("g", {{"fill", QStringLiteral("#000000")}, {"fill-opacity", QStringLiteral("0.2")}});
    for (const Tree &tree : scenery.trees) {
        svg.add("circle",
                {{"cx", num(tree.centre.x() + 2)}, {"cy", num(tree.centre.y() + 2)}, {"r", num(tree.radius)}});
    }
    svg.end();
    svg.begin("g", {{"stroke", QStringLiteral("#2f5a23")}, {"stroke-width", QStringLiteral("0.8")}});
    for (const Tree &tree : scenery.trees) {
        svg.add("circle",
                {{"cx", num(tree.centre.x())},
                 {"cy", num(tree.centre.y())},
                 {"r", num(tree.radius)},
                 {"fill", QStringLiteral("#4e8c3a")}});
        const QPointF light = tree.centre - QPointF(tree.radius, tree.radius) * 0.3;
        svg.add("circle",
                {{"cx", num(light.x())},
                 {"cy", num(light.y())},
                 {"r", num(tree.radius * 0.45)},
                 {"fill", QStringLiteral("#6cae52")},
                 {"stroke", QStringLiteral("none")}});
    }
    svg.end();
}

void drawLabels(Svg &svg, const Layout &layout, int number)
{
    const QString label = QString::number(number);
    const double width = 10 + 9 * label.size();
    svg.add("rect",
            {{"x", QStringLiteral("3")},
             {"y", QStringLiteral("3")},
             {"width", num(width)},
             {"height", QStringLiteral("19")},
             {"rx", QStringLiteral("3")},
             {"fill", QStringLiteral("#ffffff")},
             {"fill-opacity", QStringLiteral("0.9")},
             {"stroke", Ink},
             {"stroke-width", QStringLiteral("0.8")}});
    svg.text(QPointF(3 + width / 2, 18), 15, label);

    // Each letter stands beside the end of its arm, on the kerb side of the lane out.
    const QPointF places[ArmCount] = {{Centre.x() + HalfRoad + Footway + 9, 11},
                                      {Width - 11, Centre.y() - HalfRoad - Footway - 9},
                                      {Centre.x() - HalfRoad - Footway - 9, Height - 11},
                                      {11, Centre.y() + HalfRoad + Footway + 9}};
    for (int arm = 0; arm < ArmCount; ++arm) {
        if (!layout.has(arm))
            continue;
        const QPointF &at = places[arm];
        svg.add("circle",
                {{"cx", num(at.x())},
                 {"cy", num(at.y())},
                 {"r", QStringLiteral("8")},
                 {"fill", QStringLiteral("#ffffff")},
                 {"fill-opacity", QStringLiteral("0.9")},
                 {"stroke", Ink},
                 {"stroke-width", QStringLiteral("0.8")}});
        svg.text(at + QPointF(0, 4), 11, ArmLetters.at(arm));
    }
}

// ---------------------------------------------------------------- the fleet

struct Movements
{
    QVector<std::pair<int, int>> vehicles;
    QVector<int> pedestrians;
};

bool parse(const Fleet::Junction &junction, const Fleet::Stage &stage, Movements *movements)
{
    const QStringList words = stage.movements.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &word : words) {
        const bool walkers = word.size() == 2 && word.at(0) == QLatin1Char('p');
        const int from = word.size() == 2 ? junction.arms.indexOf(word.at(walkers ? 1 : 0)) : -1;
        const int to = word.size() == 2 && !walkers ? junction.arms.indexOf(word.at(1)) : -1;
        if (from < 0 || (!walkers && (to < 0 || from == to))) {
            err() << "makeschemas: junction " << junction.number << ", stage " << stage.id << ": no movement \"" << word
                  << "\" on arms " << junction.arms << Qt::endl;
            return false;
        }
        const int fromArm = ArmLetters.indexOf(junction.arms.at(from));
        if (walkers)
            movements->pedestrians.append(fromArm);
        else
            movements->vehicles.append({fromArm, int(ArmLetters.indexOf(junction.arms.at(to)))});
    }
    return true;
}

bool makeLayout(const Fleet::Junction &junction, Layout *layout)
{
    for (const QChar arm : junction.arms) {
        const int index = ArmLetters.indexOf(arm);
        if (index < 0) {
            err() << "makeschemas: junction " << junction.number << ": no arm \"" << arm << '"' << Qt::endl;
            return false;
        }
        layout->arms[index] = true;
    }
    for (const Fleet::Stage &stage : junction.stages) {
        Movements movements;
        if (!parse(junction, stage, &movements))
            return false;
        for (const auto &movement : qAsConst(movements.vehicles)) {
            if (!layout->exits[movement.first].contains(movement.second))
                layout->exits[movement.first].append(movement.second);
        }
    }
    return true;
}

QByteArray plan(const Fleet::Junction &junction, const Layout &layout)
{
    Svg svg(QStringLiteral("Junction %1, %2").arg(junction.number).arg(junction.name));
    // The fleet table says nothing of rivers; a junction named a bridge gets one.
    const bool bridge = junction.name.contains(QLatin1String("Bridge"));
    svg.add("rect", {{"width", num(Width)}, {"height", num(Height)}, {"fill", Grass}});
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
    Svg svg(QStringLiteral("Junction %1, stage %2: %3").arg(junction.number).arg(stage.id).arg(stage.description));

    if (!movements.pedestrians.isEmpty()) {
        svg.begin("g", {{"fill", WalkGreen}, {"stroke", ArrowEdge}, {"stroke-width", QStringLiteral("1.5")}});
        for (const int arm : movements.pedestrians) {
            for (const QRectF &stripe : zebra(arm))
                rect(svg, stripe.adjusted(-0.5, -1, 0.5, 1));
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
        PathData path;
        path.move(start);
        if (turn(from, to) != Turn::Straight) {
            // Along the lane in, round the corner where the lanes meet, along the lane out.
            const QPointF corner = Centre + rightOf(inward(from)) * LaneOffset + rightOf(out) * LaneOffset;
            path.line(onArm(from, HalfRoad + 4, LaneOffset)).quad(corner, onArm(to, HalfRoad + 4, -LaneOffset));
        }
        shafts.append(path.line(neck).text());
        heads.append(points({tip, neck + rightOf(out) * HeadHalfWidth, neck - rightOf(out) * HeadHalfWidth}));
    }
    // All outlines first, so that arrows that share a lane merge into one shape.
    svg.begin("g",
              {{"fill", QStringLiteral("none")},
               {"stroke", ArrowEdge},
               {"stroke-width", num(OutlineWidth)},
               {"stroke-linecap", QStringLiteral("round")},
               {"stroke-linejoin", QStringLiteral("round")}});
    for (const QString &shaft : qAsConst(shafts))
        svg.add("path", {{"d", shaft}});
    svg.end();
    svg.begin("g",
              {{"fill", ArrowEdge},
               {"stroke", ArrowEdge},
               {"stroke-width", num(OutlineWidth - ArrowWidth)},
               {"stroke-linejoin", QStringLiteral("round")}});
    for (const QString &head : qAsConst(heads))
        svg.add("polygon", {{"points", head}});
    svg.end();
    svg.begin("g",
              {{"fill", QStringLiteral("none")},
               {"stroke", ArrowGreen},
               {"stroke-width", num(ArrowWidth)},
               {"stroke-linecap", QStringLiteral("round")},
               {"stroke-linejoin", QStringLiteral("round")}});
    for (const QString &shaft : qAsConst(shafts))
        svg.add("path", {{"d", shaft}});
    svg.end();
    svg.begin("g", {{"fill", ArrowGreen}});
    for (const QString &head : qAsConst(heads))
        svg.add("polygon", {{"points", head}});
    svg.end();
    return svg.finish();
}

// The panel reads the picture beside the file the controller names.
QString pictureFor(const QString &schema)
{
    const QFileInfo info(schema);
    return info.dir().filePath(info.completeBaseName() + QLatin1String(".svg"));
}

bool writeFile(const QString &path, const QByteArray &data)
{
    // QSaveFile so an interrupted run never leaves a truncated picture behind.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        err() << "makeschemas: cannot write " << path << ": " << file.errorString() << Qt::endl;
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        err() << "usage: makeschemas <output-folder>" << Qt::endl;
        return 2;
    }
    const QString folder = args.at(1);
    if (!QDir().mkpath(folder)) {
        err() << "makeschemas: cannot create folder " << folder << Qt::endl;
        return 1;
    }

    bool ok = true;
    for (const Fleet::Junction &junction : Fleet::junctions()) {
        Layout layout;
        if (!makeLayout(junction, &layout)) {
            ok = false;
            continue;
        }
        ok &= writeFile(pictureFor(Fleet::planSchema(folder, junction)), plan(junction, layout));
        for (const Fleet::Stage &stage : junction.stages) {
            Movements movements;
            parse(junction, stage, &movements);
            ok &=
                writeFile(pictureFor(Fleet::stageSchema(folder, junction, stage)), overlay(junction, stage, movements));
        }
    }
    return ok ? 0 : 1;
}
