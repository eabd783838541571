// SPDX-License-Identifier: MIT
#include "paneltest.h"

#include <helvor/simulatedlight.h>
#include <helvor/stage.h>
#include <response.h>

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QMetaMethod>
#include <QtTest>

namespace {

QList<int> timersOf(QObject *object)
{
    QList<int> ids;
    const auto timers = QAbstractEventDispatcher::instance()->registeredTimers(object);
    for (const auto &timer : timers)
        ids.append(timer.timerId);
    return ids;
}

} // namespace

// A controller that answers by name but is not the simulated one: for the
// host objects that bend the contract.
class OddLight : public Helvor::Light
{
    Q_OBJECT

public:
    explicit OddLight(int number)
        : Helvor::Light(number)
    {
        // Under dispatch control, so that every action is enabled.
        setProperty("controlSource", 3);
        setProperty("controlAlgorithm", 255);
        setProperty("isConnected", true);
    }

    Q_INVOKABLE QList<QObject *> phases()
    {
        return {new Helvor::Stage(5, QStringLiteral("East"), QString(), this)};
    }
    Q_INVOKABLE void setLocal()
    {
        received.append(PanelTest::describe("setLocal", {}));
    }

    QStringList received;
};

namespace Bare {

// Named Response so that "sendCommand" below matches the return type name
// the panel asks for, yet without the host's "error" property.
class Response : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    int finishedReceivers() const
    {
        return receivers(SIGNAL(finished()));
    }
    int destroyedReceivers() const
    {
        return receivers(SIGNAL(destroyed(QObject *)));
    }

Q_SIGNALS:
    void finished();
};

class Light : public OddLight
{
    Q_OBJECT

public:
    using OddLight::OddLight;

    Q_INVOKABLE Response *sendCommand(const QVariant &command)
    {
        return record({command});
    }
    Q_INVOKABLE Response *sendCommand(const QVariant &command, const QVariant &argument)
    {
        return record({command, argument});
    }

    QPointer<Response> lastResponse;

private:
    Response *record(const QVariantList &arguments)
    {
        received.append(PanelTest::describe("sendCommand", arguments));
        lastResponse = new Response(this);
        return lastResponse;
    }
};

} // namespace Bare

// Its "sendCommand" hands back some other object type than a response.
class MistypedLight : public OddLight
{
    Q_OBJECT

public:
    using OddLight::OddLight;

    Q_INVOKABLE QObject *sendCommand(const QVariant &command)
    {
        received.append(PanelTest::describe("sendCommand", {command}));
        return new QObject(this);
    }
    Q_INVOKABLE QObject *sendCommand(const QVariant &command, const QVariant &argument)
    {
        received.append(PanelTest::describe("sendCommand", {command, argument}));
        return new QObject(this);
    }
};

class tst_Commands : public PanelTest
{
    Q_OBJECT

private Q_SLOTS:
    void openingPanel_data();
    void openingPanel();
    void modeCommands_data();
    void modeCommands();
    void secondCommandWhilePending_data();
    void secondCommandWhilePending();
    void stageCommand_data();
    void stageCommand();
    void stageDeselected_data();
    void stageDeselected();
    void stageWhilePending_data();
    void stageWhilePending();
    void stageDataNotANumber_data();
    void stageDataNotANumber();
    void restart_data();
    void restart();
    void pendingFinishesAfterRestart_data();
    void pendingFinishesAfterRestart();
    void responseFinished_data();
    void responseFinished();
    void responseWithoutErrorProperty_data();
    void responseWithoutErrorProperty();
    void disconnectsOnceFinished_data();
    void disconnectsOnceFinished();
    void controllerReportsDispatchControl_data();
    void controllerReportsDispatchControl();
    void responseDeleted_data();
    void responseDeleted();
    void finishedTwice_data();
    void finishedTwice();
    void staleResponseIgnored_data();
    void staleResponseIgnored();
    void responseFinishedByName_data();
    void responseFinishedByName();
    void finishedWithNothingPending_data();
    void finishedWithNothingPending();
    void otherReturnType_data();
    void otherReturnType();
    void dispatchOffClearsStage_data();
    void dispatchOffClearsStage();
    void dispatchOnSendsNothing_data();
    void dispatchOnSendsNothing();
    void everyTransitionToOff_data();
    void everyTransitionToOff();
    void controllerDestroyed_data();
    void controllerDestroyed();
    void actionsAfterControllerDestroyed_data();
    void actionsAfterControllerDestroyed();
    void slotsByName_data();
    void slotsByName();

protected:
    void initEach() override;
};

void tst_Commands::initEach()
{
    Host::setClock(QDateTime(QDate(2024, 3, 14), QTime(9, 0)));
}

void tst_Commands::openingPanel_data()
{
    addColumns<bool, QStringList>({"dispatchControl", "calls"});

    QTest::newRow("controller under dispatch control: nothing sent") << true << QStringList{QStringLiteral("phases()")};
    QTest::newRow("controller in local mode: setLocal once")
        << false << QStringList{QStringLiteral("phases()"), QStringLiteral("setLocal()")};
}

void tst_Commands::openingPanel()
{
    QFETCH(bool, dispatchControl);
    QFETCH(QStringList, calls);

    Helvor::SimulatedLight *light = newLight(dispatchControl);
    QWidget *panel = host.open(light);
    QVERIFY(panel);
    QCOMPARE(received(light), calls);
    QCOMPARE(action(panel, "actionDC")->isChecked(), dispatchControl);
    QCOMPARE(sending(panel), QString());
    if (!dispatchControl)
        QCOMPARE(lastCommandCode(panel), -3);
}

