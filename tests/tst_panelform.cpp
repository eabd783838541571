// SPDX-License-Identifier: MIT
#include "paneltest.h"

#include <helvor/simulatedlight.h>

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QDockWidget>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMetaMethod>
#include <QPointer>
#include <QSpinBox>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWidgetAction>
#include <QtTest>

#include <memory>
#include <vector>

using Helvor::SimulatedLight;

namespace {

const char *const controlActions[] = {"actionYF", "actionDark", "actionRestart"};

// The names of the controls that follow dispatch control whose enabled state is not `enabled`.
QStringList controlsNotEnabled(QWidget *panel, bool enabled)
{
    QStringList wrong;
    for (const char *name : controlActions) {
        QAction *action = Host::action(panel, name);
        if (!action || action->isEnabled() != enabled)
            wrong.append(QLatin1String(name));
    }
    QListWidget *list = Host::stageList(panel);
    if (!list || list->isEnabled() != enabled)
        wrong.append(QStringLiteral("listWidget"));
    return wrong;
}

// The methods called on the controller that are not in `allowed`.
QList<QByteArray> callsOtherThan(const SimulatedLight &light, const QList<QByteArray> &allowed)
{
    QList<QByteArray> other;
    const QList<SimulatedLight::Call> calls = light.calls();
    for (const SimulatedLight::Call &call : calls) {
        if (!allowed.contains(call.method))
            other.append(call.method);
    }
    return other;
}

QByteArray kindOf(const QMetaMethod &method)
{
    QByteArray access;
    switch (method.access()) {
    case QMetaMethod::Public:
        access = "public";
        break;
    case QMetaMethod::Protected:
        access = "protected";
        break;
    case QMetaMethod::Private:
        access = "private";
        break;
    }
    QByteArray type;
    switch (method.methodType()) {
    case QMetaMethod::Method:
        type = "method";
        break;
    case QMetaMethod::Signal:
        type = "signal";
        break;
    case QMetaMethod::Slot:
        type = "slot";
        break;
    case QMetaMethod::Constructor:
        type = "constructor";
        break;
    }
    return access + ' ' + type;
}

// Drains what the constructor may have queued, so that deferred work counts as building.
void runPostedEvents()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

} // namespace

class tst_PanelForm : public PanelTest
{
    Q_OBJECT

private Q_SLOTS:
    void container();
    void actionChildren();
    void actions_data();
    void actions();
    void soundIcon_data();
    void soundIcon();
    void layout();
    void toolBar_data();
    void toolBar();
    void stageList();
    void inactivitySpin();
    void inactivitySpinFollowsDefault_data();
    void inactivitySpinFollowsDefault();
    void inactivitySpinLimits_data();
    void inactivitySpinLimits();
    void statusLabel_data();
    void statusLabel();

    void dispatchControlled_data();
    void dispatchControlled();
    void locallyControlled_data();
    void locallyControlled();
    void dispatchActionWired_data();
    void dispatchActionWired();
    void stateChangeFollowed_data();
    void stateChangeFollowed();
    void privateMetaObject();
    void privateMethods_data();
    void privateMethods();
    void watchdogTimer();
    void deletionSendsNothing_data();
    void deletionSendsNothing();
    void noStageCommandOnBuild_data();
    void noStageCommandOnBuild();

protected:
    void initSuite() override;

private:
    SimulatedLight *makeLight(int source, int algorithm);
    // A panel for a controller in local mode, so that actionDC starts unchecked.
    QWidget *openLocal();

    int m_nextNumber = 1;
    int m_defaultInactivityPeriod = 0;
};

SimulatedLight *tst_PanelForm::makeLight(int source, int algorithm)
{
    const int number = m_nextNumber++;
    auto *light = own(new SimulatedLight(number, QStringLiteral("Crossing %1").arg(number)));
    light->setControlSource(source);
    light->setControlAlgorithm(algorithm);
    return light;
}

QWidget *tst_PanelForm::openLocal()
{
    return openPanel(makeLight(SimulatedLight::LocalSource, SimulatedLight::LocalAlgorithm));
}

