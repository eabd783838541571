// SPDX-License-Identifier: MIT
#include "paneltest.h"
#include "promptwatch.h"
#include "response.h"

#include <helvor/simulatedlight.h>
#include <helvor/stage.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QListWidget>
#include <QMessageBox>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QPointer>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

#include <climits>
#include <memory>
#include <new>

using Helvor::SimulatedLight;

namespace {

// Lives longer than any controller, so a call that reaches a controller
// after its destruction has begun still leaves a trace here.
QStringList recordedCalls;

class RecordingLight : public SimulatedLight
{
public:
    using SimulatedLight::SimulatedLight;

protected:
    void commandAccepted(const QString &command, const QVariantList &, Response *) override
    {
        recordedCalls.append(QStringLiteral("sendCommand ") + command);
    }

    void localRequested() override
    {
        recordedCalls.append(QStringLiteral("setLocal"));
    }
};

QByteArrayList methods(const SimulatedLight *light)
{
    QByteArrayList result;
    const QList<SimulatedLight::Call> calls = light->calls();
    for (const SimulatedLight::Call &call : calls)
        result.append(call.method);
    return result;
}

// Destroys a controller made with placement new, leaving its storage.
struct InPlace
{
    void operator()(SimulatedLight *light) const
    {
        light->~SimulatedLight();
    }
};

} // namespace

class tst_PanelWindow : public PanelTest
{
    Q_OBJECT

public:
    enum Control { Local, Dispatch };
    enum Target { PlainObject, Timer, Stage, CommandResponse, Panel };
    enum Gone { Closed, Deleted };
    enum Action { TriggerDC, CloseAnsweringYes, Ticks };
    enum Moment { AfterDestruction, InsideDestroyed };
    enum Processing { PostedDeletes = 1, AllEvents = 2 };

private Q_SLOTS:
    void openRejectsNonControllers_data();
    void openRejectsNonControllers();
    void openTwiceGivesSamePanel();
    void openAfterPanelGone_data();
    void openAfterPanelGone();
    void openWhileClosedPanelAwaitsDeletion_data();
    void openWhileClosedPanelAwaitsDeletion();
    void distinctControllersWithSameNumber();
    void listIsCopy();
    void listKeepsConstructionOrder();
    void openNeitherShowsNorDocks();
    void panelIsSelfDeletingDock();

    void naming_data();
    void naming();
    void titleDoesNotFollowController();

    void inactivityPeriodRange_data();
    void inactivityPeriodRange();
    void moduleWideValues_data();
    void moduleWideValues();
    void defaultInactivityPeriodForNewPanels_data();
    void defaultInactivityPeriodForNewPanels();
    void metaObjectDeclaresOnlyProperties();

    void closeWithoutDispatchControl();
    void closeUnderDispatchControl_data();
    void closeUnderDispatchControl();

    void controllerDestroyed_data();
    void controllerDestroyed();
    void afterControllerDestroyedNothingInvoked_data();
    void afterControllerDestroyedNothingInvoked();
    void newControllerAtSameAddress();
    void controllerDestroyedDuringPrompt_data();
    void controllerDestroyedDuringPrompt();
    void panelDeletedInsidePromptLoop_data();
    void panelDeletedInsidePromptLoop();
    void hostDeletesPanelDuringPrompt();
    void deletingPanelSendsNothing_data();
    void deletingPanelSendsNothing();

protected:
    void initSuite() override;
    void initEach() override;

private:
    SimulatedLight *makeLight(int number, const QString &name, Control control = Local);
    SimulatedLight *makeRecordingLight(int number, const QString &name, Control control = Local);
    SimulatedLight *adopt(SimulatedLight *light, Control control);
    void closeWhileControllerDies(QMessageBox::StandardButton answer, int processing);
};

SimulatedLight *tst_PanelWindow::makeLight(int number, const QString &name, Control control)
{
    return adopt(new SimulatedLight(number, name), control);
}

SimulatedLight *tst_PanelWindow::makeRecordingLight(int number, const QString &name, Control control)
{
    return adopt(new RecordingLight(number, name), control);
}

