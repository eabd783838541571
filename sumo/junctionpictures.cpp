// SPDX-License-Identifier: MIT
#include "junctionpictures.h"

#include <QLineF>
#include <QSet>
#include <QXmlStreamWriter>

#include <algorithm>

namespace Helvor {

namespace {

// The icon's shape, and the drawing's nominal size at twice the icon's.
constexpr double aspect = 200.0 / 125.0;
constexpr int drawnWidth = 400;
constexpr int drawnHeight = 250;
// Road around the junction that still shows, in metres.
constexpr double surroundings = 9;

const QString background = QStringLiteral("#e9ebe4");
const QString asphalt = QStringLiteral("#74777b");
const QString paving = QStringLiteral("#c9c5bb");
const QString marking = QStringLiteral("#ffffff");
const QString outline = QStringLiteral("#0a3314");
const QString green = QStringLiteral("#29d14a");
// A green that must give way, such as a permitted left turn.
const QString yielding = QStringLiteral("#b9e65a");

// Movement arrows, in metres: wide enough to read at the icon's size.
constexpr double arrowWidth = 1.3;
constexpr double outlineWidth = 2.1;
constexpr double headLength = 3.6;
constexpr double headHalfWidth = 2.1;

QString number(double value)
{
    QString text = QString::number(value, 'f', 2);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

double length(const QPolygonF &line)
{
    double total = 0;
    for (int i = 1; i < line.size(); ++i)
        total += QLineF(line.at(i - 1), line.at(i)).length();
    return total;
}

QPolygonF reversed(const QPolygonF &line)
{
    QPolygonF result;
    result.reserve(line.size());
    for (int i = line.size() - 1; i >= 0; --i)
        result.append(line.at(i));
    return result;
}

void startDocument(QXmlStreamWriter &xml, const QRectF &box, const QString &title)
{
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("svg"));
    xml.writeDefaultNamespace(QStringLiteral("http://www.w3.org/2000/svg"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.2"));
    xml.writeAttribute(QStringLiteral("baseProfile"), QStringLiteral("tiny"));
    xml.writeAttribute(QStringLiteral("width"), QString::number(drawnWidth));
    xml.writeAttribute(QStringLiteral("height"), QString::number(drawnHeight));
    xml.writeAttribute(QStringLiteral("viewBox"),
                       QStringLiteral("0 0 %1 %2").arg(number(box.width()), number(box.height())));
    xml.writeTextElement(QStringLiteral("title"), title);
}

void startGroup(QXmlStreamWriter &xml, const QString &fill, const QString &stroke, double width = 0)
{
    xml.writeStartElement(QStringLiteral("g"));
    xml.writeAttribute(QStringLiteral("fill"), fill);
    xml.writeAttribute(QStringLiteral("stroke"), stroke);
    if (width > 0)
        xml.writeAttribute(QStringLiteral("stroke-width"), number(width));
}

} // namespace

JunctionPictures::JunctionPictures(const Plan &plan)
    : m_plan(plan)
{
    QRectF bounds;
    for (const QPolygonF &junction : plan.junctions)
        bounds = bounds.isNull() ? junction.boundingRect() : bounds.united(junction.boundingRect());
    if (bounds.isNull()) {
        for (const QVector<Link> &links : plan.links) {
            for (const Link &link : links)
                bounds = bounds.isNull() ? link.path.boundingRect() : bounds.united(link.path.boundingRect());
        }
    }
    // The junction and some road round it, in the icon's shape.
    double height = qMax(bounds.height(), bounds.width() / aspect) + 2 * surroundings;
    m_area = QRectF(0, 0, height * aspect, height);
    m_area.moveCenter(bounds.center());
}

QPolygonF JunctionPictures::head(const QPolygonF &line, double wanted)
{
    QPolygonF result;
    if (line.isEmpty())
        return result;
    result.append(line.first());
    double left = wanted;
    for (int i = 1; i < line.size() && left > 0; ++i) {
        const QLineF segment(line.at(i - 1), line.at(i));
        if (segment.length() >= left) {
            result.append(segment.pointAt(left / segment.length()));
            break;
        }
        result.append(line.at(i));
        left -= segment.length();
    }
    return result;
}

QPolygonF JunctionPictures::tail(const QPolygonF &line, double wanted)
{
    return reversed(head(reversed(line), wanted));
}

QRectF JunctionPictures::area() const
{
    return m_area;
}

QString JunctionPictures::point(const QPointF &p) const
{
    return number(p.x() - m_area.left()) + QLatin1Char(',') + number(m_area.bottom() - p.y());
}

QString JunctionPictures::points(const QPolygonF &shape) const
{
    QStringList list;
    list.reserve(shape.size());
    for (const QPointF &p : shape)
        list.append(point(p));
    return list.join(QLatin1Char(' '));
}

QByteArray JunctionPictures::plan(const QString &title) const
{
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    startDocument(xml, m_area, title);

    xml.writeEmptyElement(QStringLiteral("rect"));
    xml.writeAttribute(QStringLiteral("width"), number(m_area.width()));
    xml.writeAttribute(QStringLiteral("height"), number(m_area.height()));
    xml.writeAttribute(QStringLiteral("fill"), background);

    // Footways under the roads, so that a road's edge stays sharp.
    startGroup(xml, paving, paving);
    for (const Lane &lane : m_plan.lanes) {
        if (lane.kind != Lane::WalkingArea)
            continue;
        xml.writeEmptyElement(QStringLiteral("polygon"));
        xml.writeAttribute(QStringLiteral("points"), points(lane.shape));
    }
    xml.writeEndElement();
    startGroup(xml, QStringLiteral("none"), paving);
    for (const Lane &lane : m_plan.lanes) {
        if (lane.kind != Lane::Footway)
            continue;
        xml.writeEmptyElement(QStringLiteral("polyline"));
        xml.writeAttribute(QStringLiteral("points"), points(lane.shape));
        xml.writeAttribute(QStringLiteral("stroke-width"), number(lane.width));
    }
    xml.writeEndElement();

    startGroup(xml, asphalt, asphalt, 0.3);
    for (const QPolygonF &junction : m_plan.junctions) {
        xml.writeEmptyElement(QStringLiteral("polygon"));
        xml.writeAttribute(QStringLiteral("points"), points(junction));
    }
    xml.writeEndElement();
    startGroup(xml, QStringLiteral("none"), asphalt);
    for (const Lane &lane : m_plan.lanes) {
        if (lane.kind != Lane::Road)
            continue;
        xml.writeEmptyElement(QStringLiteral("polyline"));
        xml.writeAttribute(QStringLiteral("points"), points(lane.shape));
        // A hair wider, so that no seam shows between lanes side by side.
        xml.writeAttribute(QStringLiteral("stroke-width"), number(lane.width + 0.1));
    }
    xml.writeEndElement();

    // Stop lines across each lane that enters the junction, and zebras.
    startGroup(xml, QStringLiteral("none"), marking, 0.5);
    for (const Lane &lane : m_plan.lanes) {
        if (!lane.approach || lane.shape.size() < 2)
            continue;
        const QLineF last(lane.shape.at(lane.shape.size() - 2), lane.shape.last());
        if (last.length() <= 0)
            continue;
        QLineF across = last.normalVector().unitVector();
        const QPointF half = (across.p2() - across.p1()) * (lane.width / 2);
        const QPointF end = lane.shape.last() - (last.p2() - last.p1()) / last.length() * 0.4;
        xml.writeEmptyElement(QStringLiteral("line"));
        xml.writeAttribute(QStringLiteral("x1"), number(end.x() - half.x() - m_area.left()));
        xml.writeAttribute(QStringLiteral("y1"), number(m_area.bottom() - (end.y() - half.y())));
        xml.writeAttribute(QStringLiteral("x2"), number(end.x() + half.x() - m_area.left()));
        xml.writeAttribute(QStringLiteral("y2"), number(m_area.bottom() - (end.y() + half.y())));
    }
    for (const Lane &lane : m_plan.lanes) {
        if (lane.kind != Lane::Crossing)
            continue;
        xml.writeEmptyElement(QStringLiteral("polyline"));
        xml.writeAttribute(QStringLiteral("points"), points(lane.shape));
        xml.writeAttribute(QStringLiteral("stroke-width"), number(lane.width));
        xml.writeAttribute(QStringLiteral("stroke-dasharray"), QStringLiteral("0.9,0.9"));
    }
    xml.writeEndElement();

    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
}

QByteArray JunctionPictures::stage(const QString &state, const QString &title) const
{
    // The movements green in this stage, each drawn once however many
    // lanes or signals it has.
    struct Arrow
    {
        QPolygonF line;
        QPolygonF head;
        bool yields;
    };
    QVector<Arrow> arrows;
    QVector<Link> crossings;
    QSet<QString> seen;
    for (int index = 0; index < m_plan.links.size() && index < state.size(); ++index) {
        const QChar signal = state.at(index);
        if (signal != QLatin1Char('G') && signal != QLatin1Char('g'))
            continue;
        for (const Link &link : m_plan.links.at(index)) {
            if (link.path.size() < 2 || seen.contains(points(link.path)))
                continue;
            seen.insert(points(link.path));
            if (link.crossing) {
                crossings.append(link);
                continue;
            }
            // The line ends where the arrow's head begins.
            const QPolygonF line = head(link.path, qMax(0.0, length(link.path) - headLength));
            const QLineF end(line.last(), link.path.last());
            if (end.length() <= 0)
                continue;
            const QPointF across = (end.normalVector().unitVector().p2() - end.p1()) * headHalfWidth;
            arrows.append({line, QPolygonF({link.path.last(), line.last() + across, line.last() - across}),
                           signal == QLatin1Char('g')});
        }
    }

    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    startDocument(xml, m_area, title);

    if (!crossings.isEmpty()) {
        startGroup(xml, QStringLiteral("none"), green);
        xml.writeAttribute(QStringLiteral("stroke-opacity"), QStringLiteral("0.85"));
        for (const Link &crossing : qAsConst(crossings)) {
            xml.writeEmptyElement(QStringLiteral("polyline"));
            xml.writeAttribute(QStringLiteral("points"), points(crossing.path));
            xml.writeAttribute(QStringLiteral("stroke-width"), number(crossing.width));
        }
        xml.writeEndElement();
    }
    if (!arrows.isEmpty()) {
        // Every outline under every arrow, so that arrows that cross stay whole.
        startGroup(xml, QStringLiteral("none"), outline, outlineWidth);
        xml.writeAttribute(QStringLiteral("stroke-linecap"), QStringLiteral("round"));
        xml.writeAttribute(QStringLiteral("stroke-linejoin"), QStringLiteral("round"));
        for (const Arrow &arrow : qAsConst(arrows)) {
            xml.writeEmptyElement(QStringLiteral("polyline"));
            xml.writeAttribute(QStringLiteral("points"), points(arrow.line));
        }
        xml.writeEndElement();
        startGroup(xml, outline, outline, outlineWidth - arrowWidth);
        xml.writeAttribute(QStringLiteral("stroke-linejoin"), QStringLiteral("round"));
        for (const Arrow &arrow : qAsConst(arrows)) {
            xml.writeEmptyElement(QStringLiteral("polygon"));
            xml.writeAttribute(QStringLiteral("points"), points(arrow.head));
        }
        xml.writeEndElement();
        for (const bool yields : {false, true}) {
            if (std::none_of(arrows.cbegin(), arrows.cend(),
                             [yields](const Arrow &arrow) { return arrow.yields == yields; }))
                continue;
            const QString colour = yields ? yielding : green;
            startGroup(xml, QStringLiteral("none"), colour, arrowWidth);
            xml.writeAttribute(QStringLiteral("stroke-linecap"), QStringLiteral("round"));
            xml.writeAttribute(QStringLiteral("stroke-linejoin"), QStringLiteral("round"));
            for (const Arrow &arrow : qAsConst(arrows)) {
                if (arrow.yields != yields)
                    continue;
                xml.writeEmptyElement(QStringLiteral("polyline"));
                xml.writeAttribute(QStringLiteral("points"), points(arrow.line));
            }
            xml.writeEndElement();
            startGroup(xml, colour, QStringLiteral("none"));
            for (const Arrow &arrow : qAsConst(arrows)) {
                if (arrow.yields != yields)
                    continue;
                xml.writeEmptyElement(QStringLiteral("polygon"));
                xml.writeAttribute(QStringLiteral("points"), points(arrow.head));
            }
            xml.writeEndElement();
        }
    }

    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
}

} // namespace Helvor
