// SPDX-License-Identifier: MIT
#include "paneltest.h"
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
QString stateLine(qint64 seconds, const QString &title, int raises, int setLocalCalls, bool dispatchControl)
{
    return QStringLiteral("%1 s: title \"%2\", raised %3x, setLocal %4x, DC %5")
        .arg(seconds)
        .arg(title)
        .arg(raises)
        .arg(setLocalCalls)
        .arg(dispatchControl ? QLatin1String("on") : QLatin1String("off"));
}

} // namespace

class tst_Watchdog : public PanelTest
{
    Q_OBJECT

private Q_SLOTS:
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

protected:
    void initSuite() override;
    void initEach() override;

private:
    QWidget *openWatched(bool dispatchControl = true, bool sound = false);
    bool acceptCommand(QWidget *panel);
    // A panel whose YF the controller accepted at the start.
    QWidget *openAccepted();
    void tickAt(QWidget *panel, qint64 seconds);
    QString state(QWidget *panel, qint64 seconds) const;

    RaiseCounter m_raises;
    // UTC: no daylight-saving step can fall between two ticks.
    const QDateTime m_start{QDate(2024, 6, 12), QTime(10, 0), Qt::UTC};
};

void tst_Watchdog::initSuite()
{
    // The boundaries below are those of the built-in values; a settings
    // file on this machine would move them all.
    QCOMPARE(moduleValue("alarmBefore").toInt(), builtinAlarmBefore);
    QCOMPARE(moduleValue("defaultInactivityPeriod").toInt(), builtinDefaultInactivityPeriod);
}

void tst_Watchdog::initEach()
{
    Host::setClock(m_start);
    m_raises.count = 0;
}

// Ticks are delivered by hand only: no test here runs the event loop, so
// the panels' own 500 ms timers never tick in between.
QWidget *tst_Watchdog::openWatched(bool dispatchControl, bool sound)
{
    m_light = own(new Helvor::SimulatedLight(7, QStringLiteral("North gate")));
    m_light->setDispatchControl(dispatchControl);
    m_light->setPhaseChangeTime(Host::clock());
    QWidget *panel = openPanel(m_light);
    if (!panel)
        return nullptr;
    // A silent alarm: the suite makes no noise and needs no audio server.
    if (!sound)
        action(panel, "actionSound")->setChecked(false);
    panel->installEventFilter(&m_raises);
    return panel;
}

// Read without a tick, which would run the watchdog under test.
bool tst_Watchdog::acceptCommand(QWidget *panel)
{
    if (!play(panel, m_light, steps("YF, confirm")) || lastActionAt(panel) != Host::clock())
        return false;
    m_light->clearCalls();
    return true;
}

QWidget *tst_Watchdog::openAccepted()
{
    QWidget *panel = openWatched();
    return panel && acceptCommand(panel) ? panel : nullptr;
}

void tst_Watchdog::tickAt(QWidget *panel, qint64 seconds)
{
    Host::setClock(m_start.addSecs(seconds));
    Host::tick(panel);
}

QString tst_Watchdog::state(QWidget *panel, qint64 seconds) const
{
    return stateLine(seconds, panel->windowTitle(), m_raises.count, m_light->calls("setLocal").size(),
                     action(panel, "actionDC")->isChecked());
}

void tst_Watchdog::raiseIsObservable()
{
    QWidget *panel = openWatched();
    QVERIFY(panel);
    QCOMPARE(m_raises.count, 0);
    panel->raise();
    QCOMPARE(m_raises.count, 1);
}

void tst_Watchdog::defaultBoundaries_data()
{
    addColumns<int, QString, bool>({"seconds", "title", "localMode"});

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

    QWidget *panel = openWatched();
    QVERIFY(panel);
    QCOMPARE(panel->property("inactivityPeriod").toInt(), 180);
    QCOMPARE(panel->property("alarmBefore").toInt(), 60);
    QVERIFY(acceptCommand(panel));

    tickAt(panel, seconds);
    const int raises = title.startsWith(QLatin1Char('!')) ? 1 : 0;
    QCOMPARE(state(panel, seconds), stateLine(seconds, title, raises, localMode ? 1 : 0, !localMode));
    QVERIFY(dispatchActive(panel));
    QCOMPARE(action(panel, "actionYF")->isEnabled(), !localMode);
    QCOMPARE(action(panel, "actionDark")->isEnabled(), !localMode);
    QCOMPARE(action(panel, "actionRestart")->isEnabled(), !localMode);
    QCOMPARE(stageList(panel)->isEnabled(), !localMode);
    QCOMPARE(lastCommandCode(panel), localMode ? -3 : -1);
}