void tst_Commands::modeCommands_data()
{
    addColumns<QString, bool, QStringList, int>({"action", "accepts", "calls", "lastCommand"});

    const QString yf = QStringLiteral("sendCommand(QString set_yf)");
    const QString dark = QStringLiteral("sendCommand(QString set_os)");
    // 5 is the stage confirmed before: a refusal must leave it.
    QTest::newRow("YF accepted") << QStringLiteral("YF") << true << QStringList{yf} << -1;
    QTest::newRow("Dark accepted") << QStringLiteral("Dark") << true << QStringList{dark} << -1;
    QTest::newRow("YF refused with a null response") << QStringLiteral("YF") << false << QStringList{yf} << 5;
    QTest::newRow("Dark refused with a null response") << QStringLiteral("Dark") << false << QStringList{dark} << 5;
}

void tst_Commands::modeCommands()
{
    QFETCH(QString, action);
    QFETCH(bool, accepts);
    QFETCH(QStringList, calls);
    QFETCH(int, lastCommand);

    QVERIFY(startPanel(true, {QStringLiteral("stage 5"), QStringLiteral("confirm")}));
    QCOMPARE(lastCommandCode(m_panel), 5);
    m_light->clearCalls();
    m_light->setAcceptsCommands(accepts);

    QVERIFY(play({action}));
    QCOMPARE(received(m_light), calls);
    QCOMPARE(lastCommandCode(m_panel), lastCommand);
    if (accepts) {
        QVERIFY(m_light->lastResponse());
        QCOMPARE(sending(m_panel), requestOf(m_light->lastResponse()));
    } else {
        QCOMPARE(sending(m_panel), QString());
    }
}

void tst_Commands::secondCommandWhilePending_data()
{
    addColumns<QString, QString, QString, QString, int>({"first", "second", "firstCall", "secondCall", "lastCommand"});

    const QString yf = QStringLiteral("sendCommand(QString set_yf)");
    const QString dark = QStringLiteral("sendCommand(QString set_os)");
    QTest::newRow("YF pending, Dark pressed") << QStringLiteral("YF") << QStringLiteral("Dark") << yf << dark << -1;
    QTest::newRow("YF pending, YF pressed again") << QStringLiteral("YF") << QStringLiteral("YF") << yf << yf << -1;
    QTest::newRow("Dark pending, YF pressed") << QStringLiteral("Dark") << QStringLiteral("YF") << dark << yf << -1;
    QTest::newRow("stage 8 pending, Dark pressed")
        << QStringLiteral("stage 8") << QStringLiteral("Dark")
        << QStringLiteral("sendCommand(QString set_phase, int 8)") << dark << 8;
}

void tst_Commands::secondCommandWhilePending()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, firstCall);
    QFETCH(QString, secondCall);
    QFETCH(int, lastCommand);

    QVERIFY(startPanel(true, {first}));
    QPointer<Response> firstResponse = m_light->lastResponse();
    QVERIFY(firstResponse);

    QVERIFY(play({second}));
    QCOMPARE(received(m_light), QStringList{firstCall});
    QCOMPARE(lastCommandCode(m_panel), lastCommand);
    QCOMPARE(sending(m_panel), requestOf(firstResponse));

    // Dropped, not queued: it goes out only when pressed again after the end.
    firstResponse->finish(success);
    QCOMPARE(received(m_light), QStringList{firstCall});
    QVERIFY(play({second}));
    QCOMPARE(received(m_light), (QStringList{firstCall, secondCall}));
}

void tst_Commands::stageCommand_data()
{
    addColumns<int, bool, bool, QStringList, int>({"row", "byCurrentRow", "accepts", "calls", "lastCommand"});

    QTest::newRow("stage 3 made current, accepted")
        << 0 << true << true << QStringList{QStringLiteral("sendCommand(QString set_phase, int 3)")} << 3;
    QTest::newRow("stage 8 selected, accepted")
        << 2 << false << true << QStringList{QStringLiteral("sendCommand(QString set_phase, int 8)")} << 8;
    // -1 is the YF confirmed before: a refusal must leave it.
    QTest::newRow("stage 5 selected, refused")
        << 1 << false << false << QStringList{QStringLiteral("sendCommand(QString set_phase, int 5)")} << -1;
}

void tst_Commands::stageCommand()
{
    QFETCH(int, row);
    QFETCH(bool, byCurrentRow);
    QFETCH(bool, accepts);
    QFETCH(QStringList, calls);
    QFETCH(int, lastCommand);

    QVERIFY(startPanel(true, {QStringLiteral("YF"), QStringLiteral("confirm")}));
    m_light->clearCalls();
    m_light->setAcceptsCommands(accepts);

    QListWidget *list = stageList(m_panel);
    if (byCurrentRow)
        list->setCurrentRow(row);
    else
        list->item(row)->setSelected(true);
    QCOMPARE(received(m_light), calls);
    QCOMPARE(lastCommandCode(m_panel), lastCommand);
    QCOMPARE(sending(m_panel), accepts ? requestOf(m_light->lastResponse()) : QString());
}

void tst_Commands::stageDeselected_data()
{
    addColumns<bool, bool>({"confirmFirst", "byClearSelection"});

    QTest::newRow("clearSelection after a confirmed stage") << true << true;
    QTest::newRow("setSelected(false) after a confirmed stage") << true << false;
    QTest::newRow("clearSelection while the stage is pending") << false << true;
}

