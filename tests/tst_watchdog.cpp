// SPDX-License-Identifier: MIT
#include "host.h"
#include "response.h"

#include <helvor/simulatedlight.h>

#include <QAction>
#include <QListWidget>
#include <QPointer>
#include <QtTest>

#include <limits>

namespace {

constexpr int intMin = std::numeric_limits<int>::min();
constexpr int intMax = std::numeric_limits<int>::max();

// Counts raises of the panels it watches. QWidget::raise() sends
// QEvent::ZOrderChange synchronously to a top-level widget whether it is
// shown or not, while the offscreen platform keeps no stacking order that
// could be read back; nothing else in a panel's life restacks it.
class RaiseCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::ZOrderChange)
            ++count;
        return false;
    }
};

// One line per tick, so that a failing comparison shows the whole state.
QString describe(qint64 seconds, const QString &title, int raises, int setLocalCalls, bool dispatchControl)
{
    return QStringLiteral("%1 s: title \"%2\", raised %3x, setLocal %4x, DC %5")
        .arg(seconds)
        .arg(title)
        .arg(raises)
        .arg(setLocalCalls)
        .arg(dispatchControl ? QLatin1String("on") : QLatin1String("off"));
}

} // namespace

class tst_Watchdog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void raiseIsObservable();
    void defaultBoundaries_data();
    void defaultBoundaries();
    void blinkingUntilLocalMode();
    void edgeCases_data();
    void edgeCases();
    void soundOff();
    void ownLeadingMarker_data();
    void ownLeadingMarker();
    void emptyTitleDuringWarning();
    void dispatchControlEndsDuringWarning_data();
    void dispatchControlEndsDuringWarning();
    void dispatchControlRetakenAfterSwitch();
    void raisedPeriodEndsWarning();
    void statusLineDuringWarning();

private:
    QWidget *openPanel(bool dispatchControl = true, bool sound = false);
    void acceptCommand(QWidget *panel);
    void tickAt(QWidget *panel, qint64 seconds);
    QString state(QWidget *panel, qint64 seconds) const;
    int moduleValue(const char *name);
    void setModuleValue(const char *name, int value);

    static Helvor::SimulatedLight *lightOf(QWidget *panel);

    Host m_host;
    RaiseCounter m_raises;
    QList<QPointer<QWidget>> m_panels;
    QList<QPointer<Helvor::SimulatedLight>> m_lights;
    // UTC: no daylight-saving step can fall between two ticks.
    const QDateTime m_start{QDate(2024, 6, 12), QTime(10, 0), Qt::UTC};
    int m_alarmBefore = 0;
    int m_defaultPeriod = 0;
};

void tst_Watchdog::initTestCase()
{
    QVERIFY2(m_host.plugin(), qPrintable(m_host.loader().errorString()));
    m_alarmBefore = moduleValue("alarmBefore");
    m_defaultPeriod = moduleValue("defaultInactivityPeriod");
    // The boundaries below are those of the built-in values; a settings
    // file on this machine would move them all.
    QCOMPARE(m_alarmBefore, 60);
    QCOMPARE(m_defaultPeriod, 180);
}

void tst_Watchdog::init()
{
    Host::setClock(m_start);
    m_raises.count = 0;
}

void tst_Watchdog::cleanup()
{
    setModuleValue("alarmBefore", m_alarmBefore);
    setModuleValue("defaultInactivityPeriod", m_defaultPeriod);
    // Panels before their controllers: a controller that dies first would
    // only schedule its panel's deletion.
    for (const QPointer<QWidget> &panel : qAsConst(m_panels))
        delete panel.data();
    m_panels.clear();
    for (const QPointer<Helvor::SimulatedLight> &light : qAsConst(m_lights))
        delete light.data();
    m_lights.clear();
    QVERIFY(Host().panels().isEmpty());
    Host::useRealClock();
}