void tst_PanelForm::initSuite()
{
    m_defaultInactivityPeriod = moduleValue("defaultInactivityPeriod").toInt();
    QCOMPARE(m_defaultInactivityPeriod, builtinDefaultInactivityPeriod);
}

void tst_PanelForm::container()
{
    QWidget *panel = openLocal();
    QVERIFY(panel);
    Vorlan::Widget::Private *d = Host::d(panel);
    QVERIFY(d);

    // Read before any event runs: the dock's layout gives its widget the dock's size on the
    // first layout pass, so only the size as built is the form's own.
    QCOMPARE(d->container.size(), QSize(264, 227));

    auto *dock = qobject_cast<QDockWidget *>(panel);
    QVERIFY(dock);
    QWidget *form = dock->widget();
    QVERIFY(form);
    QCOMPARE(form, &d->container);
    QCOMPARE(form->metaObject()->className(), "QWidget");
    QCOMPARE(form->objectName(), QStringLiteral("widget"));
}

void tst_PanelForm::actionChildren()
{
    QWidget *panel = openLocal();
    QVERIFY(panel);
    QWidget *form = qobject_cast<QDockWidget *>(panel)->widget();
    QVERIFY(form);

    QStringList names;
    const QList<QAction *> children = form->findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly);
    for (const QAction *action : children)
        names.append(action->objectName());
    names.sort();
    QCOMPARE(names,
             QStringList({QStringLiteral("actionDC"), QStringLiteral("actionDark"), QStringLiteral("actionRestart"),
                          QStringLiteral("actionSound"), QStringLiteral("actionYF")}));
}

void tst_PanelForm::actions_data()
{
    addColumns<QByteArray, QString, QString, bool, bool>({"name", "text", "toolTip", "checkable", "checked"});

    // Two blanks before "to" in the manual control tips are what the operators know.
    QTest::newRow("actionDC") << QByteArray("actionDC") << QStringLiteral("DC")
                              << QStringLiteral("Activate the dispatch control") << true << false;
    QTest::newRow("actionYF") << QByteArray("actionYF") << QStringLiteral("YF")
                              << QStringLiteral("Manual control  to flashing yellow") << false << false;
    QTest::newRow("actionDark") << QByteArray("actionDark") << QStringLiteral("Dark")
                                << QStringLiteral("Manual control  to dark") << false << false;
    QTest::newRow("actionRestart") << QByteArray("actionRestart") << QStringLiteral("Restart")
                                   << QStringLiteral("Restart the controller") << false << false;
    QTest::newRow("actionSound, checked at start")
        << QByteArray("actionSound") << QStringLiteral("Sound") << QStringLiteral("Alarm sound off/on") << true << true;
}

void tst_PanelForm::actions()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    QFETCH(bool, checkable);
    QFETCH(bool, checked);

    // Under local control, so actionDC starts unchecked.
    QWidget *panel = openLocal();
    QVERIFY(panel);
    QWidget *form = qobject_cast<QDockWidget *>(panel)->widget();
    QVERIFY(form);

    auto *action = form->findChild<QAction *>(QLatin1String(name), Qt::FindDirectChildrenOnly);
    QVERIFY2(action, name.constData());
    QCOMPARE(action->parent(), form);
    QCOMPARE(action->text(), text);
    QCOMPARE(action->toolTip(), toolTip);
    QCOMPARE(action->isCheckable(), checkable);
    QCOMPARE(action->isChecked(), checked);
}

void tst_PanelForm::soundIcon_data()
{
    addColumns<bool, QString>({"checked", "shown"});

    QTest::newRow("checked, as at start") << true << QStringLiteral(":/icons/button_sound_on.png");
    QTest::newRow("unchecked by the operator") << false << QStringLiteral(":/icons/button_sound_off.png");
}

