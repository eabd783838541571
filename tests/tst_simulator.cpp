// SPDX-License-Identifier: MIT
// The simulated intersection, driven by its own clock: no test here waits
// for real time, however many hours of traffic it runs.
#include "paneltest.h"
#include "request.h"
#include "response.h"

#include <helvor/simulatedintersection.h>

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <vector>

using Helvor::SimulatedIntersection;
using Helvor::SimulatedLight;
using Mode = SimulatedIntersection::Mode;

Q_DECLARE_METATYPE(SimulatedIntersection::Mode)

namespace {

const QDateTime start(QDate(2024, 5, 6), QTime(7, 30), Qt::UTC);
constexpr int minDelay = SimulatedIntersection::minAnswerDelay;
constexpr int maxDelay = SimulatedIntersection::maxAnswerDelay;

QList<SimulatedIntersection::StagePlan> programme()
{
    return {
        {1, QStringLiteral("Main road"), 20}, {2, QStringLiteral("Side road"), 10}, {3, QStringLiteral("Turns"), 6}};
}

// Refusals off, so that a command fails only where a test asks for it.
std::unique_ptr<SimulatedIntersection> make(quint32 seed = 1,
                                            const QList<SimulatedIntersection::StagePlan> &plan = programme())
{
    auto light = std::make_unique<SimulatedIntersection>(12, QStringLiteral("North gate"), plan, start, seed);
    light->setRefusalRate(0.0);
    return light;
}

// By name, as the panel sends it.
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

void handBack(QObject *light)
{
    QVERIFY(QMetaObject::invokeMethod(light, "setLocal"));
}

void advanceTo(SimulatedIntersection *light, const QDateTime &to)
{
    light->advance(light->now().msecsTo(to));
}

// A command sent, and when and how its answer came by the intersection's clock.
struct Sent
{
    Sent(SimulatedIntersection *light, const QString &command, const QVariant &argument = QVariant())
        : response(send(light, command, argument))
        , finished(response.data(), &Response::finished)
        , sentAt(light->now())
    {
        if (response) {
            QObject::connect(response.data(), &Response::finished, response.data(), [this, light] {
                answeredAt = light->now();
                error = response->error();
            });
        }
    }

    QPointer<Response> response;
    QSignalSpy finished;
    QDateTime sentAt;
    QDateTime answeredAt;
    int error = -1;
};

// What the panel reads of the intersection, each time it says its state changed.
QString snapshot(const SimulatedIntersection *light)
{
    return QStringLiteral("%1 stage %2 key %3 source %4 algorithm %5 %6 since %7")
        .arg(light->now().toString(Qt::ISODateWithMs))
        .arg(light->currentStage())
        .arg(light->keyRegime())
        .arg(light->controlSource())
        .arg(light->controlAlgorithm())
        .arg(QLatin1String(light->isConnected() ? "on line" : "off line"))
        .arg(light->phaseChangeTime().toString(Qt::ISODateWithMs));
}

} // namespace

// On the fixture for its success code and hooks: the simulator is host
// code, and no plug-in is loaded here.
class tst_Simulator : public PanelTest
{
    Q_OBJECT

public:
    tst_Simulator()
        : PanelTest(Host::pluginPath(), Start::Unloaded)
    {
    }

private Q_SLOTS:
    void stagesCycle_data();
    void stagesCycle();
    void longAdvance();
    void clockNeverRunsBack();

    void commandTakesEffect_data();
    void commandTakesEffect();
    void answerDelay_data();
    void answerDelay();
    void requestDescribesCommand_data();
    void requestDescribesCommand();
    void responseIsDeletedOnceFinished();
    void unknownStageRefused_data();
    void unknownStageRefused();
    void heldStage_data();
    void heldStage();
    void repeatedCommandKeepsPhaseTime_data();
    void repeatedCommandKeepsPhaseTime();
    void setLocal_data();
    void setLocal();
    void restart_data();
    void restart();
    void noAnswerWhileRestarting();
    void refusalRate_data();
    void refusalRate();

    void dropConnection_data();
    void dropConnection();
    void noAnswerWhileDisconnected_data();
    void noAnswerWhileDisconnected();
    void droppingLine_data();
    void droppingLine();

    void deterministic_data();
    void deterministic();
};

