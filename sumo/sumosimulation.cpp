// SPDX-License-Identifier: MIT
#include "sumosimulation.h"

#include "sumolight.h"
#include "sumoprocess.h"
#include "sumoworker.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace Helvor {

namespace {

// The simulation of the process that is not stopped, if any: SUMO's
// client library holds one connection for the whole process.
SumoSimulation *active = nullptr;

// A close takes a few milliseconds; a sumo that does not answer, for ever.
constexpr int closeMilliseconds = 3000;

} // namespace

SumoSimulation::SumoSimulation(QObject *parent)
    : QObject(parent)
    , m_cacheDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QLatin1String("/sumo"))
    , m_process(QSharedPointer<SumoProcess>::create())
{
    qRegisterMetaType<Helvor::SumoNetwork>();
    qRegisterMetaType<Helvor::SumoSnapshot>();
    qRegisterMetaType<Helvor::SumoOrder>();

    m_worker = new SumoWorker(m_process);
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::started, m_worker, &SumoWorker::prepareThread, Qt::DirectConnection);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_worker, &SumoWorker::started, this, &SumoSimulation::workerStarted);
    connect(m_worker, &SumoWorker::failed, this, &SumoSimulation::workerFailed);
    connect(m_worker, &SumoWorker::stepped, this, &SumoSimulation::workerStepped);
    connect(m_worker, &SumoWorker::lost, this, &SumoSimulation::workerLost);
    connect(m_worker, &SumoWorker::closed, this, &SumoSimulation::workerClosed);
    m_thread.setObjectName(QStringLiteral("sumo"));
    m_thread.start();

    m_stall.setSingleShot(true);
    connect(&m_stall, &QTimer::timeout, this, &SumoSimulation::stalled);
    m_closeTimeout.setSingleShot(true);
    m_closeTimeout.setInterval(closeMilliseconds);
    connect(&m_closeTimeout, &QTimer::timeout, this, [this] { m_process->kill(); });
}

SumoSimulation::~SumoSimulation()
{
    QMetaObject::invokeMethod(m_worker, &SumoWorker::shutdown, Qt::QueuedConnection);
    // A worker blocked on a sumo that does not answer is set free by its end.
    if (!m_thread.wait(1000)) {
        m_process->kill();
        m_thread.wait();
    }
    if (active == this)
        active = nullptr;
}

void SumoSimulation::setProgram(const QString &program)
{
    m_program = program;
}

QString SumoSimulation::program() const
{
    return m_program;
}

void SumoSimulation::setCacheDir(const QString &folder)
{
    m_cacheDir = folder;
}

QString SumoSimulation::cacheDir() const
{
    return m_cacheDir;
}

void SumoSimulation::setStallTimeout(int milliseconds)
{
    m_stallTimeout = milliseconds;
}

void SumoSimulation::setSpeed(double factor)
{
    m_speed = factor;
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, factor] { worker->setSpeed(factor); }, Qt::QueuedConnection);
}

double SumoSimulation::speed() const
{
    return m_speed;
}

bool SumoSimulation::start(const QString &scenario)
{
    if (m_status != Status::Stopped) {
        m_error = tr("The simulation is already running.");
        return false;
    }
    if (active && active != this) {
        m_error = tr("Another SUMO simulation runs in this program.");
        return false;
    }
    active = this;
    m_status = Status::Starting;
    m_error.clear();
    // Not found, the name goes on as it is, for the worker to say so.
    QString program = QFileInfo(m_program).isAbsolute() ? m_program : QStandardPaths::findExecutable(m_program);
    if (program.isEmpty())
        program = m_program;
    const QString file = QFileInfo(scenario).absoluteFilePath();
    QMetaObject::invokeMethod(
        m_worker,
        [worker = m_worker, file, program, folder = QDir(m_cacheDir).absolutePath(), speed = m_speed] {
            worker->start(file, program, folder, speed);
        },
        Qt::QueuedConnection);
    return true;
}

void SumoSimulation::close()
{
    if (m_status != Status::Starting && m_status != Status::Running)
        return;
    m_status = Status::Closing;
    m_stall.stop();
    allOffline();
    QMetaObject::invokeMethod(m_worker, &SumoWorker::close, Qt::QueuedConnection);
    m_closeTimeout.start();
}

SumoSimulation::Status SumoSimulation::status() const
{
    return m_status;
}

