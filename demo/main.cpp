// SPDX-License-Identifier: MIT
// The workstation demo: the Vorlan2 module at work on simulated
// intersections, for an operator to try or a script to photograph.
#include "locations.h"
#include "module.h"
#include "showcase.h"
#include "workstation.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

namespace {

// The module reads its settings from these names when its object is made.
const QLatin1String organisation("Vorlan");
const QLatin1String application("Workstation");

// The languages the module has catalogues for, and its own.
const QStringList languages{QStringLiteral("de"), QStringLiteral("ru"), QStringLiteral("en")};

void complain(const QString &text)
{
    std::fprintf(stderr, "vorlan-workstation: %s\n", qPrintable(text));
}

void tell(const QString &text)
{
    std::printf("vorlan-workstation: %s\n", qPrintable(text));
    std::fflush(stdout);
}

// The host's part of translating the module: the module installs no
// translator, and builds its texts when a panel opens, so this must run
// before the first panel. Qt's own catalogue translates the buttons of the
// module's prompt. A language without a catalogue stays English.
bool installTranslators(const QString &language, QTranslator &module, QTranslator &qt)
{
    const QString moduleFile = Locations::moduleTranslation(language);
    if (!moduleFile.isEmpty() && module.load(moduleFile)) {
        QCoreApplication::installTranslator(&module);
        tell(QApplication::translate("main", "module texts from %1").arg(moduleFile));
    }
    const QString qtFolder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    if (qt.load(QStringLiteral("qtbase_") + language, qtFolder)) {
        QCoreApplication::installTranslator(&qt);
        tell(QApplication::translate("main", "Qt's texts from %1").arg(qt.filePath()));
    }
    return !module.isEmpty() || language == QLatin1String("en");
}

} // namespace

int main(int argc, char *argv[])
{
    // QGuiApplication takes "-plugin" for input plug-ins; ours is a
    // different thing, so it is taken out before Qt sees the arguments.
    // The platform must be chosen before the application exists.
    QString pluginFile;
    bool offscreen = false;
    int qtArgc = 0;
    for (int i = 0; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if ((arg == "--plugin" || arg == "-plugin") && i + 1 < argc) {
            pluginFile = QString::fromLocal8Bit(argv[++i]);
            continue;
        }
        if (arg.startsWith("--plugin=")) {
            pluginFile = QString::fromLocal8Bit(arg.mid(9));
            continue;
        }
        offscreen = offscreen || arg == "--offscreen";
        argv[qtArgc++] = argv[i];
    }
    argv[qtArgc] = nullptr;
    const bool noDisplay = qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (offscreen || (noDisplay && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication::setOrganizationName(organisation);
    QApplication::setApplicationName(application);
    QApplication app(qtArgc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QApplication::translate("main",
                                "Operator workstation with the Vorlan2 panels, on simulated intersections.\n"
                                "Settings: %1/%2, group Vorlan (the module's alarmSound, alarmBefore, "
                                "defaultInactivityPeriod).")
            .arg(organisation, application));
    parser.addHelpOption();
    const QCommandLineOption pluginOption(
        QStringLiteral("plugin"),
        QApplication::translate("main", "Load the Vorlan2 plug-in from <file>, not from the build or install folder."),
        QStringLiteral("file"));
    const QCommandLineOption offscreenOption(
        QStringLiteral("offscreen"),
        QApplication::translate("main", "Run without a display (the default when there is none)."));
    const QCommandLineOption openAllOption(QStringLiteral("open-all"),
                                           QApplication::translate("main", "Open a panel for every controller."));
    const QCommandLineOption screenshotOption(
        QStringLiteral("screenshot"),
        QApplication::translate("main",
                                "Take one controller under dispatch control with a stage ordered, then save "
                                "a picture of the window to <file> (PNG). The saved layout is not used."),
        QStringLiteral("file"));
    const QCommandLineOption langOption(
        QStringLiteral("lang"),
        QApplication::translate("main", "Show the panels in <language>: %1 (default: the system's language).")
            .arg(languages.join(QLatin1String(", "))),
        QStringLiteral("language"));
    const QCommandLineOption quitOption(QStringLiteral("quit-after"),
                                        QApplication::translate("main", "Quit after <seconds>, with exit status 0."),
                                        QStringLiteral("seconds"));
    parser.addOptions({pluginOption, offscreenOption, openAllOption, screenshotOption, langOption, quitOption});
    parser.process(app);

    bool quitValid = true;
    const double quitAfter = parser.isSet(quitOption) ? parser.value(quitOption).toDouble(&quitValid) : 0;
    if (!quitValid || quitAfter < 0) {
        complain(QApplication::translate("main", "--quit-after wants a number of seconds, not \"%1\".")
                     .arg(parser.value(quitOption)));
        return 2;
    }

    QString language = QLocale::system().name().section(QLatin1Char('_'), 0, 0);
    if (parser.isSet(langOption)) {
        language = parser.value(langOption);
        if (!languages.contains(language)) {
            complain(QApplication::translate("main", "--lang wants one of %1, not \"%2\".")
                         .arg(languages.join(QLatin1String(", ")), language));
            return 2;
        }
        QLocale::setDefault(QLocale(language));
    }
    QTranslator moduleTranslator;
    QTranslator qtTranslator;
    // Only a language asked for by name is missed; the system's may simply have no catalogue.
    if (!installTranslators(language, moduleTranslator, qtTranslator) && parser.isSet(langOption))
        complain(QApplication::translate("main",
                                         "no translation of the module into \"%1\" was found; "
                                         "its panels stay in English.")
                     .arg(language));

    Module module;
    if (!module.load(pluginFile.isEmpty() ? Locations::pluginCandidates() : QStringList{pluginFile})) {
        complain(module.errorString());
        return 1;
    }

    Workstation window(&module, Locations::schemaFolder(), QDateTime::currentDateTime());
    const QString screenshot = parser.value(screenshotOption);
    // A scripted picture must not depend on how the last user left the window.
    window.setKeepsLayout(screenshot.isEmpty());
    const bool firstRun = screenshot.isEmpty() && !window.restoreLayout();
    if (parser.isSet(openAllOption))
        window.openAllPanels();
    window.show();
    if (firstRun)
        window.showWhatToTry();

    int status = 0;
    Showcase showcase(&window);
    QObject::connect(&showcase, &Showcase::photographed, &app, [&](bool saved) {
        if (saved) {
            tell(QApplication::translate("main", "saved %1 (%2 x %3)")
                     .arg(screenshot)
                     .arg(window.width())
                     .arg(window.height()));
        } else {
            complain(QApplication::translate("main", "could not save %1").arg(screenshot));
            status = 1;
        }
    });
    if (!screenshot.isEmpty())
        showcase.photograph(screenshot);
    if (parser.isSet(quitOption)) {
        // Precise: from two seconds on, a single shot is coarse by default
        // and may come up to 5 % early, and "after" means not before.
        QTimer::singleShot(qRound(quitAfter * 1000), Qt::PreciseTimer, &app, [&] {
            showcase.saveNow();
            window.close();
            QApplication::exit(status);
        });
    }
    const int result = app.exec();
    return status ? status : result;
}
