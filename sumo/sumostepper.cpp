// SPDX-License-Identifier: MIT
#include "sumostepper.h"

#include <libsumo/libtraci.h>

#include <QDateTime>

#include <memory>
#include <string>
#include <utility>

namespace Helvor {

namespace {

// A held stage lasts until the next order, which comes long before this.
constexpr double holdSeconds = 1e6;

template<typename Result> std::shared_ptr<Result> result(const libsumo::TraCIResults &results, int variable)
{
    const auto found = results.find(variable);
    return found == results.end() ? nullptr : std::dynamic_pointer_cast<Result>(found->second);
}

} // namespace

void SumoStepper::start(std::vector<WorkerLight> lights, double stepLength)
{
    m_lights = std::move(lights);
    m_stepLength = stepLength;
    m_time = libtraci::Simulation::getTime();
    subscribe();
    observe();
}

void SumoStepper::clear()
{
    m_lights.clear();
    m_vehicles.clear();
}

double SumoStepper::stepLength() const
{
    return m_stepLength;
}

void SumoStepper::subscribe()
{
    using namespace libtraci;
    // The values come back with every step's answer: one round trip a step.
    Simulation::subscribe(std::vector<int>{libsumo::VAR_TIME, libsumo::VAR_DEPARTED_VEHICLES_IDS});
    for (const WorkerLight &light : m_lights) {
        TrafficLight::subscribe(
            light.id, {libsumo::TL_RED_YELLOW_GREEN_STATE, libsumo::TL_CURRENT_PROGRAM, libsumo::TL_CURRENT_PHASE});
        for (const std::string &lane : light.lanes)
            Lane::subscribe(lane, {libsumo::LAST_STEP_VEHICLE_HALTING_NUMBER});
    }
    for (const std::string &vehicle : Vehicle::getIDList())
        Vehicle::subscribe(vehicle, {libsumo::VAR_POSITION});
}

void SumoStepper::observe()
{
    using namespace libtraci;
    const libsumo::TraCIResults simulation = Simulation::getSubscriptionResults();
    if (const auto time = result<libsumo::TraCIDouble>(simulation, libsumo::VAR_TIME))
        m_time = time->value;
    if (const auto departed = result<libsumo::TraCIStringList>(simulation, libsumo::VAR_DEPARTED_VEHICLES_IDS)) {
        for (const std::string &vehicle : departed->value)
            Vehicle::subscribe(vehicle, {libsumo::VAR_POSITION});
    }

    const qint64 wall = QDateTime::currentMSecsSinceEpoch();
    const libsumo::SubscriptionResults lights = TrafficLight::getAllSubscriptionResults();
    const libsumo::SubscriptionResults lanes = Lane::getAllSubscriptionResults();
    for (WorkerLight &light : m_lights) {
        const auto found = lights.find(light.id);
        if (found != lights.end()) {
            if (const auto state = result<libsumo::TraCIString>(found->second, libsumo::TL_RED_YELLOW_GREEN_STATE))
                light.state = QString::fromStdString(state->value);
            if (const auto programme = result<libsumo::TraCIString>(found->second, libsumo::TL_CURRENT_PROGRAM))
                light.programme = QString::fromStdString(programme->value);
            if (const auto phase = result<libsumo::TraCIInt>(found->second, libsumo::TL_CURRENT_PHASE))
                light.phase = phase->value;
        }
        light.sequence.observe(m_time, light.state, light.programme, light.phase);
        if (light.sequence.changed())
            light.sinceWall = wall;
        light.halting.fill(0);
        for (size_t i = 0; i < light.lanes.size(); ++i) {
            const auto lane = lanes.find(light.lanes.at(i));
            if (lane == lanes.end())
                continue;
            if (const auto halting = result<libsumo::TraCIInt>(lane->second, libsumo::LAST_STEP_VEHICLE_HALTING_NUMBER))
                light.halting[light.laneApproach.at(int(i))] += halting->value;
        }
    }

    m_vehicles.clear();
    for (const auto &vehicle : Vehicle::getAllSubscriptionResults()) {
        if (const auto position = result<libsumo::TraCIPosition>(vehicle.second, libsumo::VAR_POSITION))
            m_vehicles.append(QPointF(position->x, position->y));
    }
}

void SumoStepper::step(const QVector<SumoOrder> &orders)
{
    for (const SumoOrder &order : orders) {
        if (order.light >= 0 && order.light < int(m_lights.size()))
            m_lights.at(size_t(order.light)).sequence.order(order);
    }
    const double next = m_time + m_stepLength;
    for (WorkerLight &light : m_lights)
        apply(light, light.sequence.plan(next, light.state));
    libtraci::Simulation::step();
    observe();
}

void SumoStepper::apply(WorkerLight &light, const SignalSequence::Action &action)
{
    using libtraci::TrafficLight;
    const std::string programme = light.sequence.programme().toStdString();
    try {
        switch (action.kind) {
        case SignalSequence::Action::None:
            break;
        case SignalSequence::Action::Show:
            // A state of another length makes sumo quit.
            if (action.state.size() != light.links) {
                qWarning("State %s does not fit traffic light %s", qPrintable(action.state), light.id.c_str());
                break;
            }
            TrafficLight::setRedYellowGreenState(light.id, action.state.toStdString());
            break;
        case SignalSequence::Action::Hold:
            // All in one step: the phase's green shows at once, and stays.
            if (light.programme.toStdString() != programme || light.phase != action.phase) {
                TrafficLight::setProgram(light.id, programme);
                TrafficLight::setPhase(light.id, action.phase);
            }
            TrafficLight::setPhaseDuration(light.id, holdSeconds);
            break;
        case SignalSequence::Action::Release:
            TrafficLight::setPhaseDuration(light.id, 0);
            break;
        case SignalSequence::Action::Resume: {
            // Where the programme's cycle now is, but from a green: after our
            // all-red, none of its amber or red.
            TrafficLight::setProgram(light.id, programme);
            const int phase = TrafficLight::getPhase(light.id);
            if (light.sequence.stageOf(phase) == 0)
                TrafficLight::setPhase(light.id, light.sequence.stagePhaseAfter(phase));
            break;
        }
        case SignalSequence::Action::Restart:
            TrafficLight::setProgram(light.id, programme);
            TrafficLight::setPhase(light.id, action.phase);
            break;
        }
    } catch (const libsumo::TraCIException &error) {
        // Refused by sumo, which goes on: the light shows what it showed.
        qWarning("SUMO refused a command for traffic light %s: %s", light.id.c_str(), error.what());
    }
}

SumoSnapshot SumoStepper::snapshot() const
{
    SumoSnapshot snapshot;
    snapshot.time = m_time;
    snapshot.wall = QDateTime::currentMSecsSinceEpoch();
    snapshot.lights.reserve(int(m_lights.size()));
    for (const WorkerLight &light : m_lights) {
        SumoLightState state;
        state.state = light.state;
        state.programme = light.programme;
        state.phase = light.phase;
        state.stage = light.sequence.stage();
        state.mode = light.sequence.mode();
        state.online = light.sequence.online();
        state.centre = light.sequence.centre();
        state.order = light.sequence.orderSequence();
        state.reached = light.sequence.reached();
        state.refused = light.sequence.refused();
        state.since = light.sequence.since();
        state.sinceWall = light.sinceWall;
        state.halting = light.halting;
        snapshot.lights.append(state);
    }
    snapshot.vehicles = m_vehicles;
    return snapshot;
}

} // namespace Helvor
