// SPDX-License-Identifier: MIT
#include "host.h"

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

// The device's code for a command carried out; every other code is a refusal.
constexpr int commandDone = 4608;

QString describe(const QByteArray &method, const QVariantList &arguments)
{
    QStringList parts;
    for (const QVariant &argument : arguments)
        parts.append(
            QStringLiteral("%1 %2").arg(QLatin1String(QMetaType::typeName(argument.userType())), argument.toString()));
    return QStringLiteral("%1(%2)").arg(QString::fromLatin1(method), parts.join(QLatin1String(", ")));
}

// Every call the controller received, with the type and value of each
// argument, in order: "sendCommand(QString set_phase, int 5)".
QStringList received(const Helvor::SimulatedLight *light)
{
    QStringList result;
    const QList<Helvor::SimulatedLight::Call> calls = light->calls();
    for (const Helvor::SimulatedLight::Call &call : calls)
        result.append(describe(call.method, call.arguments));
    return result;
}

QStringList repeated(const QString &call, int count)
{
    QStringList result;
    for (int i = 0; i < count; ++i)
        result.append(call);
    return result;
}

QList<int> timersOf(QObject *object)
{
    QList<int> ids;
    const auto timers = QAbstractEventDispatcher::instance()->registeredTimers(object);
    for (const auto &timer : timers)
        ids.append(timer.timerId);
    return ids;
}

bool selectStage(QWidget *panel, int stage)
{
    QListWidget *list = Host::stageList(panel);
    if (!list || !list->isEnabled())
        return false;
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->data(Qt::UserRole) == QVariant(stage)) {
            list->setCurrentRow(row);
            return true;
        }
    }
    return false;
}

// Plays the operator, the module and the controller one step at a time:
// "YF", "Dark", "Restart", "DC" trigger the action as a click does; "stage N"
// picks that stage in the list; "on" and "off" are the module's own calls
// (watchdog, closing); "confirm" and "refuse" finish the controller's latest
// response; "refusing" makes the controller refuse further commands.
bool play(QWidget *panel, Helvor::SimulatedLight *light, const QStringList &steps)
{
    for (const QString &step : steps) {
        if (step.startsWith(QLatin1String("stage "))) {
            if (!selectStage(panel, step.mid(6).toInt()))
                return false;
        } else if (step == QLatin1String("confirm") || step == QLatin1String("refuse")) {
            if (!light)
                return false;
            Response *response = light->lastResponse();
            if (!response || response->isFinished())
                return false;
            response->finish(step == QLatin1String("confirm") ? commandDone : 0);
        } else if (step == QLatin1String("refusing")) {
            if (!light)
                return false;
            light->setAcceptsCommands(false);
        } else if (step == QLatin1String("on") || step == QLatin1String("off")) {
            if (!QMetaObject::invokeMethod(Host::d(panel), "setDispatchControlMode",
                                           Q_ARG(bool, step == QLatin1String("on"))))
                return false;
        } else {
            const QByteArray name = "action" + step.toLatin1();
            QAction *action = Host::action(panel, name.constData());
            // An operator cannot click a disabled action.
            if (!action || !action->isEnabled())
                return false;
            action->trigger();
        }
    }
    return true;
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
        received.append(describe("setLocal", {}));
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
        received.append(describe("sendCommand", arguments));
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
        received.append(describe("sendCommand", {command}));
        return new QObject(this);
    }
    Q_INVOKABLE QObject *sendCommand(const QVariant &command, const QVariant &argument)
    {
        received.append(describe("sendCommand", {command, argument}));
        return new QObject(this);
    }
};

class tst_Commands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

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
    void slotTable_data();
    void slotTable();
    void slotsByName_data();
    void slotsByName();

private:
    Helvor::SimulatedLight *newLight(bool dispatchControl);
    // Opens the panel and forgets the calls its construction made.
    QWidget *openPanel(Helvor::SimulatedLight *light);
    template<typename T> T *own(T *object)
    {
        hostObjects.append(object);
        return object;
    }

    Host host;
    // What the host owns and this suite deletes after each test.
    QList<QPointer<QObject>> hostObjects;
    int lastNumber = 100;
};

void tst_Commands::initTestCase()
{
    QVERIFY2(host.plugin(), qPrintable(host.loader().errorString()));
}