void tst_Simulator::stagesCycle_data()
{
    addColumns<QList<int>, int>({"seconds", "cycles"});

    QTest::newRow("three stages of 20, 10 and 6 s") << QList<int>{20, 10, 6} << 3;
    QTest::newRow("two stages of 45 and 15 s") << QList<int>{45, 15} << 4;
    QTest::newRow("five stages of unequal length") << QList<int>{8, 30, 12, 5, 17} << 2;
    QTest::newRow("one stage, begun again and again") << QList<int>{30} << 5;
}

void tst_Simulator::stagesCycle()
{
    QFETCH(QList<int>, seconds);
    QFETCH(int, cycles);

    // Ids unlike the indices, so that mixing them up shows.
    QList<SimulatedIntersection::StagePlan> plan;
    for (int i = 0; i < seconds.size(); ++i)
        plan.append({11 + 2 * i, QStringLiteral("Stage %1").arg(i), seconds.at(i)});
    auto light = make(1, plan);
    QSignalSpy changed(light.get(), &SimulatedIntersection::stateChanged);
    QCOMPARE(light->currentStage(), 11);
    QCOMPARE(light->phaseChangeTime(), start);
    QCOMPARE(light->mode(), Mode::Programme);

    QDateTime stageBegan = start;
    for (int change = 1; change <= cycles * seconds.size(); ++change) {
        const int ending = (change - 1) % seconds.size();
        const QDateTime due = stageBegan.addSecs(seconds.at(ending));

        advanceTo(light.get(), due.addMSecs(-1));
        QCOMPARE(light->currentStage(), plan.at(ending).id);
        QCOMPARE(light->phaseChangeTime(), stageBegan);
        QCOMPARE(changed.count(), change - 1);

        light->advance(1);
        QCOMPARE(light->currentStage(), plan.at(change % seconds.size()).id);
        QCOMPARE(light->phaseChangeTime(), due);
        QCOMPARE(changed.count(), change);
        stageBegan = due;
    }
}

void tst_Simulator::longAdvance()
{
    // A whole day at once: every stage change on the way is carried out, at its time.
    auto light = make();
    QStringList seen;
    connect(light.get(), &SimulatedIntersection::stateChanged, this, [&] { seen.append(snapshot(light.get())); });

    light->advance(24 * 3600 * 1000);

    const int cycle = 20 + 10 + 6;
    QCOMPARE(seen.size(), 24 * 3600 / cycle * 3);
    QCOMPARE(light->now(), start.addDays(1));
    QCOMPARE(light->currentStage(), 1);
    QCOMPARE(light->phaseChangeTime(), start.addDays(1));
    QVERIFY(seen.at(0).startsWith(start.addSecs(20).toString(Qt::ISODateWithMs) + QLatin1String(" stage 2 ")));
}

void tst_Simulator::clockNeverRunsBack()
{
    auto light = make();
    light->advance(5000);
    QSignalSpy changed(light.get(), &SimulatedIntersection::stateChanged);

    light->advance(-4000);
    QCOMPARE(light->now(), start.addSecs(5));
    light->advance(15000);
    QCOMPARE(light->now(), start.addSecs(20));
    QCOMPARE(light->currentStage(), 2);
    QCOMPARE(changed.count(), 1);
}

void tst_Simulator::commandTakesEffect_data()
{
    addColumns<QString, QVariant, Mode, int, int, int>(
        {"command", "argument", "mode", "stage", "keyRegime", "algorithm"});

    QTest::newRow("set_yf: flashing yellow, algorithm 255")
        << QStringLiteral("set_yf") << QVariant() << Mode::FlashingYellow << -1 << 2 << 255;
    QTest::newRow("set_os: dark, algorithm 252")
        << QStringLiteral("set_os") << QVariant() << Mode::Dark << -1 << 0 << 252;
    QTest::newRow("set_phase 2: stage 2 held, algorithm 0")
        << QStringLiteral("set_phase") << QVariant(2) << Mode::HeldStage << 2 << 1 << 0;
    QTest::newRow("set_phase 3: stage 3 held, algorithm 0")
        << QStringLiteral("set_phase") << QVariant(3) << Mode::HeldStage << 3 << 1 << 0;
}