// Two ticks a second, as the panel's timer gives them, from the accepted
// command to well past the switch.
void tst_Watchdog::blinkingUntilLocalMode()
{
    QWidget *panel = openAccepted();
    QVERIFY(panel);

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
        QCOMPARE(state(panel, seconds), stateLine(seconds, title, raises, setLocalCalls, setLocalCalls == 0));
    }
    QVERIFY(!action(panel, "actionYF")->isEnabled());
    QVERIFY(!action(panel, "actionDark")->isEnabled());
    QVERIFY(!action(panel, "actionRestart")->isEnabled());
    QVERIFY(!stageList(panel)->isEnabled());
    QCOMPARE(m_light->calls().size(), 1);
}

void tst_Watchdog::edgeCases_data()
{
    // times: seconds from the start for each tick; markers: the title's marker
    // after each, '.' none, '!', or '_' for a leading space; switchTick: the
    // tick that hands the controller back, -1 for none.
    addColumns<int, int, bool, QList<qint64>, QString, int>(
        {"period", "alarmBefore", "command", "times", "markers", "switchTick"});

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

    QWidget *panel = openWatched();
    QVERIFY(panel);
    QVERIFY(panel->setProperty("alarmBefore", alarmBefore));
    QVERIFY(panel->setProperty("inactivityPeriod", period));
    QCOMPARE(panel->property("inactivityPeriod").toInt(), period);
    if (command) {
        QVERIFY(acceptCommand(panel));
    } else {
        QVERIFY(!lastActionAt(panel).isValid());
        m_light->clearCalls();
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
        QCOMPARE(state(panel, times.at(i)), stateLine(times.at(i), title, raises, local ? 1 : 0, !local));
    }
}

void tst_Watchdog::soundOff()
{
    QWidget *panel = openWatched(true, true);
    QVERIFY(panel);
    QAction *sound = action(panel, "actionSound");
    QVERIFY(sound->isChecked());
    // As the operator does it, before anything could ring.
    sound->trigger();
    QVERIFY(!sound->isChecked());
    QVERIFY(acceptCommand(panel));

    const QString plain = panel->windowTitle();
    tickAt(panel, 121);
    QCOMPARE(state(panel, 121), stateLine(121, QLatin1Char('!') + plain, 1, 0, true));
    tickAt(panel, 121);
    QCOMPARE(state(panel, 121), stateLine(121, QLatin1Char(' ') + plain, 1, 0, true));
    tickAt(panel, 122);
    QCOMPARE(state(panel, 122), stateLine(122, QLatin1Char('!') + plain, 1, 0, true));
    tickAt(panel, 181);
    QCOMPARE(state(panel, 181), stateLine(181, QLatin1Char(' ') + plain, 1, 1, false));
    tickAt(panel, 181);
    QCOMPARE(state(panel, 181), stateLine(181, plain, 1, 1, false));
}

void tst_Watchdog::ownLeadingMarker_data()
{
    // titles: the title after each tick.
    addColumns<QString, QStringList>({"title", "titles"});

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

    QWidget *panel = openAccepted();
    QVERIFY(panel);
    panel->setWindowTitle(title);
    for (int i = 0; i < titles.size(); ++i) {
        tickAt(panel, i);
        QCOMPARE(state(panel, i), stateLine(i, titles.at(i), 0, 0, true));
    }
}

void tst_Watchdog::emptyTitleDuringWarning()
{
    QWidget *panel = openAccepted();
    QVERIFY(panel);
    panel->setWindowTitle(QString());

    tickAt(panel, 120);
    QCOMPARE(state(panel, 120), stateLine(120, QString(), 0, 0, true));
    tickAt(panel, 121);
    QCOMPARE(state(panel, 121), stateLine(121, QStringLiteral("!"), 1, 0, true));
    tickAt(panel, 121);
    QCOMPARE(state(panel, 121), stateLine(121, QStringLiteral(" "), 1, 0, true));
    tickAt(panel, 122);
    QCOMPARE(state(panel, 122), stateLine(122, QStringLiteral("!"), 1, 0, true));
    tickAt(panel, 181);
    QCOMPARE(state(panel, 181), stateLine(181, QStringLiteral(" "), 1, 1, false));
    tickAt(panel, 181);
    QCOMPARE(state(panel, 181), stateLine(181, QString(), 1, 1, false));
}