void tst_Commands::stageDeselected()
{
    QFETCH(bool, confirmFirst);
    QFETCH(bool, byClearSelection);

    QVERIFY(startPanel(true, {QStringLiteral("stage 5")}));
    if (confirmFirst)
        QVERIFY(play({QStringLiteral("confirm")}));
    m_light->clearCalls();

    QListWidget *list = stageList(m_panel);
    if (byClearSelection)
        list->clearSelection();
    else
        list->item(1)->setSelected(false);
    QVERIFY(list->selectedItems().isEmpty());
    QCOMPARE(received(m_light), QStringList());
    QCOMPARE(lastCommandCode(m_panel), 5);
}

void tst_Commands::stageWhilePending_data()
{
    addColumns<QString, int>({"first", "lastCommand"});

    QTest::newRow("YF pending") << QStringLiteral("YF") << -1;
    QTest::newRow("Dark pending") << QStringLiteral("Dark") << -1;
    QTest::newRow("stage 3 pending") << QStringLiteral("stage 3") << 3;
}

void tst_Commands::stageWhilePending()
{
    QFETCH(QString, first);
    QFETCH(int, lastCommand);

    QVERIFY(startPanel(true, {first}));
    const QStringList firstCalls = received(m_light);
    QCOMPARE(firstCalls.size(), 1);
    QPointer<Response> pending = m_light->lastResponse();

    QListWidget *list = stageList(m_panel);
    list->setCurrentRow(2);
    QCOMPARE(received(m_light), firstCalls);
    QCOMPARE(lastCommandCode(m_panel), lastCommand);
    QCOMPARE(sending(m_panel), requestOf(pending));
    QCOMPARE(list->selectedItems(), QList<QListWidgetItem *>{list->item(2)});
    QCOMPARE(list->currentRow(), 2);

    // The dropped choice is not sent later on behalf of the operator.
    pending->finish(success);
    QCOMPARE(received(m_light), firstCalls);
    QCOMPARE(list->selectedItems(), QList<QListWidgetItem *>{list->item(2)});
}

void tst_Commands::stageDataNotANumber_data()
{
    addColumns<QVariant, QStringList, int>({"data", "calls", "lastCommand"});

    QTest::newRow("letters") << QVariant(QStringLiteral("abc")) << QStringList() << -1;
    QTest::newRow("empty text") << QVariant(QString()) << QStringList() << -1;
    QTest::newRow("decimal text") << QVariant(QStringLiteral("3.5")) << QStringList() << -1;
    QTest::newRow("no data at all") << QVariant() << QStringList() << -1;
    // The number travels as an int whatever the item holds.
    QTest::newRow("digits as text still send an int")
        << QVariant(QStringLiteral("7")) << QStringList{QStringLiteral("sendCommand(QString set_phase, int 7)")} << 7;
}

void tst_Commands::stageDataNotANumber()
{
    QFETCH(QVariant, data);
    QFETCH(QStringList, calls);
    QFETCH(int, lastCommand);

    QVERIFY(startPanel(true, {QStringLiteral("YF"), QStringLiteral("confirm")}));
    m_light->clearCalls();

    QListWidget *list = stageList(m_panel);
    list->item(1)->setData(Qt::UserRole, data);
    list->setCurrentRow(1);
    QCOMPARE(received(m_light), calls);
    QCOMPARE(lastCommandCode(m_panel), lastCommand);
    QCOMPARE(!sending(m_panel).isEmpty(), !calls.isEmpty());
}

void tst_Commands::restart_data()
{
    addColumns<QStringList, bool>({"before", "accepts"});

    QTest::newRow("nothing pending") << QStringList() << true;
    QTest::newRow("YF response pending") << QStringList{QStringLiteral("YF")} << true;
    QTest::newRow("stage response pending") << QStringList{QStringLiteral("stage 5")} << true;
    QTest::newRow("controller refusing commands") << QStringList() << false;
}

void tst_Commands::restart()
{
    QFETCH(QStringList, before);
    QFETCH(bool, accepts);

    QVERIFY(startPanel(true, {QStringLiteral("Dark"), QStringLiteral("confirm")}));
    QCOMPARE(idleSeconds(m_panel), 0);
    Host::advanceClock(20);
    QVERIFY(play(before));
    const QString pending = sending(m_panel);
    m_light->clearCalls();
    m_light->setAcceptsCommands(accepts);

    QVERIFY(play({QStringLiteral("Restart")}));
    QCOMPARE(received(m_light), QStringList{QStringLiteral("sendCommand(QString set_start)")});
    QCOMPARE(lastCommandCode(m_panel), -4);
    QCOMPARE(sending(m_panel), pending);
    QCOMPARE(idleSeconds(m_panel), 20);

    // The restart's own response is not tracked: its end changes nothing.
    if (accepts) {
        Response *restartResponse = m_light->lastResponse();
        QVERIFY(restartResponse);
        QCOMPARE(requestOf(restartResponse), QStringLiteral("set_start"));
        restartResponse->finish(0);
        QCOMPARE(lastCommandCode(m_panel), -4);
        QCOMPARE(sending(m_panel), pending);
        QCOMPARE(idleSeconds(m_panel), 20);
    }
}

void tst_Commands::pendingFinishesAfterRestart_data()
{
    addColumns<int, bool, int>({"error", "confirms", "lastCommand"});

    QTest::newRow("4608 confirms, -4 stays") << 4608 << true << -4;
    QTest::newRow("0 refuses") << 0 << false << -5;
    QTest::newRow("1 refuses") << 1 << false << -5;
    QTest::newRow("4609 refuses") << 4609 << false << -5;
    QTest::newRow("-4608 refuses") << -4608 << false << -5;
}

