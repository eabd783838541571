// SPDX-License-Identifier: MIT
#include "paneltest.h"
#include "response.h"

#include <helvor/simulatedlight.h>

#include <QAction>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <limits>

namespace {

// The panels' watchdog ticks every 500 ms (a coarse timer, so up to 5 %
// late); on a loaded machine the event loop adds its own delay, which a
// CI box with 2 cores, perhaps running a sanitizer build beside us, may
// stretch. Later than both is a watchdog that fails its operator.
constexpr qint64 tickMilliseconds = 500;
constexpr qint64 toleranceMilliseconds = 250;

// A controller that notes, by the real clock, when it is handed back to
// local mode.
class WatchedLight : public Helvor::SimulatedLight
{
    Q_OBJECT

public:
    explicit WatchedLight(int number)
        : Helvor::SimulatedLight(number, QStringLiteral("Junction %1").arg(number))
    {
        setDispatchControl(true);
        for (int stage = 1; stage <= 4; ++stage)
            addStage(stage, QStringLiteral("Stage %1").arg(stage));
        setCurrentStage(1);
    }

    QDateTime localAt;
    int localRequests = 0;

protected:
    void localRequested() override
    {
        if (!localAt.isValid())
            localAt = QDateTime::currentDateTime();
        ++localRequests;
    }
};

} // namespace

class tst_DeadMan : public PanelTest
{
    Q_OBJECT

private Q_SLOTS:
    void localModeOnTimeUnderLoad_data();
    void localModeOnTimeUnderLoad();
};

// The deadline is the panels' own 500 ms timer racing the wall clock they
// read: neither a moved clock nor ticks sent by hand would test it, so this
// suite runs in real time.

void tst_DeadMan::localModeOnTimeUnderLoad_data()
{
    addColumns<int, int, int, int, int>(
        {"panels", "shortestPeriod", "longestPeriod", "alarmBefore", "stateChangesPerSecond"});

    QTest::newRow("200 panels, periods 2 to 4 s, alarmBefore 1, 1,000 state changes per second")
        << 200 << 2 << 4 << 1 << 1000;
}

void tst_DeadMan::localModeOnTimeUnderLoad()
{
    QFETCH(int, panels);
    QFETCH(int, shortestPeriod);
    QFETCH(int, longestPeriod);
    QFETCH(int, alarmBefore);
    QFETCH(int, stateChangesPerSecond);

    QVERIFY(setModuleValue("alarmBefore", alarmBefore));
    QList<WatchedLight *> lights;
    QList<QWidget *> widgets;
    QList<int> periods;
    for (int i = 0; i < panels; ++i) {
        auto *light = own(new WatchedLight(1000 + i));
        QWidget *panel = openPanel(light);
        QVERIFY(panel);
        QVERIFY(dispatchActive(panel));
        QVERIFY(action(panel, "actionDC")->isChecked());
        // Silent: the sound is no part of the switch, and there is no one to hear it.
        action(panel, "actionSound")->setChecked(false);
        const int period = shortestPeriod + i % (longestPeriod - shortestPeriod + 1);
        QVERIFY(panel->setProperty("inactivityPeriod", period));
        lights.append(light);
        widgets.append(panel);
        periods.append(period);
    }

    // The controllers report state changes at the total rate asked for,
    // in turn, from start to end; the count follows the clock, so a late
    // timer makes up for the changes it missed.
    QElapsedTimer loadClock;
    loadClock.start();
    qint64 stateChanges = 0;
    QTimer load;
    load.setTimerType(Qt::PreciseTimer);
    load.setInterval(10);
    connect(&load, &QTimer::timeout, this, [&] {
        const qint64 due = loadClock.elapsed() * stateChangesPerSecond / 1000;
        for (; stateChanges < due; ++stateChanges)
            Q_EMIT lights.at(int(stateChanges % lights.size()))->stateChanged();
    });
    load.start();

    // A command accepted on each panel, a tenth of them every 50 ms, so
    // that the deadlines fall at every phase of the panels' ticks. The
    // moment is the one the panel noted.
    QList<QDateTime> accepted;
    QTimer accepting;
    accepting.setInterval(50);
    connect(&accepting, &QTimer::timeout, this, [&] {
        const int batchEnd = qMin(panels, accepted.size() + qMax(1, panels / 10));
        while (accepted.size() < batchEnd) {
            const int i = accepted.size();
            action(widgets.at(i), "actionYF")->trigger();
            Response *response = lights.at(i)->lastResponse();
            if (!response) {
                accepted.append(QDateTime());
                continue;
            }
            response->finish(Response::Success);
            accepted.append(lastActionAt(widgets.at(i)));
        }
        if (accepted.size() == panels)
            accepting.stop();
    });
    accepting.start();

    const auto switched = [&] {
        return std::all_of(lights.cbegin(), lights.cend(),
                           [](const WatchedLight *light) { return light->localAt.isValid(); });
    };
    // The last command goes in after about half a second; its deadline
    // follows the longest period plus one second, and a tick more.
    const int timeout = 1000 + (longestPeriod + 1) * 1000 + int(tickMilliseconds + toleranceMilliseconds) + 1000;
    QTRY_VERIFY_WITH_TIMEOUT(switched(), timeout);
    load.stop();
    const qint64 loadMilliseconds = loadClock.elapsed();

    QCOMPARE(accepted.size(), panels);
    qint64 worst = std::numeric_limits<qint64>::min();
    qint64 total = 0;
    QStringList wrong;
    for (int i = 0; i < panels; ++i) {
        const QDateTime &at = accepted.at(i);
        if (!at.isValid()) {
            wrong.append(QStringLiteral("panel %1: no command accepted").arg(i));
            continue;
        }
        // The switch comes on the first tick on which more whole seconds
        // than the period have passed since the accepted command.
        const QDateTime deadline = at.addSecs(periods.at(i) + 1);
        const qint64 lateness = deadline.msecsTo(lights.at(i)->localAt);
        worst = qMax(worst, lateness);
        total += lateness;
        if (lateness < 0 || lateness > tickMilliseconds + toleranceMilliseconds)
            wrong.append(QStringLiteral("panel %1 (period %2 s): local mode %3 ms after its deadline")
                             .arg(i)
                             .arg(periods.at(i))
                             .arg(lateness));
        if (lights.at(i)->localRequests != 1)
            wrong.append(QStringLiteral("panel %1: %2 local-mode requests").arg(i).arg(lights.at(i)->localRequests));
        if (action(widgets.at(i), "actionDC")->isChecked())
            wrong.append(QStringLiteral("panel %1: still in dispatch-control mode").arg(i));
    }
    const double rate = loadMilliseconds > 0 ? stateChanges * 1000.0 / loadMilliseconds : 0.0;
    qInfo("%d panels: worst lateness %lld ms, mean %lld ms after the deadline (bound %lld ms); "
          "%lld state changes in %lld ms, %.0f per second",
          panels, worst, total / panels, tickMilliseconds + toleranceMilliseconds, stateChanges, loadMilliseconds,
          rate);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1String("; "))));
    // The load was what it claims to be.
    QVERIFY2(rate >= 0.9 * stateChangesPerSecond, qPrintable(QString::number(rate)));
}

QTEST_MAIN(tst_DeadMan)
#include "tst_deadman.moc"