void tst_Simulator::commandTakesEffect()
{
    QFETCH(QString, command);
    QFETCH(QVariant, argument);
    QFETCH(Mode, mode);
    QFETCH(int, stage);
    QFETCH(int, keyRegime);
    QFETCH(int, algorithm);

    auto light = make();
    QSignalSpy changed(light.get(), &SimulatedIntersection::stateChanged);
    Sent sent(light.get(), command, argument);
    QVERIFY(sent.response);

    // Nothing before the device had time to answer.
    light->advance(minDelay - 1);
    QCOMPARE(sent.finished.count(), 0);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(light->mode(), Mode::Programme);
    QCOMPARE(light->controlSource(), int(SimulatedLight::LocalSource));

    light->advance(maxDelay - minDelay + 1);
    QCOMPARE(sent.finished.count(), 1);
    QCOMPARE(sent.error, success);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(light->mode(), mode);
    QCOMPARE(light->currentStage(), stage);
    QCOMPARE(light->keyRegime(), keyRegime);
    QCOMPARE(light->controlSource(), int(SimulatedLight::CentreSource));
    QCOMPARE(light->controlAlgorithm(), algorithm);
    QCOMPARE(light->phaseChangeTime(), sent.answeredAt);
    QVERIFY(light->isConnected());
}

void tst_Simulator::answerDelay_data()
{
    addRows<quint32>(
        "seed",
        {{"seed 1", 1u}, {"seed 2", 2u}, {"junction 21's seed", 21u * 7919u}, {"junction 40's seed", 40u * 7919u}});
}

void tst_Simulator::answerDelay()
{
    QFETCH(quint32, seed);

    auto light = make(seed);
    const QStringList commands{QStringLiteral("set_yf"), QStringLiteral("set_phase"), QStringLiteral("set_os"),
                               QStringLiteral("set_start")};
    qint64 shortest = maxDelay + 1;
    qint64 longest = -1;
    for (int i = 0; i < 60; ++i) {
        // Sent at odd times, and answered counting from when each was sent.
        light->advance(6517 + 131 * i);
        const QString command = commands.at(i % commands.size());
        Sent sent(light.get(), command, command == QLatin1String("set_phase") ? QVariant(1 + i % 3) : QVariant());
        QVERIFY(sent.response);
        QVERIFY(!sent.response->isFinished());
        light->advance(maxDelay);
        QCOMPARE(sent.finished.count(), 1);
        const qint64 delay = sent.sentAt.msecsTo(sent.answeredAt);
        QVERIFY2(delay >= minDelay && delay <= maxDelay, qPrintable(QString::number(delay)));
        QCOMPARE(sent.error, success);
        shortest = qMin(shortest, delay);
        longest = qMax(longest, delay);

        // Once is all: neither more time nor the end of a restart brings a second signal.
        light->advance(SimulatedIntersection::restartSeconds * 1000);
        QCOMPARE(sent.finished.count(), 1);
    }
    // A device's answers take their time unevenly.
    QVERIFY2(longest - shortest > (maxDelay - minDelay) / 2,
             qPrintable(QStringLiteral("%1..%2 ms").arg(shortest).arg(longest)));
}

void tst_Simulator::requestDescribesCommand_data()
{
    addColumns<QString, QVariant, QString>({"command", "argument", "text"});

    QTest::newRow("set_phase 3") << QStringLiteral("set_phase") << QVariant(3) << QStringLiteral("set_phase 3");
    QTest::newRow("set_yf") << QStringLiteral("set_yf") << QVariant() << QStringLiteral("set_yf");
    QTest::newRow("set_os") << QStringLiteral("set_os") << QVariant() << QStringLiteral("set_os");
    QTest::newRow("set_start") << QStringLiteral("set_start") << QVariant() << QStringLiteral("set_start");
}

void tst_Simulator::requestDescribesCommand()
{
    QFETCH(QString, command);
    QFETCH(QVariant, argument);
    QFETCH(QString, text);

    auto light = make();
    Sent sent(light.get(), command, argument);
    QVERIFY(sent.response);
    QCOMPARE(light->lastResponse(), sent.response.data());

    // Read as the panel reads it while it waits: by property and by name.
    auto *request = qvariant_cast<QObject *>(sent.response->property("request"));
    QVERIFY(request);
    QString said;
    QVERIFY(QMetaObject::invokeMethod(request, "toString", Q_RETURN_ARG(QString, said)));
    QCOMPARE(said, text);
    QVERIFY(qobject_cast<Request *>(request));
    QCOMPARE(qobject_cast<Request *>(request)->command(), command);
}

