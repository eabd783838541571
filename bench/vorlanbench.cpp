// SPDX-License-Identifier: MIT
// The panel's costs as an operator meets them: how long opening a panel
// takes, what idle panels cost, how much memory a panel holds and what a
// state change costs, each against the floor it cannot go below. Loads the
// built plug-in as the workstation does and drives it with the host's
// simulated controllers on the offscreen platform. It measures and
// reports; the test suites decide.

#include "bench.h"
#include "benchapplication.h"
#include "idlecost.h"
#include "memoryperpanel.h"
#include "openlatency.h"
#include "settings.h"
#include "statechange.h"

#include <QCommandLineParser>
#include <QStringList>

namespace {

// The figures by the names --only takes, in the order they run: each
// meets the heap and the window that the ones before it leave.
struct Figure
{
    const char *name;
    void (*measure)(Bench &bench);
};

const Figure figures[] = {
    {"open", openLatency},
    {"state", stateChange},
    {"memory", memoryPerPanel},
    {"idle", idleCost},
};

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

    QStringList names;
    for (const Figure &figure : figures)
        names.append(QLatin1String(figure.name));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Measures the control panel's costs against their floors."));
    parser.addHelpOption();
    const QCommandLineOption quickOption(QStringLiteral("quick"),
                                         QStringLiteral("A few seconds: checks that it runs."));
    // Not "--plugin": QGuiApplication takes that for its input plug-ins.
    const QCommandLineOption pluginOption(QStringLiteral("library"), QStringLiteral("The plug-in library to load."),
                                          QStringLiteral("file"), QStringLiteral(VORLAN_PLUGIN_PATH));
    const QCommandLineOption onlyOption(
        QStringLiteral("only"),
        QStringLiteral("Only these figures: %1 (comma-separated).").arg(names.join(QLatin1String(", "))),
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

    Bench bench(app, settings);
    if (!bench.start(parser.value(pluginOption)))
        return 1;
    for (const Figure &figure : figures) {
        if (only.isEmpty() || only.contains(QLatin1String(figure.name)))
            figure.measure(bench);
    }
    return 0;
}