bool SumoSimulation::isRunning() const
{
    return m_status == Status::Running;
}

QString SumoSimulation::errorString() const
{
    return m_error;
}

QList<SumoLight *> SumoSimulation::lights() const
{
    QList<SumoLight *> result;
    for (const QPointer<SumoLight> &light : m_lights) {
        if (light)
            result.append(light);
    }
    return result;
}

SumoLight *SumoSimulation::light(int number) const
{
    for (const QPointer<SumoLight> &light : m_lights) {
        if (light && light->number() == number)
            return light;
    }
    return nullptr;
}

double SumoSimulation::time() const
{
    return m_time;
}

QVector<QPointF> SumoSimulation::vehicles() const
{
    return m_vehicles;
}

qint64 SumoSimulation::processId() const
{
    QMutexLocker lock(&m_process->mutex);
    return m_process->pid;
}

void SumoSimulation::order(const SumoOrder &order)
{
    if (m_status != Status::Running)
        return;
    m_process->order(order);
}

void SumoSimulation::workerStarted(const SumoNetwork &network)
{
    if (m_status != Status::Starting)
        return;
    m_status = Status::Running;
    m_stepLength = network.stepLength;
    // A light known from an earlier run stays the same object, so that
    // what the host holds of it stays good.
    QVector<QPointer<SumoLight>> lights;
    for (int i = 0; i < network.lights.size(); ++i) {
        const SumoLightInfo &info = network.lights.at(i);
        const auto known = std::find_if(m_lights.begin(), m_lights.end(), [&info](const QPointer<SumoLight> &light) {
            return light && light->sumoId() == info.id;
        });
        if (known != m_lights.end()) {
            (*known)->bind(i, info);
            lights.append(*known);
            known->clear();
        } else {
            lights.append(new SumoLight(this, i, info));
        }
    }
    const QVector<QPointer<SumoLight>> gone = m_lights;
    m_lights = lights;
    for (const QPointer<SumoLight> &light : gone)
        delete light.data();
    m_stall.start(stallMilliseconds());
    Q_EMIT started();
}

void SumoSimulation::workerFailed(const QString &message)
{
    if (m_status != Status::Starting)
        return;
    setStopped();
    m_error = message;
    Q_EMIT failed(message);
}

void SumoSimulation::workerStepped(const SumoSnapshot &snapshot)
{
    --m_process->unread;
    if (m_status != Status::Running)
        return;
    m_stall.start(stallMilliseconds());
    m_time = snapshot.time;
    m_vehicles = snapshot.vehicles;
    // A light the host deleted in a slot is passed over.
    const QVector<QPointer<SumoLight>> lights = m_lights;
    const QPointer<SumoSimulation> self(this);
    for (int i = 0; i < lights.size() && i < snapshot.lights.size(); ++i) {
        if (lights.at(i))
            lights.at(i)->update(snapshot.lights.at(i));
        if (!self)
            return;
    }
    Q_EMIT stepped();
}

void SumoSimulation::workerLost(const QString &message)
{
    if (m_status != Status::Running && m_status != Status::Starting)
        return;
    const QPointer<SumoSimulation> self(this);
    setStopped();
    m_error = message;
    allOffline();
    if (self)
        Q_EMIT lost(message);
}

void SumoSimulation::workerClosed()
{
    if (m_status != Status::Closing)
        return;
    m_closeTimeout.stop();
    setStopped();
    Q_EMIT closed();
}

void SumoSimulation::stalled()
{
    // sumo holds its answer: the lights are out of reach until it comes.
    if (m_status == Status::Running)
        allOffline();
}

void SumoSimulation::setStopped()
{
    m_status = Status::Stopped;
    m_stall.stop();
    if (active == this)
        active = nullptr;
}

void SumoSimulation::allOffline()
{
    const QVector<QPointer<SumoLight>> lights = m_lights;
    for (const QPointer<SumoLight> &light : lights) {
        if (light)
            light->setOffline();
    }
}

int SumoSimulation::stallMilliseconds() const
{
    // Slow motion leaves long gaps between steps that are no stall.
    const double stepMilliseconds = m_speed > 0 ? m_stepLength * 1000 / m_speed : 0;
    return int(qMax<double>(m_stallTimeout, 3 * stepMilliseconds));
}

} // namespace Helvor