void tst_Simulator::responseIsDeletedOnceFinished()
{
    auto light = make();
    Sent sent(light.get(), QStringLiteral("set_yf"));
    QVERIFY(sent.response);
    QPointer<QObject> request = sent.response->request();

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(sent.response);
    light->advance(maxDelay);
    QCOMPARE(sent.finished.count(), 1);
    // The answer stays readable until control returns to the event loop.
    QVERIFY(sent.response);
    QCOMPARE(sent.response->error(), success);

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!sent.response);
    QVERIFY(!request);
}

void tst_Simulator::unknownStageRefused_data()
{
    addColumns<QString, QVariant>({"command", "argument"});

    QTest::newRow("set_phase 9: no such stage") << QStringLiteral("set_phase") << QVariant(9);
    QTest::newRow("set_phase 0: no such stage") << QStringLiteral("set_phase") << QVariant(0);
    QTest::newRow("set_phase -1: no such stage") << QStringLiteral("set_phase") << QVariant(-1);
    QTest::newRow("set_phase without a stage") << QStringLiteral("set_phase") << QVariant();
    QTest::newRow("a command the device does not know") << QStringLiteral("set_green_wave") << QVariant();
}

void tst_Simulator::unknownStageRefused()
{
    QFETCH(QString, command);
    QFETCH(QVariant, argument);

    auto light = make();
    QSignalSpy changed(light.get(), &SimulatedIntersection::stateChanged);
    Sent sent(light.get(), command, argument);
    QVERIFY(sent.response);
    light->advance(maxDelay);

    QCOMPARE(sent.finished.count(), 1);
    QCOMPARE(sent.error, int(SimulatedIntersection::Refused));
    QVERIFY(sent.sentAt.msecsTo(sent.answeredAt) >= minDelay);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(light->mode(), Mode::Programme);
    QCOMPARE(light->controlSource(), int(SimulatedLight::LocalSource));
    // The programme runs on as if nothing had been asked.
    advanceTo(light.get(), start.addSecs(20));
    QCOMPARE(light->currentStage(), 2);
    QCOMPARE(changed.count(), 1);
}

void tst_Simulator::heldStage_data()
{
    addColumns<int, qint64>({"stage", "step"});

    QTest::newRow("stage 2, a second at a time") << 2 << qint64(1000);
    QTest::newRow("stage 3, a second at a time") << 3 << qint64(1000);
    QTest::newRow("stage 2, an hour at a time") << 2 << qint64(3600 * 1000);
    QTest::newRow("stage 1, which was running") << 1 << qint64(7000);
}

void tst_Simulator::heldStage()
{
    QFETCH(int, stage);
    QFETCH(qint64, step);

    auto light = make();
    Sent sent(light.get(), QStringLiteral("set_phase"), stage);
    QVERIFY(sent.response);
    light->advance(maxDelay);
    QCOMPARE(sent.error, success);
    QCOMPARE(light->currentStage(), stage);
    const QDateTime since = light->phaseChangeTime();

    QSignalSpy changed(light.get(), &SimulatedIntersection::stateChanged);
    for (int i = 0; i < 3 * 3600 * 1000 / step; ++i) {
        light->advance(step);
        if (light->currentStage() != stage)
            QFAIL(qPrintable(QStringLiteral("stage %1 after %2 ms").arg(light->currentStage()).arg(i * step)));
    }
    QCOMPARE(changed.count(), 0);
    QCOMPARE(light->phaseChangeTime(), since);
    QCOMPARE(light->mode(), Mode::HeldStage);
    QCOMPARE(light->controlSource(), int(SimulatedLight::CentreSource));
    QCOMPARE(light->controlAlgorithm(), 0);
    QCOMPARE(light->keyRegime(), 1);
}

