// SPDX-License-Identifier: MIT
// The traffic lights of a real SUMO simulation, the bundled town, stepped as
// fast as sumo goes: every wait here is in simulated time.
#include "paneltest.h"
#include "request.h"
#include "response.h"

#include <helvor/stage.h>
#include <sumolight.h>
#include <sumosimulation.h>

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QListWidget>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

#include <csignal>

using Helvor::SumoLight;
using Helvor::SumoMode;
using Helvor::SumoSimulation;

namespace {

const QString town = QStringLiteral(VORLAN_SUMO_TOWN);

bool isGreen(QChar signal)
{
    return signal == QLatin1Char('G') || signal == QLatin1Char('g');
}

// Every light's signals at every step, and what of that breaks the rules:
// a signal leaves green only through at least 3 s of amber, and no signal
// turns green but from red, while none shows amber, and at least 1 s
// after the last amber ended.
class SignalLog
{
public:
    void record(double time, const QString &light, const QString &state)
    {
        Track &track = m_tracks[light];
        track.states.append({time, state});
        const QString before = track.last;
        track.last = state;
        if (before.isEmpty() || before.size() != state.size()) {
            track.amberSince.fill(-1, state.size());
            return;
        }
        for (int i = 0; i < state.size(); ++i) {
            const QChar a = before.at(i);
            const QChar b = state.at(i);
            if (a == QLatin1Char('y') && b != QLatin1Char('y')) {
                if (time - track.amberSince.at(i) < 3 - 1e-6)
                    fail(light, time, i, QStringLiteral("amber for %1 s only").arg(time - track.amberSince.at(i)));
                track.amberEnded = time;
            }
            if (b == QLatin1Char('y') && a != QLatin1Char('y'))
                track.amberSince[i] = time;
        }
        for (int i = 0; i < state.size(); ++i) {
            const QChar a = before.at(i);
            const QChar b = state.at(i);
            if (isGreen(a) && !isGreen(b) && b != QLatin1Char('y') && b != QLatin1Char('o') && b != QLatin1Char('O'))
                fail(light, time, i, QStringLiteral("%1 -> %2 without amber").arg(a).arg(b));
            if (!isGreen(a) && isGreen(b)) {
                if (a != QLatin1Char('r'))
                    fail(light, time, i, QStringLiteral("%1 -> %2: green but from red").arg(a).arg(b));
                if (state.contains(QLatin1Char('y')))
                    fail(light, time, i, QStringLiteral("green while another signal shows amber"));
                if (time - track.amberEnded < 1 - 1e-6)
                    fail(light, time, i, QStringLiteral("all-red for %1 s only").arg(time - track.amberEnded));
            }
        }
    }

    QStringList violations() const
    {
        return m_violations;
    }

    // The states a light showed from a time on, each as long as it showed.
    QVector<QPair<double, QString>> since(const QString &light, double from) const
    {
        QVector<QPair<double, QString>> result;
        for (const auto &entry : m_tracks.value(light).states) {
            if (entry.first >= from && (result.isEmpty() || result.last().second != entry.second))
                result.append(entry);
        }
        return result;
    }

private:
    struct Track
    {
        QString last;
        QVector<double> amberSince;
        double amberEnded = -1e9;
        QVector<QPair<double, QString>> states;
    };

    void fail(const QString &light, double time, int signal, const QString &what)
    {
        m_violations.append(QStringLiteral("%1 t=%2 signal %3: %4").arg(light).arg(time).arg(signal).arg(what));
    }

    QHash<QString, Track> m_tracks;
    QStringList m_violations;
};

// The town, as fast as it goes, with every step logged. An object, so that
// the fixture ends it after the test, once the panels on its lights are gone.
struct Town : QObject
{
    Town()
    {
        simulation.setCacheDir(cache.path());
        simulation.setSpeed(0);
        QObject::connect(&simulation, &SumoSimulation::stepped, &simulation, [this] {
            for (SumoLight *light : simulation.lights())
                log.record(simulation.time(), light->sumoId(), light->signalState());
        });
    }