void tst_Commands::pendingFinishesAfterRestart()
{
    QFETCH(int, error);
    QFETCH(bool, confirms);
    QFETCH(int, lastCommand);

    QVERIFY(startPanel(true, {QStringLiteral("YF"), QStringLiteral("confirm")}));
    QCOMPARE(idleSeconds(m_panel), 0);
    Host::advanceClock(30);
    QVERIFY(play({QStringLiteral("YF")}));
    QPointer<Response> pending = m_light->lastResponse();
    QVERIFY(play({QStringLiteral("Restart")}));
    QCOMPARE(lastCommandCode(m_panel), -4);
    Host::advanceClock(30);

    pending->finish(error);
    QCOMPARE(lastCommandCode(m_panel), lastCommand);
    QCOMPARE(idleSeconds(m_panel), confirms ? 0 : 60);
    QCOMPARE(sending(m_panel), QString());
    QVERIFY(pending);
}

void tst_Commands::responseFinished_data()
{
    addColumns<QString, int, bool, int>({"command", "error", "confirms", "lastCommand"});

    QTest::newRow("YF, 4608") << QStringLiteral("YF") << 4608 << true << -1;
    QTest::newRow("Dark, 4608") << QStringLiteral("Dark") << 4608 << true << -1;
    QTest::newRow("stage 5, 4608") << QStringLiteral("stage 5") << 4608 << true << 5;
    QTest::newRow("YF, 0") << QStringLiteral("YF") << 0 << false << -5;
    QTest::newRow("Dark, 1") << QStringLiteral("Dark") << 1 << false << -5;
    QTest::newRow("stage 8, 4607") << QStringLiteral("stage 8") << 4607 << false << -5;
    QTest::newRow("YF, 0x12000") << QStringLiteral("YF") << 0x12000 << false << -5;
    QTest::newRow("stage 3, -1") << QStringLiteral("stage 3") << -1 << false << -5;
}

void tst_Commands::responseFinished()
{
    QFETCH(QString, command);
    QFETCH(int, error);
    QFETCH(bool, confirms);
    QFETCH(int, lastCommand);

    QVERIFY(startPanel(true, {command}));
    QPointer<Response> response = m_light->lastResponse();
    QVERIFY(response);
    QCOMPARE(idleSeconds(m_panel), -1);
    Host::advanceClock(7);

    response->finish(error);
    QCOMPARE(lastCommandCode(m_panel), lastCommand);
    QCOMPARE(idleSeconds(m_panel), confirms ? 0 : -1);
    QCOMPARE(sending(m_panel), QString());
    // The response stays the host's.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(response);

    // The channel is free again.
    m_light->clearCalls();
    QVERIFY(play({QStringLiteral("Dark")}));
    QCOMPARE(received(m_light), QStringList{QStringLiteral("sendCommand(QString set_os)")});
    QCOMPARE(sending(m_panel), requestOf(m_light->lastResponse()));
}

void tst_Commands::responseWithoutErrorProperty_data()
{
    addColumns<QVariant, bool, int>({"error", "confirms", "lastCommand"});

    QTest::newRow("no error property counts as 0") << QVariant() << false << -5;
    // The property is read by name, so one the host adds at run time counts.
    QTest::newRow("run-time error property 4608") << QVariant(4608) << true << -1;
    QTest::newRow("run-time error property 0") << QVariant(0) << false << -5;
}

void tst_Commands::responseWithoutErrorProperty()
{
    QFETCH(QVariant, error);
    QFETCH(bool, confirms);
    QFETCH(int, lastCommand);

    auto *light = own(new Bare::Light(201));
    QWidget *panel = host.open(light);
    QVERIFY(panel);
    light->received.clear();

    QVERIFY(play(panel, nullptr, {QStringLiteral("YF")}));
    QCOMPARE(light->received, QStringList{QStringLiteral("sendCommand(QString set_yf)")});
    QPointer<Bare::Response> response = light->lastResponse;
    QVERIFY(response);
    QCOMPARE(pendingResponse(panel), response.data());
    QCOMPARE(lastCommandCode(panel), -1);
    QCOMPARE(response->metaObject()->indexOfProperty("error"), -1);

    if (error.isValid())
        response->setProperty("error", error);
    Host::advanceClock(3);
    Q_EMIT response->finished();
    QCOMPARE(lastCommandCode(panel), lastCommand);
    QCOMPARE(idleSeconds(panel), confirms ? 0 : -1);
    QVERIFY(!pendingResponse(panel));
    QVERIFY(response);
}

void tst_Commands::disconnectsOnceFinished_data()
{
    addRows<QVariant>("error",
                      {{"confirmed", QVariant(4608)}, {"refused", QVariant(1)}, {"no error property", QVariant()}});
}

