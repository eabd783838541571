// SPDX-License-Identifier: MIT
// The module's texts in the operator's language: the built catalogues
// reach every part of a panel through the contexts its code uses, the
// committed catalogues are complete and in line with the sources, and the
// workstation installs them for the language it is asked for.
#include "paneltest.h"

#include "response.h"

#include <helvor/simulatedlight.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLibraryInfo>
#include <QListWidget>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolBar>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

using Helvor::SimulatedLight;

namespace {

// A fixed instant, so that every span in a status line is known exactly.
QDateTime start()
{
    return QDateTime(QDate(2024, 3, 14), QTime(9, 26, 53));
}

// The contexts the code translates in: the form's class, the panel and its private object.
const QStringList contexts{QStringLiteral("Vorlan::Widget"), QStringLiteral("Vorlan::Widget::Private"),
                           QStringLiteral("widget")};

QString compiledCatalogue(const QString &language)
{
    return QStringLiteral(VORLAN_QM_DIR "/vorlan2_%1.qm").arg(language);
}

QString committedCatalogue(const QString &language)
{
    return QStringLiteral(VORLAN_TS_DIR "/vorlan2_%1.ts").arg(language);
}

struct Message
{
    QString context;
    QString source;
    QString translation;
    QString type;
};

// Every message of a catalogue, in file order; empty with an error on a broken file.
QList<Message> readCatalogue(const QString &fileName, QString *error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return {};
    }
    QList<Message> messages;
    QString context;
    Message message;
    bool inMessage = false;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == QLatin1String("name") && !inMessage) {
                context = xml.readElementText();
            } else if (xml.name() == QLatin1String("message")) {
                message = Message{context, {}, {}, {}};
                inMessage = true;
            } else if (xml.name() == QLatin1String("source")) {
                message.source = xml.readElementText();
            } else if (xml.name() == QLatin1String("translation")) {
                message.type = xml.attributes().value(QLatin1String("type")).toString();
                message.translation = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("message")) {
            messages.append(message);
            inMessage = false;
        }
    }
    if (xml.hasError()) {
        *error = QStringLiteral("%1, line %2").arg(xml.errorString()).arg(xml.lineNumber());
        return {};
    }
    return messages;
}

QSet<QString> keysOf(const QList<Message> &messages)
{
    QSet<QString> keys;
    for (const Message &message : messages)
        keys.insert(message.context + QLatin1String(" | ") + message.source);
    return keys;
}

QSet<QString> placeholdersOf(const QString &text)
{
    QSet<QString> found;
    QRegularExpressionMatchIterator it = QRegularExpression(QStringLiteral("%L?\\d+")).globalMatch(text);
    while (it.hasNext())
        found.insert(it.next().captured());
    return found;
}

QString listed(QStringList items)
{
    items.sort();
    return items.join(QLatin1String("; "));
}

} // namespace

class tst_Translations : public PanelTest
{
    Q_OBJECT

private Q_SLOTS:
    void panelTexts_data();
    void panelTexts();
    void stateTexts_data();
    void stateTexts();
    void statusLineParts_data();
    void statusLineParts();

    void catalogueComplete_data();
    void catalogueComplete();
    void catalogueMatchesSources_data();
    void catalogueMatchesSources();

    void workstationLanguage_data();
    void workstationLanguage();

protected:
    void initSuite() override;
    void cleanupEach() override;

private:
    // Installs the module's built catalogue for language, as a host does; "" installs none.
    bool speak(const QString &language);
    SimulatedLight *newLight(bool dispatchControl);

    QTranslator m_translator;
    QTemporaryDir m_dir;
};

void tst_Translations::initSuite()
{
    QVERIFY(m_dir.isValid());
}

void tst_Translations::cleanupEach()
{
    QCoreApplication::removeTranslator(&m_translator);
}

bool tst_Translations::speak(const QString &language)
{
    if (language.isEmpty())
        return true;
    return m_translator.load(compiledCatalogue(language)) && QCoreApplication::installTranslator(&m_translator);
}