SimulatedLight *tst_PanelWindow::adopt(SimulatedLight *light, Control control)
{
    // The panel reads the control mode once, when it is built.
    light->setDispatchControl(control == Dispatch);
    return own(light);
}

void tst_PanelWindow::initSuite()
{
    QCOMPARE(host.panels(), QList<QWidget *>());

    // The built-in values, before any test writes them.
    QWidget *panel = host.open(makeLight(1, QStringLiteral("Probe")));
    QVERIFY(panel);
    QCOMPARE(panel->property("alarmBefore"), QVariant(builtinAlarmBefore));
    QCOMPARE(panel->property("defaultInactivityPeriod"), QVariant(builtinDefaultInactivityPeriod));
    const QVariant sound = panel->property("alarmSound");
    QCOMPARE(sound.userType(), int(QMetaType::QString));
    QVERIFY(sound.toString().isEmpty());
    QCOMPARE(panel->property("inactivityPeriod"), QVariant(builtinDefaultInactivityPeriod));
}

void tst_PanelWindow::initEach()
{
    recordedCalls.clear();
}

// --- Open and list ---

void tst_PanelWindow::openRejectsNonControllers_data()
{
    addRows<int>("target",
                 {{"plain QObject", int(PlainObject)},
                  {"QTimer", int(Timer)},
                  {"stage of a controller", int(Stage)},
                  {"command response", int(CommandResponse)},
                  {"a panel", int(Panel)}});
}

void tst_PanelWindow::openRejectsNonControllers()
{
    QFETCH(int, target);

    QWidget *existing = host.open(makeLight(1, QStringLiteral("Existing")));
    QVERIFY(existing);
    const QList<QWidget *> before = host.panels();

    std::unique_ptr<QObject> object;
    switch (target) {
    case PlainObject:
        object.reset(new QObject);
        break;
    case Timer:
        object.reset(new QTimer);
        break;
    case Stage:
        object.reset(new Helvor::Stage(1, QStringLiteral("Main road"), QString()));
        break;
    case CommandResponse:
        object.reset(new Response(nullptr));
        break;
    }
    QObject *candidate = target == Panel ? existing : object.get();

    QCOMPARE(host.open(candidate), static_cast<QWidget *>(nullptr));
    QCOMPARE(host.panels(), before);
}

void tst_PanelWindow::openTwiceGivesSamePanel()
{
    SimulatedLight *light = makeLight(3, QStringLiteral("Bridge"));
    QWidget *first = host.open(light);
    QVERIFY(first);
    QCoreApplication::processEvents();
    QWidget *second = host.open(light);

    QCOMPARE(second, first);
    QCOMPARE(host.panels(), QList<QWidget *>{first});
}

void tst_PanelWindow::openAfterPanelGone_data()
{
    addRows<int>("gone", {{"closed", int(Closed)}, {"deleted", int(Deleted)}});
}

void tst_PanelWindow::openAfterPanelGone()
{
    QFETCH(int, gone);

    SimulatedLight *light = makeLight(1, QStringLiteral("A"));
    QPointer<QWidget> old = host.open(light);
    QWidget *other = host.open(makeLight(2, QStringLiteral("B")));
    QVERIFY(old && other);

    if (gone == Closed) {
        QVERIFY(old->close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    } else {
        delete old.data();
    }
    QVERIFY(!old);

    QWidget *fresh = host.open(light);
    QVERIFY(fresh);
    QCOMPARE(fresh->windowTitle(), QStringLiteral("1:A"));
    QCOMPARE(host.panels(), (QList<QWidget *>{other, fresh}));
    QCOMPARE(host.open(light), fresh);
}

void tst_PanelWindow::openWhileClosedPanelAwaitsDeletion_data()
{
    addColumns<int, int>({"control", "answer"});

    QTest::newRow("local control") << int(Local) << int(QMessageBox::NoButton);
    QTest::newRow("dispatch control, answer Yes") << int(Dispatch) << int(QMessageBox::Yes);
    QTest::newRow("dispatch control, answer No") << int(Dispatch) << int(QMessageBox::No);
}

// A host that reopens a controller right after closing its panel, in the
// same pass of the event loop, must not be handed the panel that is about
// to be deleted.
void tst_PanelWindow::openWhileClosedPanelAwaitsDeletion()
{
    QFETCH(int, control);
    QFETCH(int, answer);

    SimulatedLight *light = makeLight(1, QStringLiteral("A"), Control(control));
    QPointer<QWidget> old = host.open(light);
    QVERIFY(old);
    if (answer != QMessageBox::NoButton)
        answerNextPrompt(QMessageBox::StandardButton(answer));
    QVERIFY(old->close());
    QVERIFY(old);

    QPointer<QWidget> fresh = host.open(light);
    QVERIFY(fresh);
    QVERIFY(fresh != old);
    QCOMPARE(host.open(light), fresh.data());

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!old);
    QVERIFY(fresh);
    QCOMPARE(host.panels(), QList<QWidget *>{fresh.data()});
}