void tst_Commands::disconnectsOnceFinished()
{
    QFETCH(QVariant, error);

    auto *light = own(new Bare::Light(201));
    QWidget *panel = host.open(light);
    QVERIFY(panel);
    QVERIFY(play(panel, nullptr, {QStringLiteral("Dark")}));
    QPointer<Bare::Response> response = light->lastResponse;
    QVERIFY(response);
    QCOMPARE(response->finishedReceivers(), 1);

    if (error.isValid())
        response->setProperty("error", error);
    Q_EMIT response->finished();
    QVERIFY(!pendingResponse(panel));
    QCOMPARE(response->finishedReceivers(), 0);
    QCOMPARE(response->destroyedReceivers(), 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(response);
}

void tst_Commands::controllerReportsDispatchControl_data()
{
    addColumns<bool, QStringList, int, int>({"dispatchControl", "before", "runningStage", "lastCommand"});

    // The panel's mode follows the operator, not the controller's report.
    QTest::newRow("dispatch control ends, YF pending") << true << QStringList{QStringLiteral("YF")} << -1 << -1;
    QTest::newRow("dispatch control ends, stage 5 confirmed")
        << true << QStringList{QStringLiteral("stage 5"), QStringLiteral("confirm")} << -1 << 5;
    QTest::newRow("dispatch control begins, panel off") << false << QStringList() << -1 << -3;
    // The ordered stage loses its selection once it runs; that is no new order.
    QTest::newRow("ordered stage 5 starts running")
        << true << QStringList{QStringLiteral("stage 5"), QStringLiteral("confirm")} << 5 << 5;
    QTest::newRow("ordered stage 5 starts running, response pending")
        << true << QStringList{QStringLiteral("stage 5")} << 5 << 5;
}

void tst_Commands::controllerReportsDispatchControl()
{
    QFETCH(bool, dispatchControl);
    QFETCH(QStringList, before);
    QFETCH(int, runningStage);
    QFETCH(int, lastCommand);

    QVERIFY(startPanel(dispatchControl, before));
    const QString response = sending(m_panel);
    m_light->clearCalls();

    m_light->setDispatchControl(!dispatchControl);
    m_light->setCurrentStage(runningStage);
    Q_EMIT m_light->stateChanged();
    QCOMPARE(received(m_light), QStringList());
    QCOMPARE(lastCommandCode(m_panel), lastCommand);
    QCOMPARE(sending(m_panel), response);
    QCOMPARE(action(m_panel, "actionDC")->isChecked(), dispatchControl);
    QCOMPARE(stageList(m_panel)->isEnabled(), dispatchControl);
    if (runningStage >= 0)
        QVERIFY(stageList(m_panel)->selectedItems().isEmpty());
}

void tst_Commands::responseDeleted_data()
{
    addColumns<QString, bool, int>({"command", "confirmFirst", "lastCommand"});

    QTest::newRow("pending YF response deleted") << QStringLiteral("YF") << false << -5;
    QTest::newRow("pending Dark response deleted") << QStringLiteral("Dark") << false << -5;
    QTest::newRow("pending stage 5 response deleted") << QStringLiteral("stage 5") << false << -5;
    QTest::newRow("YF response deleted after confirming") << QStringLiteral("YF") << true << -1;
    QTest::newRow("stage 8 response deleted after confirming") << QStringLiteral("stage 8") << true << 8;
}

void tst_Commands::responseDeleted()
{
    QFETCH(QString, command);
    QFETCH(bool, confirmFirst);
    QFETCH(int, lastCommand);

    QVERIFY(startPanel(true, {QStringLiteral("Dark"), QStringLiteral("confirm")}));
    Host::advanceClock(10);
    QVERIFY(play({command}));
    if (confirmFirst)
        QVERIFY(play({QStringLiteral("confirm")}));
    QCOMPARE(idleSeconds(m_panel), confirmFirst ? 0 : 10);
    Host::advanceClock(10);

    delete m_light->lastResponse();
    QCOMPARE(sending(m_panel), QString());
    QCOMPARE(lastCommandCode(m_panel), lastCommand);
    QCOMPARE(idleSeconds(m_panel), confirmFirst ? 10 : 20);

    // The status line must not read the deleted response.
    Host::tick(m_panel);
    m_light->clearCalls();
    QVERIFY(play({QStringLiteral("YF")}));
    QCOMPARE(received(m_light), QStringList{QStringLiteral("sendCommand(QString set_yf)")});
    QVERIFY(m_light->lastResponse());
    QCOMPARE(sending(m_panel), requestOf(m_light->lastResponse()));
    QCOMPARE(lastCommandCode(m_panel), -1);
}

void tst_Commands::finishedTwice_data()
{
    addColumns<QString, int>({"firstEnd", "lastCommand"});

    QTest::newRow("confirmed, then finished() again") << QStringLiteral("confirm") << -1;
    QTest::newRow("refused, then finished() again") << QStringLiteral("refuse") << -5;
}

void tst_Commands::finishedTwice()
{
    QFETCH(QString, firstEnd);
    QFETCH(int, lastCommand);

    QVERIFY(startPanel(true, {QStringLiteral("YF")}));
    QPointer<Response> response = m_light->lastResponse();
    QVERIFY(play({firstEnd}));
    QCOMPARE(lastCommandCode(m_panel), lastCommand);
    QCOMPARE(idleSeconds(m_panel), firstEnd == QLatin1String("confirm") ? 0 : -1);
    // A restart stores -4 and tracks nothing: a second end, if handled,
    // would show as -5 or as a newer action time.
    QVERIFY(play({QStringLiteral("Restart")}));
    Host::advanceClock(40);

    Q_EMIT response->finished();
    QCOMPARE(lastCommandCode(m_panel), -4);
    QCOMPARE(idleSeconds(m_panel), firstEnd == QLatin1String("confirm") ? 40 : -1);
    QCOMPARE(sending(m_panel), QString());
}

void tst_Commands::staleResponseIgnored_data()
{
    QTest::addColumn<bool>("hostReconnects");

    QTest::newRow("old response signals after a newer one became pending") << false;
    // The panel drops its own connection; this one checks the slot's own guard.
    QTest::newRow("old response reconnected by the host signals") << true;
}

void tst_Commands::staleResponseIgnored()
{
    QFETCH(bool, hostReconnects);

    QVERIFY(startPanel(true, {QStringLiteral("YF"), QStringLiteral("confirm")}));
    QPointer<Response> old = m_light->lastResponse();
    QCOMPARE(idleSeconds(m_panel), 0);
    QVERIFY(play({QStringLiteral("stage 5")}));
    QPointer<Response> newer = m_light->lastResponse();
    QVERIFY(newer != old);
    if (hostReconnects)
        QVERIFY(connect(old, SIGNAL(finished()), Host::d(m_panel), SLOT(responseFinished())));
    Host::advanceClock(40);

    Q_EMIT old->finished();
    QCOMPARE(sending(m_panel), requestOf(newer));
    QCOMPARE(lastCommandCode(m_panel), 5);
    QCOMPARE(idleSeconds(m_panel), 40);

    // The newer response is still the one that ends the wait.
    newer->finish(0);
    QCOMPARE(sending(m_panel), QString());
    QCOMPARE(lastCommandCode(m_panel), -5);
    QCOMPARE(idleSeconds(m_panel), 40);
}

void tst_Commands::responseFinishedByName_data()
{
    addColumns<int, bool, int>({"error", "confirms", "lastCommand"});

    QTest::newRow("pending response with 4608") << 4608 << true << -1;
    QTest::newRow("pending response with 1") << 1 << false << -5;
}

void tst_Commands::responseFinishedByName()
{
    QFETCH(int, error);
    QFETCH(bool, confirms);
    QFETCH(int, lastCommand);

    QVERIFY(startPanel(true, {QStringLiteral("YF")}));
    QPointer<Response> response = m_light->lastResponse();
    {
        // The result is set without the signal: only the call by name may end the wait.
        const QSignalBlocker blocker(response.data());
        response->finish(error);
    }
    QCOMPARE(sending(m_panel), requestOf(response));
    Host::advanceClock(5);

    // Without a sender, the slot judges the pending response.
    QVERIFY(QMetaObject::invokeMethod(Host::d(m_panel), "responseFinished"));
    QCOMPARE(lastCommandCode(m_panel), lastCommand);
    QCOMPARE(idleSeconds(m_panel), confirms ? 0 : -1);
    QCOMPARE(sending(m_panel), QString());
    QVERIFY(response);
}

void tst_Commands::finishedWithNothingPending_data()
{
    addColumns<QStringList, int>({"before", "lastCommand"});

    QTest::newRow("after a confirmed YF") << QStringList{QStringLiteral("YF"), QStringLiteral("confirm")} << -1;
    QTest::newRow("after a refused stage") << QStringList{QStringLiteral("stage 3"), QStringLiteral("refuse")} << -5;
    QTest::newRow("after a restart only") << QStringList{QStringLiteral("Restart")} << -4;
}

void tst_Commands::finishedWithNothingPending()
{
    QFETCH(QStringList, before);
    QFETCH(int, lastCommand);

    QVERIFY(startPanel(true, before));
    const int idle = idleSeconds(m_panel);
    Host::advanceClock(40);

    QVERIFY(QMetaObject::invokeMethod(Host::d(m_panel), "responseFinished"));
    QCOMPARE(lastCommandCode(m_panel), lastCommand);
    QCOMPARE(idleSeconds(m_panel), idle < 0 ? -1 : idle + 40);
    QCOMPARE(sending(m_panel), QString());
}

void tst_Commands::otherReturnType_data()
{
    addRows<QString>(
        "command",
        {{"YF", QStringLiteral("YF")}, {"Dark", QStringLiteral("Dark")}, {"stage 5", QStringLiteral("stage 5")}});
}

void tst_Commands::otherReturnType()
{
    QFETCH(QString, command);

    auto *light = own(new MistypedLight(201));
    QWidget *panel = host.open(light);
    QVERIFY(panel);
    // Without a return value the call does go out.
    QVERIFY(play(panel, nullptr, {QStringLiteral("Restart")}));
    QCOMPARE(light->received.value(0), QStringLiteral("sendCommand(QString set_start)"));

    QVERIFY(play(panel, nullptr, {command}));
    QVERIFY(!pendingResponse(panel));
    QCOMPARE(lastCommandCode(panel), -4);
    // Not stuck waiting: the next command is tried as well.
    QVERIFY(play(panel, nullptr, {QStringLiteral("YF")}));
    QVERIFY(!pendingResponse(panel));
    QCOMPARE(lastCommandCode(panel), -4);
}

void tst_Commands::dispatchOffClearsStage_data()
{
    addColumns<QStringList, bool>({"before", "pending"});

    QTest::newRow("stage response pending") << QStringList{QStringLiteral("stage 5")} << true;
    QTest::newRow("stage confirmed") << QStringList{QStringLiteral("stage 5"), QStringLiteral("confirm")} << false;
    QTest::newRow("stage refused with a null response")
        << QStringList{QStringLiteral("refusing"), QStringLiteral("stage 5")} << false;
    QTest::newRow("stage chosen while YF pending")
        << QStringList{QStringLiteral("YF"), QStringLiteral("stage 5")} << true;
}

void tst_Commands::dispatchOffClearsStage()
{
    QFETCH(QStringList, before);
    QFETCH(bool, pending);

    QVERIFY(startPanel(true, before));
    QListWidget *list = stageList(m_panel);
    QCOMPARE(list->currentRow(), 1);
    QCOMPARE(list->selectedItems().size(), 1);
    const QString response = sending(m_panel);
    QCOMPARE(!response.isEmpty(), pending);
    m_light->clearCalls();
    m_light->setAcceptsCommands(true);

    QVERIFY(play({QStringLiteral("DC")}));
    QVERIFY(list->selectedItems().isEmpty());
    QVERIFY(!list->currentItem());
    QVERIFY(!list->selectionModel()->currentIndex().isValid());
    QCOMPARE(received(m_light), QStringList{QStringLiteral("setLocal()")});
    QCOMPARE(lastCommandCode(m_panel), -3);
    QCOMPARE(sending(m_panel), response);
    QVERIFY(!action(m_panel, "actionDC")->isChecked());
}

void tst_Commands::dispatchOnSendsNothing_data()
{
    addColumns<bool, QStringList, QString, int>({"dispatchControl", "before", "turnOn", "lastCommand"});

    const QString byOperator = QStringLiteral("DC");
    const QString byModule = QStringLiteral("on");
    QTest::newRow("operator turns on after opening in local mode") << false << QStringList() << byOperator << -3;
    QTest::newRow("operator turns on again with YF pending")
        << true << QStringList{QStringLiteral("YF"), byOperator} << byOperator << -3;
    QTest::newRow("module turns on while on, YF pending")
        << true << QStringList{QStringLiteral("YF")} << byModule << -1;
    QTest::newRow("module turns on while on, after restart")
        << true << QStringList{QStringLiteral("Restart")} << byModule << -4;
    QTest::newRow("module turns on while on, stage 8 confirmed")
        << true << QStringList{QStringLiteral("stage 8"), QStringLiteral("confirm")} << byModule << 8;
    QTest::newRow("module turns on while on, after a refusal")
        << true << QStringList{QStringLiteral("Dark"), QStringLiteral("refuse")} << byModule << -5;
}

void tst_Commands::dispatchOnSendsNothing()
{
    QFETCH(bool, dispatchControl);
    QFETCH(QStringList, before);
    QFETCH(QString, turnOn);
    QFETCH(int, lastCommand);

    QVERIFY(startPanel(dispatchControl, before));
    const QString response = sending(m_panel);
    const QList<QListWidgetItem *> selection = stageList(m_panel)->selectedItems();
    m_light->clearCalls();

    QVERIFY(play({turnOn}));
    QCOMPARE(received(m_light), QStringList());
    QCOMPARE(lastCommandCode(m_panel), lastCommand);
    QCOMPARE(sending(m_panel), response);
    QCOMPARE(stageList(m_panel)->selectedItems(), selection);
    QVERIFY(action(m_panel, "actionDC")->isChecked());
    QVERIFY(action(m_panel, "actionYF")->isEnabled());
    QVERIFY(action(m_panel, "actionDark")->isEnabled());
    QVERIFY(action(m_panel, "actionRestart")->isEnabled());
    QVERIFY(stageList(m_panel)->isEnabled());
}

void tst_Commands::everyTransitionToOff_data()
{
    addColumns<bool, QStringList, int, bool>({"dispatchControl", "steps", "setLocalCalls", "on"});

    const QString dc = QStringLiteral("DC");
    const QString off = QStringLiteral("off");
    const QString on = QStringLiteral("on");
    QTest::newRow("operator turns off") << true << QStringList{dc} << 1 << false;
    QTest::newRow("operator turns off, on, off") << true << QStringList{dc, dc, dc} << 2 << false;
    QTest::newRow("module turns off while already off") << false << QStringList{off} << 1 << false;
    QTest::newRow("module turns off twice") << true << QStringList{off, off} << 2 << false;
    QTest::newRow("operator turns off, module again") << true << QStringList{dc, off} << 2 << false;
    QTest::newRow("module turns on, operator off") << false << QStringList{on, dc} << 1 << false;
    QTest::newRow("module turns on while on") << true << QStringList{on} << 0 << true;
}

void tst_Commands::everyTransitionToOff()
{
    QFETCH(bool, dispatchControl);
    QFETCH(QStringList, steps);
    QFETCH(int, setLocalCalls);
    QFETCH(bool, on);

    QVERIFY(startPanel(dispatchControl));

    QVERIFY(play(steps));
    QCOMPARE(received(m_light), repeated(QStringLiteral("setLocal()"), setLocalCalls));
    QCOMPARE(action(m_panel, "actionDC")->isChecked(), on);
    QCOMPARE(action(m_panel, "actionYF")->isEnabled(), on);
    QCOMPARE(action(m_panel, "actionDark")->isEnabled(), on);
    QCOMPARE(action(m_panel, "actionRestart")->isEnabled(), on);
    QCOMPARE(stageList(m_panel)->isEnabled(), on);
    if (setLocalCalls > 0)
        QCOMPARE(lastCommandCode(m_panel), -3);
}

void tst_Commands::controllerDestroyed_data()
{
    addColumns<QStringList, bool>({"before", "hostKeepsResponse"});

    QTest::newRow("YF response pending, kept by the host") << QStringList{QStringLiteral("YF")} << true;
    QTest::newRow("stage response pending, kept by the host") << QStringList{QStringLiteral("stage 5")} << true;
    QTest::newRow("YF response pending, owned by the controller") << QStringList{QStringLiteral("YF")} << false;
    QTest::newRow("response confirmed before") << QStringList{QStringLiteral("YF"), QStringLiteral("confirm")} << true;
    QTest::newRow("nothing sent") << QStringList() << false;
}

void tst_Commands::controllerDestroyed()
{
    QFETCH(QStringList, before);
    QFETCH(bool, hostKeepsResponse);

    QVERIFY(startPanel(true, before));
    QPointer<Response> response = m_light->lastResponse();
    if (hostKeepsResponse) {
        QVERIFY(response);
        own(response.data())->setParent(nullptr);
    }
    Vorlan::Widget::Private *d = Host::d(m_panel);
    const bool wasFinished = response && response->isFinished();
    QVERIFY(timersOf(d).contains(d->timerId));

    delete m_light;
    QVERIFY2(m_panel, "the panel goes on the next pass of the event loop, not at once");
    QCOMPARE(timersOf(d), QList<int>());
    QCOMPARE(bool(response), hostKeepsResponse);

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!m_panel);
    QVERIFY(host.panels().isEmpty());
    QCOMPARE(bool(response), hostKeepsResponse);
    if (response) {
        QCOMPARE(response->isFinished(), wasFinished);
        // Reaches no panel any more.
        response->finish(success);
    }
}