    bool start()
    {
        // The first snapshot follows the start at once.
        QSignalSpy stepped(&simulation, &SumoSimulation::stepped);
        return simulation.start(town) && stepped.wait(30000);
    }

    // Steps for seconds of simulated time, or until done() holds after a step.
    bool runFor(double seconds, const std::function<bool()> &done = {})
    {
        const double until = simulation.time() + seconds;
        bool reached = false;
        QEventLoop loop;
        const auto check = [&] {
            reached = done && done();
            if (reached || simulation.time() >= until || !simulation.isRunning())
                loop.quit();
        };
        QObject::connect(&simulation, &SumoSimulation::stepped, &loop, check);
        QObject::connect(&simulation, &SumoSimulation::lost, &loop, &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        check();
        if (simulation.isRunning() && !reached && simulation.time() < until)
            loop.exec();
        return done ? reached : simulation.time() >= until;
    }

    SumoLight *light(const QString &id) const
    {
        for (SumoLight *light : simulation.lights()) {
            if (light->sumoId() == id)
                return light;
        }
        return nullptr;
    }

    QTemporaryDir cache;
    SumoSimulation simulation;
    SignalLog log;
};

// As the panel sends it: by name, through the meta-object system.
Response *send(QObject *light, const QString &command, const QVariant &argument = QVariant())
{
    Response *response = nullptr;
    const bool invoked = argument.isValid()
        ? QMetaObject::invokeMethod(light, "sendCommand", Q_RETURN_ARG(Response *, response),
                                    Q_ARG(QVariant, QVariant(command)), Q_ARG(QVariant, argument))
        : QMetaObject::invokeMethod(light, "sendCommand", Q_RETURN_ARG(Response *, response),
                                    Q_ARG(QVariant, QVariant(command)));
    return invoked ? response : nullptr;
}

// A response's answers, however many come, and the stage showing at the first.
struct Answer
{
    explicit Answer(Response *response, SumoLight *light)
        : response(response)
    {
        if (!response)
            return;
        QObject::connect(response, &Response::finished, response, [this, response, light] {
            codes.append(response->error());
            stage = light->currentStage();
        });
    }