void tst_PanelWindow::distinctControllersWithSameNumber()
{
    SimulatedLight *first = makeLight(5, QStringLiteral("Twin"));
    SimulatedLight *second = makeLight(5, QStringLiteral("Twin"));

    QWidget *firstPanel = host.open(first);
    QWidget *secondPanel = host.open(second);

    QVERIFY(firstPanel && secondPanel);
    QVERIFY(firstPanel != secondPanel);
    QCOMPARE(host.panels(), (QList<QWidget *>{firstPanel, secondPanel}));
    QCOMPARE(host.open(first), firstPanel);
    QCOMPARE(host.open(second), secondPanel);
}

void tst_PanelWindow::listIsCopy()
{
    QCOMPARE(host.panels(), QList<QWidget *>());

    QWidget *first = host.open(makeLight(1, QStringLiteral("A")));
    QWidget *second = host.open(makeLight(2, QStringLiteral("B")));
    QVERIFY(first && second);
    const QList<QWidget *> before = host.panels();

    delete first;

    // Compared as values only: the copy must still hold the old pointer.
    QCOMPARE(before, (QList<QWidget *>{first, second}));
    QCOMPARE(host.panels(), QList<QWidget *>{second});

    delete second;
    QCOMPARE(host.panels(), QList<QWidget *>());
}

void tst_PanelWindow::listKeepsConstructionOrder()
{
    SimulatedLight *a = makeLight(1, QStringLiteral("A"));
    SimulatedLight *b = makeLight(2, QStringLiteral("B"));
    SimulatedLight *c = makeLight(3, QStringLiteral("C"));
    QWidget *pa = host.open(a);
    QWidget *pb = host.open(b);
    QWidget *pc = host.open(c);
    QVERIFY(pa && pb && pc);

    // Opening again must not move a panel to the end.
    QCOMPARE(host.open(b), pb);
    QCOMPARE(host.open(a), pa);
    QCOMPARE(host.panels(), (QList<QWidget *>{pa, pb, pc}));

    delete pa;
    QCOMPARE(host.panels(), (QList<QWidget *>{pb, pc}));
}

void tst_PanelWindow::openNeitherShowsNorDocks()
{
    QWidget *panel = host.open(makeLight(1, QStringLiteral("A")));
    QVERIFY(panel);
    QCoreApplication::processEvents();

    QVERIFY(!panel->isVisible());
    QVERIFY(panel->isHidden());
    QCOMPARE(panel->parent(), static_cast<QObject *>(nullptr));
}

void tst_PanelWindow::panelIsSelfDeletingDock()
{
    QWidget *panel = host.open(makeLight(1, QStringLiteral("A")));
    QVERIFY(panel);

    auto *dock = qobject_cast<QDockWidget *>(panel);
    QVERIFY(dock);
    QVERIFY(panel->testAttribute(Qt::WA_DeleteOnClose));
    QWidget *content = dock->widget();
    QVERIFY(content);
    QCOMPARE(content->objectName(), QStringLiteral("widget"));
    QVERIFY(content->findChild<QToolBar *>(QStringLiteral("toolBar")));
    QVERIFY(content->findChild<QListWidget *>(QStringLiteral("listWidget")));
}

