// SPDX-License-Identifier: MIT
// The workstation demo as a script runs it: the built executable, in a
// process of its own.
#include "paneltest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLibraryInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Lines that Qt's platforms print whatever the application does.
const QStringList platformNoise{QStringLiteral("propagateSizeHints"), QStringLiteral("XDG_RUNTIME_DIR")};

// Marks of a warning about our code, from it or from Qt.
const QStringList warningMarks{QStringLiteral("Vorlan"),  QStringLiteral("QObject::"),  QStringLiteral("QMetaObject::"),
                               QStringLiteral("Cannot"),  QStringLiteral("QWidget::"),  QStringLiteral("QMainWindow::"),
                               QStringLiteral("QLayout"), QStringLiteral("QPainter::"), QStringLiteral("QPixmap"),
                               QStringLiteral("QSvg"),    QStringLiteral("QFont"),      QStringLiteral("QSettings"),
                               QStringLiteral("QSound"),  QStringLiteral("arning"),     QStringLiteral("rror"),
                               QStringLiteral("ailed"),   QStringLiteral("ASSERT"),     QStringLiteral("not found"),
                               QStringLiteral("no such")};

// The pure green a panel paints behind the running stage.
const QRgb runningGreen = qRgb(0, 255, 0);

struct Run
{
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
    qint64 msecs = 0;
};

} // namespace

// On the fixture for its hooks alone: the plug-in is loaded by the
// workstation's process, never by this one.
class tst_WorkstationCli : public PanelTest
{
    Q_OBJECT

public:
    tst_WorkstationCli()
        : PanelTest(QStringLiteral(VORLAN_PLUGIN_FILE), Start::Unloaded)
    {
    }

private Q_SLOTS:
    void help();
    void screenshotRun();
    void pluginNamedOnCommandLine_data();
    void pluginNamedOnCommandLine();
    void refusesWhatIsNotThePlugin_data();
    void refusesWhatIsNotThePlugin();
    void badQuitAfter();

protected:
    void initSuite() override;

private:
    Run run(const QStringList &arguments, int timeout = 30000) const;

    QTemporaryDir m_dir;
};

void tst_WorkstationCli::initSuite()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QFileInfo(QStringLiteral(VORLAN_WORKSTATION)).isExecutable());
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("config")));
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("runtime")));
    QVERIFY(QFile::setPermissions(m_dir.filePath(QStringLiteral("runtime")),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

Run tst_WorkstationCli::run(const QStringList &arguments, int timeout) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The user's layout and module settings stay out; --offscreen alone picks the platform.
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("runtime")));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));

    QProcess process;
    process.setProcessEnvironment(environment);
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(VORLAN_WORKSTATION), arguments);
    Run result;
    result.finished = process.waitForFinished(timeout) && process.exitStatus() == QProcess::NormalExit;
    if (!result.finished)
        process.kill();
    result.msecs = clock.elapsed();
    result.exitCode = process.exitCode();
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

void tst_WorkstationCli::help()
{
    const Run help = run({QStringLiteral("--help")});
    QVERIFY(help.finished);
    QCOMPARE(help.exitCode, 0);
    QVERIFY2(help.out.contains(QLatin1String("Settings: Vorlan/Workstation, group Vorlan")), qPrintable(help.out));
    for (const char *option :
         {"--plugin <file>", "--offscreen", "--open-all", "--screenshot <file>", "--quit-after <seconds>"}) {
        const QRegularExpression line(
            QStringLiteral("\n  %1 +\\S").arg(QRegularExpression::escape(QLatin1String(option))));
        QVERIFY2(help.out.contains(line), option);
    }
}