SimulatedLight *tst_Translations::newLight(bool dispatchControl)
{
    auto *light = own(new SimulatedLight(12, QStringLiteral("Market Square")));
    light->setDispatchControl(dispatchControl);
    light->addStage(1, QStringLiteral("North-south"));
    light->addStage(2, QStringLiteral("Main road"));
    return light;
}

void tst_Translations::panelTexts_data()
{
    addColumns<QString, QString, QString, QString, QString, QString, QString, QString, QString>(
        {"language", "dcText", "dcTip", "yfTip", "suffix", "stageText", "stageTip", "promptTitle", "promptText"});

    // The source texts: what the panel shows while the host installs no catalogue.
    QTest::newRow("English, no catalogue")
        << QString() << QStringLiteral("DC") << QStringLiteral("Activate the dispatch control")
        << QStringLiteral("Manual control  to flashing yellow") << QStringLiteral("s") << QStringLiteral("2:Main road")
        << QStringLiteral("Set stage number 2: Main road") << QStringLiteral("Warning!")
        << QStringLiteral("You close the control panel, which is in the manual control mode. "
                          "Would you like to switch the controller in local mode?");
    QTest::newRow("German catalogue")
        << QStringLiteral("de") << QStringLiteral("Zentrale") << QStringLiteral("Zentralsteuerung übernehmen")
        << QStringLiteral("Handeingriff: auf Gelbblinken schalten") << QStringLiteral(" s")
        << QStringLiteral("2:Main road") << QStringLiteral("Phase 2 schalten: Main road") << QStringLiteral("Achtung!")
        << QStringLiteral("Sie schließen das Bedienfeld, während das Steuergerät unter Zentralsteuerung steht. "
                          "Soll das Steuergerät in den Ortsbetrieb zurückgeschaltet werden?");
    QTest::newRow("Russian catalogue")
        << QStringLiteral("ru") << QStringLiteral("ДУ") << QStringLiteral("Включить диспетчерское управление")
        << QStringLiteral("Ручное управление: включить жёлтое мигание") << QStringLiteral(" с")
        << QStringLiteral("2:Main road") << QStringLiteral("Включить фазу 2: Main road") << QStringLiteral("Внимание!")
        << QStringLiteral("Вы закрываете панель управления, находящуюся в режиме диспетчерского управления. "
                          "Перевести контроллер в локальный режим?");
}