// --- Naming ---

void tst_PanelWindow::naming_data()
{
    addColumns<int, QString, QString, QString>({"number", "name", "objectName", "title"});

    QTest::newRow("7, North gate") << 7 << QStringLiteral("North gate") << QStringLiteral("Vorlan::Widget_7")
                                   << QStringLiteral("7:North gate");
    QTest::newRow("empty display name") << 7 << QString() << QStringLiteral("Vorlan::Widget_7") << QStringLiteral("7:");
    QTest::newRow("zero") << 0 << QStringLiteral("Depot") << QStringLiteral("Vorlan::Widget_0")
                          << QStringLiteral("0:Depot");
    QTest::newRow("negative number") << -3 << QStringLiteral("West") << QStringLiteral("Vorlan::Widget_-3")
                                     << QStringLiteral("-3:West");
    QTest::newRow("largest int") << INT_MAX << QStringLiteral("East") << QStringLiteral("Vorlan::Widget_2147483647")
                                 << QStringLiteral("2147483647:East");
    QTest::newRow("smallest int") << INT_MIN << QStringLiteral("South") << QStringLiteral("Vorlan::Widget_-2147483648")
                                  << QStringLiteral("-2147483648:South");
    QTest::newRow("name with place markers")
        << 12 << QStringLiteral("%1 and %2") << QStringLiteral("Vorlan::Widget_12") << QStringLiteral("12:%1 and %2");
    QTest::newRow("name with colon") << 5 << QStringLiteral("A:B") << QStringLiteral("Vorlan::Widget_5")
                                     << QStringLiteral("5:A:B");
}

void tst_PanelWindow::naming()
{
    QFETCH(int, number);
    QFETCH(QString, name);
    QFETCH(QString, objectName);
    QFETCH(QString, title);

    QWidget *panel = host.open(makeLight(number, name));
    QVERIFY(panel);

    QCOMPARE(panel->objectName(), objectName);
    QCOMPARE(panel->windowTitle(), title);
}

void tst_PanelWindow::titleDoesNotFollowController()
{
    SimulatedLight *light = makeLight(7, QStringLiteral("North gate"));
    QWidget *panel = host.open(light);
    QVERIFY(panel);

    light->setNumber(8);
    light->setDisplayName(QStringLiteral("South gate"));
    Q_EMIT light->stateChanged();
    QCoreApplication::processEvents();

    QCOMPARE(panel->windowTitle(), QStringLiteral("7:North gate"));
    QCOMPARE(panel->objectName(), QStringLiteral("Vorlan::Widget_7"));
    QCOMPARE(host.open(light), panel);
}

// --- Properties ---

void tst_PanelWindow::inactivityPeriodRange_data()
{
    addColumns<int, int>({"written", "read"});

    QTest::newRow("in range") << 250 << 250;
    QTest::newRow("zero") << 0 << 0;
    QTest::newRow("upper bound") << 65535 << 65535;
    QTest::newRow("above range") << 100000 << 65535;
    QTest::newRow("negative") << -1 << 0;
}

void tst_PanelWindow::inactivityPeriodRange()
{
    QFETCH(int, written);
    QFETCH(int, read);

    QWidget *panel = host.open(makeLight(1, QStringLiteral("A")));
    QVERIFY(panel);

    QVERIFY(panel->setProperty("inactivityPeriod", written));
    const QVariant value = panel->property("inactivityPeriod");
    QCOMPARE(value.userType(), int(QMetaType::Int));
    QCOMPARE(value.toInt(), read);
}

void tst_PanelWindow::moduleWideValues_data()
{
    addColumns<QByteArray, QVariant>({"name", "value"});

    QTest::newRow("alarmBefore") << QByteArrayLiteral("alarmBefore") << QVariant(42);
    QTest::newRow("defaultInactivityPeriod") << QByteArrayLiteral("defaultInactivityPeriod") << QVariant(300);
    QTest::newRow("alarmSound") << QByteArrayLiteral("alarmSound") << QVariant(QStringLiteral("/usr/share/alarm.wav"));
}

