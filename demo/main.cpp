// SPDX-License-Identifier: MIT
// A minimal host: loads the module as the workstation does, opens one
// panel for a simulated controller and docks it.
#include <helvor/simulatedlight.h>
#include <helvor/stage.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QDockWidget>
#include <QJsonObject>
#include <QMainWindow>
#include <QPluginLoader>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Without a display the workstation still runs, on the offscreen platform.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // QGuiApplication takes "-plugin" for input plug-ins; ours is a
    // different thing, so it is taken out before Qt sees the arguments.
    QString pluginPath = QStringLiteral(VORLAN_PLUGIN_DIR "/libVorlan2.so");
    int qtArgc = 0;
    for (int i = 0; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if ((arg == "--plugin" || arg == "-plugin") && i + 1 < argc) {
            pluginPath = QString::fromLocal8Bit(argv[++i]);
            continue;
        }
        if (arg.startsWith("--plugin=")) {
            pluginPath = QString::fromLocal8Bit(arg.mid(9));
            continue;
        }
        argv[qtArgc++] = argv[i];
    }
    argv[qtArgc] = nullptr;

    QApplication::setOrganizationName(QStringLiteral("Vorlan"));
    QApplication::setApplicationName(QStringLiteral("Workstation"));
    QApplication app(qtArgc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Operator workstation with the Vorlan2 panels"));
    parser.addHelpOption();
    QCommandLineOption pluginOption(QStringLiteral("plugin"), QStringLiteral("Path of the Vorlan2 plug-in."),
                                    QStringLiteral("file"));
    QCommandLineOption quitOption(QStringLiteral("quit-after"), QStringLiteral("Quit after this many seconds."),
                                  QStringLiteral("seconds"));
    parser.addOption(pluginOption);
    parser.addOption(quitOption);
    parser.process(app);

    QPluginLoader loader(pluginPath);
    const QString iid = loader.metaData().value(QStringLiteral("IID")).toString();
    if (!iid.endsWith(QLatin1String(".road.VorlanPlugin"))) {
        std::fprintf(stderr, "vorlan-workstation: %s is not the Vorlan2 plug-in: %s\n", qPrintable(pluginPath),
                     qPrintable(loader.errorString()));
        return 1;
    }
    QObject *plugin = loader.instance();
    if (!plugin) {
        std::fprintf(stderr, "vorlan-workstation: cannot load %s: %s\n", qPrintable(loader.fileName()),
                     qPrintable(loader.errorString()));
        return 1;
    }

    Helvor::SimulatedLight light(12, QStringLiteral("North gate"));
    light.addStage(1, QStringLiteral("Main road"));
    light.addStage(2, QStringLiteral("Side road"));
    light.setCurrentStage(1);
    light.setPhaseChangeTime(QDateTime::currentDateTime());
    light.setDispatchControl(true);

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Vorlan2 workstation"));
    window.resize(900, 600);

    QWidget *panel = nullptr;
    QMetaObject::invokeMethod(plugin, "open", Q_RETURN_ARG(QWidget *, panel), Q_ARG(QObject *, &light));
    if (auto *dock = qobject_cast<QDockWidget *>(panel))
        window.addDockWidget(Qt::LeftDockWidgetArea, dock);
    window.show();

    if (parser.isSet(quitOption))
        QTimer::singleShot(int(parser.value(quitOption).toDouble() * 1000), &app, &QApplication::quit);
    return app.exec();
}