void tst_Translations::panelTexts()
{
    QFETCH(QString, language);
    QFETCH(QString, dcText);
    QFETCH(QString, dcTip);
    QFETCH(QString, yfTip);
    QFETCH(QString, suffix);
    QFETCH(QString, stageText);
    QFETCH(QString, stageTip);
    QFETCH(QString, promptTitle);
    QFETCH(QString, promptText);

    QVERIFY2(speak(language), qPrintable(compiledCatalogue(language)));
    SimulatedLight *light = newLight(true);
    QPointer<QWidget> panel = openPanel(light);
    QVERIFY(panel);

    // The form, context "widget".
    QAction *dc = action(panel, "actionDC");
    QVERIFY(dc);
    QCOMPARE(dc->text(), dcText);
    QCOMPARE(dc->toolTip(), dcTip);
    QCOMPARE(action(panel, "actionYF")->toolTip(), yfTip);

    // The private object, context "Vorlan::Widget::Private": spin box and stage list.
    auto *spin = panel->findChild<QSpinBox *>();
    QVERIFY(spin);
    QCOMPARE(spin->suffix(), suffix);
    QVERIFY2(spin->text().endsWith(suffix), qPrintable(spin->text()));
    QListWidget *stages = stageList(panel);
    QVERIFY(stages);
    QCOMPARE(stages->count(), 2);
    QCOMPARE(stages->item(1)->text(), stageText);
    QCOMPARE(stages->item(1)->toolTip(), stageTip);

    // The panel, context "Vorlan::Widget": its title and the close prompt.
    QCOMPARE(panel->windowTitle(), QStringLiteral("12:Market Square"));
    const auto prompt = answerNextPrompt(QMessageBox::No);
    QVERIFY(panel->close());
    QVERIFY(prompt->seen);
    QCOMPARE(prompt->title, promptTitle);
    QCOMPARE(prompt->text, promptText);
    QCOMPARE(prompt->buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
}

void tst_Translations::stateTexts_data()
{
    addColumns<QString, bool, int, int, QString>({"language", "connected", "stage", "keyRegime", "statusLine"});

    struct Language
    {
        const char *name;
        QString code;
        QStringList lines; // disconnected, stage 2, key modes 0, 1, 2, 3 and 7
    };
    const QList<Language> languages{
        {"English",
         QString(),
         {QStringLiteral("Disconnected: 15"), QStringLiteral("Stage 2: 15"), QStringLiteral("Dark: 15"),
          QStringLiteral("Power switch level: 15"), QStringLiteral("YF: 15"),
          QStringLiteral("Signaling groups level: 15"), QStringLiteral("Unknown state: 15")}},
        {"German",
         QStringLiteral("de"),
         {QStringLiteral("Keine Verbindung: 15"), QStringLiteral("Phase 2: 15"), QStringLiteral("Dunkel: 15"),
          QStringLiteral("Ebene Lastschalter: 15"), QStringLiteral("Gelbblinken: 15"),
          QStringLiteral("Ebene Signalgruppen: 15"), QStringLiteral("Unbekannter Zustand: 15")}},
        {"Russian",
         QStringLiteral("ru"),
         {QStringLiteral("Нет связи: 15"), QStringLiteral("Фаза 2: 15"), QStringLiteral("ОС: 15"),
          QStringLiteral("Уровень силовых ключей: 15"), QStringLiteral("ЖМ: 15"),
          QStringLiteral("Уровень сигнальных групп: 15"), QStringLiteral("Неизвестное состояние: 15")}},
    };
    for (const Language &language : languages) {
        const auto row = [&](const char *state) {
            return &QTest::newRow(
                qPrintable(QStringLiteral("%1, %2").arg(QLatin1String(language.name), QLatin1String(state))));
        };
        *row("disconnected, stage 2 running") << language.code << false << 2 << 2 << language.lines.at(0);
        *row("stage 2") << language.code << true << 2 << 2 << language.lines.at(1);
        *row("no stage, key mode 0 (dark)") << language.code << true << -1 << 0 << language.lines.at(2);
        *row("no stage, key mode 1 (power switches)") << language.code << true << -1 << 1 << language.lines.at(3);
        *row("no stage, key mode 2 (flashing yellow)") << language.code << true << -1 << 2 << language.lines.at(4);
        *row("no stage, key mode 3 (signal groups)") << language.code << true << -1 << 3 << language.lines.at(5);
        *row("no stage, key mode 7") << language.code << true << -1 << 7 << language.lines.at(6);
    }
}

void tst_Translations::stateTexts()
{
    QFETCH(QString, language);
    QFETCH(bool, connected);
    QFETCH(int, stage);
    QFETCH(int, keyRegime);
    QFETCH(QString, statusLine);

    QVERIFY2(speak(language), qPrintable(compiledCatalogue(language)));
    Host::setClock(start());
    SimulatedLight *light = newLight(false);
    light->setConnected(connected);
    light->setCurrentStage(stage);
    light->setKeyRegime(keyRegime);
    light->setPhaseChangeTime(start().addSecs(-15));
    QWidget *panel = openPanel(light);
    QVERIFY(panel);

    QCOMPARE(statusAfterTick(panel), statusLine);
}

void tst_Translations::statusLineParts_data()
{
    addColumns<QString, QString>({"language", "statusLine"});

    QTest::newRow("English") << QString() << QStringLiteral("Stage 2: 57 DC: 42 Sending command: set_os");
    QTest::newRow("German") << QStringLiteral("de")
                            << QStringLiteral("Phase 2: 57 Zentrale: 42 Befehl wird gesendet: set_os");
    QTest::newRow("Russian") << QStringLiteral("ru") << QStringLiteral("Фаза 2: 57 ДУ: 42 Отправка команды: set_os");
}

void tst_Translations::statusLineParts()
{
    QFETCH(QString, language);
    QFETCH(QString, statusLine);

    QVERIFY2(speak(language), qPrintable(compiledCatalogue(language)));
    Host::setClock(start());
    SimulatedLight *light = newLight(true);
    light->setCurrentStage(2);
    light->setPhaseChangeTime(start().addSecs(-15));
    QWidget *panel = openPanel(light);
    QVERIFY(panel);

    // One accepted command starts the DC count; the next one is still under way.
    QVERIFY(play(panel, light, steps("YF, confirm")));
    Host::advanceClock(42);
    QVERIFY(play(panel, light, steps("Dark")));
    QVERIFY(light->lastResponse() && !light->lastResponse()->isFinished());

    QCOMPARE(statusAfterTick(panel), statusLine);
}

void tst_Translations::catalogueComplete_data()
{
    addRows<QString>("language",
                     {{"German catalogue", QStringLiteral("de")}, {"Russian catalogue", QStringLiteral("ru")}});
}

void tst_Translations::catalogueComplete()
{
    QFETCH(QString, language);

    QString error;
    const QList<Message> messages = readCatalogue(committedCatalogue(language), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(!messages.isEmpty());

    QSet<QString> seenContexts;
    QStringList faults;
    for (const Message &message : messages) {
        seenContexts.insert(message.context);
        const QString where = message.context + QLatin1String(" | \"") + message.source + QLatin1Char('"');
        // Unfinished texts are not shown; obsolete and vanished ones are dead weight that -no-obsolete drops.
        if (!message.type.isEmpty())
            faults.append(where + QLatin1String(" is ") + message.type);
        else if (message.translation.isEmpty())
            faults.append(where + QLatin1String(" has no translation"));
        if (placeholdersOf(message.source) != placeholdersOf(message.translation))
            faults.append(where + QLatin1String(" changes its placeholders"));
        // Such a text is appended to the line before it: its blank is the separator.
        if (message.source.startsWith(QLatin1Char(' ')) && !message.translation.startsWith(QLatin1Char(' ')))
            faults.append(where + QLatin1String(" loses its leading blank"));
    }
    QVERIFY2(faults.isEmpty(), qPrintable(listed(faults)));
    QCOMPARE(QSet<QString>(contexts.begin(), contexts.end()), seenContexts);
}

void tst_Translations::catalogueMatchesSources_data()
{
    catalogueComplete_data();
}

void tst_Translations::catalogueMatchesSources()
{
    QFETCH(QString, language);

    // The build's own extraction, run on a copy: the committed file stays as it is.
    const QString copy = m_dir.filePath(QStringLiteral("vorlan2_%1.ts").arg(language));
    QFile::remove(copy);
    QVERIFY(QFile::copy(committedCatalogue(language), copy));
    QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner));
    QProcess lupdate;
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(QStringLiteral(VORLAN_CMAKE),
                  {QStringLiteral("-DLUPDATE=" VORLAN_LUPDATE), QStringLiteral("-DSOURCE_DIR=" VORLAN_SOURCE_DIR),
                   QStringLiteral("-DTS_FILE=") + copy, QStringLiteral("-P"), QStringLiteral(VORLAN_TS_UPDATE)});
    QVERIFY2(lupdate.waitForFinished(60000), "lupdate did not finish within a minute");
    const QString output = QString::fromLocal8Bit(lupdate.readAll());
    QVERIFY2(lupdate.exitStatus() == QProcess::NormalExit && lupdate.exitCode() == 0, qPrintable(output));

    QString error;
    const QSet<QString> committed = keysOf(readCatalogue(committedCatalogue(language), &error));
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QSet<QString> extracted = keysOf(readCatalogue(copy, &error));
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(!extracted.isEmpty());

    const QSet<QString> missing = extracted - committed;
    const QSet<QString> stale = committed - extracted;
    QVERIFY2(missing.isEmpty(),
             qPrintable(QLatin1String("texts in the sources but not in the catalogue (run the translations_update "
                                      "target and translate them): ")
                        + listed(missing.values())));
    QVERIFY2(
        stale.isEmpty(),
        qPrintable(QLatin1String("texts in the catalogue that the sources no longer have: ") + listed(stale.values())));
}