void tst_Watchdog::dispatchControlEndsDuringWarning_data()
{
    addColumns<bool, int>({"command", "warningTicks"});

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

    QWidget *panel = openWatched();
    QVERIFY(panel);
    QVERIFY(panel->setProperty("inactivityPeriod", 30));
    if (command) {
        QVERIFY(acceptCommand(panel));
    }
    m_light->clearCalls();
    const QString plain = panel->windowTitle();

    for (int i = 0; i < warningTicks; ++i)
        tickAt(panel, 3);
    const QString marked = (warningTicks == 1 ? QLatin1Char('!') : QLatin1Char(' ')) + plain;
    QCOMPARE(state(panel, 3), stateLine(3, marked, 1, 0, true));

    Helvor::SimulatedLight *light = m_light;
    light->setDispatchControl(false);
    Q_EMIT light->stateChanged();
    QVERIFY(!dispatchActive(panel));
    QCOMPARE(lastActionAt(panel).isValid(), command);

    tickAt(panel, 3);
    QCOMPARE(state(panel, 3), stateLine(3, plain, 1, 0, true));
    for (const int seconds : {31, 181, 3600}) {
        tickAt(panel, seconds);
        QCOMPARE(state(panel, seconds), stateLine(seconds, plain, 1, 0, true));
    }
}

void tst_Watchdog::dispatchControlRetakenAfterSwitch()
{
    QWidget *panel = openAccepted();
    QVERIFY(panel);
    const QString plain = panel->windowTitle();

    tickAt(panel, 181);
    QCOMPARE(state(panel, 181), stateLine(181, QLatin1Char('!') + plain, 1, 1, false));
    tickAt(panel, 181);
    QCOMPARE(state(panel, 181), stateLine(181, plain, 1, 1, false));

    // The controller has not yet reported the end of dispatch control.
    QVERIFY(dispatchActive(panel));
    QVERIFY(play(panel, nullptr, {QStringLiteral("DC")}));
    QVERIFY(action(panel, "actionDC")->isChecked());
    QVERIFY(action(panel, "actionYF")->isEnabled());
    QCOMPARE(lastActionAt(panel), m_start);
    QCOMPARE(m_light->calls().size(), 1);

    tickAt(panel, 182);
    QCOMPARE(state(panel, 182), stateLine(182, QLatin1Char('!') + plain, 2, 2, false));
    QVERIFY(!action(panel, "actionYF")->isEnabled());
    tickAt(panel, 182);
    QCOMPARE(state(panel, 182), stateLine(182, plain, 2, 2, false));
}

void tst_Watchdog::raisedPeriodEndsWarning()
{
    QWidget *panel = openAccepted();
    QVERIFY(panel);
    const QString plain = panel->windowTitle();

    tickAt(panel, 121);
    QCOMPARE(state(panel, 121), stateLine(121, QLatin1Char('!') + plain, 1, 0, true));
    QVERIFY(panel->setProperty("inactivityPeriod", 300));
    tickAt(panel, 121);
    QCOMPARE(state(panel, 121), stateLine(121, plain, 1, 0, true));
    tickAt(panel, 240);
    QCOMPARE(state(panel, 240), stateLine(240, plain, 1, 0, true));
    tickAt(panel, 241);
    QCOMPARE(state(panel, 241), stateLine(241, QLatin1Char('!') + plain, 2, 0, true));
    tickAt(panel, 301);
    QCOMPARE(state(panel, 301), stateLine(301, QLatin1Char(' ') + plain, 2, 1, false));
}

void tst_Watchdog::statusLineDuringWarning()
{
    QWidget *panel = openWatched();
    QVERIFY(panel);
    Helvor::SimulatedLight *light = m_light;
    light->setCurrentStage(4);
    light->setPhaseChangeTime(m_start.addSecs(106));
    Q_EMIT light->stateChanged();
    QVERIFY(acceptCommand(panel));
    const QString plain = panel->windowTitle();
    const QLabel &status = *statusLabel(panel);

    tickAt(panel, 121);
    QCOMPARE(panel->windowTitle(), QLatin1Char('!') + plain);
    QCOMPARE(status.text(), QStringLiteral("Stage 4: 15 DC: 121"));

    action(panel, "actionDark")->trigger();
    QCOMPARE(requestOf(light->lastResponse()), QStringLiteral("set_os"));
    tickAt(panel, 121);
    QCOMPARE(panel->windowTitle(), QLatin1Char(' ') + plain);
    QCOMPARE(status.text(), QStringLiteral("Stage 4: 15 DC: 121 Sending command: set_os"));

    // An accepted command is the operator's action: the warning ends.
    light->lastResponse()->finish(success);
    tickAt(panel, 121);
    QCOMPARE(panel->windowTitle(), plain);
    QCOMPARE(status.text(), QStringLiteral("Stage 4: 15 DC: 0"));
    QCOMPARE(m_raises.count, 1);
}

QTEST_MAIN(tst_Watchdog)
#include "tst_watchdog.moc"
