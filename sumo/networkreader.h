// SPDX-License-Identifier: MIT
#ifndef HELVOR_NETWORKREADER_H
#define HELVOR_NETWORKREADER_H

#include "sumodata.h"
#include "workerlight.h"

#include <QCoreApplication>
#include <QString>

#include <string>
#include <vector>

namespace Helvor {

class JunctionPictures;

// What the worker learns of the network once sumo answers: the traffic
// lights it can drive, with their programmes and approaches, numbered and
// named for the operator from junctions.csv beside the scenario, and
// their pictures written into the cache folder.
class NetworkReader
{
    Q_DECLARE_TR_FUNCTIONS(NetworkReader)

public:
    NetworkReader(const QString &scenario, const QString &cacheDir);

    // The lights, ordered by number, and the network as the GUI thread is
    // told it. Throws what SUMO's library throws.
    std::vector<WorkerLight> read(SumoNetwork *network) const;

private:
    // The plan, and an overlay per stage, each named to the controller as
    // the .wmf beside its .svg.
    static void writePictures(const JunctionPictures &drawing, const QString &base, const std::string &id,
                              SumoLightInfo *info);

    QString m_scenario;
    QString m_cacheDir;
};

} // namespace Helvor

#endif // HELVOR_NETWORKREADER_H