void tst_Translations::workstationLanguage_data()
{
    addColumns<QStringList, QString, QString, int>({"arguments", "systemLocale", "language", "exitCode"});

    // language: whose catalogues are to be installed; empty for none of the module's.
    QTest::newRow("--lang de") << QStringList{QStringLiteral("--lang"), QStringLiteral("de")}
                               << QStringLiteral("C.UTF-8") << QStringLiteral("de") << 0;
    QTest::newRow("--lang ru") << QStringList{QStringLiteral("--lang"), QStringLiteral("ru")}
                               << QStringLiteral("C.UTF-8") << QStringLiteral("ru") << 0;
    QTest::newRow("--lang=de over a Russian system")
        << QStringList{QStringLiteral("--lang=de")} << QStringLiteral("ru_RU.UTF-8") << QStringLiteral("de") << 0;
    QTest::newRow("--lang en over a German system") << QStringList{QStringLiteral("--lang"), QStringLiteral("en")}
                                                    << QStringLiteral("de_DE.UTF-8") << QString() << 0;
    QTest::newRow("no --lang, Russian system")
        << QStringList() << QStringLiteral("ru_RU.UTF-8") << QStringLiteral("ru") << 0;
    QTest::newRow("no --lang, French system") << QStringList() << QStringLiteral("fr_FR.UTF-8") << QString() << 0;
    QTest::newRow("--lang fr, no catalogue")
        << QStringList{QStringLiteral("--lang"), QStringLiteral("fr")} << QStringLiteral("C.UTF-8") << QString() << 2;
}