void tst_Commands::init()
{
    Host::setClock(QDateTime(QDate(2024, 3, 14), QTime(9, 0)));
}

void tst_Commands::cleanup()
{
    Host::useRealClock();
    qDeleteAll(host.panels());
    for (const QPointer<QObject> &object : qAsConst(hostObjects))
        delete object.data();
    hostObjects.clear();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(host.panels().isEmpty());
}

Helvor::SimulatedLight *tst_Commands::newLight(bool dispatchControl)
{
    ++lastNumber;
    auto *light = own(new Helvor::SimulatedLight(lastNumber, QStringLiteral("Junction %1").arg(lastNumber)));
    light->addStage(3, QStringLiteral("North"));
    light->addStage(5, QStringLiteral("East"));
    light->addStage(8, QStringLiteral("South"));
    light->setDispatchControl(dispatchControl);
    return light;
}

QWidget *tst_Commands::openPanel(Helvor::SimulatedLight *light)
{
    QWidget *panel = host.open(light);
    light->clearCalls();
    return panel;
}

void tst_Commands::openingPanel_data()
{
    QTest::addColumn<bool>("dispatchControl");
    QTest::addColumn<QStringList>("calls");

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
    QCOMPARE(Host::action(panel, "actionDC")->isChecked(), dispatchControl);
    QVERIFY(!Host::d(panel)->pendingResponse);
    if (!dispatchControl)
        QCOMPARE(Host::d(panel)->lastCommand, -3);
}

void tst_Commands::modeCommands_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("accepts");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<int>("lastCommand");

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

    Helvor::SimulatedLight *light = newLight(true);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QVERIFY(play(panel, light, {QStringLiteral("stage 5"), QStringLiteral("confirm")}));
    QCOMPARE(Host::d(panel)->lastCommand, 5);
    light->clearCalls();
    light->setAcceptsCommands(accepts);

    QVERIFY(play(panel, light, {action}));
    QCOMPARE(received(light), calls);
    QCOMPARE(Host::d(panel)->lastCommand, lastCommand);
    if (accepts) {
        QVERIFY(light->lastResponse());
        QCOMPARE(Host::d(panel)->pendingResponse.data(), light->lastResponse());
    } else {
        QVERIFY(!Host::d(panel)->pendingResponse);
    }
}

void tst_Commands::secondCommandWhilePending_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("firstCall");
    QTest::addColumn<QString>("secondCall");
    QTest::addColumn<int>("lastCommand");

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

    Helvor::SimulatedLight *light = newLight(true);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QVERIFY(play(panel, light, {first}));
    QPointer<Response> firstResponse = light->lastResponse();
    QVERIFY(firstResponse);

    QVERIFY(play(panel, light, {second}));
    QCOMPARE(received(light), QStringList{firstCall});
    QCOMPARE(Host::d(panel)->lastCommand, lastCommand);
    QCOMPARE(Host::d(panel)->pendingResponse.data(), firstResponse.data());

    // Dropped, not queued: it goes out only when pressed again after the end.
    firstResponse->finish(commandDone);
    QCOMPARE(received(light), QStringList{firstCall});
    QVERIFY(play(panel, light, {second}));
    QCOMPARE(received(light), (QStringList{firstCall, secondCall}));
}

void tst_Commands::stageCommand_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("byCurrentRow");
    QTest::addColumn<bool>("accepts");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<int>("lastCommand");

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

    Helvor::SimulatedLight *light = newLight(true);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QVERIFY(play(panel, light, {QStringLiteral("YF"), QStringLiteral("confirm")}));
    light->clearCalls();
    light->setAcceptsCommands(accepts);

    QListWidget *list = Host::stageList(panel);
    if (byCurrentRow)
        list->setCurrentRow(row);
    else
        list->item(row)->setSelected(true);
    QCOMPARE(received(light), calls);
    QCOMPARE(Host::d(panel)->lastCommand, lastCommand);
    QCOMPARE(Host::d(panel)->pendingResponse.data(), accepts ? light->lastResponse() : nullptr);
}

void tst_Commands::stageDeselected_data()
{
    QTest::addColumn<bool>("confirmFirst");
    QTest::addColumn<bool>("byClearSelection");

    QTest::newRow("clearSelection after a confirmed stage") << true << true;
    QTest::newRow("setSelected(false) after a confirmed stage") << true << false;
    QTest::newRow("clearSelection while the stage is pending") << false << true;
}