void tst_Simulator::repeatedCommandKeepsPhaseTime_data()
{
    addColumns<QString, QVariant, QString, QVariant, bool>(
        {"first", "firstArgument", "second", "secondArgument", "changes"});

    QTest::newRow("set_phase of the running stage")
        << QString() << QVariant() << QStringLiteral("set_phase") << QVariant(1) << false;
    QTest::newRow("set_phase 2 twice") << QStringLiteral("set_phase") << QVariant(2) << QStringLiteral("set_phase")
                                       << QVariant(2) << false;
    QTest::newRow("set_yf twice") << QStringLiteral("set_yf") << QVariant() << QStringLiteral("set_yf") << QVariant()
                                  << false;
    QTest::newRow("set_os twice") << QStringLiteral("set_os") << QVariant() << QStringLiteral("set_os") << QVariant()
                                  << false;
    QTest::newRow("set_phase 3 after set_phase 2")
        << QStringLiteral("set_phase") << QVariant(2) << QStringLiteral("set_phase") << QVariant(3) << true;
    QTest::newRow("set_os after set_yf") << QStringLiteral("set_yf") << QVariant() << QStringLiteral("set_os")
                                         << QVariant() << true;
    QTest::newRow("set_phase 1 after set_yf")
        << QStringLiteral("set_yf") << QVariant() << QStringLiteral("set_phase") << QVariant(1) << true;
}

void tst_Simulator::repeatedCommandKeepsPhaseTime()
{
    QFETCH(QString, first);
    QFETCH(QVariant, firstArgument);
    QFETCH(QString, second);
    QFETCH(QVariant, secondArgument);
    QFETCH(bool, changes);

    // The panel counts the seconds since phaseChangeTime: they start
    // again when the signals change, and only then.
    auto light = make();
    light->advance(4000);
    if (!first.isEmpty()) {
        Sent sent(light.get(), first, firstArgument);
        light->advance(maxDelay);
        QCOMPARE(sent.error, success);
    }
    const QDateTime since = light->phaseChangeTime();
    light->advance(5000);

    Sent sent(light.get(), second, secondArgument);
    light->advance(maxDelay);
    QCOMPARE(sent.error, success);
    QCOMPARE(light->phaseChangeTime(), changes ? sent.answeredAt : since);
}

void tst_Simulator::setLocal_data()
{
    addColumns<QString, QVariant, int, bool>({"command", "argument", "stage", "stageGoesOn"});

    QTest::newRow("from flashing yellow") << QStringLiteral("set_yf") << QVariant() << 1 << false;
    QTest::newRow("from dark") << QStringLiteral("set_os") << QVariant() << 1 << false;
    QTest::newRow("from held stage 2") << QStringLiteral("set_phase") << QVariant(2) << 2 << true;
    QTest::newRow("from held stage 3") << QStringLiteral("set_phase") << QVariant(3) << 3 << true;
    QTest::newRow("from its own programme") << QString() << QVariant() << 1 << true;
}

void tst_Simulator::setLocal()
{
    QFETCH(QString, command);
    QFETCH(QVariant, argument);
    QFETCH(int, stage);
    QFETCH(bool, stageGoesOn);

    auto light = make();
    if (!command.isEmpty()) {
        Sent sent(light.get(), command, argument);
        light->advance(maxDelay);
        QCOMPARE(sent.error, success);
        QCOMPARE(light->controlSource(), int(SimulatedLight::CentreSource));
    }
    light->advance(3000);
    const QDateTime since = light->phaseChangeTime();
    QSignalSpy changed(light.get(), &SimulatedIntersection::stateChanged);

    handBack(light.get());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(light->mode(), Mode::Programme);
    QVERIFY(light->controlSource() != int(SimulatedLight::CentreSource));
    QCOMPARE(light->controlAlgorithm(), int(SimulatedLight::LocalAlgorithm));
    QCOMPARE(light->keyRegime(), 1);
    QCOMPARE(light->currentStage(), stage);
    QCOMPARE(light->phaseChangeTime(), stageGoesOn ? since : light->now());

    // And its stages follow each other again, as the programme times them.
    QStringList order;
    for (int i = 0; i < 2 * (20 + 10 + 6); ++i) {
        light->advance(1000);
        const QString running = QString::number(light->currentStage());
        if (order.isEmpty() || order.constLast() != running)
            order.append(running);
    }
    QVERIFY2(order.size() >= 5, qPrintable(order.join(QLatin1Char(' '))));
    const QString cycle = QStringLiteral("1 2 3 1 2 3 1 2 3");
    QVERIFY2(cycle.contains(order.join(QLatin1Char(' '))), qPrintable(order.join(QLatin1Char(' '))));
    QVERIFY(light->controlSource() != int(SimulatedLight::CentreSource));
}

