// SPDX-License-Identifier: MIT
#include "paneltest.h"
#include "response.h"

#include <helvor/simulatedlight.h>

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// The recording has the alarm's own format, so the server resamples nothing.
constexpr int sampleRate = 22050;
constexpr int channels = 2;
constexpr int bytesPerFrame = channels * int(sizeof(qint16));
constexpr int bytesPerSecond = sampleRate * bytesPerFrame;

// The alarm lasts about 1.1 s; the window leaves room for the player's start-up.
constexpr int windowBytes = bytesPerSecond * 3 / 2;
// Longer than any pause a sound could have, so a quiet tail means it has ended.
constexpr int quietTailBytes = bytesPerSecond / 2;

// A null sink's monitor is digital zero: anything above a few steps was played.
constexpr int silentPeak = 16;
constexpr int audiblePeak = 1000;
constexpr double audibleRms = 1000;

constexpr int serverTimeout = 10000;

struct Level
{
    int peak = 0;
    double rms = 0;
};

Level levelOf(const QByteArray &pcm)
{
    Level level;
    const int count = pcm.size() / int(sizeof(qint16));
    if (count == 0)
        return level;
    double sumOfSquares = 0;
    for (int i = 0; i < count; ++i) {
        qint16 sample;
        // Little-endian samples, as recorded; memcpy because the buffer need not be aligned.
        std::memcpy(&sample, pcm.constData() + i * int(sizeof(qint16)), sizeof sample);
        sample = qFromLittleEndian(sample);
        level.peak = qMax(level.peak, std::abs(int(sample)));
        sumOfSquares += double(sample) * sample;
    }
    level.rms = std::sqrt(sumOfSquares / count);
    return level;
}

// A sound server of the test's own, whose only output is a null sink, and a
// recorder on that sink's monitor. Everything it writes stays in its
// temporary folder, and both processes end with this object, whatever a
// check did before.
class AudioServer
{
public:
    AudioServer()
    {
        QObject::connect(&m_recorder, &QProcess::readyReadStandardOutput, &m_recorder,
                         [this] { m_pcm += m_recorder.readAllStandardOutput(); });
    }

    ~AudioServer()
    {
        stop();
    }

    // What a client must be told to reach this server.
    QString address() const
    {
        return QLatin1String("unix:") + path(QStringLiteral("native"));
    }

    QString cookie() const
    {
        return path(QStringLiteral("cookie"));
    }

    // Empty once the server runs and the recorder is attached; else why not.
    QString start()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
        if (daemon.isEmpty())
            return QStringLiteral("pulseaudio is not installed");
        const QString recorder = QStandardPaths::findExecutable(QStringLiteral("parecord"));
        if (recorder.isEmpty())
            return QStringLiteral("parecord is not installed");
        if (!m_dir.isValid())
            return QStringLiteral("no temporary folder: ") + m_dir.errorString();

        QDir(m_dir.path()).mkpath(QStringLiteral("home/.config"));
        QDir(m_dir.path()).mkpath(QStringLiteral("runtime"));
        // The socket is set up last, so once it exists the sink is the default.
        QFile script(path(QStringLiteral("server.pa")));
        if (!script.open(QIODevice::WriteOnly | QIODevice::Text))
            return QStringLiteral("cannot write the server script: ") + script.errorString();
        script.write("load-module module-null-sink sink_name=vorlan_null\n"
                     "set-default-sink vorlan_null\n"
                     "load-module module-native-protocol-unix auth-anonymous=1 socket=");
        script.write(QFile::encodeName(path(QStringLiteral("native"))));
        script.write("\n");
        script.close();

        m_daemon.setProcessEnvironment(environment());
        m_daemon.setProcessChannelMode(QProcess::MergedChannels);
        // If this process dies without cleaning up, the server outlives its
        // last client by only a few seconds.
        m_daemon.start(daemon,
                       {QStringLiteral("--daemonize=no"), QStringLiteral("--system=false"), QStringLiteral("-n"),
                        QStringLiteral("-F"), script.fileName(), QStringLiteral("--exit-idle-time=5"),
                        QStringLiteral("--use-pid-file=false"), QStringLiteral("--realtime=false"),
                        QStringLiteral("--high-priority=false"), QStringLiteral("--log-target=stderr")});
        if (!m_daemon.waitForStarted(serverTimeout))
            return QStringLiteral("pulseaudio does not start: ") + m_daemon.errorString();
        QElapsedTimer waited;
        waited.start();
        while (!QFile::exists(path(QStringLiteral("native")))) {
            if (m_daemon.state() != QProcess::Running)
                return QStringLiteral("pulseaudio ended: ") + QString::fromLocal8Bit(m_daemon.readAll()).trimmed();
            if (waited.hasExpired(serverTimeout))
                return QStringLiteral("pulseaudio is not up after %1 ms").arg(serverTimeout);
            QTest::qWait(20);
        }