void tst_Commands::stageDeselected()
{
    QFETCH(bool, confirmFirst);
    QFETCH(bool, byClearSelection);

    Helvor::SimulatedLight *light = newLight(true);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QVERIFY(play(panel, light, {QStringLiteral("stage 5")}));
    if (confirmFirst)
        QVERIFY(play(panel, light, {QStringLiteral("confirm")}));
    light->clearCalls();

    QListWidget *list = Host::stageList(panel);
    if (byClearSelection)
        list->clearSelection();
    else
        list->item(1)->setSelected(false);
    QVERIFY(list->selectedItems().isEmpty());
    QCOMPARE(received(light), QStringList());
    QCOMPARE(Host::d(panel)->lastCommand, 5);
}

void tst_Commands::stageWhilePending_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<int>("lastCommand");

    QTest::newRow("YF pending") << QStringLiteral("YF") << -1;
    QTest::newRow("Dark pending") << QStringLiteral("Dark") << -1;
    QTest::newRow("stage 3 pending") << QStringLiteral("stage 3") << 3;
}

void tst_Commands::stageWhilePending()
{
    QFETCH(QString, first);
    QFETCH(int, lastCommand);

    Helvor::SimulatedLight *light = newLight(true);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QVERIFY(play(panel, light, {first}));
    const QStringList firstCalls = received(light);
    QCOMPARE(firstCalls.size(), 1);
    QPointer<Response> pending = light->lastResponse();

    QListWidget *list = Host::stageList(panel);
    list->setCurrentRow(2);
    QCOMPARE(received(light), firstCalls);
    QCOMPARE(Host::d(panel)->lastCommand, lastCommand);
    QCOMPARE(Host::d(panel)->pendingResponse.data(), pending.data());
    QCOMPARE(list->selectedItems(), QList<QListWidgetItem *>{list->item(2)});
    QCOMPARE(list->currentRow(), 2);

    // The dropped choice is not sent later on behalf of the operator.
    pending->finish(commandDone);
    QCOMPARE(received(light), firstCalls);
    QCOMPARE(list->selectedItems(), QList<QListWidgetItem *>{list->item(2)});
}

void tst_Commands::stageDataNotANumber_data()
{
    QTest::addColumn<QVariant>("data");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<int>("lastCommand");

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

    Helvor::SimulatedLight *light = newLight(true);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QVERIFY(play(panel, light, {QStringLiteral("YF"), QStringLiteral("confirm")}));
    light->clearCalls();

    QListWidget *list = Host::stageList(panel);
    list->item(1)->setData(Qt::UserRole, data);
    list->setCurrentRow(1);
    QCOMPARE(received(light), calls);
    QCOMPARE(Host::d(panel)->lastCommand, lastCommand);
    QCOMPARE(bool(Host::d(panel)->pendingResponse), !calls.isEmpty());
}

void tst_Commands::restart_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<bool>("accepts");

    QTest::newRow("nothing pending") << QStringList() << true;
    QTest::newRow("YF response pending") << QStringList{QStringLiteral("YF")} << true;
    QTest::newRow("stage response pending") << QStringList{QStringLiteral("stage 5")} << true;
    QTest::newRow("controller refusing commands") << QStringList() << false;
}

void tst_Commands::restart()
{
    QFETCH(QStringList, before);
    QFETCH(bool, accepts);

    Helvor::SimulatedLight *light = newLight(true);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    Vorlan::Widget::Private *d = Host::d(panel);
    QVERIFY(play(panel, light, {QStringLiteral("Dark"), QStringLiteral("confirm")}));
    const QDateTime confirmedAt = d->lastActionTime;
    QVERIFY(confirmedAt.isValid());
    Host::advanceClock(20);
    QVERIFY(play(panel, light, before));
    QPointer<QObject> pending = d->pendingResponse.data();
    light->clearCalls();
    light->setAcceptsCommands(accepts);

    QVERIFY(play(panel, light, {QStringLiteral("Restart")}));
    QCOMPARE(received(light), QStringList{QStringLiteral("sendCommand(QString set_start)")});
    QCOMPARE(d->lastCommand, -4);
    QCOMPARE(d->pendingResponse.data(), pending.data());
    QCOMPARE(d->lastActionTime, confirmedAt);

    // The restart's own response is not tracked: its end changes nothing.
    if (accepts) {
        Response *restartResponse = light->lastResponse();
        QVERIFY(restartResponse);
        QVERIFY(restartResponse != pending.data());
        restartResponse->finish(0);
        QCOMPARE(d->lastCommand, -4);
        QCOMPARE(d->pendingResponse.data(), pending.data());
        QCOMPARE(d->lastActionTime, confirmedAt);
    }
}