void tst_WorkstationCli::screenshotRun()
{
    // Real time by nature: the workstation waits for its panels to draw and
    // its controllers to answer, and quits after its four seconds.
    const QString file = m_dir.filePath(QStringLiteral("workstation.png"));
    const Run shot = run({QStringLiteral("--offscreen"), QStringLiteral("--open-all"), QStringLiteral("--screenshot"),
                          file, QStringLiteral("--quit-after"), QStringLiteral("4")});
    QVERIFY2(shot.finished, "the workstation did not quit by itself");
    QVERIFY2(shot.exitCode == 0, qPrintable(shot.err));
    QVERIFY2(shot.msecs >= 4000, "it quit before its time");

    const QStringList lines = shot.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const bool noise = std::any_of(platformNoise.cbegin(), platformNoise.cend(),
                                       [&](const QString &mark) { return line.contains(mark); });
        if (noise)
            continue;
        for (const QString &mark : warningMarks)
            QVERIFY2(!line.contains(mark), qPrintable(line));
    }

    const QRegularExpressionMatch report =
        QRegularExpression(QStringLiteral("saved (.+) \\((\\d+) x (\\d+)\\)")).match(shot.out);
    QVERIFY2(report.hasMatch(), qPrintable(shot.out));
    QCOMPARE(report.captured(1), file);
    const QSize windowSize(report.captured(2).toInt(), report.captured(3).toInt());
    // A scripted run ignores any saved geometry: the window has its first size.
    QCOMPARE(windowSize, QSize(1400, 850));

    const QImage image = QImage(file).convertToFormat(QImage::Format_RGB32);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), windowSize);

    // The panels dock below the list: a blank window would be a few flat
    // greys there, a panel is icons, text and the running stage's green.
    QSet<QRgb> colours;
    QSet<QRgb> lowerColours;
    int greenAbove = 0;
    int greenBelow = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        const bool lower = y >= image.height() / 2;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = line[x] | 0xff000000u;
            colours.insert(pixel);
            if (lower)
                lowerColours.insert(pixel);
            if (pixel == runningGreen)
                ++(lower ? greenBelow : greenAbove);
        }
    }
    QVERIFY2(colours.size() > 1000, qPrintable(QString::number(colours.size())));
    QVERIFY2(lowerColours.size() > 500, qPrintable(QString::number(lowerColours.size())));
    // A stage item's label band, at least 150 x 15 pixels.
    QVERIFY2(greenBelow + greenAbove > 2250, qPrintable(QString::number(greenBelow + greenAbove)));
    QVERIFY2(greenBelow > greenAbove, qPrintable(QString::number(greenBelow)));
}

void tst_WorkstationCli::pluginNamedOnCommandLine_data()
{
    addRows<QString>("form",
                     {{"--plugin FILE", QStringLiteral("--plugin %1")},
                      {"--plugin=FILE", QStringLiteral("--plugin=%1")},
                      {"-plugin FILE", QStringLiteral("-plugin %1")}});
}

void tst_WorkstationCli::pluginNamedOnCommandLine()
{
    QFETCH(QString, form);
    const QStringList quick{QStringLiteral("--offscreen"), QStringLiteral("--quit-after"), QStringLiteral("0.2")};
    const Run named = run(form.arg(QStringLiteral(VORLAN_PLUGIN_FILE)).split(QLatin1Char(' ')) + quick);
    QVERIFY(named.finished);
    QVERIFY2(named.exitCode == 0, qPrintable(named.err));

    // Heard, not ignored: a file that is not there stops the run.
    const QString missing = m_dir.filePath(QStringLiteral("elsewhere/libVorlan2.so"));
    const Run misnamed = run(form.arg(missing).split(QLatin1Char(' ')) + quick);
    QVERIFY(misnamed.finished);
    QCOMPARE(misnamed.exitCode, 1);
    QVERIFY2(misnamed.err.contains(missing), qPrintable(misnamed.err));
}

void tst_WorkstationCli::refusesWhatIsNotThePlugin_data()
{
    addColumns<QString, QString>({"file", "complaint"});
    QTest::newRow("no such file") << m_dir.filePath(QStringLiteral("nowhere/libVorlan2.so"))
                                  << QStringLiteral("plug-in was not found");
    QTest::newRow("a library, no plug-in") << QStringLiteral(VORLAN_HELVOR_FILE) << QStringLiteral("is no Qt plug-in");
    QTest::newRow("another Qt plug-in") << QLibraryInfo::location(QLibraryInfo::PluginsPath)
            + QLatin1String("/platforms/libqoffscreen.so")
                                        << QStringLiteral("is not the Vorlan2 plug-in");
}

void tst_WorkstationCli::refusesWhatIsNotThePlugin()
{
    QFETCH(QString, file);
    QFETCH(QString, complaint);
    const Run refused = run({QStringLiteral("--offscreen"), QStringLiteral("--plugin"), file,
                             QStringLiteral("--quit-after"), QStringLiteral("5")});
    QVERIFY(refused.finished);
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.err.contains(complaint), qPrintable(refused.err));
    QVERIFY2(refused.msecs < 5000, "it ran instead of stopping");
}

void tst_WorkstationCli::badQuitAfter()
{
    const Run bad = run({QStringLiteral("--offscreen"), QStringLiteral("--quit-after"), QStringLiteral("soon")});
    QVERIFY(bad.finished);
    QCOMPARE(bad.exitCode, 2);
    QVERIFY2(bad.err.contains(QLatin1String("--quit-after")), qPrintable(bad.err));
}

QTEST_GUILESS_MAIN(tst_WorkstationCli)
#include "tst_workstation_cli.moc"