// Ticks are delivered by hand only: no test here runs the event loop, so
// the panels' own 500 ms timers never tick in between.
QWidget *tst_Watchdog::openPanel(bool dispatchControl, bool sound)
{
    auto *light = new Helvor::SimulatedLight(7, QStringLiteral("North gate"));
    m_lights.append(light);
    light->setDispatchControl(dispatchControl);
    light->setPhaseChangeTime(Host::clock());
    QWidget *panel = m_host.open(light);
    if (!panel)
        return nullptr;
    m_panels.append(panel);
    // A silent alarm: the suite makes no noise and needs no audio server.
    if (!sound)
        Host::d(panel)->ui.actionSound->setChecked(false);
    panel->installEventFilter(&m_raises);
    return panel;
}

void tst_Watchdog::acceptCommand(QWidget *panel)
{
    Helvor::SimulatedLight *light = lightOf(panel);
    QVERIFY(light);
    Host::action(panel, "actionYF")->trigger();
    Response *response = light->lastResponse();
    QVERIFY(response);
    response->finish(Response::Success);
    QCOMPARE(Host::d(panel)->lastActionTime, Host::clock());
    light->clearCalls();
}

void tst_Watchdog::tickAt(QWidget *panel, qint64 seconds)
{
    Host::setClock(m_start.addSecs(seconds));
    Host::tick(panel);
}

QString tst_Watchdog::state(QWidget *panel, qint64 seconds) const
{
    return describe(seconds, panel->windowTitle(), m_raises.count, lightOf(panel)->calls("setLocal").size(),
                    Host::d(panel)->ui.actionDC->isChecked());
}

Helvor::SimulatedLight *tst_Watchdog::lightOf(QWidget *panel)
{
    return qobject_cast<Helvor::SimulatedLight *>(Host::d(panel)->light.data());
}

// The module-wide values are reachable only through a panel's properties.
int tst_Watchdog::moduleValue(const char *name)
{
    Helvor::SimulatedLight scratch(0);
    QScopedPointer<QWidget> panel(m_host.open(&scratch));
    return panel ? panel->property(name).toInt() : -1;
}

void tst_Watchdog::setModuleValue(const char *name, int value)
{
    Helvor::SimulatedLight scratch(0);
    QScopedPointer<QWidget> panel(m_host.open(&scratch));
    QVERIFY(panel);
    QVERIFY(panel->setProperty(name, value));
}

void tst_Watchdog::raiseIsObservable()
{
    QWidget *panel = openPanel();
    QVERIFY(panel);
    QCOMPARE(m_raises.count, 0);
    panel->raise();
    QCOMPARE(m_raises.count, 1);
}

void tst_Watchdog::defaultBoundaries_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("localMode");

    const QString plain = QStringLiteral("7:North gate");
    const QString marked = QStringLiteral("!7:North gate");
    QTest::newRow("0 s: no warning") << 0 << plain << false;
    QTest::newRow("120 s: no warning") << 120 << plain << false;
    QTest::newRow("121 s: warning") << 121 << marked << false;
    QTest::newRow("180 s: warning, still dispatch control") << 180 << marked << false;
    QTest::newRow("181 s: warning and local mode") << 181 << marked << true;
    QTest::newRow("65535 s: warning and local mode") << 65535 << marked << true;
}

void tst_Watchdog::defaultBoundaries()
{
    QFETCH(int, seconds);
    QFETCH(QString, title);
    QFETCH(bool, localMode);

    QWidget *panel = openPanel();
    QVERIFY(panel);
    QCOMPARE(panel->property("inactivityPeriod").toInt(), 180);
    QCOMPARE(panel->property("alarmBefore").toInt(), 60);
    acceptCommand(panel);
    if (QTest::currentTestFailed())
        return;

    tickAt(panel, seconds);
    const int raises = title.startsWith(QLatin1Char('!')) ? 1 : 0;
    QCOMPARE(state(panel, seconds), describe(seconds, title, raises, localMode ? 1 : 0, !localMode));
    Vorlan::Widget::Private *d = Host::d(panel);
    QVERIFY(d->dispatchActive);
    QCOMPARE(d->ui.actionYF->isEnabled(), !localMode);
    QCOMPARE(d->ui.actionDark->isEnabled(), !localMode);
    QCOMPARE(d->ui.actionRestart->isEnabled(), !localMode);
    QCOMPARE(d->ui.listWidget->isEnabled(), !localMode);
    QCOMPARE(d->lastCommand, localMode ? -3 : -1);
}