void tst_Commands::pendingFinishesAfterRestart_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("confirms");
    QTest::addColumn<int>("lastCommand");

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

    Helvor::SimulatedLight *light = newLight(true);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    Vorlan::Widget::Private *d = Host::d(panel);
    QVERIFY(play(panel, light, {QStringLiteral("YF"), QStringLiteral("confirm")}));
    const QDateTime confirmedAt = Host::clock();
    QCOMPARE(d->lastActionTime, confirmedAt);
    Host::advanceClock(30);
    QVERIFY(play(panel, light, {QStringLiteral("YF")}));
    QPointer<Response> pending = light->lastResponse();
    QVERIFY(play(panel, light, {QStringLiteral("Restart")}));
    QCOMPARE(d->lastCommand, -4);
    Host::advanceClock(30);

    pending->finish(error);
    QCOMPARE(d->lastCommand, lastCommand);
    QCOMPARE(d->lastActionTime, confirms ? Host::clock() : confirmedAt);
    QVERIFY(!d->pendingResponse);
    QVERIFY(pending);
}

void tst_Commands::responseFinished_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("confirms");
    QTest::addColumn<int>("lastCommand");

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

    Helvor::SimulatedLight *light = newLight(true);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    Vorlan::Widget::Private *d = Host::d(panel);
    QVERIFY(play(panel, light, {command}));
    QPointer<Response> response = light->lastResponse();
    QVERIFY(response);
    QVERIFY(!d->lastActionTime.isValid());
    Host::advanceClock(7);

    response->finish(error);
    QCOMPARE(d->lastCommand, lastCommand);
    QCOMPARE(d->lastActionTime, confirms ? Host::clock() : QDateTime());
    QVERIFY(!d->pendingResponse);
    // The response stays the host's.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(response);

    // The channel is free again.
    light->clearCalls();
    QVERIFY(play(panel, light, {QStringLiteral("Dark")}));
    QCOMPARE(received(light), QStringList{QStringLiteral("sendCommand(QString set_os)")});
    QCOMPARE(d->pendingResponse.data(), light->lastResponse());
}

void tst_Commands::responseWithoutErrorProperty_data()
{
    QTest::addColumn<QVariant>("error");
    QTest::addColumn<bool>("confirms");
    QTest::addColumn<int>("lastCommand");

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

    auto *light = own(new Bare::Light(++lastNumber));
    QWidget *panel = host.open(light);
    QVERIFY(panel);
    Vorlan::Widget::Private *d = Host::d(panel);
    light->received.clear();

    QVERIFY(play(panel, nullptr, {QStringLiteral("YF")}));
    QCOMPARE(light->received, QStringList{QStringLiteral("sendCommand(QString set_yf)")});
    QPointer<Bare::Response> response = light->lastResponse;
    QVERIFY(response);
    QCOMPARE(d->pendingResponse.data(), response.data());
    QCOMPARE(d->lastCommand, -1);
    QCOMPARE(response->metaObject()->indexOfProperty("error"), -1);

    if (error.isValid())
        response->setProperty("error", error);
    Host::advanceClock(3);
    Q_EMIT response->finished();
    QCOMPARE(d->lastCommand, lastCommand);
    QCOMPARE(d->lastActionTime, confirms ? Host::clock() : QDateTime());
    QVERIFY(!d->pendingResponse);
    QVERIFY(response);
}

void tst_Commands::disconnectsOnceFinished_data()
{
    QTest::addColumn<QVariant>("error");

    QTest::newRow("confirmed") << QVariant(4608);
    QTest::newRow("refused") << QVariant(1);
    QTest::newRow("no error property") << QVariant();
}

