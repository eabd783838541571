// SPDX-License-Identifier: MIT
#include "sumoworker.h"

#include "networkreader.h"
#include "sumoprocess.h"

#include <libsumo/libtraci.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <csignal>

#include <pthread.h>

namespace Helvor {

namespace {

// A held stage lasts until the next order, which comes long before this.
constexpr double holdSeconds = 1e6;
// Steps behind real time that are made up for; beyond, the pace starts anew.
constexpr qint64 catchUpSteps = 10;
// Time a batch of fast steps keeps orders waiting.
constexpr qint64 batchMilliseconds = 10;

QString qs(const std::string &text)
{
    return QString::fromStdString(text);
}

template<typename Result> std::shared_ptr<Result> result(const libsumo::TraCIResults &results, int variable)
{
    const auto found = results.find(variable);
    return found == results.end() ? nullptr : std::dynamic_pointer_cast<Result>(found->second);
}

} // namespace

SumoWorker::SumoWorker(const QSharedPointer<SumoProcess> &process)
    : m_process(process)
    , m_timer(this)
    , m_connection(process, this)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SumoWorker::run);
    connect(&m_connection, &SumoConnection::exited, this, &SumoWorker::processEnded);
}

SumoWorker::~SumoWorker()
{
    stop();
}

void SumoWorker::prepareThread()
{
    // SUMO's library writes to its socket without MSG_NOSIGNAL: once sumo
    // is gone, a write would raise SIGPIPE and end the host. This thread
    // makes every such write, so here it only fails.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
}

void SumoWorker::start(const QString &scenario, const QString &program, const QString &cacheDir, double speed)
{
    if (m_running || m_connection.hasProcess()) {
        Q_EMIT failed(tr("The simulation is already running."));
        return;
    }
    if (!QFileInfo(scenario).isFile()) {
        Q_EMIT failed(tr("The scenario %1 does not exist.").arg(QDir::toNativeSeparators(scenario)));
        return;
    }
    if (!QFileInfo(program).isAbsolute() || !QFileInfo(program).isExecutable()) {
        Q_EMIT failed(tr("SUMO is not installed: there is no program %1.").arg(program));
        return;
    }
    if (!QDir().mkpath(cacheDir)) {
        Q_EMIT failed(tr("The folder %1 cannot be made.").arg(QDir::toNativeSeparators(cacheDir)));
        return;
    }
    m_speed = speed;

    QString message;
    if (!m_connection.open(scenario, program, QDir(cacheDir).filePath(QStringLiteral("sumo.log")), &message)) {
        Q_EMIT failed(message);
        return;
    }

    SumoNetwork network;
    try {
        m_lights = NetworkReader(scenario, cacheDir).read(&network);
        m_stepLength = network.stepLength;
        m_time = libtraci::Simulation::getTime();
        subscribe();
        observe();
    } catch (const std::exception &error) {
        stop();
        Q_EMIT failed(tr("The scenario could not be read from SUMO: %1").arg(QString::fromLocal8Bit(error.what())));
        return;
    } catch (...) {
        stop();
        Q_EMIT failed(tr("The scenario could not be read from SUMO."));
        return;
    }
    m_running = true;
    m_pace.start();
    m_paceSteps = 0;
    Q_EMIT started(network);
    ++m_process->unread;
    Q_EMIT stepped(snapshot());
    schedule();
}

void SumoWorker::subscribe()
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

void SumoWorker::observe()
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
                light.state = qs(state->value);
            if (const auto programme = result<libsumo::TraCIString>(found->second, libsumo::TL_CURRENT_PROGRAM))
                light.programme = qs(programme->value);
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

void SumoWorker::setSpeed(double factor)
{
    m_speed = factor;
    m_pace.start();
    m_paceSteps = 0;
    if (m_running)
        schedule();
}

void SumoWorker::run()
{
    QElapsedTimer batch;
    batch.start();
    while (m_running) {
        // The GUI thread takes every snapshot; it is never buried in them.
        if (m_process->unread.load() >= maxUnread) {
            m_timer.start(1);
            return;
        }
        if (m_speed > 0) {
            const qint64 due = qint64(double(m_pace.elapsed()) * m_speed / (m_stepLength * 1000));
            if (due - m_paceSteps > catchUpSteps) {
                m_pace.start();
                m_paceSteps = 0;
            } else if (m_paceSteps >= due) {
                schedule();
                return;
            }
        }
        if (!step())
            return;
        ++m_paceSteps;
        if (batch.elapsed() >= batchMilliseconds) {
            // Orders and the close come in between batches.
            m_timer.start(0);
            return;
        }
    }
}

void SumoWorker::schedule()
{
    if (!m_running)
        return;
    if (m_speed <= 0) {
        m_timer.start(0);
        return;
    }
    const double next = double(m_paceSteps + 1) * m_stepLength * 1000 / m_speed;
    m_timer.start(int(qMax<qint64>(0, qint64(next) - m_pace.elapsed())));
}

bool SumoWorker::step()
{
    try {
        const QVector<SumoOrder> orders = m_process->takeOrders();
        for (const SumoOrder &order : orders) {
            if (order.light >= 0 && order.light < int(m_lights.size()))
                m_lights.at(size_t(order.light)).sequence.order(order);
        }
        const double next = m_time + m_stepLength;
        for (WorkerLight &light : m_lights)
            apply(light, light.sequence.plan(next, light.state));
        libtraci::Simulation::step();
        observe();
    } catch (const std::exception &error) {
        lose(QString::fromLocal8Bit(error.what()));
        return false;
    } catch (...) {
        lose(tr("unknown error"));
        return false;
    }
    ++m_process->unread;
    Q_EMIT stepped(snapshot());
    return true;
}

void SumoWorker::apply(WorkerLight &light, const SignalSequence::Action &action)
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

SumoSnapshot SumoWorker::snapshot() const
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

void SumoWorker::close()
{
    stop();
    Q_EMIT closed();
}

void SumoWorker::shutdown()
{
    stop();
    QThread::currentThread()->quit();
}

void SumoWorker::processEnded()
{
    if (m_running)
        lose(QString());
    else
        m_connection.reap(0);
}

void SumoWorker::stop()
{
    m_running = false;
    m_timer.stop();
    m_connection.close();
    m_lights.clear();
    m_vehicles.clear();
}

void SumoWorker::lose(const QString &why)
{
    // Whatever ended the run, sumo goes with it: then how it ended says why.
    m_running = false;
    m_timer.stop();
    m_connection.reap(500);
    stop();
    const QString message = m_connection.killed() && !why.isEmpty() ? tr("The connection to SUMO broke: %1").arg(why)
                                                                    : m_connection.exitReason();
    Q_EMIT lost(message);
}

} // namespace Helvor