void tst_Translations::workstationLanguage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, systemLocale);
    QFETCH(QString, language);
    QFETCH(int, exitCode);

    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("config")));
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("runtime")));
    QVERIFY(QFile::setPermissions(m_dir.filePath(QStringLiteral("runtime")),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The user's layout and settings stay out; --offscreen alone picks the platform.
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("runtime")));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("LANGUAGE"));
    environment.insert(QStringLiteral("LC_ALL"), systemLocale);
    environment.insert(QStringLiteral("LANG"), systemLocale);

    QProcess workstation;
    workstation.setProcessEnvironment(environment);
    workstation.start(
        QStringLiteral(VORLAN_WORKSTATION),
        arguments + QStringList{QStringLiteral("--offscreen"), QStringLiteral("--quit-after"), QStringLiteral("0.2")});
    QVERIFY2(workstation.waitForFinished(30000), "the workstation did not quit by itself");
    const QString out = QString::fromLocal8Bit(workstation.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(workstation.readAllStandardError());
    QVERIFY2(workstation.exitStatus() == QProcess::NormalExit, qPrintable(err));
    QVERIFY2(workstation.exitCode() == exitCode, qPrintable(err));
    if (exitCode != 0) {
        QVERIFY2(err.contains(QLatin1String("--lang")), qPrintable(err));
        QVERIFY2(out.isEmpty(), qPrintable(out));
        return;
    }
    QVERIFY2(!err.contains(QLatin1String("translation")), qPrintable(err));

    // The build's catalogue: an installed one beside the executable would come first, and there is none.
    const QString moduleLine = QStringLiteral("module texts from %1")
                                   .arg(QDir::cleanPath(QStringLiteral(VORLAN_QM_DIR "/vorlan2_%1.qm").arg(language)));
    const QString qtCatalogue =
        QLibraryInfo::location(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_%1.qm").arg(language);
    if (language.isEmpty()) {
        QVERIFY2(!out.contains(QLatin1String("module texts")), qPrintable(out));
    } else {
        QVERIFY2(out.contains(moduleLine), qPrintable(out));
        // Qt's own catalogues come with a package the machine may lack; then there is nothing to install.
        QCOMPARE(out.contains(QStringLiteral("Qt's texts from %1").arg(qtCatalogue)), QFile::exists(qtCatalogue));
    }
}

QTEST_MAIN(tst_Translations)
#include "tst_translations.moc"