    QPointer<Response> response;
    QVector<int> codes;
    int stage = -1;
};

QString stageState(SumoLight *light, int stage)
{
    return QStringLiteral("stage %1 (%2)").arg(stage).arg(light->stages().at(stage - 1)->description());
}

} // namespace

// On the fixture for its panel, clock and clean-up; the simulation is host
// code, and the plug-in is loaded only for the test that opens a panel.
class tst_Sumo : public PanelTest
{
    Q_OBJECT

public:
    tst_Sumo()
        : PanelTest(Host::pluginPath(), Start::Unloaded)
    {
    }

protected:
    void initSuite() override;

private Q_SLOTS:
    void theTown();
    void startFailures_data();
    void startFailures();
    void everyStage_data();
    void everyStage();
    void flashingAndDark_data();
    void flashingAndDark();
    void returnToLocal();
    void heldRedQueues();
    void restart();
    void refusals();
    void sumoKilled();
    void guiNeverWaits();
    void panelDrivesLight();

private:
    // A new town for this test.
    Town &newTown();
};

void tst_Sumo::initSuite()
{
    if (QStandardPaths::findExecutable(QStringLiteral("sumo")).isEmpty())
        QFAIL("sumo is not installed (Debian package sumo; scripts/setup.sh installs it)");
    QVERIFY(QFile::exists(town));
}

Town &tst_Sumo::newTown()
{
    return *own(new Town);
}

void tst_Sumo::theTown()
{
    Town &run = newTown();
    QVERIFY(run.start());
    const QList<SumoLight *> lights = run.simulation.lights();
    QStringList seen;
    for (SumoLight *light : lights) {
        seen.append(
            QStringLiteral("%1 %2 %3 [%4]").arg(light->number()).arg(light->displayName(), light->sumoId(), [light] {
                QStringList stages;
                for (Helvor::Stage *stage : light->stages())
                    stages.append(QStringLiteral("%1:%2").arg(stage->id()).arg(stage->description()));
                return stages.join(QLatin1Char(','));
            }()));
    }
    const QStringList expected = {
        QStringLiteral("101 High Street / Station Road station [1:High Street,2:Station Road]"),
        QStringLiteral("102 Market Square market [1:High Street,2:Market Street,3:Pedestrians]"),
        QStringLiteral("103 High Street / Bridge Street bridge [1:High Street through,2:High Street left turn,"
                       "3:Bridge Street]"),
        QStringLiteral("104 Station Road / Mill Lane mill [1:Station Road,2:Mill Lane]"),
        QStringLiteral("105 Church Corner (Bridge Street / Mill Lane) church [1:Bridge Street,2:Mill Lane]"),
        QStringLiteral("106 Harbour Road / Market Street harbour [1:Harbour Road,2:Market Street]"),
    };
    QCOMPARE(seen, expected);

    for (SumoLight *light : lights) {
        // Local mode, on line, in the programme's first stage.
        QCOMPARE(light->property("isConnected").toBool(), true);
        QCOMPARE(light->property("controlSource").toInt(), int(SumoLight::LocalSource));
        QCOMPARE(light->property("keyRegime").toInt(), int(SumoLight::KeyProgramme));
        QCOMPARE(light->currentStage(), 1);
        QVERIFY(light->property("phaseChangeTime").toDateTime().isValid());
        // Pictures in the cache folder, a plan and an overlay per stage.
        const QString plan = light->property("shema").toString();
        QCOMPARE(plan, run.cache.filePath(light->sumoId() + QLatin1String(".wmf")));
        QFile planSvg(run.cache.filePath(light->sumoId() + QLatin1String(".svg")));
        QVERIFY(planSvg.open(QIODevice::ReadOnly));
        // In the icon's shape, 200 x 125, so that nothing is squeezed.
        const QRegularExpressionMatch box = QRegularExpression(QStringLiteral("viewBox=\"0 0 ([0-9.]+) ([0-9.]+)\""))
                                                .match(QString::fromUtf8(planSvg.readAll()));
        QVERIFY(box.hasMatch());
        QVERIFY(qAbs(box.captured(1).toDouble() / box.captured(2).toDouble() - 1.6) < 0.01);
        for (Helvor::Stage *stage : light->stages()) {
            QCOMPARE(stage->shema(),
                     run.cache.filePath(QStringLiteral("%1_stage%2.wmf").arg(light->sumoId()).arg(stage->id())));
            QFile svg(run.cache.filePath(QStringLiteral("%1_stage%2.svg").arg(light->sumoId()).arg(stage->id())));
            QVERIFY(svg.open(QIODevice::ReadOnly));
            // Movements drawn as arrows, or a crossing as a band.
            QVERIFY(svg.readAll().contains("<polyline"));
        }
    }
    // Nothing but the pictures and sumo's log.
    const QStringList written = QDir(run.cache.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QCOMPARE(written.size(), 6 + 14 + 1);
    for (const QString &file : written)
        QVERIFY2(QRegularExpression(QStringLiteral("^([a-z]+(_stage[1-3])?\\.svg|sumo\\.log)$")).match(file).hasMatch(),
                 qPrintable(file));
    QVERIFY(!run.simulation.vehicles().isEmpty()
            || run.runFor(60, [&] { return !run.simulation.vehicles().isEmpty(); }));
    QVERIFY(run.log.violations().isEmpty());
}

void tst_Sumo::startFailures_data()
{
    addColumns<QString, QString, QString>({"program", "scenario", "message"});

    QTest::newRow("sumo missing") << QStringLiteral("/nonexistent/sumo") << town
                                  << QStringLiteral("SUMO is not installed");
    QTest::newRow("no scenario") << QStringLiteral("sumo") << QStringLiteral("/nonexistent/town.sumocfg")
                                 << QStringLiteral("does not exist");
    QTest::newRow("scenario that does not load")
        << QStringLiteral("sumo") << QStringLiteral("bad") << QStringLiteral("SUMO could not load the scenario");
}

void tst_Sumo::startFailures()
{
    QFETCH(QString, program);
    QFETCH(QString, scenario);
    QFETCH(QString, message);

    Town &run = newTown();
    if (scenario == QLatin1String("bad")) {
        // A route over an edge the town does not have.
        scenario = run.cache.filePath(QStringLiteral("bad.sumocfg"));
        QFile routes(run.cache.filePath(QStringLiteral("bad.rou.xml")));
        QVERIFY(routes.open(QIODevice::WriteOnly));
        routes.write(
            "<routes><route id=\"r\" edges=\"no_such_edge\"/><vehicle id=\"v\" route=\"r\" depart=\"0\"/></routes>\n");
        routes.close();
        QFile config(scenario);
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral("<configuration><input><net-file value=\"%1\"/><route-files value=\"bad.rou.xml\"/>"
                                    "</input></configuration>\n")
                         .arg(QFileInfo(town).dir().filePath(QStringLiteral("town.net.xml")))
                         .toUtf8());
    }
    run.simulation.setProgram(program);
    QSignalSpy failed(&run.simulation, &SumoSimulation::failed);
    QVERIFY(run.simulation.start(scenario));
    QVERIFY(failed.wait(30000));
    QVERIFY2(failed.first().first().toString().contains(message), qPrintable(failed.first().first().toString()));
    QCOMPARE(run.simulation.errorString(), failed.first().first().toString());
    QCOMPARE(run.simulation.status(), SumoSimulation::Status::Stopped);
    QVERIFY(run.simulation.lights().isEmpty());

    // And then the town starts, with one simulation in the process at a time.
    run.simulation.setProgram(QStringLiteral("sumo"));
    QVERIFY(run.start());
    QCOMPARE(run.simulation.lights().size(), 6);
    SumoSimulation second;
    QVERIFY(!second.start(town));
    QVERIFY(second.errorString().contains(QLatin1String("Another SUMO simulation")));
}

void tst_Sumo::everyStage_data()
{
    QTest::addColumn<QString>("light");
    for (const char *light : {"station", "market", "bridge", "mill", "church", "harbour"})
        QTest::newRow(light) << QString::fromLatin1(light);
}

void tst_Sumo::everyStage()
{
    QFETCH(QString, light);
    Town &run = newTown();
    QVERIFY(run.start());
    SumoLight *tl = run.light(light);
    QVERIFY(tl);
    // Every stage from every other, the first again last, each held for minutes.
    QList<int> orders;
    for (int stage = tl->stages().size(); stage >= 1; --stage)
        orders.append(stage);
    orders.append(tl->stages().size());
    for (const int stage : qAsConst(orders)) {
        const QString wanted = stageState(tl, stage);
        const double ordered = run.simulation.time();
        const QString before = tl->signalState();
        Answer answer(send(tl, QStringLiteral("set_phase"), stage), tl);
        QVERIFY2(answer.response, qPrintable(wanted));
        QVERIFY2(run.runFor(60, [&] { return !answer.codes.isEmpty(); }), qPrintable(wanted));
        QCOMPARE(answer.codes, QVector<int>{success});
        QCOMPARE(answer.stage, stage);
        QCOMPARE(tl->property("controlSource").toInt(), int(SumoLight::CentreSource));
        QCOMPARE(tl->property("controlAlgorithm").toInt(), int(SumoLight::CentreAlgorithm));
        const QDateTime began = tl->property("phaseChangeTime").toDateTime();

        // Through amber and all-red, unless the stage was showing already.
        const auto states = run.log.since(light, ordered);
        bool amber = false;
        bool allRed = false;
        for (const auto &entry : states) {
            amber = amber || entry.second.contains(QLatin1Char('y'));
            allRed = allRed || (amber && !entry.second.contains(QLatin1Char('y')) && entry.second != tl->signalState());
        }
        const bool wasShowing = states.size() == 1;
        QVERIFY2(wasShowing || (amber && allRed), qPrintable(wanted + QLatin1String(" from ") + before));

        // Then held.
        const QString shown = tl->signalState();
        QVERIFY(run.runFor(120));
        QCOMPARE(run.log.since(light, run.simulation.time() - 120).size(), 1);
        QCOMPARE(tl->signalState(), shown);
        QCOMPARE(tl->currentStage(), stage);
        QCOMPARE(tl->property("phaseChangeTime").toDateTime(), began);
    }
    QVERIFY2(run.log.violations().isEmpty(), qPrintable(run.log.violations().join(QLatin1Char('\n'))));
}

void tst_Sumo::flashingAndDark_data()
{
    addColumns<QString, QString, int>({"command", "signal", "keyRegime"});

    QTest::newRow("flashing yellow") << QStringLiteral("set_yf") << QStringLiteral("o") << int(SumoLight::KeyFlashing);
    QTest::newRow("dark") << QStringLiteral("set_os") << QStringLiteral("O") << int(SumoLight::KeyDark);
}

void tst_Sumo::flashingAndDark()
{
    QFETCH(QString, command);
    QFETCH(QString, signal);
    QFETCH(int, keyRegime);

    Town &run = newTown();
    QVERIFY(run.start());
    QVERIFY(run.runFor(100));
    std::vector<std::unique_ptr<Answer>> owned;
    for (SumoLight *light : run.simulation.lights())
        owned.push_back(std::make_unique<Answer>(send(light, command), light));
    QVERIFY(run.runFor(10, [&] {
        return std::all_of(owned.begin(), owned.end(), [](const auto &answer) { return !answer->codes.isEmpty(); });
    }));
    QVERIFY(run.runFor(60));
    for (SumoLight *light : run.simulation.lights()) {
        QCOMPARE(light->signalState(), signal.repeated(light->signalState().size()));
        QCOMPARE(light->currentStage(), -1);
        QCOMPARE(light->property("keyRegime").toInt(), keyRegime);
        QCOMPARE(light->property("controlSource").toInt(), int(SumoLight::CentreSource));
        QCOMPARE(light->property("controlAlgorithm").toInt(), int(SumoLight::CentreAlgorithm));
        QVERIFY(light->property("isConnected").toBool());
    }
    for (const auto &answer : owned)
        QCOMPARE(answer->codes, QVector<int>{success});

    // Back to the programme: steady amber, all-red, then its stages.
    for (SumoLight *light : run.simulation.lights())
        QVERIFY(QMetaObject::invokeMethod(light, "setLocal"));
    QSet<SumoLight *> running;
    QVERIFY(run.runFor(30, [&] {
        for (SumoLight *light : run.simulation.lights()) {
            if (light->currentStage() > 0)
                running.insert(light);
        }
        return running.size() == run.simulation.lights().size();
    }));
    for (SumoLight *light : run.simulation.lights()) {
        QCOMPARE(light->property("controlSource").toInt(), int(SumoLight::LocalSource));
        QCOMPARE(light->property("keyRegime").toInt(), int(SumoLight::KeyProgramme));
    }
    QVERIFY2(run.log.violations().isEmpty(), qPrintable(run.log.violations().join(QLatin1Char('\n'))));
}

void tst_Sumo::returnToLocal()
{
    Town &run = newTown();
    QVERIFY(run.start());
    SumoLight *bridge = run.light(QStringLiteral("bridge"));
    Answer held(send(bridge, QStringLiteral("set_phase"), 2), bridge);
    QVERIFY(run.runFor(60, [&] { return !held.codes.isEmpty(); }));
    QVERIFY(run.runFor(100));
    QCOMPARE(bridge->currentStage(), 2);

    QVERIFY(QMetaObject::invokeMethod(bridge, "setLocal"));
    QVERIFY(run.runFor(5, [&] { return bridge->property("controlSource").toInt() == SumoLight::LocalSource; }));
    // The programme runs on from the held stage, round its whole cycle.
    QList<int> stages;
    QVERIFY(run.runFor(200, [&] {
        const int stage = bridge->currentStage();
        if (stage > 0 && (stages.isEmpty() || stages.last() != stage))
            stages.append(stage);
        return stages.size() >= 5;
    }));
    QCOMPARE(stages, QList<int>({3, 1, 2, 3, 1}));
    QCOMPARE(bridge->programme(), QStringLiteral("0"));
    QVERIFY2(run.log.violations().isEmpty(), qPrintable(run.log.violations().join(QLatin1Char('\n'))));
}

void tst_Sumo::heldRedQueues()
{
    Town &run = newTown();
    QVERIFY(run.start());
    SumoLight *station = run.light(QStringLiteral("station"));
    const QString approach = QStringLiteral("hs_w2station");
    QVERIFY(station->approaches(1).contains(approach));
    QVERIFY(!station->approaches(2).contains(approach));
    // Into the morning's busier quarter hours.
    QVERIFY(run.runFor(900));

    Answer red(send(station, QStringLiteral("set_phase"), 2), station);
    QVERIFY(run.runFor(60, [&] { return !red.codes.isEmpty(); }));
    const int before = station->halting(approach);
    QVERIFY(run.runFor(120));
    const int queue = station->halting(approach);
    QVERIFY2(queue >= before + 8, qPrintable(QStringLiteral("%1 -> %2 halting").arg(before).arg(queue)));

    Answer green(send(station, QStringLiteral("set_phase"), 1), station);
    QVERIFY(run.runFor(60, [&] { return !green.codes.isEmpty(); }));
    QVERIFY2(run.runFor(90, [&] { return station->halting(approach) <= 1; }),
             qPrintable(QStringLiteral("%1 still halting").arg(station->halting(approach))));
    QVERIFY2(run.log.violations().isEmpty(), qPrintable(run.log.violations().join(QLatin1Char('\n'))));
}

void tst_Sumo::restart()
{
    Town &run = newTown();
    QVERIFY(run.start());
    SumoLight *mill = run.light(QStringLiteral("mill"));
    QVERIFY(run.runFor(60, [&] { return mill->currentStage() == 2; }));
    // When it goes off line and comes back, by the snapshots it goes by.
    double off = -1;
    double on = -1;
    // Only while the locals it writes live: the town outlives the test.
    QObject watch;
    QObject::connect(mill, &SumoLight::stateChanged, &watch, [&] {
        const bool connected = mill->property("isConnected").toBool();
        if (!connected && off < 0)
            off = run.simulation.time();
        if (connected && off >= 0 && on < 0)
            on = run.simulation.time();
    });
    QVERIFY(send(mill, QStringLiteral("set_start")));
    QVERIFY(run.runFor(5, [&] { return off >= 0; }));
    // Off line and flashing, deaf to orders.
    QCOMPARE(mill->signalState(), QString(mill->signalState().size(), QLatin1Char('o')));
    QCOMPARE(mill->property("keyRegime").toInt(), int(SumoLight::KeyFlashing));
    QVERIFY(!send(mill, QStringLiteral("set_phase"), 1));
    QVERIFY(run.runFor(30, [&] { return on >= 0; }));
    QCOMPARE(on - off, 5.0);
    // Then switched on: all-red, and the programme from its first phase.
    QVERIFY(run.runFor(30, [&] { return mill->currentStage() > 0; }));
    QCOMPARE(mill->currentStage(), 1);
    QCOMPARE(mill->property("controlSource").toInt(), int(SumoLight::LocalSource));
    bool allRed = false;
    for (const auto &entry : run.log.since(QStringLiteral("mill"), off))
        allRed = allRed || entry.second == QString(entry.second.size(), QLatin1Char('r'));
    QVERIFY(allRed);
    QVERIFY2(run.log.violations().isEmpty(), qPrintable(run.log.violations().join(QLatin1Char('\n'))));
}

void tst_Sumo::refusals()
{
    Town &run = newTown();
    QVERIFY(run.start());
    SumoLight *church = run.light(QStringLiteral("church"));
    QVERIFY(!send(church, QStringLiteral("set_phase"), 0));
    QVERIFY(!send(church, QStringLiteral("set_phase"), 3));
    QVERIFY(!send(church, QStringLiteral("set_phase"), QStringLiteral("one")));
    QVERIFY(!send(church, QStringLiteral("set_phase")));
    QVERIFY(!send(church, QStringLiteral("reboot")));
    QCOMPARE(church->property("controlSource").toInt(), int(SumoLight::LocalSource));

    // An order replaced before it is carried out is answered as refused.
    Answer first(send(church, QStringLiteral("set_phase"), 2), church);
    Answer second(send(church, QStringLiteral("set_yf")), church);
    QVERIFY(run.runFor(30, [&] { return !second.codes.isEmpty(); }));
    QCOMPARE(first.codes, QVector<int>{SumoLight::Refused});
    QCOMPARE(second.codes, QVector<int>{success});

    run.simulation.close();
    QVERIFY(QSignalSpy(&run.simulation, &SumoSimulation::closed).wait(10000));
    QVERIFY(!church->property("isConnected").toBool());
    QVERIFY(!send(church, QStringLiteral("set_yf")));
}

void tst_Sumo::sumoKilled()
{
    Town &run = newTown();
    QVERIFY(run.start());
    QVERIFY(run.runFor(50));
    const QList<SumoLight *> lights = run.simulation.lights();
    SumoLight *market = run.light(QStringLiteral("market"));
    Answer pending(send(market, QStringLiteral("set_phase"), 3), market);
    QSignalSpy lost(&run.simulation, &SumoSimulation::lost);
    QCOMPARE(::kill(pid_t(run.simulation.processId()), SIGKILL), 0);
    QVERIFY(lost.wait(10000));
    QVERIFY2(lost.first().first().toString().contains(QLatin1String("killed by signal 9")),
             qPrintable(lost.first().first().toString()));
    QCOMPARE(run.simulation.status(), SumoSimulation::Status::Stopped);
    for (SumoLight *light : lights) {
        QVERIFY(!light->property("isConnected").toBool());
        QCOMPARE(light->currentStage(), -1);
        QVERIFY(!send(light, QStringLiteral("set_yf")));
    }
    QCOMPARE(pending.codes, QVector<int>{SumoLight::NoAnswer});

    // Started again: the same lights, back on line.
    QVERIFY(run.start());
    QCOMPARE(run.simulation.lights(), lights);
    Answer again(send(market, QStringLiteral("set_phase"), 3), market);
    QVERIFY(run.runFor(60, [&] { return !again.codes.isEmpty(); }));
    QCOMPARE(again.codes, QVector<int>{success});
    QCOMPARE(market->currentStage(), 3);
}

void tst_Sumo::guiNeverWaits()
{
    Town &run = newTown();
    run.simulation.setStallTimeout(1000);
    QVERIFY(run.start());
    // A heartbeat on the GUI thread, and the longest gap between its beats.
    QElapsedTimer sinceBeat;
    qint64 longest = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { longest = qMax(longest, sinceBeat.restart()); });
    sinceBeat.start();
    heartbeat.start(2);
    QElapsedTimer wall;
    wall.start();
    QVERIFY(run.runFor(900));
    const qint64 stepping = wall.elapsed();
    qInfo("900 simulated seconds in %lld ms (%.2f ms a step); longest GUI-thread gap %lld ms", stepping,
          double(stepping) / 900, longest);
    QVERIFY2(longest < 100, qPrintable(QStringLiteral("%1 ms").arg(longest)));

