// SPDX-License-Identifier: MIT
// The panel's costs as an operator meets them: how long opening a panel
// takes, what idle panels cost, how much memory a panel holds and what a
// state change costs, each against the floor it cannot go below. Loads the
// built plug-in as the workstation does and drives it with the host's
// simulated controllers on the offscreen platform. It measures and
// reports; the test suites decide.

#include "benchapplication.h"
#include "junctionsvg.h"

#include <helvor/simulatedintersection.h>

#include <QAbstractEventDispatcher>
#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLibrary>
#include <QListWidget>
#include <QMainWindow>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QPluginLoader>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>
#include <QSvgRenderer>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include <malloc.h>
#include <time.h>

namespace {

const QSize iconSize(200, 125);
// The plan's paths: about 136 KB of SVG for the benchmark's controller and
// about 25 KB, the size of the demo's plans, for the fleet behind it.
constexpr int planPaths = 3000;
constexpr int fleetPlanPaths = 500;
constexpr int composedStages = 16;
constexpr int fleetStages = 4;
constexpr int stateStages = 32;

struct Settings
{
    bool quick = false;
    int repeats = 11;
    int memoryPanels = 12;
    int stateCalls = 2000;
    int stateBatches = 7;
    int scaleOpens = 5;
    QList<int> scale{1, 50, 200, 500};
    // The idle figure with 200 panels, the other numbers of panels, the
    // bare timers' floors, and the wait after opening before idling counts.
    int idleMsecs = 10000;
    int scaleIdleMsecs = 5000;
    int floorMsecs = 4000;
    int settleMsecs = 4000;
};

qint64 clockNanoseconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// CPU time of this thread: the machine may be busy with other work, which
// stretches wall times but not this.
qint64 threadCpu()
{
    return clockNanoseconds(CLOCK_THREAD_CPUTIME_ID);
}

qint64 processCpu()
{
    return clockNanoseconds(CLOCK_PROCESS_CPUTIME_ID);
}

qint64 wallClock()
{
    return clockNanoseconds(CLOCK_MONOTONIC);
}

qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return 0;
}