void tst_Simulator::restart_data()
{
    addColumns<QString, QVariant>({"command", "argument"});

    QTest::newRow("from its programme") << QString() << QVariant();
    QTest::newRow("from a held stage under dispatch control") << QStringLiteral("set_phase") << QVariant(3);
    QTest::newRow("from flashing yellow") << QStringLiteral("set_yf") << QVariant();
    QTest::newRow("from dark") << QStringLiteral("set_os") << QVariant();
}

void tst_Simulator::restart()
{
    QFETCH(QString, command);
    QFETCH(QVariant, argument);

    auto light = make(5);
    light->advance(25000);
    if (!command.isEmpty()) {
        Sent sent(light.get(), command, argument);
        light->advance(maxDelay);
        QCOMPARE(sent.error, success);
    }
    QSignalSpy changed(light.get(), &SimulatedIntersection::stateChanged);
    Sent restart(light.get(), QStringLiteral("set_start"));
    light->advance(maxDelay);
    QCOMPARE(restart.finished.count(), 1);
    QCOMPARE(restart.error, success);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(light->mode(), Mode::Restarting);
    QVERIFY(!light->isConnected());
    QCOMPARE(light->currentStage(), -1);

    const QDateTime back = restart.answeredAt.addSecs(SimulatedIntersection::restartSeconds);
    advanceTo(light.get(), back.addMSecs(-1));
    QVERIFY(!light->isConnected());
    QCOMPARE(light->currentStage(), -1);
    QCOMPARE(changed.count(), 1);

    light->advance(1);
    QVERIFY(light->isConnected());
    QCOMPARE(changed.count(), 2);
    QCOMPARE(light->mode(), Mode::Programme);
    QCOMPARE(light->currentStage(), 1);
    QCOMPARE(light->phaseChangeTime(), back);
    QCOMPARE(light->keyRegime(), 1);
    QVERIFY(light->controlSource() != int(SimulatedLight::CentreSource));
    QCOMPARE(light->controlAlgorithm(), int(SimulatedLight::LocalAlgorithm));
    advanceTo(light.get(), back.addSecs(20));
    QCOMPARE(light->currentStage(), 2);
}

void tst_Simulator::noAnswerWhileRestarting()
{
    auto light = make();
    Sent restart(light.get(), QStringLiteral("set_start"));
    light->advance(maxDelay);
    QCOMPARE(restart.error, success);

    Sent yellow(light.get(), QStringLiteral("set_yf"));
    light->advance(maxDelay);
    QCOMPARE(yellow.finished.count(), 1);
    QCOMPARE(yellow.error, int(SimulatedIntersection::NoAnswer));
    QCOMPARE(light->mode(), Mode::Restarting);

    // Nor does a hand-back reach it; it comes back on its programme anyway.
    handBack(light.get());
    QCOMPARE(light->mode(), Mode::Restarting);
    light->advance(SimulatedIntersection::restartSeconds * 1000);
    QCOMPARE(light->mode(), Mode::Programme);
    QCOMPARE(light->keyRegime(), 1);
    QCOMPARE(light->currentStage(), 1);
}

void tst_Simulator::refusalRate_data()
{
    addColumns<double, int, int>({"rate", "fewest", "most"});

    QTest::newRow("1.0 refuses everything") << 1.0 << 60 << 60;
    QTest::newRow("0.0 refuses nothing") << 0.0 << 0 << 0;
    QTest::newRow("0.4 refuses some") << 0.4 << 10 << 40;
}

void tst_Simulator::refusalRate()
{
    QFETCH(double, rate);
    QFETCH(int, fewest);
    QFETCH(int, most);

    auto light = make(27u * 7919u);
    light->setRefusalRate(rate);
    QCOMPARE(light->refusalRate(), rate);
    int refused = 0;
    for (int i = 0; i < 60; ++i) {
        const bool stage = i % 3 != 2;
        Sent sent(light.get(), stage ? QStringLiteral("set_phase") : QStringLiteral("set_yf"),
                  stage ? QVariant(1 + i % 3) : QVariant());
        light->advance(maxDelay);
        QCOMPARE(sent.finished.count(), 1);
        QVERIFY2(sent.error == success || sent.error == SimulatedIntersection::Refused,
                 qPrintable(QString::number(sent.error, 16)));
        if (sent.error == SimulatedIntersection::Refused)
            ++refused;
    }
    QVERIFY2(refused >= fewest && refused <= most, qPrintable(QString::number(refused)));
    if (refused == 60) {
        // Refused every time, it never left its own programme.
        QCOMPARE(light->mode(), Mode::Programme);
        QCOMPARE(light->controlSource(), int(SimulatedLight::LocalSource));
    }
}