// Two ticks a second, as the panel's timer gives them, from the accepted
// command to well past the switch.
void tst_Watchdog::blinkingUntilLocalMode()
{
    QWidget *panel = openPanel();
    QVERIFY(panel);
    acceptCommand(panel);
    if (QTest::currentTestFailed())
        return;

    const QString plain = panel->windowTitle();
    QCOMPARE(plain, QStringLiteral("7:North gate"));
    const int firstWarning = 2 * 121;
    const int switching = 2 * 181;
    for (int half = 0; half <= 2 * 200; ++half) {
        const int seconds = half / 2;
        tickAt(panel, seconds);
        QString title = plain;
        if (half >= firstWarning && half <= switching)
            title.prepend((half - firstWarning) % 2 == 0 ? QLatin1Char('!') : QLatin1Char(' '));
        const int raises = half >= firstWarning ? 1 : 0;
        const int setLocalCalls = half >= switching ? 1 : 0;
        QCOMPARE(state(panel, seconds), describe(seconds, title, raises, setLocalCalls, setLocalCalls == 0));
    }
    Vorlan::Widget::Private *d = Host::d(panel);
    QVERIFY(!d->ui.actionYF->isEnabled());
    QVERIFY(!d->ui.actionDark->isEnabled());
    QVERIFY(!d->ui.actionRestart->isEnabled());
    QVERIFY(!d->ui.listWidget->isEnabled());
    QCOMPARE(lightOf(panel)->calls().size(), 1);
}

void tst_Watchdog::edgeCases_data()
{
    QTest::addColumn<int>("period");
    QTest::addColumn<int>("alarmBefore");
    QTest::addColumn<bool>("command");
    // Seconds from the start for each tick, and the title's marker after
    // it: '.' none, '!', or '_' for a leading space.
    QTest::addColumn<QList<qint64>>("times");
    QTest::addColumn<QString>("markers");
    // The tick that hands the controller back; -1 for none.
    QTest::addColumn<int>("switchTick");

    QTest::newRow("period 30 under alarmBefore 60, no command: warning at once, never local mode")
        << 30 << 60 << false << QList<qint64>{0, 0, 31, 3600} << QStringLiteral("!_!_") << -1;
    QTest::newRow("period 30 under alarmBefore 60: 30 s dispatch control, 31 s local mode")
        << 30 << 60 << true << QList<qint64>{0, 30, 31, 32} << QStringLiteral("!_!.") << 2;
    QTest::newRow("period 0, no command: warning at once, never local mode")
        << 0 << 60 << false << QList<qint64>{0, 0, 3600} << QStringLiteral("!_!") << -1;
    QTest::newRow("period 0: 0 s dispatch control, 1 s local mode")
        << 0 << 60 << true << QList<qint64>{0, 0, 1, 1} << QStringLiteral("!_!.") << 2;
    QTest::newRow("alarmBefore 0: 180 s nothing, 181 s one marker and local mode")
        << 180 << 0 << true << QList<qint64>{180, 181, 181, 182} << QStringLiteral(".!..") << 1;
    QTest::newRow("alarmBefore -10: 190 s nothing, 191 s warning and local mode")
        << 180 << -10 << true << QList<qint64>{181, 190, 191, 191} << QStringLiteral("..!.") << 2;
    QTest::newRow("alarmBefore INT_MIN: never a warning, never local mode")
        << 180 << intMin << true << QList<qint64>{0, 181, 65535, intMax} << QStringLiteral("....") << -1;
    QTest::newRow("alarmBefore INT_MIN, period 0: never a warning, never local mode")
        << 0 << intMin << true << QList<qint64>{0, 1, intMax} << QStringLiteral("...") << -1;
    QTest::newRow("alarmBefore INT_MAX, no command: warning at once, never local mode")
        << 180 << intMax << false << QList<qint64>{0, 0, 181, 3600} << QStringLiteral("!_!_") << -1;
    QTest::newRow("alarmBefore INT_MAX: 180 s dispatch control, 181 s local mode")
        << 180 << intMax << true << QList<qint64>{0, 180, 181, 182} << QStringLiteral("!_!.") << 2;
    QTest::newRow("alarmBefore INT_MAX, period 65535: local mode at 65536 s")
        << 65535 << intMax << true << QList<qint64>{0, 65535, 65536, 65537} << QStringLiteral("!_!.") << 2;
    QTest::newRow("clock set back: never a warning, never local mode")
        << 180 << 60 << true << QList<qint64>{-1, -181, -3600, intMin} << QStringLiteral("....") << -1;
    QTest::newRow("no command: never a warning, never local mode")
        << 180 << 60 << false << QList<qint64>{0, 121, 181, 100000} << QStringLiteral("....") << -1;
}