void tst_PanelForm::soundIcon()
{
    QFETCH(bool, checked);
    QFETCH(QString, shown);

    QWidget *panel = openLocal();
    QVERIFY(panel);
    QAction *sound = Host::action(panel, "actionSound");
    QVERIFY(sound);

    // The pictures come from the plug-in's resources, which exist only once it is loaded.
    const QImage on(QStringLiteral(":/icons/button_sound_on.png"));
    const QImage off(QStringLiteral(":/icons/button_sound_off.png"));
    QVERIFY(!on.isNull());
    QVERIFY(!off.isNull());
    // Otherwise the state checks below could not tell the states apart.
    QVERIFY(on != off.convertToFormat(on.format()));

    if (sound->isChecked() != checked)
        sound->trigger();
    QCOMPARE(sound->isChecked(), checked);

    const QIcon icon = sound->icon();
    QVERIFY(!icon.isNull());
    const QImage onShown = icon.pixmap(50, 50, QIcon::Normal, QIcon::On).toImage();
    const QImage offShown = icon.pixmap(50, 50, QIcon::Normal, QIcon::Off).toImage();
    QCOMPARE(onShown, on.convertToFormat(onShown.format()));
    QCOMPARE(offShown, off.convertToFormat(offShown.format()));

    const QImage current = icon.pixmap(50, 50, QIcon::Normal, checked ? QIcon::On : QIcon::Off).toImage();
    QCOMPARE(current, QImage(shown).convertToFormat(current.format()));
}

void tst_PanelForm::layout()
{
    QWidget *panel = openLocal();
    QVERIFY(panel);
    QWidget *form = qobject_cast<QDockWidget *>(panel)->widget();
    QVERIFY(form);

    auto *box = qobject_cast<QVBoxLayout *>(form->layout());
    QVERIFY(box);
    QCOMPARE(box->objectName(), QStringLiteral("_2"));
    auto *toolBar = form->findChild<QToolBar *>(QStringLiteral("toolBar"));
    auto *list = form->findChild<QListWidget *>(QStringLiteral("listWidget"));
    QVERIFY(toolBar);
    QVERIFY(list);
    QCOMPARE(box->count(), 2);
    QCOMPARE(box->itemAt(0)->widget(), toolBar);
    QCOMPARE(box->itemAt(1)->widget(), list);
}

void tst_PanelForm::toolBar_data()
{
    // expected: an action's object name, or "separator", "spin box", "label".
    addColumns<int, QString>({"position", "expected"});

    QTest::newRow("0: actionDC") << 0 << QStringLiteral("actionDC");
    QTest::newRow("1: separator") << 1 << QStringLiteral("separator");
    QTest::newRow("2: actionYF") << 2 << QStringLiteral("actionYF");
    QTest::newRow("3: actionDark") << 3 << QStringLiteral("actionDark");
    QTest::newRow("4: actionRestart") << 4 << QStringLiteral("actionRestart");
    QTest::newRow("5: separator") << 5 << QStringLiteral("separator");
    QTest::newRow("6: actionSound") << 6 << QStringLiteral("actionSound");
    QTest::newRow("7: inactivity spin box") << 7 << QStringLiteral("spin box");
    QTest::newRow("8: status label") << 8 << QStringLiteral("label");
}

void tst_PanelForm::toolBar()
{
    QFETCH(int, position);
    QFETCH(QString, expected);

    QWidget *panel = openLocal();
    QVERIFY(panel);
    Vorlan::Widget::Private *d = Host::d(panel);
    QVERIFY(d);
    auto *toolBar = panel->findChild<QToolBar *>(QStringLiteral("toolBar"));
    QVERIFY(toolBar);

    const QList<QAction *> actions = toolBar->actions();
    QCOMPARE(actions.size(), 9);
    QAction *action = actions.at(position);

    if (expected == QLatin1String("separator")) {
        QVERIFY(action->isSeparator());
    } else if (expected == QLatin1String("spin box")) {
        QVERIFY(qobject_cast<QWidgetAction *>(action));
        auto *spin = qobject_cast<QSpinBox *>(toolBar->widgetForAction(action));
        QVERIFY(spin);
        QCOMPARE(spin, &d->inactivitySpin);
    } else if (expected == QLatin1String("label")) {
        QVERIFY(qobject_cast<QWidgetAction *>(action));
        auto *label = qobject_cast<QLabel *>(toolBar->widgetForAction(action));
        QVERIFY(label);
        QCOMPARE(label, &d->statusLabel);
    } else {
        QVERIFY(!action->isSeparator());
        QCOMPARE(action->objectName(), expected);
        QCOMPARE(action, Host::action(panel, expected.toLatin1().constData()));
    }
}