void tst_Simulator::dropConnection_data()
{
    addColumns<int, int, int, int>({"first", "second", "offline", "stage"});

    QTest::newRow("5 s") << 5 << 0 << 5 << 1;
    QTest::newRow("30 s, the programme running on") << 30 << 0 << 30 << 3;
    QTest::newRow("a shorter drop keeps the longer") << 30 << 5 << 30 << 3;
    QTest::newRow("a longer drop extends the shorter") << 5 << 30 << 30 << 3;
    QTest::newRow("0 s, back at once") << 0 << 0 << 0 << 1;
    QTest::newRow("-5 s, back at once") << -5 << 0 << 0 << 1;
}

void tst_Simulator::dropConnection()
{
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(int, offline);
    QFETCH(int, stage);

    auto light = make();
    QStringList seen;
    connect(light.get(), &SimulatedIntersection::stateChanged, this, [&] { seen.append(snapshot(light.get())); });

    light->dropConnection(first);
    QVERIFY(!light->isConnected());
    QCOMPARE(seen.size(), 1);
    if (second > 0) {
        light->dropConnection(second);
        QCOMPARE(seen.size(), 1);
    }

    if (offline > 0) {
        advanceTo(light.get(), start.addSecs(offline).addMSecs(-1));
        QVERIFY(!light->isConnected());
        light->advance(1);
    } else {
        light->advance(0);
    }
    QVERIFY(light->isConnected());
    QVERIFY2(seen.constLast().contains(QLatin1String(" on line ")), qPrintable(seen.constLast()));
    QVERIFY(seen.constLast().startsWith(start.addSecs(offline).toString(Qt::ISODateWithMs)));
    // Off line, the device went on with its programme.
    QCOMPARE(light->currentStage(), stage);
    QCOMPARE(light->mode(), Mode::Programme);
}

void tst_Simulator::noAnswerWhileDisconnected_data()
{
    addRows<bool>("dropFirst", {{"sent while off line", true}, {"line lost before the answer", false}});
}

void tst_Simulator::noAnswerWhileDisconnected()
{
    QFETCH(bool, dropFirst);

    auto light = make();
    if (dropFirst)
        light->dropConnection(10);
    Sent sent(light.get(), QStringLiteral("set_yf"));
    QVERIFY(sent.response);
    if (!dropFirst)
        light->dropConnection(10);
    light->advance(maxDelay);

    QCOMPARE(sent.finished.count(), 1);
    QCOMPARE(sent.error, int(SimulatedIntersection::NoAnswer));
    QVERIFY(sent.sentAt.msecsTo(sent.answeredAt) >= minDelay);
    QCOMPARE(light->mode(), Mode::Programme);
    QCOMPARE(light->keyRegime(), 1);
    QCOMPARE(light->controlSource(), int(SimulatedLight::LocalSource));

    // Back on line, the same command goes through.
    light->advance(10000);
    QVERIFY(light->isConnected());
    Sent again(light.get(), QStringLiteral("set_yf"));
    light->advance(maxDelay);
    QCOMPARE(again.error, success);
    QCOMPARE(light->mode(), Mode::FlashingYellow);
}

void tst_Simulator::droppingLine_data()
{
    addRows<int>("interval", {{"every 75 s on average", 75}, {"every 20 s on average", 20}, {"never", 0}});
}