void tst_PanelWindow::moduleWideValues()
{
    QFETCH(QByteArray, name);
    QFETCH(QVariant, value);

    QWidget *writer = host.open(makeLight(1, QStringLiteral("A")));
    QWidget *reader = host.open(makeLight(2, QStringLiteral("B")));
    QVERIFY(writer && reader);
    QVERIFY(reader->property(name) != value);

    QVERIFY(writer->setProperty(name, value));
    QCOMPARE(writer->property(name), value);
    QCOMPARE(reader->property(name), value);

    // The loader hands out one object per library; deleting it is the only
    // way to have it make a new one.
    QPointer<QObject> oldPlugin = host.plugin();
    delete oldPlugin.data();
    QObject *newPlugin = host.plugin();
    QVERIFY(newPlugin);
    QVERIFY(!oldPlugin);

    QCOMPARE(host.panels(), (QList<QWidget *>{writer, reader}));
    QWidget *later = host.open(makeLight(3, QStringLiteral("C")));
    QVERIFY(later);
    QCOMPARE(later->property(name), value);
}

void tst_PanelWindow::defaultInactivityPeriodForNewPanels_data()
{
    addColumns<int, int>({"written", "started"});

    QTest::newRow("in range") << 300 << 300;
    QTest::newRow("above range") << 100000 << 65535;
}

void tst_PanelWindow::defaultInactivityPeriodForNewPanels()
{
    QFETCH(int, written);
    QFETCH(int, started);

    QWidget *open = host.open(makeLight(1, QStringLiteral("A")));
    QVERIFY(open);
    QCOMPARE(open->property("inactivityPeriod").toInt(), builtinDefaultInactivityPeriod);

    QVERIFY(open->setProperty("defaultInactivityPeriod", written));
    QCOMPARE(open->property("inactivityPeriod").toInt(), builtinDefaultInactivityPeriod);

    QWidget *next = host.open(makeLight(2, QStringLiteral("B")));
    QVERIFY(next);
    QCOMPARE(next->property("inactivityPeriod").toInt(), started);
    QCOMPARE(open->property("inactivityPeriod").toInt(), builtinDefaultInactivityPeriod);
}

void tst_PanelWindow::metaObjectDeclaresOnlyProperties()
{
    QWidget *panel = host.open(makeLight(1, QStringLiteral("A")));
    QVERIFY(panel);
    const QMetaObject *meta = panel->metaObject();

    QCOMPARE(meta->className(), "Vorlan::Widget");

    QByteArrayList names;
    QList<int> types;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        names.append(property.name());
        types.append(property.userType());
        QVERIFY2(property.isReadable(), property.name());
        QVERIFY2(property.isWritable(), property.name());
        QVERIFY2(!property.hasNotifySignal(), property.name());
        QVERIFY2(!property.isResettable(), property.name());
    }
    QCOMPARE(names, (QByteArrayList{"inactivityPeriod", "alarmSound", "alarmBefore", "defaultInactivityPeriod"}));
    QCOMPARE(types, (QList<int>{QMetaType::Int, QMetaType::QString, QMetaType::Int, QMetaType::Int}));

    QByteArrayList ownMethods;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
        ownMethods.append(meta->method(i).methodSignature());
    QCOMPARE(ownMethods, QByteArrayList());
}

// --- Close rule ---

void tst_PanelWindow::closeWithoutDispatchControl()
{
    QWidget *other = host.open(makeLight(2, QStringLiteral("Other")));
    SimulatedLight *light = makeLight(1, QStringLiteral("Local"));
    QPointer<QWidget> panel = host.open(light);
    QVERIFY(other && panel);
    light->clearCalls();
    PromptWatch prompts;

    QVERIFY(panel->close());
    QCOMPARE(prompts.count(), 0);

    QTRY_VERIFY(!panel);
    QCOMPARE(prompts.count(), 0);
    QCOMPARE(methods(light), QByteArrayList());
    QCOMPARE(host.panels(), QList<QWidget *>{other});
}