void tst_Commands::disconnectsOnceFinished()
{
    QFETCH(QVariant, error);

    auto *light = own(new Bare::Light(++lastNumber));
    QWidget *panel = host.open(light);
    QVERIFY(panel);
    QVERIFY(play(panel, nullptr, {QStringLiteral("Dark")}));
    QPointer<Bare::Response> response = light->lastResponse;
    QVERIFY(response);
    QCOMPARE(response->finishedReceivers(), 1);

    if (error.isValid())
        response->setProperty("error", error);
    Q_EMIT response->finished();
    QVERIFY(!Host::d(panel)->pendingResponse);
    QCOMPARE(response->finishedReceivers(), 0);
    QCOMPARE(response->destroyedReceivers(), 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(response);
}

void tst_Commands::controllerReportsDispatchControl_data()
{
    QTest::addColumn<bool>("dispatchControl");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<int>("runningStage");
    QTest::addColumn<int>("lastCommand");

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

    Helvor::SimulatedLight *light = newLight(dispatchControl);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    Vorlan::Widget::Private *d = Host::d(panel);
    QVERIFY(play(panel, light, before));
    QPointer<QObject> response = d->pendingResponse.data();
    light->clearCalls();

    light->setDispatchControl(!dispatchControl);
    light->setCurrentStage(runningStage);
    Q_EMIT light->stateChanged();
    QCOMPARE(received(light), QStringList());
    QCOMPARE(d->lastCommand, lastCommand);
    QCOMPARE(d->pendingResponse.data(), response.data());
    QCOMPARE(Host::action(panel, "actionDC")->isChecked(), dispatchControl);
    QCOMPARE(Host::stageList(panel)->isEnabled(), dispatchControl);
    if (runningStage >= 0)
        QVERIFY(Host::stageList(panel)->selectedItems().isEmpty());
}

void tst_Commands::responseDeleted_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("confirmFirst");
    QTest::addColumn<int>("lastCommand");

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

    Helvor::SimulatedLight *light = newLight(true);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    Vorlan::Widget::Private *d = Host::d(panel);
    QVERIFY(play(panel, light, {QStringLiteral("Dark"), QStringLiteral("confirm")}));
    Host::advanceClock(10);
    QVERIFY(play(panel, light, {command}));
    if (confirmFirst)
        QVERIFY(play(panel, light, {QStringLiteral("confirm")}));
    const QDateTime lastActionTime = d->lastActionTime;
    QCOMPARE(lastActionTime, confirmFirst ? Host::clock() : Host::clock().addSecs(-10));
    Host::advanceClock(10);

    delete light->lastResponse();
    QVERIFY(!d->pendingResponse);
    QCOMPARE(d->lastCommand, lastCommand);
    QCOMPARE(d->lastActionTime, lastActionTime);

    // The status line must not read the deleted response.
    Host::tick(panel);
    light->clearCalls();
    QVERIFY(play(panel, light, {QStringLiteral("YF")}));
    QCOMPARE(received(light), QStringList{QStringLiteral("sendCommand(QString set_yf)")});
    QVERIFY(light->lastResponse());
    QCOMPARE(d->pendingResponse.data(), light->lastResponse());
    QCOMPARE(d->lastCommand, -1);
}

void tst_Commands::finishedTwice_data()
{
    QTest::addColumn<QString>("firstEnd");
    QTest::addColumn<int>("lastCommand");

    QTest::newRow("confirmed, then finished() again") << QStringLiteral("confirm") << -1;
    QTest::newRow("refused, then finished() again") << QStringLiteral("refuse") << -5;
}