void tst_Commands::actionsAfterControllerDestroyed_data()
{
    addColumns<QString, int>({"step", "lastCommand"});

    // 8 is the stage confirmed before; restart and local mode store their
    // codes even when the call cannot be made.
    QTest::newRow("YF: not accepted") << QStringLiteral("YF") << 8;
    QTest::newRow("Dark: not accepted") << QStringLiteral("Dark") << 8;
    QTest::newRow("Restart: -4 all the same") << QStringLiteral("Restart") << -4;
    QTest::newRow("stage 5: not accepted") << QStringLiteral("stage 5") << 8;
    QTest::newRow("operator turns off: -3 all the same") << QStringLiteral("DC") << -3;
    QTest::newRow("module turns off: -3 all the same") << QStringLiteral("off") << -3;
    QTest::newRow("timer tick") << QString() << 8;
}

void tst_Commands::actionsAfterControllerDestroyed()
{
    QFETCH(QString, step);
    QFETCH(int, lastCommand);

    QVERIFY(startPanel(true, {QStringLiteral("stage 8"), QStringLiteral("confirm")}));

    // Between the controller's end and the panel's, the panel still takes clicks.
    delete m_light;
    QVERIFY(m_panel);
    if (step.isEmpty())
        Host::tick(m_panel);
    else
        QVERIFY(play(m_panel, nullptr, {step}));
    QCOMPARE(sending(m_panel), QString());
    QCOMPARE(lastCommandCode(m_panel), lastCommand);

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!m_panel);
}