void tst_PanelForm::stageList()
{
    QWidget *panel = openLocal();
    QVERIFY(panel);
    QListWidget *list = Host::stageList(panel);
    QVERIFY(list);

    QCOMPARE(list->iconSize(), QSize(200, 125));
    QCOMPARE(list->movement(), QListView::Static);
    QCOMPARE(list->resizeMode(), QListView::Adjust);
    QCOMPARE(list->viewMode(), QListView::IconMode);
    QCOMPARE(list->wordWrap(), true);
}

void tst_PanelForm::inactivitySpin()
{
    QWidget *panel = openLocal();
    QVERIFY(panel);
    auto *spin = panel->findChild<QSpinBox *>();
    QVERIFY(spin);

    QCOMPARE(spin->minimum(), 0);
    QCOMPARE(spin->maximum(), 65535);
    QCOMPARE(spin->value(), m_defaultInactivityPeriod);
    QCOMPARE(spin->singleStep(), 10);
    QCOMPARE(spin->suffix(), QStringLiteral("s"));
    QCOMPARE(spin->text(), QStringLiteral("180s"));
    const QString tip = QStringLiteral("The time of automatic switch to local mode, if the operator is not active");
    QCOMPARE(spin->statusTip(), tip);
    QCOMPARE(spin->toolTip(), tip);
    // The panel's property is this very spin box.
    spin->setValue(270);
    QCOMPARE(panel->property("inactivityPeriod").toInt(), 270);
}

void tst_PanelForm::inactivitySpinFollowsDefault_data()
{
    addRows<int>("period",
                 {{"default 300", 300},
                  {"default 45, off the step grid", 45},
                  {"default 0, the minimum", 0},
                  {"default 65535, the maximum", 65535}});
}

void tst_PanelForm::inactivitySpinFollowsDefault()
{
    QFETCH(int, period);

    QWidget *first = openLocal();
    QVERIFY(first);
    auto *firstSpin = first->findChild<QSpinBox *>();
    QVERIFY(firstSpin);
    QCOMPARE(firstSpin->value(), m_defaultInactivityPeriod);

    QVERIFY(first->setProperty("defaultInactivityPeriod", period));
    QWidget *second = openLocal();
    QVERIFY(second);
    auto *secondSpin = second->findChild<QSpinBox *>();
    QVERIFY(secondSpin);
    QCOMPARE(secondSpin->value(), period);
    QCOMPARE(secondSpin->text(), QStringLiteral("%1s").arg(period));
    // The value is taken when a panel is built; open panels keep theirs.
    QCOMPARE(firstSpin->value(), m_defaultInactivityPeriod);

    QVERIFY(second->setProperty("defaultInactivityPeriod", m_defaultInactivityPeriod));
    QWidget *third = openLocal();
    QVERIFY(third);
    auto *thirdSpin = third->findChild<QSpinBox *>();
    QVERIFY(thirdSpin);
    QCOMPARE(thirdSpin->value(), m_defaultInactivityPeriod);
}

void tst_PanelForm::inactivitySpinLimits_data()
{
    addColumns<int, int, int>({"start", "steps", "expected"});

    // The first row shows that a step is 10, so the stops below are limits, not small steps.
    QTest::newRow("180, one step up") << 180 << 1 << 190;
    QTest::newRow("65530, one step up stops at 65535") << 65530 << 1 << 65535;
    QTest::newRow("65535, one step up stays") << 65535 << 1 << 65535;
    QTest::newRow("5, one step down stops at 0") << 5 << -1 << 0;
    QTest::newRow("20, three steps down stop at 0") << 20 << -3 << 0;
    QTest::newRow("0, one step down stays") << 0 << -1 << 0;
}