void tst_Commands::finishedTwice()
{
    QFETCH(QString, firstEnd);
    QFETCH(int, lastCommand);

    Helvor::SimulatedLight *light = newLight(true);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    Vorlan::Widget::Private *d = Host::d(panel);
    QVERIFY(play(panel, light, {QStringLiteral("YF")}));
    QPointer<Response> response = light->lastResponse();
    QVERIFY(play(panel, light, {firstEnd}));
    QCOMPARE(d->lastCommand, lastCommand);
    const QDateTime lastActionTime = d->lastActionTime;
    // A restart stores -4 and tracks nothing: a second end, if handled,
    // would show as -5 or as a newer action time.
    QVERIFY(play(panel, light, {QStringLiteral("Restart")}));
    Host::advanceClock(40);

    Q_EMIT response->finished();
    QCOMPARE(d->lastCommand, -4);
    QCOMPARE(d->lastActionTime, lastActionTime);
    QVERIFY(!d->pendingResponse);
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

    Helvor::SimulatedLight *light = newLight(true);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    Vorlan::Widget::Private *d = Host::d(panel);
    QVERIFY(play(panel, light, {QStringLiteral("YF"), QStringLiteral("confirm")}));
    QPointer<Response> old = light->lastResponse();
    const QDateTime confirmedAt = d->lastActionTime;
    QVERIFY(confirmedAt.isValid());
    QVERIFY(play(panel, light, {QStringLiteral("stage 5")}));
    QPointer<Response> newer = light->lastResponse();
    QVERIFY(newer != old);
    if (hostReconnects)
        QVERIFY(connect(old, SIGNAL(finished()), d, SLOT(responseFinished())));
    Host::advanceClock(40);

    Q_EMIT old->finished();
    QCOMPARE(d->pendingResponse.data(), newer.data());
    QCOMPARE(d->lastCommand, 5);
    QCOMPARE(d->lastActionTime, confirmedAt);

    // The newer response is still the one that ends the wait.
    newer->finish(0);
    QVERIFY(!d->pendingResponse);
    QCOMPARE(d->lastCommand, -5);
    QCOMPARE(d->lastActionTime, confirmedAt);
}

void tst_Commands::responseFinishedByName_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("confirms");
    QTest::addColumn<int>("lastCommand");

    QTest::newRow("pending response with 4608") << 4608 << true << -1;
    QTest::newRow("pending response with 1") << 1 << false << -5;
}

void tst_Commands::responseFinishedByName()
{
    QFETCH(int, error);
    QFETCH(bool, confirms);
    QFETCH(int, lastCommand);

    Helvor::SimulatedLight *light = newLight(true);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    Vorlan::Widget::Private *d = Host::d(panel);
    QVERIFY(play(panel, light, {QStringLiteral("YF")}));
    QPointer<Response> response = light->lastResponse();
    {
        // The result is set without the signal: only the call by name may end the wait.
        const QSignalBlocker blocker(response.data());
        response->finish(error);
    }
    QCOMPARE(d->pendingResponse.data(), response.data());
    Host::advanceClock(5);

    // Without a sender, the slot judges the pending response.
    QVERIFY(QMetaObject::invokeMethod(d, "responseFinished"));
    QCOMPARE(d->lastCommand, lastCommand);
    QCOMPARE(d->lastActionTime, confirms ? Host::clock() : QDateTime());
    QVERIFY(!d->pendingResponse);
    QVERIFY(response);
}

void tst_Commands::finishedWithNothingPending_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<int>("lastCommand");

    QTest::newRow("after a confirmed YF") << QStringList{QStringLiteral("YF"), QStringLiteral("confirm")} << -1;
    QTest::newRow("after a refused stage") << QStringList{QStringLiteral("stage 3"), QStringLiteral("refuse")} << -5;
    QTest::newRow("after a restart only") << QStringList{QStringLiteral("Restart")} << -4;
}

void tst_Commands::finishedWithNothingPending()
{
    QFETCH(QStringList, before);
    QFETCH(int, lastCommand);

    Helvor::SimulatedLight *light = newLight(true);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    Vorlan::Widget::Private *d = Host::d(panel);
    QVERIFY(play(panel, light, before));
    const QDateTime lastActionTime = d->lastActionTime;
    Host::advanceClock(40);

    QVERIFY(QMetaObject::invokeMethod(d, "responseFinished"));
    QCOMPARE(d->lastCommand, lastCommand);
    QCOMPARE(d->lastActionTime, lastActionTime);
    QVERIFY(!d->pendingResponse);
}

void tst_Commands::otherReturnType_data()
{
    QTest::addColumn<QString>("command");

    QTest::newRow("YF") << QStringLiteral("YF");
    QTest::newRow("Dark") << QStringLiteral("Dark");
    QTest::newRow("stage 5") << QStringLiteral("stage 5");
}

void tst_Commands::otherReturnType()
{
    QFETCH(QString, command);

    auto *light = own(new MistypedLight(++lastNumber));
    QWidget *panel = host.open(light);
    QVERIFY(panel);
    Vorlan::Widget::Private *d = Host::d(panel);
    // Without a return value the call does go out.
    QVERIFY(play(panel, nullptr, {QStringLiteral("Restart")}));
    QCOMPARE(light->received.value(0), QStringLiteral("sendCommand(QString set_start)"));

    QVERIFY(play(panel, nullptr, {command}));
    QVERIFY(!d->pendingResponse);
    QCOMPARE(d->lastCommand, -4);
    // Not stuck waiting: the next command is tried as well.
    QVERIFY(play(panel, nullptr, {QStringLiteral("YF")}));
    QVERIFY(!d->pendingResponse);
    QCOMPARE(d->lastCommand, -4);
}