// Resident memory with the allocator's free pages handed back first: a
// baseline that holds only what is alive, so growth from it is what new
// panels hold (and whatever they leave behind unreturned).
qint64 residentBaseline()
{
    malloc_trim(0);
    return residentBytes();
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void runEventLoop(int msecs)
{
    QEventLoop loop;
    QTimer::singleShot(msecs, &loop, &QEventLoop::quit);
    loop.exec();
}

// Deferred deletions and layout requests settle before anything is measured.
void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

// One figure: name, value and unit, and what it is held against. A floor
// is measured in the same run; a target is only printed for comparison.
void report(const QByteArray &name, double value, const char *unit, double floor, const char *floorText,
            const QString &target)
{
    if (floor > 0) {
        std::printf("%-32s %12.3f %-5s floor %12.3f %-5s %-36s ratio %7.2f  %s\n", name.constData(), value, unit, floor,
                    unit, floorText, value / floor, qPrintable(target));
    } else {
        std::printf("%-32s %12.3f %-5s floor %12s %-5s %-36s ratio %7s  %s\n", name.constData(), value, unit, "-", unit,
                    "(not measured)", "-", qPrintable(target));
    }
    std::fflush(stdout);
}

void note(const QString &text)
{
    std::printf("# %s\n", qPrintable(text));
    std::fflush(stdout);
}

QString cpuModel()
{
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (info.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : info.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
        }
    }
    return QStringLiteral("unknown");
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// The plug-in as the host sees it, and the schema files its controllers name.
struct Bench
{
    QPluginLoader loader;
    QObject *plugin = nullptr;
    QTemporaryDir schemas;
    QString planSvg;
    QString fleetPlanSvg;
    QStringList overlaySvgs;
    int nextNumber = 1;

    QString schemaPath(const QString &name) const
    {
        return schemas.filePath(name);
    }

    QWidget *open(QObject *light)
    {
        QWidget *panel = nullptr;
        QMetaObject::invokeMethod(plugin, "open", Q_RETURN_ARG(QWidget *, panel), Q_ARG(QObject *, light));
        return panel;
    }

    // A controller whose stage pictures are composed: metafile names with
    // SVG siblings, on a plan that is a metafile name with an SVG sibling.
    std::unique_ptr<Helvor::SimulatedIntersection> controller(int stages, const QString &plan, bool withPictures = true)
    {
        QList<Helvor::SimulatedIntersection::StagePlan> programme;
        for (int i = 1; i <= stages; ++i) {
            const QString shema =
                withPictures ? schemaPath(QStringLiteral("stage%1.wmf").arg((i - 1) % composedStages + 1)) : QString();
            programme.append({i, QStringLiteral("Movement %1").arg(i), 20, shema});
        }
        const int number = nextNumber++;
        auto light =
            std::make_unique<Helvor::SimulatedIntersection>(number, QStringLiteral("Junction %1").arg(number),
                                                            programme, QDateTime::currentDateTime(), quint32(number));
        light->setShema(plan);
        return light;
    }
};

// The floor of opening: every distinct SVG drawn once into a pixmap of the
// list's icon size, parsing included, as any way of showing them must.
double svgFloorMsecs(const QStringList &files, std::vector<double> *parse = nullptr,
                     std::vector<double> *render = nullptr)
{
    const qint64 start = threadCpu();
    for (const QString &file : files) {
        QPixmap pixmap(iconSize);
        pixmap.fill(Qt::white);
        QPainter painter(&pixmap);
        const qint64 beforeLoad = threadCpu();
        QSvgRenderer renderer;
        renderer.load(file);
        const qint64 beforeRender = threadCpu();
        renderer.render(&painter);
        painter.end();
        if (parse && render) {
            parse->push_back((beforeRender - beforeLoad) / 1e6);
            render->push_back((threadCpu() - beforeRender) / 1e6);
        }
    }
    return (threadCpu() - start) / 1e6;
}

struct OpenTimes
{
    double cpuMsecs = 0;
    double wallMsecs = 0;
};

// One open() for a fresh controller made by make; the panel is deleted
// again, as a closed panel deletes itself.
template<typename Make> OpenTimes timeOpen(Bench &bench, Make make)
{
    auto light = make();
    const qint64 wall0 = wallClock();
    const qint64 cpu0 = threadCpu();
    QWidget *panel = bench.open(light.get());
    const qint64 cpu1 = threadCpu();
    const qint64 wall1 = wallClock();
    if (!panel)
        qFatal("open returned no panel");
    delete panel;
    light.reset();
    settle();
    return {(cpu1 - cpu0) / 1e6, (wall1 - wall0) / 1e6};
}

template<typename Make> OpenTimes medianOpen(Bench &bench, int repeats, Make make)
{
    std::vector<double> cpu, wall;
    for (int i = 0; i < repeats; ++i) {
        const OpenTimes times = timeOpen(bench, make);
        cpu.push_back(times.cpuMsecs);
        wall.push_back(times.wallMsecs);
    }
    return {median(cpu), median(wall)};
}

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

// Bytes of pixels the items' icons hold, each shared pixmap counted once.
qint64 iconPixelBytes(QWidget *panel)
{
    auto *list = panel->findChild<QListWidget *>(QStringLiteral("listWidget"));
    if (!list)
        return 0;
    QSet<qint64> seen;
    qint64 bytes = 0;
    for (int row = 0; row < list->count(); ++row) {
        const QIcon icon = list->item(row)->icon();
        for (const QSize &size : icon.availableSizes()) {
            const QPixmap pixmap = icon.pixmap(size);
            if (!seen.contains(pixmap.cacheKey())) {
                seen.insert(pixmap.cacheKey());
                bytes += qint64(pixmap.width()) * pixmap.height() * pixmap.depth() / 8;
            }
        }
    }
    // Looking at them put them in the global cache; leave no trace.
    QPixmapCache::clear();
    return bytes;
}

QtMessageHandler defaultHandler = nullptr;

// The offscreen platform says on every docking that it cannot pass size
// hints on; that is no news for a benchmark.
void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("propagateSizeHints")))
        return;
    defaultHandler(type, context, message);
}

} // namespace

