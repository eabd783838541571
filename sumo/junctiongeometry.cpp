// SPDX-License-Identifier: MIT
#include "junctiongeometry.h"

#include <libsumo/libtraci.h>

#include <QRegularExpression>
#include <QSet>
#include <QString>

#include <algorithm>
#include <set>

namespace Helvor {

namespace {

// How far along the approach lane and into the exit a movement is drawn.
constexpr double approachMetres = 8;
constexpr double exitMetres = 4;

QPolygonF polygon(const libsumo::TraCIPositionVector &shape)
{
    QPolygonF result;
    result.reserve(int(shape.value.size()));
    for (const libsumo::TraCIPosition &p : shape.value) {
        const QPointF point(p.x, p.y);
        if (result.isEmpty() || result.last() != point)
            result.append(point);
    }
    return result;
}

void extend(QPolygonF *line, const QPolygonF &more)
{
    for (const QPointF &p : more) {
        if (line->isEmpty() || line->last() != p)
            line->append(p);
    }
}

} // namespace

JunctionGeometry::JunctionGeometry()
    : m_allLanes(libtraci::Lane::getIDList())
{
}

bool JunctionGeometry::isInternal(const std::string &lane)
{
    return !lane.empty() && lane.front() == ':';
}

const QPolygonF &JunctionGeometry::shape(const std::string &lane)
{
    auto found = m_shapes.find(lane);
    if (found == m_shapes.end())
        found = m_shapes.emplace(lane, polygon(libtraci::Lane::getShape(lane))).first;
    return found->second;
}

JunctionPictures::Plan JunctionGeometry::plan(const std::string &light,
                                              const std::vector<std::vector<libsumo::TraCILink>> &links)
{
    using namespace libtraci;
    JunctionPictures::Plan plan;
    QSet<QString> junctions;
    for (const std::string &junction : TrafficLight::getControlledJunctions(light)) {
        plan.junctions.append(polygon(Junction::getShape(junction)));
        junctions.insert(QString::fromStdString(junction));
    }
    std::vector<std::string> edges;
    std::set<std::string> approachLanes;
    plan.links.resize(int(links.size()));
    for (int index = 0; index < int(links.size()); ++index) {
        for (const libsumo::TraCILink &link : links.at(size_t(index))) {
            JunctionPictures::Link drawn;
            if (link.viaLane.empty() && isInternal(link.toLane)) {
                // A pedestrian signal: the crossing is where it leads.
                drawn.path = shape(link.toLane);
                drawn.crossing = true;
                drawn.width = Lane::getWidth(link.toLane);
            } else {
                drawn.path = JunctionPictures::tail(shape(link.fromLane), approachMetres);
                // A turn that waits inside the junction goes on by a lane of its own.
                std::string internal = link.viaLane;
                for (int hops = 0; !internal.empty() && hops < 4; ++hops) {
                    extend(&drawn.path, shape(internal));
                    const std::vector<libsumo::TraCIConnection> next = Lane::getLinks(internal);
                    internal = next.empty() ? std::string() : next.front().approachedInternal;
                }
                extend(&drawn.path, JunctionPictures::head(shape(link.toLane), exitMetres));
            }
            plan.links[index].append(drawn);
            if (!isInternal(link.fromLane))
                approachLanes.insert(link.fromLane);
            for (const std::string &lane : {link.fromLane, link.toLane}) {
                if (isInternal(lane))
                    continue;
                const std::string edge = Lane::getEdgeID(lane);
                if (std::find(edges.begin(), edges.end(), edge) == edges.end())
                    edges.push_back(edge);
            }
        }
    }
    for (const std::string &edge : edges) {
        const int count = Edge::getLaneNumber(edge);
        for (int i = 0; i < count; ++i) {
            const std::string lane = edge + '_' + std::to_string(i);
            JunctionPictures::Lane drawn;
            drawn.shape = shape(lane);
            drawn.width = Lane::getWidth(lane);
            drawn.kind = Lane::getAllowed(lane) == std::vector<std::string>{"pedestrian"}
                ? JunctionPictures::Lane::Footway
                : JunctionPictures::Lane::Road;
            drawn.approach = approachLanes.count(lane) > 0;
            plan.lanes.append(drawn);
        }
    }
    // Crossings and walking areas are lanes of the junction: ":<junction>_c0_0".
    static const QRegularExpression walking(QStringLiteral("^:(.*)_([cw])\\d+_\\d+$"));
    for (const std::string &lane : m_allLanes) {
        const QRegularExpressionMatch match = walking.match(QString::fromStdString(lane));
        if (!match.hasMatch() || !junctions.contains(match.captured(1)))
            continue;
        JunctionPictures::Lane drawn;
        drawn.shape = shape(lane);
        drawn.width = Lane::getWidth(lane);
        drawn.kind = match.captured(2) == QLatin1String("c") ? JunctionPictures::Lane::Crossing
                                                             : JunctionPictures::Lane::WalkingArea;
        plan.lanes.append(drawn);
    }
    return plan;
}

} // namespace Helvor