void tst_Commands::dispatchOffClearsStage_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<bool>("pending");

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

    Helvor::SimulatedLight *light = newLight(true);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    Vorlan::Widget::Private *d = Host::d(panel);
    QVERIFY(play(panel, light, before));
    QListWidget *list = Host::stageList(panel);
    QCOMPARE(list->currentRow(), 1);
    QCOMPARE(list->selectedItems().size(), 1);
    QPointer<QObject> response = d->pendingResponse.data();
    QCOMPARE(bool(response), pending);
    light->clearCalls();
    light->setAcceptsCommands(true);

    QVERIFY(play(panel, light, {QStringLiteral("DC")}));
    QVERIFY(list->selectedItems().isEmpty());
    QVERIFY(!list->currentItem());
    QVERIFY(!list->selectionModel()->currentIndex().isValid());
    QCOMPARE(received(light), QStringList{QStringLiteral("setLocal()")});
    QCOMPARE(d->lastCommand, -3);
    QCOMPARE(d->pendingResponse.data(), response.data());
    QVERIFY(!Host::action(panel, "actionDC")->isChecked());
}

void tst_Commands::dispatchOnSendsNothing_data()
{
    QTest::addColumn<bool>("dispatchControl");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("turnOn");
    QTest::addColumn<int>("lastCommand");

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

    Helvor::SimulatedLight *light = newLight(dispatchControl);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    Vorlan::Widget::Private *d = Host::d(panel);
    QVERIFY(play(panel, light, before));
    QPointer<QObject> response = d->pendingResponse.data();
    const QList<QListWidgetItem *> selection = Host::stageList(panel)->selectedItems();
    light->clearCalls();

    QVERIFY(play(panel, light, {turnOn}));
    QCOMPARE(received(light), QStringList());
    QCOMPARE(d->lastCommand, lastCommand);
    QCOMPARE(d->pendingResponse.data(), response.data());
    QCOMPARE(Host::stageList(panel)->selectedItems(), selection);
    QVERIFY(Host::action(panel, "actionDC")->isChecked());
    QVERIFY(Host::action(panel, "actionYF")->isEnabled());
    QVERIFY(Host::action(panel, "actionDark")->isEnabled());
    QVERIFY(Host::action(panel, "actionRestart")->isEnabled());
    QVERIFY(Host::stageList(panel)->isEnabled());
}

void tst_Commands::everyTransitionToOff_data()
{
    QTest::addColumn<bool>("dispatchControl");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("setLocalCalls");
    QTest::addColumn<bool>("on");

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

    Helvor::SimulatedLight *light = newLight(dispatchControl);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);

    QVERIFY(play(panel, light, steps));
    QCOMPARE(received(light), repeated(QStringLiteral("setLocal()"), setLocalCalls));
    QCOMPARE(Host::action(panel, "actionDC")->isChecked(), on);
    QCOMPARE(Host::action(panel, "actionYF")->isEnabled(), on);
    QCOMPARE(Host::action(panel, "actionDark")->isEnabled(), on);
    QCOMPARE(Host::action(panel, "actionRestart")->isEnabled(), on);
    QCOMPARE(Host::stageList(panel)->isEnabled(), on);
    if (setLocalCalls > 0)
        QCOMPARE(Host::d(panel)->lastCommand, -3);
}

void tst_Commands::controllerDestroyed_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<bool>("hostKeepsResponse");

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

    Helvor::SimulatedLight *light = newLight(true);
    QPointer<QWidget> panel = openPanel(light);
    QVERIFY(panel);
    Vorlan::Widget::Private *d = Host::d(panel);
    QVERIFY(play(panel, light, before));
    QPointer<Response> response = light->lastResponse();
    if (hostKeepsResponse) {
        QVERIFY(response);
        own(response.data())->setParent(nullptr);
    }
    const bool wasFinished = response && response->isFinished();
    QVERIFY(timersOf(d).contains(d->timerId));

    delete light;
    QVERIFY2(panel, "the panel goes on the next pass of the event loop, not at once");
    QCOMPARE(timersOf(d), QList<int>());
    QCOMPARE(bool(response), hostKeepsResponse);

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!panel);
    QVERIFY(host.panels().isEmpty());
    QCOMPARE(bool(response), hostKeepsResponse);
    if (response) {
        QCOMPARE(response->isFinished(), wasFinished);
        // Reaches no panel any more.
        response->finish(commandDone);
    }
}