void tst_PanelWindow::closeUnderDispatchControl_data()
{
    addColumns<int, bool, QByteArrayList, bool>({"answer", "closes", "sent", "stillDispatch"});

    QTest::newRow("answer Yes") << int(QMessageBox::Yes) << true << QByteArrayList{"setLocal"} << false;
    QTest::newRow("answer No") << int(QMessageBox::No) << true << QByteArrayList() << true;
    QTest::newRow("answer Cancel") << int(QMessageBox::Cancel) << false << QByteArrayList() << true;
    QTest::newRow("Escape key") << int(QMessageBox::Escape) << false << QByteArrayList() << true;
}

void tst_PanelWindow::closeUnderDispatchControl()
{
    QFETCH(int, answer);
    QFETCH(bool, closes);
    QFETCH(QByteArrayList, sent);
    QFETCH(bool, stillDispatch);

    QWidget *other = host.open(makeLight(2, QStringLiteral("Other")));
    SimulatedLight *light = makeLight(1, QStringLiteral("Manual"), Dispatch);
    QPointer<QWidget> panel = host.open(light);
    QVERIFY(other && panel);
    QAction *dc = Host::action(panel, "actionDC");
    QVERIFY(dc);
    QVERIFY(dc->isChecked());
    light->clearCalls();

    const auto prompt = answerNextPrompt(QMessageBox::StandardButton(answer));
    const bool closed = panel->close();

    QVERIFY(prompt->seen);
    QCOMPARE(prompt->title, QStringLiteral("Warning!"));
    QCOMPARE(prompt->text,
             QStringLiteral("You close the control panel, which is in the manual control mode. "
                            "Would you like to switch the controller in local mode?"));
    QCOMPARE(prompt->icon, QMessageBox::Warning);
    QCOMPARE(prompt->buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(prompt->parent, panel.data());

    QCOMPARE(closed, closes);
    QCOMPARE(methods(light), sent);
    // Read before the deferred deletion takes the action with the panel.
    QVERIFY(panel);
    QCOMPARE(dc->isChecked(), stillDispatch);

    if (closes) {
        QTRY_VERIFY(!panel);
        QCOMPARE(host.panels(), QList<QWidget *>{other});
    } else {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(panel);
        QCOMPARE(host.panels(), (QList<QWidget *>{other, panel.data()}));
        QCOMPARE(host.open(light), panel.data());
    }
    QCOMPARE(methods(light), sent);
}

// --- Controller destruction ---

void tst_PanelWindow::controllerDestroyed_data()
{
    addRows<int>("control", {{"local control", int(Local)}, {"dispatch control", int(Dispatch)}});
}

void tst_PanelWindow::controllerDestroyed()
{
    QFETCH(int, control);

    SimulatedLight *other = makeLight(2, QStringLiteral("Other"));
    QWidget *otherPanel = host.open(other);
    SimulatedLight *light = makeRecordingLight(1, QStringLiteral("Doomed"), Control(control));
    QPointer<QWidget> panel = host.open(light);
    QVERIFY(otherPanel && panel);
    other->clearCalls();
    recordedCalls.clear();
    PromptWatch prompts;

    delete light;

    QTRY_VERIFY(!panel);
    QCOMPARE(prompts.count(), 0);
    QCOMPARE(recordedCalls, QStringList());
    QCOMPARE(host.panels(), QList<QWidget *>{otherPanel});

    QCOMPARE(host.open(other), otherPanel);
    QWidget *third = host.open(makeLight(3, QStringLiteral("Third")));
    QVERIFY(third);
    QVERIFY(third != otherPanel);
    QCOMPARE(host.panels(), (QList<QWidget *>{otherPanel, third}));
    QCOMPARE(methods(other), QByteArrayList());
}

void tst_PanelWindow::afterControllerDestroyedNothingInvoked_data()
{
    addColumns<int, int>({"action", "moment"});

    QTest::newRow("trigger DC, after destruction") << int(TriggerDC) << int(AfterDestruction);
    QTest::newRow("trigger DC, inside destroyed()") << int(TriggerDC) << int(InsideDestroyed);
    QTest::newRow("close answering Yes, after destruction") << int(CloseAnsweringYes) << int(AfterDestruction);
    QTest::newRow("close answering Yes, inside destroyed()") << int(CloseAnsweringYes) << int(InsideDestroyed);
    QTest::newRow("ticks, after destruction") << int(Ticks) << int(AfterDestruction);
    QTest::newRow("ticks, inside destroyed()") << int(Ticks) << int(InsideDestroyed);
}

void tst_PanelWindow::afterControllerDestroyedNothingInvoked()
{
    QFETCH(int, action);
    QFETCH(int, moment);

    SimulatedLight *bystander = makeLight(2, QStringLiteral("Bystander"), Dispatch);
    QWidget *bystanderPanel = host.open(bystander);
    SimulatedLight *light = makeRecordingLight(1, QStringLiteral("Doomed"), Dispatch);
    QPointer<QWidget> panel = host.open(light);
    QVERIFY(bystanderPanel && panel);
    QPointer<QAction> dc = Host::action(panel, "actionDC");
    QVERIFY(dc);
    QVERIFY(dc->isChecked());
    bystander->clearCalls();
    recordedCalls.clear();
    PromptWatch prompts(QMessageBox::Yes);

    bool metDyingPanel = false;
    auto act = [&] {
        metDyingPanel = !panel.isNull();
        if (!metDyingPanel)
            return;
        switch (action) {
        case TriggerDC:
            dc->trigger();
            break;
        case CloseAnsweringYes:
            panel->close();
            break;
        case Ticks:
            for (int i = 0; i < 3; ++i)
                Host::tick(panel);
            break;
        }
    };
    QObject context;
    if (moment == InsideDestroyed)
        connect(light, &QObject::destroyed, &context, act);

    delete light;
    if (moment == AfterDestruction)
        act();

    QVERIFY2(metDyingPanel, "the deferred deletion ran early: the action did not meet a dying panel");
    if (action == TriggerDC)
        QVERIFY(dc && !dc->isChecked());
    QCOMPARE(recordedCalls, QStringList());
    QCOMPARE(methods(bystander), QByteArrayList());

    QTRY_VERIFY(!panel);
    QCOMPARE(recordedCalls, QStringList());
    QCOMPARE(methods(bystander), QByteArrayList());
    QCOMPARE(host.panels(), QList<QWidget *>{bystanderPanel});
}

void tst_PanelWindow::newControllerAtSameAddress()
{
    alignas(SimulatedLight) unsigned char storage[sizeof(SimulatedLight)];
    std::unique_ptr<SimulatedLight, InPlace> light(new (storage) SimulatedLight(1, QStringLiteral("Old")));
    void *const address = light.get();
    QPointer<QWidget> oldPanel = host.open(light.get());
    QVERIFY(oldPanel);

    light.reset();
    QVERIFY2(oldPanel, "the deferred deletion ran early: nothing to mistake the new controller for");

    light.reset(new (storage) SimulatedLight(2, QStringLiteral("New")));
    QCOMPARE(static_cast<void *>(light.get()), address);
    QPointer<QWidget> newPanel = host.open(light.get());
    QVERIFY(newPanel);
    QVERIFY(newPanel != oldPanel);
    QCOMPARE(newPanel->windowTitle(), QStringLiteral("2:New"));

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!oldPanel);
    QVERIFY(newPanel);
    QCOMPARE(host.panels(), QList<QWidget *>{newPanel.data()});
    QCOMPARE(host.open(light.get()), newPanel.data());

    light.reset();
    QTRY_VERIFY(!newPanel);
    QCOMPARE(host.panels(), QList<QWidget *>());
}

