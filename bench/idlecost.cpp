// SPDX-License-Identifier: MIT
#include "idlecost.h"

#include "bench.h"
#include "benchapplication.h"
#include "clocks.h"
#include "eventloop.h"
#include "median.h"
#include "opentimes.h"
#include "report.h"

#include <helvor/simulatedintersection.h>

#include <QAbstractEventDispatcher>
#include <QDateTime>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QLabel>
#include <QLibrary>
#include <QMainWindow>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>
#include <QToolBar>

namespace {

constexpr int fleetStages = 4;

struct IdleCost
{
    double cpuPercent = 0;
    double usPerTick = 0;
    double handlerUsPerTick = 0;
    qint64 ticks = 0;
};

IdleCost measureIdle(BenchApplication &app, int msecs)
{
    app.resetTicks();
    const qint64 cpu0 = processCpu();
    const qint64 wall0 = wallClock();
    runEventLoop(msecs);
    const qint64 cpu = processCpu() - cpu0;
    const qint64 wall = wallClock() - wall0;
    IdleCost cost;
    cost.ticks = app.ticks();
    cost.cpuPercent = 100.0 * double(cpu) / double(wall);
    cost.usPerTick = cost.ticks ? cpu / 1e3 / double(cost.ticks) : 0;
    cost.handlerUsPerTick = cost.ticks ? app.tickNanoseconds() / 1e3 / double(cost.ticks) : 0;
    return cost;
}

// The status line of a panel: the one label on its tool bar.
QLabel *statusLabelOf(QWidget *panel)
{
    auto *toolBar = panel->findChild<QToolBar *>(QStringLiteral("toolBar"));
    return toolBar ? toolBar->findChild<QLabel *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

// The floor of idling: what Qt costs to keep these status lines counting
// seconds, in the same docked widgets, with one coarse 500 ms timer each
// and nothing else. Each line counts from its own start, as its panel
// does, and each bare timer takes over the phase of the panel timer it
// stands for: lines that change together share one round of layout, so
// when they change decides much of the cost.
IdleCost measureStatusLineFloor(BenchApplication &app, const QList<QLabel *> &labels, const QList<qint64> &starts,
                                const QList<int> &phases, int msecs)
{
    static const QRegularExpression counting(QStringLiteral("^(.*: )(-?\\d+)$"));
    QObject holder;
    for (int i = 0; i < labels.size(); ++i) {
        QLabel *label = labels.at(i);
        const QRegularExpressionMatch match = counting.match(label->text());
        const QString prefix = match.hasMatch() ? match.captured(1) : QStringLiteral("Stage 1: ");
        const qint64 start = starts.value(i);
        auto *timer = new QTimer(&holder);
        timer->setTimerType(Qt::CoarseTimer);
        timer->setInterval(500);
        QObject::connect(timer, &QTimer::timeout, label, [label, prefix, start] {
            label->setText(prefix + QString::number((QDateTime::currentMSecsSinceEpoch() - start) / 1000));
        });
        QTimer::singleShot(phases.value(i), Qt::PreciseTimer, timer, qOverload<>(&QTimer::start));
    }
    app.watchTimers("QTimer");
    runEventLoop(qMin(msecs, 1000));
    const IdleCost cost = measureIdle(app, msecs);
    app.watchTimers("Vorlan::Widget::Private");
    return cost;
}

using PrivateOf = QObject *(*)(QWidget *);

// The floor of idling with these very panels: their own timers pause
// (through the plug-in's test hook) while bare timers with the same phases
// keep their status lines counting; then each resumes on its old beat.
IdleCost measureIdleFloor(BenchApplication &app, const std::vector<QPointer<QDockWidget>> &docks,
                          const QList<qint64> &starts, PrivateOf privateOf, int msecs)
{
    struct Paused
    {
        QObject *d;
        QAbstractEventDispatcher::TimerInfo timer;
        int remaining;
    };
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    std::vector<Paused> paused;
    QList<QLabel *> labels;
    QList<qint64> lineStarts;
    QList<int> phases;
    QElapsedTimer since;
    since.start();
    for (size_t i = 0; i < docks.size(); ++i) {
        QDockWidget *dock = docks[i];
        QObject *d = dock ? privateOf(dock) : nullptr;
        const QList<QAbstractEventDispatcher::TimerInfo> timers =
            d ? dispatcher->registeredTimers(d) : QList<QAbstractEventDispatcher::TimerInfo>();
        if (timers.isEmpty())
            continue;
        const int remaining = qMax(0, dispatcher->remainingTime(timers.first().timerId));
        dispatcher->unregisterTimers(d);
        paused.push_back({d, timers.first(), remaining});
        labels.append(statusLabelOf(dock));
        lineStarts.append(starts.value(int(i)));
        phases.append(remaining);
    }
    const IdleCost cost = measureStatusLineFloor(app, labels, lineStarts, phases, msecs);
    const qint64 elapsed = since.elapsed();
    for (const Paused &entry : paused) {
        // The timer keeps its id, which the panel holds to stop it by.
        const int delay = int(((entry.remaining - elapsed) % 500 + 500) % 500);
        QTimer::singleShot(delay, Qt::PreciseTimer, entry.d, [dispatcher, entry] {
            dispatcher->registerTimer(entry.timer.timerId, entry.timer.interval, entry.timer.timerType, entry.d);
        });
    }
    return cost;
}

} // namespace

void idleCost(Bench &bench)
{
    const Settings &settings = bench.settings();
    const QStringList distinct = bench.distinctSvgs();
    const auto composed = [&] {
        return bench.composed();
    };
    struct Step
    {
        int count;
        double open;
        double openFloor;
        int idleMsecs;
        IdleCost idle;
        IdleCost floor;
    };
    std::vector<Step> steps;
    std::vector<std::unique_ptr<Helvor::SimulatedIntersection>> fleet;
    std::vector<QPointer<QDockWidget>> docks;
    // The panels' timers start as they open. Ticks that come together
    // share one round of layout, so the timers' phases decide much of
    // the idle cost; opened 25 ms apart (the coarse timer's slack),
    // they fall on 20 phases spread over the 500 ms, every run alike.
    const auto privateOf = reinterpret_cast<PrivateOf>(QLibrary(bench.pluginFile()).resolve("vorlan_panel_private"));
    QElapsedTimer fleetClock;
    fleetClock.start();
    for (int count : qAsConst(settings.scale)) {
        while (int(fleet.size()) < count) {
            const qint64 wait = qint64(fleet.size()) * 25 - fleetClock.elapsed();
            if (wait > 0)
                runEventLoop(int(wait));
            fleet.push_back(bench.controller(fleetStages, bench.fleetPlan()));
            auto *dock = qobject_cast<QDockWidget *>(bench.open(fleet.back().get()));
            if (!dock)
                qFatal("open returned no panel");
            // Docked as the workstation docks them: tabs below its list.
            if (docks.empty())
                bench.window().addDockWidget(Qt::BottomDockWidgetArea, dock);
            else
                bench.window().tabifyDockWidget(docks.front(), dock);
            docks.emplace_back(dock);
        }
        settle();
        Step step{count, 0, 0, 0, {}, {}};
        if (settings.scaleOpens > 0) {
            // Against the floor taken in turn with it, as in figure 1:
            // the allocator's state moves as panels open.
            std::vector<double> opens, floors;
            for (int i = 0; i < settings.scaleOpens; ++i) {
                floors.push_back(svgFloorMsecs(distinct));
                opens.push_back(timeOpen(bench, composed).cpuMsecs);
            }
            step.open = median(opens);
            step.openFloor = median(floors);
        }
        // Opening leaves work behind for some seconds (the lists lay out
        // their items, the window its docks): idling starts after it.
        runEventLoop(settings.settleMsecs);
        step.idleMsecs = count == 200 ? settings.idleMsecs : settings.scaleIdleMsecs;
        step.idle = measureIdle(bench.app(), step.idleMsecs);
        if (privateOf) {
            // Each panel counts its seconds from its controller's phase change.
            QList<qint64> starts;
            for (const auto &light : fleet)
                starts.append(light->phaseChangeTime().toMSecsSinceEpoch());
            step.floor = measureIdleFloor(bench.app(), docks, starts, privateOf, settings.floorMsecs);
        }
        steps.push_back(step);
    }
    if (!privateOf)
        note(QStringLiteral("the plug-in has no test hook: no idle floors"));

    const Step &firstStep = steps.front();
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step &step = steps[i];
        const QByteArray suffix = '_' + QByteArray::number(step.count);
        const QString idleTarget = step.count == 200 ? QStringLiteral("target <= 1 % of one core")
                                                     : QStringLiteral("linear or better in panels");
        report("idle_cpu" + suffix, step.idle.cpuPercent, "%", step.floor.cpuPercent,
               "(Qt: timers keep the lines counting)", idleTarget);
        report("idle_us_per_panel_tick" + suffix, step.idle.usPerTick, "us", step.floor.usPerTick,
               "(the same floor, per tick)",
               QStringLiteral("%1 ticks in %2 s").arg(step.idle.ticks).arg(step.idleMsecs / 1000.0));
        report("tick_handler_us" + suffix, step.idle.handlerUsPerTick, "us", step.floor.handlerUsPerTick,
               "(a bare timer setting the text)", QStringLiteral("the panel's timer event alone"));

        if (settings.scaleOpens > 0) {
            report("open_latency_with_panels" + suffix, step.open, "ms", step.openFloor,
                   "(17 distinct SVGs drawn once, here)",
                   QStringLiteral("ratio with %1 open: %2")
                       .arg(firstStep.count)
                       .arg(firstStep.open / firstStep.openFloor, 0, 'f', 2));
        }
    }
    // Growth from the second number of panels to the last, per panel,
    // against the growth of the floor itself (Qt's window lays out all
    // its docks in each round). Below the second number one panel's
    // share is lost in the window's own cost.
    if (steps.size() > 2) {
        const Step &second = steps[1];
        const Step &last = steps.back();
        const double perPanel = (last.idle.cpuPercent / last.count) / (second.idle.cpuPercent / second.count);
        const double floorPerPanel = second.floor.cpuPercent > 0
            ? (last.floor.cpuPercent / last.count) / (second.floor.cpuPercent / second.count)
            : 0;
        report("idle_cpu_per_panel_growth", perPanel, "x", floorPerPanel,
               qPrintable(QStringLiteral("(the floor's, %1 to %2 panels)").arg(second.count).arg(last.count)),
               QStringLiteral("<= 1 is linear or better"));
        if (settings.scaleOpens > 0) {
            const Step &first = steps.front();
            report("open_latency_growth", last.open / first.open, "x", last.openFloor / first.openFloor,
                   qPrintable(QStringLiteral("(the floor's, %1 to %2 panels)").arg(first.count).arg(last.count)),
                   QStringLiteral("<= 1 is constant or better"));
        }
    }
    fleet.clear();
    settle();
}