void tst_Commands::slotsByName_data()
{
    addColumns<QByteArray, QVariant, QStringList, int, bool, bool>(
        {"slot", "argument", "calls", "lastCommand", "dispatchActive", "panelStays"});

    // Each row starts from a confirmed stage 8, hence lastCommand 8 when
    // the slot sends nothing. The controller has left dispatch control
    // without saying so: only lightStateChanged notices.
    QTest::newRow("setDispatchControlMode(false)") << QByteArray("setDispatchControlMode") << QVariant(false)
                                                   << QStringList{QStringLiteral("setLocal()")} << -3 << true << true;
    QTest::newRow("setDispatchControlMode(true)")
        << QByteArray("setDispatchControlMode") << QVariant(true) << QStringList() << 8 << true << true;
    QTest::newRow("setYF") << QByteArray("setYF") << QVariant()
                           << QStringList{QStringLiteral("sendCommand(QString set_yf)")} << -1 << true << true;
    QTest::newRow("setDark") << QByteArray("setDark") << QVariant()
                             << QStringList{QStringLiteral("sendCommand(QString set_os)")} << -1 << true << true;
    QTest::newRow("restart") << QByteArray("restart") << QVariant()
                             << QStringList{QStringLiteral("sendCommand(QString set_start)")} << -4 << true << true;
    QTest::newRow("setPhase with stage 3 selected")
        << QByteArray("setPhase") << QVariant() << QStringList{QStringLiteral("sendCommand(QString set_phase, int 3)")}
        << 3 << true << true;
    QTest::newRow("lightStateChanged") << QByteArray("lightStateChanged") << QVariant() << QStringList() << 8 << false
                                       << true;
    QTest::newRow("lightDestroyed") << QByteArray("lightDestroyed") << QVariant() << QStringList() << 8 << true
                                    << false;
    QTest::newRow("responseFinished with nothing pending")
        << QByteArray("responseFinished") << QVariant() << QStringList() << 8 << true << true;
}