void tst_PanelWindow::controllerDestroyedDuringPrompt_data()
{
    addRows<int>("answer",
                 {{"answer Yes", int(QMessageBox::Yes)},
                  {"answer No", int(QMessageBox::No)},
                  {"answer Cancel", int(QMessageBox::Cancel)},
                  {"Escape key", int(QMessageBox::Escape)}});
}

void tst_PanelWindow::controllerDestroyedDuringPrompt()
{
    QFETCH(int, answer);

    closeWhileControllerDies(QMessageBox::StandardButton(answer), 0);
}

void tst_PanelWindow::panelDeletedInsidePromptLoop_data()
{
    addColumns<int, int>({"answer", "processing"});

    const struct
    {
        const char *name;
        int answer;
    } answers[] = {{"Yes", QMessageBox::Yes}, {"No", QMessageBox::No}, {"Cancel", QMessageBox::Cancel}};
    const struct
    {
        const char *name;
        int processing;
    } ways[] = {
        {"deferred deletes sent", PostedDeletes}, {"events processed", AllEvents}, {"both", PostedDeletes | AllEvents}};
    for (const auto &way : ways) {
        for (const auto &answer : answers)
            QTest::addRow("%s, answer %s", way.name, answer.name) << answer.answer << way.processing;
    }
}