void tst_Watchdog::edgeCases()
{
    QFETCH(int, period);
    QFETCH(int, alarmBefore);
    QFETCH(bool, command);
    QFETCH(QList<qint64>, times);
    QFETCH(QString, markers);
    QFETCH(int, switchTick);
    QCOMPARE(markers.size(), times.size());

    QWidget *panel = openPanel();
    QVERIFY(panel);
    QVERIFY(panel->setProperty("alarmBefore", alarmBefore));
    QVERIFY(panel->setProperty("inactivityPeriod", period));
    QCOMPARE(panel->property("inactivityPeriod").toInt(), period);
    if (command) {
        acceptCommand(panel);
        if (QTest::currentTestFailed())
            return;
    } else {
        QVERIFY(!Host::d(panel)->lastActionTime.isValid());
        lightOf(panel)->clearCalls();
    }

    const QString plain = panel->windowTitle();
    int raises = 0;
    QChar previous = QLatin1Char('.');
    for (int i = 0; i < times.size(); ++i) {
        tickAt(panel, times.at(i));
        const QChar marker = markers.at(i);
        if (marker == QLatin1Char('!') && previous == QLatin1Char('.'))
            ++raises;
        previous = marker;
        QString title = plain;
        if (marker == QLatin1Char('!'))
            title.prepend(QLatin1Char('!'));
        else if (marker == QLatin1Char('_'))
            title.prepend(QLatin1Char(' '));
        const bool local = switchTick >= 0 && i >= switchTick;
        QCOMPARE(state(panel, times.at(i)), describe(times.at(i), title, raises, local ? 1 : 0, !local));
    }
}

void tst_Watchdog::soundOff()
{
    QWidget *panel = openPanel(true, true);
    QVERIFY(panel);
    QAction *sound = Host::d(panel)->ui.actionSound;
    QVERIFY(sound->isChecked());
    // As the operator does it, before anything could ring.
    sound->trigger();
    QVERIFY(!sound->isChecked());
    acceptCommand(panel);
    if (QTest::currentTestFailed())
        return;

    const QString plain = panel->windowTitle();
    tickAt(panel, 121);
    QCOMPARE(state(panel, 121), describe(121, QLatin1Char('!') + plain, 1, 0, true));
    tickAt(panel, 121);
    QCOMPARE(state(panel, 121), describe(121, QLatin1Char(' ') + plain, 1, 0, true));
    tickAt(panel, 122);
    QCOMPARE(state(panel, 122), describe(122, QLatin1Char('!') + plain, 1, 0, true));
    tickAt(panel, 181);
    QCOMPARE(state(panel, 181), describe(181, QLatin1Char(' ') + plain, 1, 1, false));
    tickAt(panel, 181);
    QCOMPARE(state(panel, 181), describe(181, plain, 1, 1, false));
}

