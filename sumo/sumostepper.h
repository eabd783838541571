// SPDX-License-Identifier: MIT
#ifndef HELVOR_SUMOSTEPPER_H
#define HELVOR_SUMOSTEPPER_H

#include "signalsequence.h"
#include "sumodata.h"
#include "workerlight.h"

#include <QPointF>
#include <QVector>

#include <vector>

namespace Helvor {

// The simulation's steps, as the worker makes them: before each, the
// orders carried out as SUMO's commands for each light; after it, what
// the lights show, the vehicles halting on their approaches and where all
// vehicles are, from the values that come back with the step's answer.
class SumoStepper
{
public:
    // Takes the lights of a new run, and what they show as it starts.
    void start(std::vector<WorkerLight> lights, double stepLength);
    // Forgets the lights once the run is over.
    void clear();
    // Throws what SUMO's library throws.
    void step(const QVector<SumoOrder> &orders);
    SumoSnapshot snapshot() const;
    double stepLength() const;

private:
    void subscribe();
    void observe();
    static void apply(WorkerLight &light, const SignalSequence::Action &action);

    std::vector<WorkerLight> m_lights;
    QVector<QPointF> m_vehicles;
    double m_time = 0;
    double m_stepLength = 1;
};

} // namespace Helvor

#endif // HELVOR_SUMOSTEPPER_H
