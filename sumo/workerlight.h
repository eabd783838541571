// SPDX-License-Identifier: MIT
#ifndef HELVOR_WORKERLIGHT_H
#define HELVOR_WORKERLIGHT_H

#include "signalsequence.h"
#include "sumodata.h"

#include <QString>
#include <QVector>

#include <string>
#include <vector>

namespace Helvor {

// One traffic light as the worker thread keeps it: read from sumo as the
// simulation starts, then driven and observed at every step.
struct WorkerLight
{
    WorkerLight(const std::string &id, const SignalSequence &sequence)
        : id(id)
        , sequence(sequence)
    {
    }

    std::string id;
    SumoLightInfo info;
    SignalSequence sequence;
    int links = 0;
    QString state;
    QString programme;
    int phase = 0;
    qint64 sinceWall = 0;
    // Approach lanes, and for each the approach its halting vehicles count to.
    std::vector<std::string> lanes;
    QVector<int> laneApproach;
    QVector<int> halting;
};

} // namespace Helvor

#endif // HELVOR_WORKERLIGHT_H