void tst_PanelForm::inactivitySpinLimits()
{
    QFETCH(int, start);
    QFETCH(int, steps);
    QFETCH(int, expected);

    QWidget *panel = openLocal();
    QVERIFY(panel);
    auto *spin = panel->findChild<QSpinBox *>();
    QVERIFY(spin);

    spin->setValue(start);
    QCOMPARE(spin->value(), start);
    spin->stepBy(steps);
    QCOMPARE(spin->value(), expected);
}

void tst_PanelForm::statusLabel_data()
{
    addRows<bool>("dispatch", {{"under dispatch control", true}, {"under local control", false}});
}

void tst_PanelForm::statusLabel()
{
    QFETCH(bool, dispatch);

    SimulatedLight *light = makeLight(SimulatedLight::LocalSource, SimulatedLight::LocalAlgorithm);
    light->setDispatchControl(dispatch);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    auto *label = panel->findChild<QLabel *>();
    QVERIFY(label);
    QCOMPARE(label, &Host::d(panel)->statusLabel);
    QCOMPARE(label->text(), QString());
}

void tst_PanelForm::dispatchControlled_data()
{
    addColumns<int, int>({"source", "algorithm"});
    for (const auto &[source, algorithm] : {std::pair{3, 255}, {3, 252}, {3, 0}})
        QTest::addRow("controlSource %d, algorithm %d", source, algorithm) << source << algorithm;
}

void tst_PanelForm::dispatchControlled()
{
    QFETCH(int, source);
    QFETCH(int, algorithm);

    SimulatedLight *light = makeLight(source, algorithm);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QVERIFY(dispatchActive(panel));

    QAction *dc = Host::action(panel, "actionDC");
    QVERIFY(dc);
    QVERIFY(dc->isChecked());
    QCOMPARE(controlsNotEnabled(panel, true), QStringList());

    runPostedEvents();
    // Filling the stage list may ask for the stages; nothing else may reach the controller.
    QCOMPARE(callsOtherThan(*light, {QByteArrayLiteral("phases")}), QList<QByteArray>());
}

void tst_PanelForm::locallyControlled_data()
{
    addColumns<int, int>({"source", "algorithm"});
    for (const auto &[source, algorithm] : {std::pair{1, 1}, {3, 1}, {3, 253}, {2, 255}})
        QTest::addRow("controlSource %d, algorithm %d", source, algorithm) << source << algorithm;
}

void tst_PanelForm::locallyControlled()
{
    QFETCH(int, source);
    QFETCH(int, algorithm);

    SimulatedLight *light = makeLight(source, algorithm);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QVERIFY(!dispatchActive(panel));

    QAction *dc = Host::action(panel, "actionDC");
    QVERIFY(dc);
    QVERIFY(!dc->isChecked());
    QCOMPARE(controlsNotEnabled(panel, false), QStringList());

    runPostedEvents();
    const QList<SimulatedLight::Call> local = light->calls(QByteArrayLiteral("setLocal"));
    QCOMPARE(local.size(), 1);
    QCOMPARE(local.first().arguments, QVariantList());
    QCOMPARE(light->calls(QByteArrayLiteral("sendCommand")).size(), 0);
    QCOMPARE(callsOtherThan(*light, {QByteArrayLiteral("phases"), QByteArrayLiteral("setLocal")}), QList<QByteArray>());
    QCOMPARE(lastCommandCode(panel), -3);
}

void tst_PanelForm::dispatchActionWired_data()
{
    addRows<bool>("dispatch", {{"built under dispatch control", true}, {"built under local control", false}});
}