    // sumo stopped: steps wait for it, the GUI thread does not; the lights go off line.
    const pid_t sumo = pid_t(run.simulation.processId());
    QCOMPARE(::kill(sumo, SIGSTOP), 0);
    longest = 0;
    sinceBeat.restart();
    SumoLight *harbour = run.light(QStringLiteral("harbour"));
    QTRY_VERIFY_WITH_TIMEOUT(!harbour->property("isConnected").toBool(), 5000);
    QVERIFY2(longest < 100, qPrintable(QStringLiteral("%1 ms").arg(longest)));
    QVERIFY(!send(harbour, QStringLiteral("set_yf")));
    QCOMPARE(::kill(sumo, SIGCONT), 0);
    QTRY_VERIFY_WITH_TIMEOUT(harbour->property("isConnected").toBool(), 5000);
    QVERIFY(run.runFor(10));
}

void tst_Sumo::panelDrivesLight()
{
    Town &run = newTown();
    QVERIFY(run.start());
    QVERIFY2(host.plugin(), qPrintable(host.loader().errorString()));
    const QDateTime start(QDate(2024, 6, 12), QTime(7, 30), Qt::UTC);
    Host::setClock(start);
    SumoLight *market = run.light(QStringLiteral("market"));
    QWidget *panel = openPanel(market);
    QVERIFY(panel);
    // Silent: there is no one to hear the alarm.
    action(panel, "actionSound")->setChecked(false);
    QListWidget *list = stageList(panel);
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->item(2)->text(), QStringLiteral("3:Pedestrians"));
    // The plan with the crossings in green on it, as the panel composed it.
    const QImage icon = list->item(2)->icon().pixmap(list->iconSize()).toImage();
    int green = 0;
    for (int y = 0; y < icon.height(); ++y) {
        for (int x = 0; x < icon.width(); ++x) {
            const QColor colour = icon.pixelColor(x, y);
            green += colour.green() > 150 && colour.red() < 120 && colour.blue() < 120;
        }
    }
    QVERIFY2(green > 100, qPrintable(QString::number(green)));

    // Taking control, then the pedestrians' stage from the list; confirmed
    // once the status line counts the operator's idle seconds.
    QVERIFY(play(panel, nullptr, steps("DC")));
    QVERIFY(action(panel, "actionDC")->isChecked());
    QVERIFY(play(panel, nullptr, steps("stage 3")));
    QVERIFY(run.runFor(60, [&] { return idleSeconds(panel) >= 0; }));
    QCOMPARE(market->currentStage(), 3);
    QCOMPARE(market->property("controlSource").toInt(), int(SumoLight::CentreSource));
    QCOMPARE(stateShown(panel), QStringLiteral("Stage 3"));

    // Left alone past its period, the panel hands the light back.
    const int period = panel->property("inactivityPeriod").toInt();
    Host::advanceClock(period + 1);
    Host::tick(panel);
    QVERIFY(!action(panel, "actionDC")->isChecked());
    QVERIFY(run.runFor(30, [&] { return market->property("controlSource").toInt() == SumoLight::LocalSource; }));
    // The programme takes over from the pedestrians' stage.
    QVERIFY(run.runFor(60, [&] { return market->currentStage() == 1; }));
    QVERIFY2(run.log.violations().isEmpty(), qPrintable(run.log.violations().join(QLatin1Char('\n'))));
}

QTEST_MAIN(tst_Sumo)
#include "tst_sumo.moc"
