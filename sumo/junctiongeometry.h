// SPDX-License-Identifier: MIT
#ifndef HELVOR_JUNCTIONGEOMETRY_H
#define HELVOR_JUNCTIONGEOMETRY_H

#include "junctionpictures.h"

#include <libsumo/libtraci.h>

#include <QPolygonF>

#include <map>
#include <string>
#include <vector>

namespace Helvor {

// The lights' junctions as sumo has them, asked for as the simulation
// starts so that their pictures can be drawn: each lane's shape is asked
// for once, however many junctions it runs between.
class JunctionGeometry
{
public:
    JunctionGeometry();

    // A lane inside a junction, whose name sumo begins with ':'.
    static bool isInternal(const std::string &lane);

    // A light's junction: the roads that meet there, its footways and
    // crossings, and the way of every controlled link.
    JunctionPictures::Plan plan(const std::string &light, const std::vector<std::vector<libsumo::TraCILink>> &links);

private:
    const QPolygonF &shape(const std::string &lane);

    std::vector<std::string> m_allLanes;
    std::map<std::string, QPolygonF> m_shapes;
};

} // namespace Helvor

#endif // HELVOR_JUNCTIONGEOMETRY_H
