// SPDX-License-Identifier: MIT
// Plays the host for a memory check: loads the plug-in, opens and closes
// panels for simulated controllers whose stages have composed pictures,
// deletes the plug-in object and unloads the library. Whatever the plug-in
// leaves behind then shows up as lost memory, and anything of it still
// alive after the unload as an invalid access. scripts/memcheck.sh runs it.

#include "response.h"

#include <helvor/simulatedlight.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QPluginLoader>
#include <QPointer>
#include <QTemporaryDir>
#include <QWidget>

#include <cstdio>

namespace {

constexpr int panelCount = 50;
constexpr int stageCount = 4;

int fail(const QString &why)
{
    std::fprintf(stderr, "vorlan-memcheck: %s\n", qPrintable(why));
    return 1;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// The junction's plan: two crossing roads.
QByteArray planSvg()
{
    return QByteArrayLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"200\" height=\"125\">"
                             "<rect width=\"200\" height=\"125\" fill=\"#a3cf7f\"/>"
                             "<rect x=\"80\" width=\"40\" height=\"125\" fill=\"#dedad1\"/>"
                             "<rect y=\"42\" width=\"200\" height=\"40\" fill=\"#dedad1\"/>"
                             "</svg>");
}

// One stage's movements, drawn over the plan: a different arrow for each.
QByteArray stageSvg(int stage)
{
    return QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"200\" height=\"125\">"
                          "<path d=\"M100,62 L%1,%2\" stroke=\"#2e7d32\" stroke-width=\"6\" fill=\"none\"/>"
                          "</svg>")
        .arg(stage % 2 ? 10 : 190)
        .arg(stage < 3 ? 10 : 115)
        .toUtf8();
}

QWidget *openPanel(QObject *plugin, QObject *light)
{
    QWidget *panel = nullptr;
    QMetaObject::invokeMethod(plugin, "open", Q_RETURN_ARG(QWidget *, panel), Q_ARG(QObject *, light));
    return panel;
}

QList<QWidget *> openPanels(QObject *plugin)
{
    QList<QWidget *> panels;
    QMetaObject::invokeMethod(plugin, "panels", Q_RETURN_ARG(QList<QWidget *>, panels));
    return panels;
}

QtMessageHandler standardMessages = nullptr;

// The offscreen platform says this for every panel shown; anything else passes.
void filterMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message == QLatin1String("This plugin does not support propagateSizeHints()"))
        return;
    if (standardMessages)
        standardMessages(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

// Runs deferred deletions, which closing a panel or losing its controller asks for.
void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

int main(int argc, char **argv)
{
    // A headless check: no display needed, and none of a desktop's own noise in the report.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    standardMessages = qInstallMessageHandler(filterMessages);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Vorlan"));
    QCoreApplication::setApplicationName(QStringLiteral("Memcheck"));

    const QStringList arguments = QCoreApplication::arguments();
    const QString pluginFile = arguments.size() > 1 ? arguments.at(1) : QStringLiteral(VORLAN_PLUGIN_FILE);

    // Metafile schemas, as a real controller names them, with the SVG
    // drawings beside them that the panel composes its stage pictures from.
    QTemporaryDir schemas;
    if (!schemas.isValid())
        return fail(QStringLiteral("no temporary folder: ") + schemas.errorString());
    const QString plan = schemas.filePath(QStringLiteral("plan.svg"));
    if (!writeFile(plan, planSvg()))
        return fail(QStringLiteral("cannot write ") + plan);
    for (int stage = 1; stage <= stageCount; ++stage) {
        const QString base = schemas.filePath(QStringLiteral("stage%1").arg(stage));
        if (!writeFile(base + QLatin1String(".wmf"), QByteArray())
            || !writeFile(base + QLatin1String(".svg"), stageSvg(stage)))
            return fail(QStringLiteral("cannot write ") + base);
    }

    QPluginLoader loader(pluginFile);
    QPointer<QObject> plugin = loader.instance();
    if (!plugin)
        return fail(loader.errorString());

    for (int i = 0; i < panelCount; ++i) {
        auto *light = new Helvor::SimulatedLight(100 + i, QStringLiteral("Junction %1").arg(i));
        light->setShema(plan);
        for (int stage = 1; stage <= stageCount; ++stage)
            light->addStage(stage, QStringLiteral("Stage %1").arg(stage),
                            schemas.filePath(QStringLiteral("stage%1.wmf").arg(stage)));
        light->setCurrentStage(1 + i % stageCount);

        QPointer<QWidget> panel = openPanel(plugin, light);
        if (!panel)
            return fail(QStringLiteral("no panel for controller %1").arg(light->number()));
        panel->show();
        settle();

        // Every other controller is taken under dispatch control, sent a
        // command that it answers, and handed back before its panel closes.
        if (i % 2 == 0) {
            auto *dispatchControl = panel->findChild<QAction *>(QStringLiteral("actionDC"));
            auto *flashingYellow = panel->findChild<QAction *>(QStringLiteral("actionYF"));
            if (!dispatchControl || !flashingYellow)
                return fail(QStringLiteral("the panel has no DC or YF action"));
            light->setDispatchControl(true);
            Q_EMIT light->stateChanged();
            dispatchControl->trigger();
            flashingYellow->trigger();
            Response *response = light->lastResponse();
            if (!response)
                return fail(QStringLiteral("no command reached controller %1").arg(light->number()));
            response->finish(Response::Success);
            dispatchControl->trigger();
            light->setDispatchControl(false);
            Q_EMIT light->stateChanged();
        }

        // Both ways a panel ends: the operator closes it, or its controller goes.
        if (i % 4 < 2) {
            panel->close();
            settle();
            delete light;
        } else {
            delete light;
            settle();
        }
        if (panel)
            return fail(QStringLiteral("the panel for controller %1 outlived its end").arg(100 + i));
    }

    if (!openPanels(plugin).isEmpty())
        return fail(QStringLiteral("panels still listed after all were closed"));
    delete plugin;
    if (!loader.unload())
        return fail(QStringLiteral("cannot unload: ") + loader.errorString());
    std::printf("vorlan-memcheck: %d panels opened and closed, plug-in unloaded\n", panelCount);
    return 0;
}