void tst_PanelForm::dispatchActionWired()
{
    QFETCH(bool, dispatch);

    SimulatedLight *light = makeLight(SimulatedLight::LocalSource, SimulatedLight::LocalAlgorithm);
    light->setDispatchControl(dispatch);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QAction *dc = Host::action(panel, "actionDC");
    QVERIFY(dc);
    QCOMPARE(dc->isChecked(), dispatch);
    const QByteArray setLocal = QByteArrayLiteral("setLocal");
    const int localBefore = light->calls(setLocal).size();

    if (!dispatch) {
        dc->trigger();
        QVERIFY(dc->isChecked());
        QCOMPARE(controlsNotEnabled(panel, true), QStringList());
        QCOMPARE(light->calls(setLocal).size(), localBefore);
    }

    dc->trigger();
    QVERIFY(!dc->isChecked());
    QCOMPARE(controlsNotEnabled(panel, false), QStringList());
    QCOMPARE(light->calls(setLocal).size(), localBefore + 1);
    QCOMPARE(light->calls(setLocal).last().arguments, QVariantList());
    QCOMPARE(lastCommandCode(panel), -3);

    dc->trigger();
    QVERIFY(dc->isChecked());
    QCOMPARE(controlsNotEnabled(panel, true), QStringList());
    QCOMPARE(light->calls(setLocal).size(), localBefore + 1);

    QCOMPARE(light->calls(QByteArrayLiteral("sendCommand")).size(), 0);
}

void tst_PanelForm::stateChangeFollowed_data()
{
    addColumns<int, int, int, int, bool>(
        {"sourceBefore", "algorithmBefore", "sourceAfter", "algorithmAfter", "expected"});

    QTest::newRow("3/255 to 1/1: taken over locally") << 3 << 255 << 1 << 1 << false;
    QTest::newRow("1/1 to 3/255: granted to the centre") << 1 << 1 << 3 << 255 << true;
    QTest::newRow("3/252 to 3/253: algorithm leaves the centre's") << 3 << 252 << 3 << 253 << false;
    QTest::newRow("2/255 to 3/0: source becomes the centre") << 2 << 255 << 3 << 0 << true;
}

void tst_PanelForm::stateChangeFollowed()
{
    QFETCH(int, sourceBefore);
    QFETCH(int, algorithmBefore);
    QFETCH(int, sourceAfter);
    QFETCH(int, algorithmAfter);
    QFETCH(bool, expected);

    SimulatedLight *light = makeLight(sourceBefore, algorithmBefore);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QAction *dc = Host::action(panel, "actionDC");
    QVERIFY(dc);
    const bool checkedBefore = dc->isChecked();
    QCOMPARE(dispatchActive(panel), !expected);

    light->setControlSource(sourceAfter);
    light->setControlAlgorithm(algorithmAfter);
    // The panel learns of the change only through the signal.
    QCOMPARE(dispatchActive(panel), !expected);
    Q_EMIT light->stateChanged();

    QCOMPARE(dispatchActive(panel), expected);
    QCOMPARE(dc->isChecked(), checkedBefore);
}

void tst_PanelForm::privateMetaObject()
{
    QWidget *panel = openLocal();
    QVERIFY(panel);
    Vorlan::Widget::Private *d = Host::d(panel);
    QVERIFY(d);

    // Through the object: the test does not link the plug-in, so the loaded meta-object is the one to read.
    const QMetaObject *meta = d->metaObject();
    QCOMPARE(meta->className(), "Vorlan::Widget::Private");
    QCOMPARE(meta->superClass(), &QObject::staticMetaObject);
    QCOMPARE(meta->methodCount() - meta->methodOffset(), 8);
    QCOMPARE(meta->propertyCount() - meta->propertyOffset(), 0);
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
        QVERIFY2(meta->method(i).methodType() != QMetaMethod::Signal, meta->method(i).methodSignature().constData());
}

void tst_PanelForm::privateMethods_data()
{
    addColumns<int, QByteArray, QByteArray, bool>({"index", "signature", "kind", "dispatch"});

    // The slots by index, which a host's connections by name reach; read
    // from a panel in each mode, since building one connects them.
    const std::pair<const char *, const char *> methods[] = {
        {"setDispatchControlMode(bool)", "public slot"},
        {"setYF()", "public slot"},
        {"setDark()", "public slot"},
        {"restart()", "public slot"},
        {"setPhase()", "public slot"},
        {"lightStateChanged()", "private slot"},
        {"lightDestroyed()", "private slot"},
        {"responseFinished()", "private slot"},
    };
    for (int index = 0; index < 8; ++index) {
        for (const bool dispatch : {false, true}) {
            QTest::addRow("%d: %s, %s, %s", index, methods[index].first, methods[index].second,
                          dispatch ? "under dispatch control" : "in local mode")
                << index << QByteArray(methods[index].first) << QByteArray(methods[index].second) << dispatch;
        }
    }
}