void tst_Watchdog::ownLeadingMarker_data()
{
    QTest::addColumn<QString>("title");
    // The title after each tick.
    QTest::addColumn<QStringList>("titles");

    QTest::newRow("leading '!'") << QStringLiteral("!Depot")
                                 << QStringList{QStringLiteral("Depot"), QStringLiteral("Depot")};
    QTest::newRow("leading space") << QStringLiteral(" Depot")
                                   << QStringList{QStringLiteral("Depot"), QStringLiteral("Depot")};
    QTest::newRow("'!', space, '!' in front") << QStringLiteral("! !Depot")
                                              << QStringList{QStringLiteral(" !Depot"), QStringLiteral("!Depot"),
                                                             QStringLiteral("Depot"), QStringLiteral("Depot")};
    QTest::newRow("nothing but markers") << QStringLiteral("! ")
                                         << QStringList{QStringLiteral(" "), QString(), QString()};
    QTest::newRow("'!' further in") << QStringLiteral("De!pot") << QStringList{QStringLiteral("De!pot")};
    QTest::newRow("leading tab") << QStringLiteral("\tDepot") << QStringList{QStringLiteral("\tDepot")};
    QTest::newRow("leading '?'") << QStringLiteral("?Depot") << QStringList{QStringLiteral("?Depot")};
    QTest::newRow("leading non-Latin-1 letter")
        << QStringLiteral("\u0416Depot") << QStringList{QStringLiteral("\u0416Depot")};
}

void tst_Watchdog::ownLeadingMarker()
{
    QFETCH(QString, title);
    QFETCH(QStringList, titles);

    QWidget *panel = openPanel();
    QVERIFY(panel);
    acceptCommand(panel);
    if (QTest::currentTestFailed())
        return;
    panel->setWindowTitle(title);
    for (int i = 0; i < titles.size(); ++i) {
        tickAt(panel, i);
        QCOMPARE(state(panel, i), describe(i, titles.at(i), 0, 0, true));
    }
}

void tst_Watchdog::emptyTitleDuringWarning()
{
    QWidget *panel = openPanel();
    QVERIFY(panel);
    acceptCommand(panel);
    if (QTest::currentTestFailed())
        return;
    panel->setWindowTitle(QString());

    tickAt(panel, 120);
    QCOMPARE(state(panel, 120), describe(120, QString(), 0, 0, true));
    tickAt(panel, 121);
    QCOMPARE(state(panel, 121), describe(121, QStringLiteral("!"), 1, 0, true));
    tickAt(panel, 121);
    QCOMPARE(state(panel, 121), describe(121, QStringLiteral(" "), 1, 0, true));
    tickAt(panel, 122);
    QCOMPARE(state(panel, 122), describe(122, QStringLiteral("!"), 1, 0, true));
    tickAt(panel, 181);
    QCOMPARE(state(panel, 181), describe(181, QStringLiteral(" "), 1, 1, false));
    tickAt(panel, 181);
    QCOMPARE(state(panel, 181), describe(181, QString(), 1, 1, false));
}

void tst_Watchdog::dispatchControlEndsDuringWarning_data()
{
    QTest::addColumn<bool>("command");
    QTest::addColumn<int>("warningTicks");

    QTest::newRow("no command, '!' shown") << false << 1;
    QTest::newRow("no command, space shown") << false << 2;
    QTest::newRow("command 3 s before, '!' shown") << true << 1;
    QTest::newRow("command 3 s before, space shown") << true << 2;
}

// A period under alarmBefore warns with any dcSecs, so once the controller
// leaves dispatch control nothing but dispatchActive stands against the
// warning; a command younger than 5 s keeps its time through the change.
void tst_Watchdog::dispatchControlEndsDuringWarning()
{
    QFETCH(bool, command);
    QFETCH(int, warningTicks);

    QWidget *panel = openPanel();
    QVERIFY(panel);
    QVERIFY(panel->setProperty("inactivityPeriod", 30));
    if (command) {
        acceptCommand(panel);
        if (QTest::currentTestFailed())
            return;
    }
    lightOf(panel)->clearCalls();
    const QString plain = panel->windowTitle();

    for (int i = 0; i < warningTicks; ++i)
        tickAt(panel, 3);
    const QString marked = (warningTicks == 1 ? QLatin1Char('!') : QLatin1Char(' ')) + plain;
    QCOMPARE(state(panel, 3), describe(3, marked, 1, 0, true));

    Helvor::SimulatedLight *light = lightOf(panel);
    light->setDispatchControl(false);
    Q_EMIT light->stateChanged();
    Vorlan::Widget::Private *d = Host::d(panel);
    QVERIFY(!d->dispatchActive);
    QCOMPARE(d->lastActionTime.isValid(), command);

    tickAt(panel, 3);
    QCOMPARE(state(panel, 3), describe(3, plain, 1, 0, true));
    for (const int seconds : {31, 181, 3600}) {
        tickAt(panel, seconds);
        QCOMPARE(state(panel, seconds), describe(seconds, plain, 1, 0, true));
    }
}

