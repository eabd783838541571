// SPDX-License-Identifier: MIT
#include "sumoworker.h"

#include "networkreader.h"
#include "sumoprocess.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <csignal>
#include <exception>
#include <utility>
#include <vector>

#include <pthread.h>

namespace Helvor {

namespace {

// Steps behind real time that are made up for; beyond, the pace starts anew.
constexpr qint64 catchUpSteps = 10;
// Time a batch of fast steps keeps orders waiting.
constexpr qint64 batchMilliseconds = 10;

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
        std::vector<WorkerLight> lights = NetworkReader(scenario, cacheDir).read(&network);
        m_stepper.start(std::move(lights), network.stepLength);
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
    Q_EMIT stepped(m_stepper.snapshot());
    schedule();
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
            const qint64 due = qint64(double(m_pace.elapsed()) * m_speed / (m_stepper.stepLength() * 1000));
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
    const double next = double(m_paceSteps + 1) * m_stepper.stepLength() * 1000 / m_speed;
    m_timer.start(int(qMax<qint64>(0, qint64(next) - m_pace.elapsed())));
}

bool SumoWorker::step()
{
    try {
        m_stepper.step(m_process->takeOrders());
    } catch (const std::exception &error) {
        lose(QString::fromLocal8Bit(error.what()));
        return false;
    } catch (...) {
        lose(tr("unknown error"));
        return false;
    }
    ++m_process->unread;
    Q_EMIT stepped(m_stepper.snapshot());
    return true;
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
    m_stepper.clear();
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