void tst_PanelForm::privateMethods()
{
    QFETCH(int, index);
    QFETCH(QByteArray, signature);
    QFETCH(QByteArray, kind);
    QFETCH(bool, dispatch);

    SimulatedLight *light = makeLight(SimulatedLight::LocalSource, SimulatedLight::LocalAlgorithm);
    light->setDispatchControl(dispatch);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    Vorlan::Widget::Private *d = Host::d(panel);
    QVERIFY(d);

    const QMetaObject *meta = d->metaObject();
    QCOMPARE(meta->methodCount() - meta->methodOffset(), 8);
    const QMetaMethod method = meta->method(meta->methodOffset() + index);
    QCOMPARE(method.methodSignature(), signature);
    QCOMPARE(method.methodType(), QMetaMethod::Slot);
    QCOMPARE(kindOf(method), kind);
}

void tst_PanelForm::watchdogTimer()
{
    QWidget *panel = openLocal();
    QVERIFY(panel);
    Vorlan::Widget::Private *d = Host::d(panel);
    QVERIFY(d);
    QVERIFY(d->timerId > 0);

    // Asked of the event dispatcher rather than waited for: no half second spent per run.
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    QVERIFY(dispatcher);
    const QList<QAbstractEventDispatcher::TimerInfo> timers = dispatcher->registeredTimers(d);
    QCOMPARE(timers.size(), 1);
    QCOMPARE(timers.first().timerId, d->timerId);
    QCOMPARE(timers.first().interval, 500);
}

void tst_PanelForm::deletionSendsNothing_data()
{
    addRows<bool>("dispatch", {{"under dispatch control", true}, {"under local control", false}});
}

void tst_PanelForm::deletionSendsNothing()
{
    QFETCH(bool, dispatch);

    SimulatedLight *light = makeLight(SimulatedLight::LocalSource, SimulatedLight::LocalAlgorithm);
    light->setDispatchControl(dispatch);
    QPointer<QWidget> panel = openPanel(light);
    QVERIFY(panel);
    runPostedEvents();
    light->clearCalls();

    delete panel.data();
    QVERIFY(panel.isNull());
    runPostedEvents();
    QCOMPARE(callsOtherThan(*light, {}), QList<QByteArray>());
    QVERIFY(host.panels().isEmpty());
}

void tst_PanelForm::noStageCommandOnBuild_data()
{
    addColumns<bool, int>({"dispatch", "currentStage"});

    QTest::newRow("dispatch control, stage 2 of 3 running") << true << 2;
    QTest::newRow("dispatch control, stage 1 of 3 running") << true << 1;
    QTest::newRow("dispatch control, no stage running") << true << -1;
    QTest::newRow("local control, stage 2 of 3 running") << false << 2;
}

void tst_PanelForm::noStageCommandOnBuild()
{
    QFETCH(bool, dispatch);
    QFETCH(int, currentStage);

    SimulatedLight *light = makeLight(SimulatedLight::LocalSource, SimulatedLight::LocalAlgorithm);
    light->setDispatchControl(dispatch);
    light->addStage(1, QStringLiteral("Main road"));
    light->addStage(2, QStringLiteral("Side road"));
    light->addStage(3, QStringLiteral("Pedestrians"));
    light->setCurrentStage(currentStage);

    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    runPostedEvents();
    QCOMPARE(light->calls(QByteArrayLiteral("sendCommand")).size(), 0);

    // The list may first be filled on a watchdog tick; marking the running stage there is no
    // operator's choice and must not become a command either.
    Host::tick(panel);
    runPostedEvents();
    const QList<SimulatedLight::Call> commands = light->calls(QByteArrayLiteral("sendCommand"));
    for (const SimulatedLight::Call &call : commands)
        QVERIFY2(call.arguments.value(0).toString() != QLatin1String("set_phase"),
                 qPrintable(call.arguments.value(0).toString()));
}

QTEST_MAIN(tst_PanelForm)
#include "tst_panelform.moc"