void tst_Simulator::droppingLine()
{
    QFETCH(int, interval);

    auto light = make(21u * 7919u);
    light->setDropInterval(interval);
    QCOMPARE(light->dropInterval(), interval);

    // Two hours, a second at a time as the demo's timer drives it.
    constexpr int hours = 2;
    QList<QDateTime> lost;
    QList<QDateTime> back;
    bool connected = true;
    connect(light.get(), &SimulatedIntersection::stateChanged, this, [&] {
        if (light->isConnected() != connected) {
            connected = light->isConnected();
            (connected ? back : lost).append(light->now());
        }
    });
    // One command as each of the first outages begins: it cannot be answered.
    std::vector<std::unique_ptr<Sent>> offLine;
    bool wasConnected = true;
    for (int second = 0; second < hours * 3600; ++second) {
        light->advance(1000);
        if (wasConnected && !light->isConnected() && offLine.size() < 5)
            offLine.push_back(std::make_unique<Sent>(light.get(), QStringLiteral("set_os")));
        wasConnected = light->isConnected();
    }

    if (interval == 0) {
        QCOMPARE(lost.size(), 0);
        QCOMPARE(back.size(), 0);
        return;
    }
    // Each drop falls half to one and a half times the mean after the one before.
    QVERIFY2(lost.size() >= hours * 3600 * 2 / (3 * interval) && lost.size() <= hours * 3600 * 2 / interval,
             qPrintable(QString::number(lost.size())));
    QVERIFY(back.size() == lost.size() || back.size() == lost.size() - 1);
    for (int i = 0; i < back.size(); ++i) {
        const qint64 outage = lost.at(i).msecsTo(back.at(i));
        QVERIFY2(outage >= 3000 && outage <= 8000, qPrintable(QString::number(outage)));
    }
    for (int i = 1; i < lost.size(); ++i) {
        const qint64 gap = lost.at(i - 1).msecsTo(lost.at(i));
        QVERIFY2(gap >= 500 * interval && gap <= 1500 * interval, qPrintable(QString::number(gap)));
    }

    // Commands sent while the line was down found no one to answer them.
    QCOMPARE(int(offLine.size()), 5);
    for (const auto &sent : offLine) {
        QCOMPARE(sent->finished.count(), 1);
        QCOMPARE(sent->error, int(SimulatedIntersection::NoAnswer));
    }
    QCOMPARE(light->keyRegime(), 1);
}

void tst_Simulator::deterministic_data()
{
    addColumns<quint32, double, int>({"seed", "refusalRate", "dropInterval"});

    QTest::newRow("seed 1") << 1u << 0.03 << 0;
    QTest::newRow("junction 21: a dropping line") << 21u * 7919u << 0.03 << 75;
    QTest::newRow("junction 27: refusing") << 27u * 7919u << 0.4 << 0;
    QTest::newRow("refusing on a dropping line") << 99u << 0.3 << 40;
}

void tst_Simulator::deterministic()
{
    QFETCH(quint32, seed);
    QFETCH(double, refusalRate);
    QFETCH(int, dropInterval);

    // Three at once, stepped in turn so that none can borrow from another's
    // past: two alike, and one with the next seed. Their stories are every
    // state the panel would see, every answer and when it came.
    std::unique_ptr<SimulatedIntersection> lights[3] = {make(seed), make(seed), make(seed + 1)};
    QStringList stories[3];
    for (int k = 0; k < 3; ++k) {
        SimulatedIntersection *light = lights[k].get();
        QStringList *story = &stories[k];
        light->setRefusalRate(refusalRate);
        light->setDropInterval(dropInterval);
        connect(light, &SimulatedIntersection::stateChanged, this, [light, story] { story->append(snapshot(light)); });
    }
    const QStringList script{QStringLiteral("set_phase 2"), QStringLiteral("set_yf"),   QStringLiteral("local"),
                             QStringLiteral("set_phase 3"), QStringLiteral("set_os"),   QStringLiteral("set_phase 1"),
                             QStringLiteral("local"),       QStringLiteral("set_start")};
    for (int i = 0; i < 64; ++i) {
        const QStringList words = script.at(i % script.size()).split(QLatin1Char(' '));
        for (int k = 0; k < 3; ++k) {
            SimulatedIntersection *light = lights[k].get();
            QStringList *story = &stories[k];
            if (words.first() == QLatin1String("local")) {
                handBack(light);
            } else {
                Response *response = send(light, words.first(), words.size() > 1 ? words.at(1) : QVariant());
                QVERIFY(response);
                connect(response, &Response::finished, this, [light, story, response, i] {
                    story->append(QStringLiteral("%1 answer %2: %3")
                                      .arg(light->now().toString(Qt::ISODateWithMs))
                                      .arg(i)
                                      .arg(response->error(), 0, 16));
                });
            }
            light->advance(4700 + 97 * i);
        }
    }

    QVERIFY(stories[0].size() > 100);
    QCOMPARE(stories[1], stories[0]);
    // The seed matters: otherwise the comparison above would prove nothing.
    QVERIFY(stories[2] != stories[0]);
}

QTEST_GUILESS_MAIN(tst_Simulator)

#include "tst_simulator.moc"