void tst_Commands::actionsAfterControllerDestroyed_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<int>("lastCommand");

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

    Helvor::SimulatedLight *light = newLight(true);
    QPointer<QWidget> panel = openPanel(light);
    QVERIFY(panel);
    QVERIFY(play(panel, light, {QStringLiteral("stage 8"), QStringLiteral("confirm")}));

    // Between the controller's end and the panel's, the panel still takes clicks.
    delete light;
    QVERIFY(panel);
    if (step.isEmpty())
        Host::tick(panel);
    else
        QVERIFY(play(panel, nullptr, {step}));
    QVERIFY(!Host::d(panel)->pendingResponse);
    QCOMPARE(Host::d(panel)->lastCommand, lastCommand);

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!panel);
}

void tst_Commands::slotTable_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("signature");
    QTest::addColumn<int>("access");

    QTest::newRow("0 setDispatchControlMode(bool)")
        << 0 << QByteArray("setDispatchControlMode(bool)") << int(QMetaMethod::Public);
    QTest::newRow("1 setYF()") << 1 << QByteArray("setYF()") << int(QMetaMethod::Public);
    QTest::newRow("2 setDark()") << 2 << QByteArray("setDark()") << int(QMetaMethod::Public);
    QTest::newRow("3 restart()") << 3 << QByteArray("restart()") << int(QMetaMethod::Public);
    QTest::newRow("4 setPhase()") << 4 << QByteArray("setPhase()") << int(QMetaMethod::Public);
    QTest::newRow("5 lightStateChanged()") << 5 << QByteArray("lightStateChanged()") << int(QMetaMethod::Private);
    QTest::newRow("6 lightDestroyed()") << 6 << QByteArray("lightDestroyed()") << int(QMetaMethod::Private);
    QTest::newRow("7 responseFinished()") << 7 << QByteArray("responseFinished()") << int(QMetaMethod::Private);
}

void tst_Commands::slotTable()
{
    QFETCH(int, index);
    QFETCH(QByteArray, signature);
    QFETCH(int, access);

    QWidget *panel = openPanel(newLight(true));
    QVERIFY(panel);
    const QMetaObject *meta = Host::d(panel)->metaObject();
    QCOMPARE(meta->methodCount() - meta->methodOffset(), 8);
    const QMetaMethod method = meta->method(meta->methodOffset() + index);
    QCOMPARE(method.methodSignature(), signature);
    QCOMPARE(method.methodType(), QMetaMethod::Slot);
    QCOMPARE(int(method.access()), access);
}

void tst_Commands::slotsByName_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QVariant>("argument");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<int>("lastCommand");
    QTest::addColumn<bool>("dispatchActive");
    QTest::addColumn<bool>("panelStays");

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

    Helvor::SimulatedLight *light = newLight(true);
    QPointer<QWidget> panel = openPanel(light);
    QVERIFY(panel);
    Vorlan::Widget::Private *d = Host::d(panel);
    QVERIFY(play(panel, light, {QStringLiteral("stage 8"), QStringLiteral("confirm")}));
    QListWidget *list = Host::stageList(panel);
    if (slot == "setPhase") {
        // Chosen without the list telling the panel: only the call by name sends.
        const QSignalBlocker blocker(list);
        list->setCurrentRow(0);
    }
    light->setDispatchControl(false);
    light->clearCalls();

    if (argument.isValid())
        QVERIFY(QMetaObject::invokeMethod(d, slot.constData(), Q_ARG(bool, argument.toBool())));
    else
        QVERIFY(QMetaObject::invokeMethod(d, slot.constData()));
    QCOMPARE(received(light), calls);
    QCOMPARE(d->lastCommand, lastCommand);
    QCOMPARE(d->dispatchActive, dispatchActive);

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(bool(panel), panelStays);
}

QTEST_MAIN(tst_Commands)
#include "tst_commands.moc"
