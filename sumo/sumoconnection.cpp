// SPDX-License-Identifier: MIT
#include "sumoconnection.h"

#include "sumoprocess.h"

#include <libsumo/libtraci.h>

#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
// glibc 2.36 declares these without C linkage.
extern "C" {
#include <sys/pidfd.h>
}
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace Helvor {

namespace {

// Connections are named anew for each run: the library keeps a connection
// to a sumo that died (its close fails before it lets go), and one of the
// same name would orphan it.
std::atomic<int> connections{0};
// SUMO loads a large network for a while before it listens.
constexpr int connectMilliseconds = 60000;

// A loopback port free a moment ago. Another process may take it before
// sumo does; sumo then says so, and the caller tries another.
int freePort()
{
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = -1;
    if (::bind(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(socket, reinterpret_cast<sockaddr *>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(socket);
    return port;
}

} // namespace

SumoConnection::SumoConnection(const QSharedPointer<SumoProcess> &process, QObject *parent)
    : QObject(parent)
    , m_process(process)
{
}

bool SumoConnection::open(const QString &scenario, const QString &program, const QString &log, QString *message)
{
    m_log = log;
    Launch launched = Launch::PortTaken;
    for (int attempt = 0; attempt < 3 && launched == Launch::PortTaken; ++attempt)
        launched = launch(scenario, program, freePort(), message);
    return launched == Launch::Connected;
}

SumoConnection::Launch SumoConnection::launch(const QString &scenario, const QString &program, int port,
                                              QString *message)
{
    const QStringList arguments = {program,
                                   QStringLiteral("-c"),
                                   scenario,
                                   QStringLiteral("--remote-port"),
                                   QString::number(port),
                                   QStringLiteral("--no-step-log"),
                                   QStringLiteral("true"),
                                   QStringLiteral("--duration-log.disable"),
                                   QStringLiteral("true")};
    std::vector<QByteArray> argumentBytes;
    for (const QString &argument : arguments)
        argumentBytes.push_back(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &argument : argumentBytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    // Without SUMO_HOME sumo cannot read files that name their XML schema.
    std::vector<QByteArray> environmentBytes;
    for (char **variable = environ; *variable; ++variable)
        environmentBytes.emplace_back(*variable);
    if (!qEnvironmentVariableIsSet("SUMO_HOME"))
        environmentBytes.emplace_back("SUMO_HOME=/usr/share/sumo");
    std::vector<char *> envp;
    for (QByteArray &variable : environmentBytes)
        envp.push_back(variable.data());
    envp.push_back(nullptr);

    const QByteArray log = QFile::encodeName(m_log);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    // sumo gets the signals as a new process would, not this thread's mask.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, argv.front(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        *message = tr("SUMO could not be started: %1").arg(QString::fromLocal8Bit(std::strerror(error)));
        return Launch::Failed;
    }

    // We reap sumo ourselves, so its pid stays ours until then; the pidfd
    // lets the GUI thread kill it, and tells this one the moment it ends.
    m_pid = pid;
    m_exitStatus = -1;
    const int pidfd = ::pidfd_open(pid, 0);
    {
        QMutexLocker lock(&m_process->mutex);
        m_process->pidfd = pidfd;
        m_process->pid = pid;
    }
    if (pidfd >= 0) {
        m_exitNotifier = new QSocketNotifier(pidfd, QSocketNotifier::Read, this);
        connect(m_exitNotifier, &QSocketNotifier::activated, this, &SumoConnection::exited);
    }

    const std::string label = "vorlan" + std::to_string(++connections);
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        try {
            libtraci::Simulation::init(port, 0, "localhost", label);
            m_connected = true;
            return Launch::Connected;
        } catch (...) {
            // Not listening yet.
        }
        if (ended()) {
            reap(0);
            const QString error = lastError();
            if (error.contains(QLatin1String("Address already in use")))
                return Launch::PortTaken;
            *message = error.isEmpty() ? exitReason() : tr("SUMO could not load the scenario: %1").arg(error);
            return Launch::Failed;
        }
        if (waited.elapsed() > connectMilliseconds) {
            reap(0);
            *message = tr("SUMO did not answer within %1 s.").arg(connectMilliseconds / 1000);
            return Launch::Failed;
        }
        QThread::msleep(20);
    }
}

void SumoConnection::close()
{
    try {
        // The library's connection is the process's: only its maker closes
        // it, and with none, a call into the library would crash.
        if (m_connected && libtraci::Simulation::isLoaded())
            libtraci::Simulation::close();
    } catch (...) {
        // sumo is gone already; reaped below.
    }
    m_connected = false;
    reap(2000);
}

bool SumoConnection::hasProcess() const
{
    return m_pid >= 0;
}

bool SumoConnection::killed() const
{
    return m_killed;
}

bool SumoConnection::ended()
{
    QMutexLocker lock(&m_process->mutex);
    int status = 0;
    pid_t done = 0;
    do
        done = ::waitpid(m_pid, &status, WNOHANG);
    while (done < 0 && errno == EINTR);
    if (done == 0)
        return false;
    if (done == m_pid)
        m_exitStatus = status;
    // Reaped (or not ours to wait for): its pid may go to another process now.
    m_process->pid = 0;
    return true;
}

void SumoConnection::reap(int graceMilliseconds)
{
    if (m_pid < 0)
        return;
    if (m_exitNotifier) {
        // Maybe in its own signal: it goes once that is over.
        m_exitNotifier->setEnabled(false);
        m_exitNotifier->deleteLater();
        m_exitNotifier = nullptr;
    }
    m_killed = false;
    QElapsedTimer waited;
    waited.start();
    while (!ended()) {
        if (!m_killed && waited.elapsed() >= graceMilliseconds) {
            m_process->kill();
            m_killed = true;
        }
        QThread::msleep(5);
    }
    {
        QMutexLocker lock(&m_process->mutex);
        if (m_process->pidfd >= 0)
            ::close(m_process->pidfd);
        m_process->pidfd = -1;
    }
    m_pid = -1;
}

QString SumoConnection::lastError() const
{
    QFile log(m_log);
    if (!log.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    if (log.size() > 65536)
        log.seek(log.size() - 65536);
    const QStringList lines = QString::fromLocal8Bit(log.readAll()).split(QLatin1Char('\n'));
    // sumo's last error, with the lines that go on from it.
    for (int i = lines.size() - 1; i >= 0; --i) {
        if (!lines.at(i).startsWith(QLatin1String("Error:")))
            continue;
        QString error = lines.at(i).mid(6).trimmed();
        for (int j = i + 1; j < lines.size() && lines.at(j).startsWith(QLatin1Char(' ')); ++j)
            error += QLatin1Char(' ') + lines.at(j).trimmed();
        return error;
    }
    return {};
}

QString SumoConnection::exitReason() const
{
    if (m_exitStatus >= 0 && WIFSIGNALED(m_exitStatus)) {
        const int signal = WTERMSIG(m_exitStatus);
        return tr("SUMO was killed by signal %1 (%2).").arg(signal).arg(QString::fromLocal8Bit(sigdescr_np(signal)));
    }
    const QString error = lastError();
    if (!error.isEmpty())
        return tr("SUMO quit: %1").arg(error);
    if (m_exitStatus >= 0 && WIFEXITED(m_exitStatus))
        return tr("SUMO quit with exit status %1.").arg(WEXITSTATUS(m_exitStatus));
    return tr("SUMO ended.");
}

} // namespace Helvor