int main(int argc, char *argv[])
{
    // Every figure is taken on the offscreen platform, display or not.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    defaultHandler = qInstallMessageHandler(quietHandler);
    BenchApplication app(argc, argv);
    // The host names the application before it asks for the plug-in object;
    // a name of its own keeps any workstation settings out of the figures.
    QCoreApplication::setOrganizationName(QStringLiteral("Vorlan"));
    QCoreApplication::setApplicationName(QStringLiteral("Benchmark"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Measures the control panel's costs against their floors."));
    parser.addHelpOption();
    const QCommandLineOption quickOption(QStringLiteral("quick"),
                                         QStringLiteral("A few seconds: checks that it runs."));
    // Not "--plugin": QGuiApplication takes that for its input plug-ins.
    const QCommandLineOption pluginOption(QStringLiteral("library"), QStringLiteral("The plug-in library to load."),
                                          QStringLiteral("file"), QStringLiteral(VORLAN_PLUGIN_PATH));
    const QCommandLineOption onlyOption(
        QStringLiteral("only"), QStringLiteral("Only these figures: open, state, memory, idle (comma-separated)."),
        QStringLiteral("figures"));
    const QCommandLineOption scaleOption(
        QStringLiteral("scale"), QStringLiteral("Numbers of open panels for the idle figures (comma-separated)."),
        QStringLiteral("counts"));
    const QCommandLineOption idleOption(QStringLiteral("idle-seconds"),
                                        QStringLiteral("How long each idle figure is taken over."),
                                        QStringLiteral("seconds"));
    const QCommandLineOption scaleOpensOption(QStringLiteral("scale-opens"),
                                              QStringLiteral("Opens timed at each number of panels; 0 for none."),
                                              QStringLiteral("count"));
    parser.addOptions({quickOption, pluginOption, onlyOption, scaleOption, idleOption, scaleOpensOption});
    parser.process(app);

    Settings settings;
    if (parser.isSet(quickOption)) {
        settings.quick = true;
        settings.repeats = 2;
        settings.memoryPanels = 2;
        settings.stateCalls = 200;
        settings.stateBatches = 3;
        settings.scaleOpens = 1;
        settings.scale = {1, 20};
        settings.idleMsecs = 500;
        settings.scaleIdleMsecs = 500;
        settings.floorMsecs = 600;
        settings.settleMsecs = 300;
    }
    if (parser.isSet(scaleOption)) {
        settings.scale.clear();
        for (const QString &count : parser.value(scaleOption).split(QLatin1Char(','), Qt::SkipEmptyParts))
            settings.scale.append(qMax(1, count.toInt()));
        if (settings.scale.isEmpty())
            settings.scale.append(200);
    }
    if (parser.isSet(idleOption))
        settings.idleMsecs = settings.scaleIdleMsecs = qMax(100, int(parser.value(idleOption).toDouble() * 1000));
    if (parser.isSet(scaleOpensOption))
        settings.scaleOpens = qMax(0, parser.value(scaleOpensOption).toInt());
    const QStringList only = parser.value(onlyOption).split(QLatin1Char(','), Qt::SkipEmptyParts);
    const auto wanted = [&](const char *figure) {
        return only.isEmpty() || only.contains(QLatin1String(figure));
    };

    Bench bench;
    // A relative name is taken from here, not searched for in Qt's plug-in paths.
    bench.loader.setFileName(QFileInfo(parser.value(pluginOption)).absoluteFilePath());
    bench.plugin = bench.loader.instance();
    if (!bench.plugin) {
        std::fprintf(stderr, "cannot load the plug-in: %s\n", qPrintable(bench.loader.errorString()));
        return 1;
    }
    if (!bench.schemas.isValid()) {
        std::fprintf(stderr, "no temporary folder for the schemas\n");
        return 1;
    }
    const QByteArray plan = JunctionSvg::plan(planPaths);
    bench.planSvg = bench.schemaPath(QStringLiteral("plan.svg"));
    bench.fleetPlanSvg = bench.schemaPath(QStringLiteral("fleetplan.svg"));
    bool written = writeFile(bench.planSvg, plan) && writeFile(bench.fleetPlanSvg, JunctionSvg::plan(fleetPlanPaths));
    qint64 overlayBytes = 0;
    for (int stage = 1; stage <= composedStages; ++stage) {
        const QByteArray overlay = JunctionSvg::overlay(stage);
        overlayBytes += overlay.size();
        bench.overlaySvgs.append(bench.schemaPath(QStringLiteral("stage%1.svg").arg(stage)));
        written = written && writeFile(bench.overlaySvgs.constLast(), overlay);
    }
    if (!written) {
        std::fprintf(stderr, "cannot write the schemas\n");
        return 1;
    }
    const QString planName = bench.schemaPath(QStringLiteral("plan.wmf"));
    const QString fleetPlanName = bench.schemaPath(QStringLiteral("fleetplan.wmf"));

    note(QStringLiteral("Vorlan2 benchmark%1, %2")
             .arg(settings.quick ? QStringLiteral(" (quick)") : QString(),
                  QDateTime::currentDateTime().toString(Qt::ISODate)));
    note(QStringLiteral("machine: %1 processors, %2; Qt %3 (built with %4), %5, platform %6")
             .arg(std::thread::hardware_concurrency())
             .arg(cpuModel(), QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR),
                  QSysInfo::prettyProductName(), QGuiApplication::platformName()));
    note(QStringLiteral("plug-in %1, version %2")
             .arg(bench.loader.fileName(), bench.plugin->property("moduleVersion").toString()));
    note(QStringLiteral("plan %1 bytes with %2 paths; %3 stage overlays, %4 bytes on average")
             .arg(plan.size())
             .arg(planPaths)
             .arg(composedStages)
             .arg(overlayBytes / composedStages));
    note(QStringLiteral("times are this thread's CPU time (medians) unless marked wall"));

    QMainWindow window;
    window.setCentralWidget(new QWidget);
    window.resize(1280, 800);
    window.show();
    settle();
    app.watchTimers("Vorlan::Widget::Private");

    // The SVG files a panel with composed stages draws from, each once.
    QStringList distinct{bench.planSvg};
    distinct += bench.overlaySvgs;
    const auto composed = [&] {
        return bench.controller(composedStages, planName);
    };

    // 1. Open latency against drawing each distinct SVG once.
    if (wanted("open")) {
        // Warm up: fonts, style and image plug-ins load on first use.
        medianOpen(bench, 2, composed);
        svgFloorMsecs(distinct);

        // Floor and open take turns: the allocator's state, which drawing
        // many paths is sensitive to, is then the same for both.
        std::vector<double> floors, floorsWall, opens, opensWall, planParse, planRender, overlays;
        for (int i = 0; i < settings.repeats; ++i) {
            std::vector<double> parse, render;
            const qint64 wall0 = wallClock();
            floors.push_back(svgFloorMsecs(distinct, &parse, &render));
            floorsWall.push_back((wallClock() - wall0) / 1e6);
            planParse.push_back(parse.front());
            planRender.push_back(render.front());
            for (size_t j = 1; j < parse.size(); ++j)
                overlays.push_back(parse[j] + render[j]);
            const OpenTimes open = timeOpen(bench, composed);
            opens.push_back(open.cpuMsecs);
            opensWall.push_back(open.wallMsecs);
        }
        const double floor = median(floors);
        const OpenTimes open{median(opens), median(opensWall)};
        const OpenTimes bare = medianOpen(bench, settings.repeats, [&] { return bench.controller(0, QString()); });
        const QString target = QStringLiteral("target <= 1.50 x floor");
        report("open_latency_16_composed", open.cpuMsecs, "ms", floor, "(17 distinct SVGs drawn once)", target);
        report("open_latency_16_composed_wall", open.wallMsecs, "ms", median(floorsWall), "(the same, wall time)",
               target);
        report("open_latency_no_stages", bare.cpuMsecs, "ms", floor, "(17 distinct SVGs drawn once)",
               QStringLiteral("Qt's widgets for one panel"));
        report("plan_svg_parse", median(planParse), "ms", floor, "(17 distinct SVGs drawn once)",
               QStringLiteral("part of the floor"));
        report("plan_svg_render", median(planRender), "ms", floor, "(17 distinct SVGs drawn once)",
               QStringLiteral("part of the floor"));
        report("overlay_svg_parse_and_render", median(overlays), "ms", floor, "(17 distinct SVGs drawn once)",
               QStringLiteral("part of the floor, each"));
    }

    // 4. State change with 32 stages, against reading the state itself.
    if (wanted("state")) {
        auto light = bench.controller(stateStages, QString(), false);
        light->setDispatchControl(true);
        light->setCurrentStage(3);
        auto *panel = qobject_cast<QDockWidget *>(bench.open(light.get()));
        if (!panel)
            qFatal("open returned no panel");
        // Seen by the operator: docked, visible, laid out.
        QMainWindow stateWindow;
        stateWindow.addDockWidget(Qt::BottomDockWidgetArea, panel);
        stateWindow.resize(1280, 800);
        stateWindow.show();
        settle();

        const auto perCall = [&](const std::function<void(int)> &call) {
            std::vector<double> batches;
            for (int batch = 0; batch < settings.stateBatches; ++batch) {
                const qint64 cpu0 = threadCpu();
                for (int i = 0; i < settings.stateCalls; ++i)
                    call(i);
                batches.push_back((threadCpu() - cpu0) / 1e3 / settings.stateCalls);
                // Repaints belong to the event loop, not to the signal.
                settle();
            }
            return median(batches);
        };
        const double unchanged = perCall([&](int) { Q_EMIT light->stateChanged(); });
        const double moving = perCall([&](int i) {
            light->setCurrentStage(3 + i % 2);
            Q_EMIT light->stateChanged();
        });
        delete panel;

        // The floor: the state that any handler must read, delivered the same way.
        auto reader = bench.controller(stateStages, QString(), false);
        QObject context;
        int sink = 0;
        QObject::connect(reader.get(), &Helvor::Light::stateChanged, &context, [&] {
            sink += reader->property("controlSource").toInt() + reader->property("controlAlgorithm").toInt()
                + reader->property("isConnected").toBool() + reader->property("keyRegime").toInt()
                + reader->currentStage();
        });
        const double floor = perCall([&](int) { Q_EMIT reader->stateChanged(); });
        Q_UNUSED(sink)
        const QString target = QStringLiteral("target <= 20 us");
        report("state_change_32_unchanged", unchanged, "us", floor, "(reading the controller's state)", target);
        report("state_change_32_stage_moves", moving, "us", floor, "(reading the controller's state)", target);
    }

    // 3. Memory per panel against the pixels its pictures hold.
    if (wanted("memory")) {
        const double pixelBytes = double(composedStages) * iconSize.width() * iconSize.height() * 4;
        // A first panel pays for what every later one shares.
        medianOpen(bench, 1, composed);
        std::vector<std::unique_ptr<Helvor::SimulatedIntersection>> lights;
        std::vector<QPointer<QWidget>> panels;
        settle();

        // What Qt's widgets of a panel cost alone: no stages at all.
        const qint64 bareBefore = residentBaseline();
        for (int i = 0; i < settings.memoryPanels; ++i) {
            lights.push_back(bench.controller(0, QString()));
            panels.emplace_back(bench.open(lights.back().get()));
        }
        settle();
        const double perBarePanel = double(residentBytes() - bareBefore) / settings.memoryPanels;
        for (auto &panel : panels)
            delete panel.data();
        panels.clear();
        lights.clear();
        settle();

        const qint64 before = residentBaseline();
        for (int i = 0; i < settings.memoryPanels; ++i) {
            lights.push_back(composed());
            panels.emplace_back(bench.open(lights.back().get()));
        }
        settle();
        const qint64 after = residentBytes();
        const double perPanel = double(after - before) / settings.memoryPanels;
        const qint64 held = iconPixelBytes(panels.front());

        // Shown once each, as the operator goes through the tabs.
        QMainWindow memoryWindow;
        memoryWindow.resize(1280, 800);
        memoryWindow.show();
        for (size_t i = 0; i < panels.size(); ++i) {
            auto *dock = qobject_cast<QDockWidget *>(panels[i].data());
            if (i == 0)
                memoryWindow.addDockWidget(Qt::BottomDockWidgetArea, dock);
            else
                memoryWindow.tabifyDockWidget(qobject_cast<QDockWidget *>(panels[0].data()), dock);
            dock->show();
            dock->raise();
            settle();
        }
        const qint64 shown = residentBytes();
        const double perPanelShown = double(shown - before) / settings.memoryPanels;
        for (auto &panel : panels)
            delete panel.data();
        panels.clear();
        lights.clear();
        settle();

        const QString target = QStringLiteral("target <= %1 KB (1.25 x floor + 200 KB)")
                                   .arg((1.25 * pixelBytes + 200 * 1024) / 1024, 0, 'f', 1);
        report("memory_per_panel_16_composed", perPanel / 1024, "KB", pixelBytes / 1024, "(16 x 200 x 125 x 4 bytes)",
               target);
        report("memory_per_panel_shown_once", perPanelShown / 1024, "KB", pixelBytes / 1024,
               "(16 x 200 x 125 x 4 bytes)",
               QStringLiteral("incl. the global pixmap cache, at most %1 KB").arg(QPixmapCache::cacheLimit()));
        report("pixels_held_by_icons", held / 1024.0, "KB", pixelBytes / 1024, "(16 x 200 x 125 x 4 bytes)",
               QStringLiteral("one panel's item icons"));
        report("memory_per_panel_no_stages", perBarePanel / 1024, "KB", pixelBytes / 1024, "(16 x 200 x 125 x 4 bytes)",
               QStringLiteral("Qt's widgets for one panel"));
    }

    // 2 and 5. Idle cost and opening at scale.
    if (wanted("idle")) {
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
        const auto privateOf =
            reinterpret_cast<PrivateOf>(QLibrary(bench.loader.fileName()).resolve("vorlan_panel_private"));
        QElapsedTimer fleetClock;
        fleetClock.start();
        for (int count : qAsConst(settings.scale)) {
            while (int(fleet.size()) < count) {
                const qint64 wait = qint64(fleet.size()) * 25 - fleetClock.elapsed();
                if (wait > 0)
                    runEventLoop(int(wait));
                fleet.push_back(bench.controller(fleetStages, fleetPlanName));
                auto *dock = qobject_cast<QDockWidget *>(bench.open(fleet.back().get()));
                if (!dock)
                    qFatal("open returned no panel");
                // Docked as the workstation docks them: tabs below its list.
                if (docks.empty())
                    window.addDockWidget(Qt::BottomDockWidgetArea, dock);
                else
                    window.tabifyDockWidget(docks.front(), dock);
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
            step.idle = measureIdle(app, step.idleMsecs);
            if (privateOf) {
                // Each panel counts its seconds from its controller's phase change.
                QList<qint64> starts;
                for (const auto &light : fleet)
                    starts.append(light->phaseChangeTime().toMSecsSinceEpoch());
                step.floor = measureIdleFloor(app, docks, starts, privateOf, settings.floorMsecs);
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
    return 0;
}