void tst_Watchdog::dispatchControlRetakenAfterSwitch()
{
    QWidget *panel = openPanel();
    QVERIFY(panel);
    acceptCommand(panel);
    if (QTest::currentTestFailed())
        return;
    const QString plain = panel->windowTitle();
    Vorlan::Widget::Private *d = Host::d(panel);

    tickAt(panel, 181);
    QCOMPARE(state(panel, 181), describe(181, QLatin1Char('!') + plain, 1, 1, false));
    tickAt(panel, 181);
    QCOMPARE(state(panel, 181), describe(181, plain, 1, 1, false));

    // The controller has not yet reported the end of dispatch control.
    QVERIFY(d->dispatchActive);
    QVERIFY(d->lastActionTime.isValid());
    d->ui.actionDC->trigger();
    QVERIFY(d->ui.actionDC->isChecked());
    QVERIFY(d->ui.actionYF->isEnabled());
    QCOMPARE(d->lastActionTime, m_start);
    QCOMPARE(lightOf(panel)->calls().size(), 1);

    tickAt(panel, 182);
    QCOMPARE(state(panel, 182), describe(182, QLatin1Char('!') + plain, 2, 2, false));
    QVERIFY(!d->ui.actionYF->isEnabled());
    tickAt(panel, 182);
    QCOMPARE(state(panel, 182), describe(182, plain, 2, 2, false));
}

void tst_Watchdog::raisedPeriodEndsWarning()
{
    QWidget *panel = openPanel();
    QVERIFY(panel);
    acceptCommand(panel);
    if (QTest::currentTestFailed())
        return;
    const QString plain = panel->windowTitle();

    tickAt(panel, 121);
    QCOMPARE(state(panel, 121), describe(121, QLatin1Char('!') + plain, 1, 0, true));
    QVERIFY(panel->setProperty("inactivityPeriod", 300));
    tickAt(panel, 121);
    QCOMPARE(state(panel, 121), describe(121, plain, 1, 0, true));
    tickAt(panel, 240);
    QCOMPARE(state(panel, 240), describe(240, plain, 1, 0, true));
    tickAt(panel, 241);
    QCOMPARE(state(panel, 241), describe(241, QLatin1Char('!') + plain, 2, 0, true));
    tickAt(panel, 301);
    QCOMPARE(state(panel, 301), describe(301, QLatin1Char(' ') + plain, 2, 1, false));
}

void tst_Watchdog::statusLineDuringWarning()
{
    QWidget *panel = openPanel();
    QVERIFY(panel);
    Helvor::SimulatedLight *light = lightOf(panel);
    light->setCurrentStage(4);
    light->setPhaseChangeTime(m_start.addSecs(106));
    Q_EMIT light->stateChanged();
    acceptCommand(panel);
    if (QTest::currentTestFailed())
        return;
    const QString plain = panel->windowTitle();
    const QLabel &status = Host::d(panel)->statusLabel;

    tickAt(panel, 121);
    QCOMPARE(panel->windowTitle(), QLatin1Char('!') + plain);
    QCOMPARE(status.text(), QStringLiteral("Stage 4: 15 DC: 121"));

    Host::action(panel, "actionDark")->trigger();
    QVERIFY(Host::d(panel)->pendingResponse);
    tickAt(panel, 121);
    QCOMPARE(panel->windowTitle(), QLatin1Char(' ') + plain);
    QCOMPARE(status.text(), QStringLiteral("Stage 4: 15 DC: 121 Sending command: set_os"));

    // An accepted command is the operator's action: the warning ends.
    light->lastResponse()->finish(Response::Success);
    tickAt(panel, 121);
    QCOMPARE(panel->windowTitle(), plain);
    QCOMPARE(status.text(), QStringLiteral("Stage 4: 15 DC: 0"));
    QCOMPARE(m_raises.count, 1);
}

QTEST_MAIN(tst_Watchdog)
#include "tst_watchdog.moc"