void tst_Commands::slotsByName()
{
    QFETCH(QByteArray, slot);
    QFETCH(QVariant, argument);
    QFETCH(QStringList, calls);
    QFETCH(int, lastCommand);
    QFETCH(bool, dispatchActive);
    QFETCH(bool, panelStays);

    QVERIFY(startPanel(true, {QStringLiteral("stage 8"), QStringLiteral("confirm")}));
    Vorlan::Widget::Private *d = Host::d(m_panel);
    QListWidget *list = stageList(m_panel);
    if (slot == "setPhase") {
        // Chosen without the list telling the panel: only the call by name sends.
        const QSignalBlocker blocker(list);
        list->setCurrentRow(0);
    }
    m_light->setDispatchControl(false);
    m_light->clearCalls();

    if (argument.isValid())
        QVERIFY(QMetaObject::invokeMethod(d, slot.constData(), Q_ARG(bool, argument.toBool())));
    else
        QVERIFY(QMetaObject::invokeMethod(d, slot.constData()));
    QCOMPARE(received(m_light), calls);
    QCOMPARE(lastCommandCode(m_panel), lastCommand);
    QCOMPARE(PanelTest::dispatchActive(m_panel), dispatchActive);

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(bool(m_panel), panelStays);
}

QTEST_MAIN(tst_Commands)
#include "tst_commands.moc"