        QProcessEnvironment clientEnvironment = environment();
        clientEnvironment.insert(QStringLiteral("PULSE_SERVER"), address());
        clientEnvironment.insert(QStringLiteral("PULSE_COOKIE"), cookie());
        m_recorder.setProcessEnvironment(clientEnvironment);
        m_recorder.start(recorder,
                         {QStringLiteral("--latency-msec=20"), QStringLiteral("--device=vorlan_null.monitor"),
                          QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
                          QStringLiteral("--channels=%1").arg(channels), QStringLiteral("--rate=%1").arg(sampleRate)});
        if (!m_recorder.waitForStarted(serverTimeout))
            return QStringLiteral("parecord does not start: ") + m_recorder.errorString();
        return QString();
    }

    void stop()
    {
        // The recorder first, or it would report the server's end as an error.
        for (QProcess *process : {&m_recorder, &m_daemon}) {
            if (process->state() == QProcess::NotRunning)
                continue;
            process->terminate();
            if (!process->waitForFinished(3000)) {
                process->kill();
                process->waitForFinished(3000);
            }
        }
    }

    qint64 recordedBytes() const
    {
        return m_pcm.size();
    }

    // Whole frames only, from the first frame at or after from.
    QByteArray recordedSince(qint64 from, int bytes) const
    {
        const qint64 start = (from + bytesPerFrame - 1) / bytesPerFrame * bytesPerFrame;
        return m_pcm.mid(int(start), bytes / bytesPerFrame * bytesPerFrame);
    }

    bool tailIsQuiet() const
    {
        return recordedBytes() >= quietTailBytes
            && levelOf(recordedSince(recordedBytes() - quietTailBytes, quietTailBytes)).peak < silentPeak;
    }

    QString recorderLog()
    {
        return QString::fromLocal8Bit(m_recorder.readAllStandardError());
    }

private:
    QString path(const QString &name) const
    {
        return m_dir.filePath(name);
    }

    // Keeps the server and its clients out of the user's own folders and session.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("PULSE_SERVER"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("home/.config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
        env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), path(QStringLiteral("runtime")));
        env.insert(QStringLiteral("PULSE_STATE_PATH"), path(QStringLiteral("runtime")));
        // A bus that does not exist: the server must not start one of its own.
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   QLatin1String("unix:path=") + path(QStringLiteral("nobus")));
        return env;
    }

    QTemporaryDir m_dir;
    QProcess m_daemon;
    QProcess m_recorder;
    QByteArray m_pcm;
};

} // namespace

// The alarm is checked where an operator would notice it: at the sound
// server's output. This needs real time, since the server plays and records
// at the wall clock's pace; the panel's own clock stays under the test's control.
class tst_Alarm : public PanelTest
{
    Q_OBJECT

private Q_SLOTS:
    void alarmReachesTheSpeaker_data();
    void alarmReachesTheSpeaker();

protected:
    void initSuite() override;
    void cleanupSuite() override;

private:
    std::unique_ptr<AudioServer> m_server;
};

void tst_Alarm::initSuite()
{
    m_server = std::make_unique<AudioServer>();
    // The player connects once, when the first alarm makes it, and never again.
    qputenv("PULSE_SERVER", m_server->address().toLocal8Bit());
    qputenv("PULSE_COOKIE", QFile::encodeName(m_server->cookie()));
    const QString failure = m_server->start();
    if (!failure.isEmpty()) {
        m_server.reset();
        // CI must hear the alarm; elsewhere a machine without sound may still run the other suites.
        if (qEnvironmentVariableIsSet("CI"))
            QFAIL(qPrintable(QStringLiteral("CI is set, but no sound server runs: ") + failure));
        QSKIP(qPrintable(QStringLiteral("No sound server to listen with: ") + failure));
    }
    // A new null sink delivers its first data some two seconds after it starts;
    // a sound played before that would be lost.
    QTRY_VERIFY2_WITH_TIMEOUT(m_server->recordedBytes() >= quietTailBytes, qPrintable(m_server->recorderLog()),
                              serverTimeout);
}

void tst_Alarm::cleanupSuite()
{
    m_server.reset();
}

void tst_Alarm::alarmReachesTheSpeaker_data()
{
    addRows<bool>("soundOn", {{"sound on", true}, {"sound off", false}});
}

void tst_Alarm::alarmReachesTheSpeaker()
{
    QFETCH(bool, soundOn);

    // An earlier alarm still playing would be heard in this one's window.
    QTRY_VERIFY_WITH_TIMEOUT(m_server->tailIsQuiet(), serverTimeout);

    m_light = own(new Helvor::SimulatedLight(12, QStringLiteral("Harbour gate")));
    m_light->setDispatchControl(true);
    Host::setClock(QDateTime(QDate(2024, 3, 4), QTime(8, 0)));
    m_panel = openPanel(m_light);
    QVERIFY(m_panel);
    // The test ticks by itself: while it listens in real time, the panel's
    // own timer would ring the alarm again every second.
    Vorlan::Widget::Private *d = Host::d(m_panel);
    d->killTimer(d->timerId);
    m_panel->setProperty("inactivityPeriod", 180);
    m_panel->setProperty("alarmBefore", 60);
    QAction *sound = action(m_panel, "actionSound");
    QVERIFY(sound);
    sound->setChecked(soundOn);

    // An accepted command 130 s ago: past the warning at 120 s, short of the hand-back at 180 s.
    QVERIFY(play(steps("YF, confirm")));
    Host::advanceClock(130);

    const QString title = m_panel->windowTitle();
    const qint64 tickedAt = m_server->recordedBytes();
    Host::tick(m_panel);
    QCOMPARE(m_panel->windowTitle(), QLatin1Char('!') + title);

    QTRY_VERIFY_WITH_TIMEOUT(m_server->recordedBytes() >= tickedAt + windowBytes, serverTimeout);
    const Level level = levelOf(m_server->recordedSince(tickedAt, windowBytes));
    qInfo("peak %d, RMS %.1f in the %d ms after the tick", level.peak, level.rms, windowBytes * 1000 / bytesPerSecond);
    if (soundOn) {
        QVERIFY2(level.peak > audiblePeak, qPrintable(QStringLiteral("peak %1").arg(level.peak)));
        QVERIFY2(level.rms > audibleRms, qPrintable(QStringLiteral("RMS %1").arg(level.rms)));
    } else {
        QVERIFY2(level.peak < silentPeak, qPrintable(QStringLiteral("peak %1").arg(level.peak)));
    }
}

QTEST_MAIN(tst_Alarm)
#include "tst_alarm.moc"