void tst_PanelWindow::panelDeletedInsidePromptLoop()
{
    QFETCH(int, answer);
    QFETCH(int, processing);

    closeWhileControllerDies(QMessageBox::StandardButton(answer), processing);
}

// The host destroys the controller while the close prompt is open, then
// runs the event loop as processing says, before the prompt is answered.
void tst_PanelWindow::closeWhileControllerDies(QMessageBox::StandardButton answer, int processing)
{
    SimulatedLight *other = makeLight(2, QStringLiteral("Other"));
    QWidget *otherPanel = host.open(other);
    QPointer<SimulatedLight> light = makeRecordingLight(1, QStringLiteral("Doomed"), Dispatch);
    QPointer<QWidget> panel = host.open(light);
    QVERIFY(otherPanel && panel);
    other->clearCalls();
    recordedCalls.clear();
    int destructions = 0;
    QObject watcher;
    connect(panel, &QObject::destroyed, &watcher, [&destructions] { ++destructions; });

    const auto prompt = answerNextPrompt(answer, [&] {
        delete light.data();
        if (processing & PostedDeletes)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (processing & AllEvents)
            QCoreApplication::processEvents();
    });
    panel->close();

    QVERIFY(prompt->seen);
    QVERIFY(!light);
    QCOMPARE(recordedCalls, QStringList());
    QTRY_VERIFY(!panel);
    QCOMPARE(destructions, 1);
    QCOMPARE(recordedCalls, QStringList());
    QCOMPARE(host.panels(), QList<QWidget *>{otherPanel});
    QCOMPARE(methods(other), QByteArrayList());
}

void tst_PanelWindow::hostDeletesPanelDuringPrompt()
{
    QWidget *otherPanel = host.open(makeLight(2, QStringLiteral("Other")));
    SimulatedLight *light = makeLight(1, QStringLiteral("Manual"), Dispatch);
    QPointer<QWidget> panel = host.open(light);
    QVERIFY(otherPanel && panel);
    light->clearCalls();

    const auto prompt = answerNextPrompt(QMessageBox::Yes, [&] { delete panel.data(); });
    panel->close();

    QVERIFY(prompt->seen);
    QVERIFY(!panel);
    QCOMPARE(host.panels(), QList<QWidget *>{otherPanel});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(methods(light), QByteArrayList());

    // The controller lives on and must get a panel of its own again.
    QWidget *fresh = host.open(light);
    QVERIFY(fresh);
    QCOMPARE(host.panels(), (QList<QWidget *>{otherPanel, fresh}));
}

void tst_PanelWindow::deletingPanelSendsNothing_data()
{
    addRows<int>("control", {{"local control", int(Local)}, {"dispatch control", int(Dispatch)}});
}

void tst_PanelWindow::deletingPanelSendsNothing()
{
    QFETCH(int, control);

    SimulatedLight *light = makeLight(1, QStringLiteral("A"), Control(control));
    QPointer<QWidget> panel = host.open(light);
    QVERIFY(panel);
    light->clearCalls();
    PromptWatch prompts;

    delete panel.data();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QCOMPARE(prompts.count(), 0);
    QCOMPARE(methods(light), QByteArrayList());
    QCOMPARE(host.panels(), QList<QWidget *>());
}

QTEST_MAIN(tst_PanelWindow)
#include "tst_panelwindow.moc"
