// SPDX-License-Identifier: MIT
#include "paneltest.h"

#include <helvor/simulatedlight.h>

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString organization = QStringLiteral("Vorlan Test Centre");
const QString application = QStringLiteral("tst_settings");
const QString group = QStringLiteral("Vorlan");

// The four places the module's user-scope reading falls back through, in
// the order in which they win.
enum Location { UserApplication, UserOrganization, SystemApplication, SystemOrganization };
constexpr Location locations[] = {UserApplication, UserOrganization, SystemApplication, SystemOrganization};

std::unique_ptr<QSettings> settingsAt(Location location)
{
    switch (location) {
    case UserApplication:
        return std::make_unique<QSettings>(QSettings::UserScope, organization, application);
    case UserOrganization:
        return std::make_unique<QSettings>(QSettings::UserScope, organization);
    case SystemApplication:
        return std::make_unique<QSettings>(QSettings::SystemScope, organization, application);
    case SystemOrganization:
        return std::make_unique<QSettings>(QSettings::SystemScope, organization);
    }
    return nullptr;
}

} // namespace

class tst_Settings : public PanelTest
{
    Q_OBJECT

public:
    explicit tst_Settings(const QString &scratch)
        : PanelTest(Host::pluginPath(), Start::Unloaded)
        , m_scratch(scratch)
    {
    }

private Q_SLOTS:
    // Runs first: nothing has been written yet.
    void noSettings();
    void precedence_data();
    void precedence();
    void integerValues_data();
    void integerValues();
    void defaultPeriodOfNewPanel_data();
    void defaultPeriodOfNewPanel();
    void propertyValueWithoutSettings_data();
    void propertyValueWithoutSettings();
    void readOncePerPluginObject();
    void alarmSoundPath_data();
    void alarmSoundPath();
    void neverWritten();

protected:
    void initSuite() override;
    void cleanupEach() override;

private:
    void write(Location location, const QString &key, const QVariant &value);
    void renewPlugin();
    QStringList scratchFiles() const;

    const QString m_scratch;
};

void tst_Settings::initSuite()
{
    // Nothing may be written outside the scratch folder, least of all the
    // machine's own settings.
    for (const Location location : locations) {
        const QString file = settingsAt(location)->fileName();
        QVERIFY2(file.startsWith(m_scratch + QLatin1Char('/')), qPrintable(file));
    }
    QCOMPARE(settingsAt(UserApplication)->fileName(),
             m_scratch + QStringLiteral("/user/%1/%2.conf").arg(organization, application));
    QCOMPARE(settingsAt(SystemOrganization)->fileName(),
             m_scratch + QStringLiteral("/system/%1.conf").arg(organization));
    // Loaded only: the first plug-in object is made by the first test.
    QVERIFY2(host.loader().load(), qPrintable(host.loader().errorString()));
}

void tst_Settings::cleanupEach()
{
    for (const Location location : locations) {
        // Through QSettings: its in-process cache of the files stays true.
        std::unique_ptr<QSettings> settings = settingsAt(location);
        settings->clear();
        settings->sync();
        QCOMPARE(settings->status(), QSettings::NoError);
    }
    // The plug-in object is made by the first test, after the settings
    // were read: the values it found are put back here, not at the start.
    QVERIFY(setModuleValue("alarmSound", QString()));
    QVERIFY(setModuleValue("alarmBefore", builtinAlarmBefore));
    QVERIFY(setModuleValue("defaultInactivityPeriod", builtinDefaultInactivityPeriod));
}

void tst_Settings::write(Location location, const QString &key, const QVariant &value)
{
    std::unique_ptr<QSettings> settings = settingsAt(location);
    settings->beginGroup(group);
    settings->setValue(key, value);
    settings->endGroup();
    settings->sync();
    QCOMPARE(settings->status(), QSettings::NoError);
}

// The settings are read by the plug-in object's constructor, and only there.
void tst_Settings::renewPlugin()
{
    delete host.plugin();
    QVERIFY(host.plugin());
}

QStringList tst_Settings::scratchFiles() const
{
    QStringList files;
    QDirIterator it(m_scratch, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    files.sort();
    return files;
}

void tst_Settings::noSettings()
{
    QCOMPARE(scratchFiles(), QStringList());
    renewPlugin();
    QCOMPARE(moduleValue("alarmBefore"), QVariant(60));
    QCOMPARE(moduleValue("defaultInactivityPeriod"), QVariant(180));
    QCOMPARE(moduleValue("alarmSound"), QVariant(QString()));
    QCOMPARE(moduleValue("inactivityPeriod"), QVariant(180));
    QCOMPARE(scratchFiles(), QStringList());
}

void tst_Settings::precedence_data()
{
    // The locations' columns: what each holds; an invalid value leaves the key out.
    addColumns<QString, QVariant, QVariant, QVariant, QVariant, QVariant>(
        {"key", "userApplication", "userOrganization", "systemApplication", "systemOrganization", "expected"});

    const QVariant none;
    const QString alarmBefore = QStringLiteral("alarmBefore");
    QTest::newRow("alarmBefore: system application only")
        << alarmBefore << none << none << QVariant(22) << none << QVariant(22);
    QTest::newRow("alarmBefore: system organisation only")
        << alarmBefore << none << none << none << QVariant(33) << QVariant(33);
    QTest::newRow("alarmBefore: system application over system organisation")
        << alarmBefore << none << none << QVariant(22) << QVariant(33) << QVariant(22);
    QTest::newRow("alarmBefore: user organisation only")
        << alarmBefore << none << QVariant(11) << none << none << QVariant(11);
    QTest::newRow("alarmBefore: user organisation over system")
        << alarmBefore << none << QVariant(11) << QVariant(22) << QVariant(33) << QVariant(11);
    QTest::newRow("alarmBefore: user application over system application")
        << alarmBefore << QVariant(1) << none << QVariant(22) << none << QVariant(1);
    QTest::newRow("alarmBefore: user application over all")
        << alarmBefore << QVariant(1) << QVariant(11) << QVariant(22) << QVariant(33) << QVariant(1);
    QTest::newRow("alarmBefore: non-numeric user value hides the system one")
        << alarmBefore << QVariant(QStringLiteral("soon")) << none << QVariant(22) << none << QVariant(0);

    const QString period = QStringLiteral("defaultInactivityPeriod");
    QTest::newRow("defaultInactivityPeriod: system application only")
        << period << none << none << QVariant(240) << none << QVariant(240);
    QTest::newRow("defaultInactivityPeriod: user application over system application")
        << period << QVariant(90) << none << QVariant(240) << none << QVariant(90);
    QTest::newRow("defaultInactivityPeriod: user organisation over system organisation")
        << period << none << QVariant(120) << none << QVariant(240) << QVariant(120);

    const QString sound = QStringLiteral("alarmSound");
    const QVariant systemSound(QStringLiteral("/usr/share/vorlan/system.wav"));
    const QVariant userSound(QStringLiteral("/home/operator/user.wav"));
    QTest::newRow("alarmSound: system organisation only")
        << sound << none << none << none << systemSound << systemSound;
    QTest::newRow("alarmSound: user application over system application")
        << sound << userSound << none << systemSound << none << userSound;
    QTest::newRow("alarmSound: empty user value hides the system one")
        << sound << QVariant(QString()) << none << systemSound << none << QVariant(QString());
}

void tst_Settings::precedence()
{
    QFETCH(QString, key);
    QFETCH(QVariant, userApplication);
    QFETCH(QVariant, userOrganization);
    QFETCH(QVariant, systemApplication);
    QFETCH(QVariant, systemOrganization);
    QFETCH(QVariant, expected);

    const QVariant held[] = {userApplication, userOrganization, systemApplication, systemOrganization};
    for (const Location location : locations) {
        if (held[location].isValid())
            write(location, key, held[location]);
    }
    renewPlugin();
    QCOMPARE(moduleValue(key.toLatin1().constData()), expected);
}

void tst_Settings::integerValues_data()
{
    addColumns<QString, QString, int>({"key", "stored", "expected"});

    for (const QString &key : {QStringLiteral("alarmBefore"), QStringLiteral("defaultInactivityPeriod")}) {
        const auto row = [&key](const char *what) -> QTestData & {
            return QTest::addRow("%s: %s", qPrintable(key), what) << key;
        };
        row("42") << QStringLiteral("42") << 42;
        row("-5") << QStringLiteral("-5") << -5;
        row("2147483647") << QStringLiteral("2147483647") << std::numeric_limits<int>::max();
        row("-2147483648") << QStringLiteral("-2147483648") << std::numeric_limits<int>::min();
        row("non-numeric") << QStringLiteral("three minutes") << 0;
        row("empty") << QString() << 0;
        row("number and text") << QStringLiteral("12abc") << 0;
        row("fraction") << QStringLiteral("1.5") << 0;
        row("hexadecimal") << QStringLiteral("0x10") << 0;
        row("99999999999 does not fit") << QStringLiteral("99999999999") << 0;
        row("2147483648 does not fit") << QStringLiteral("2147483648") << 0;
        row("-2147483649 does not fit") << QStringLiteral("-2147483649") << 0;
    }
}

void tst_Settings::integerValues()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(int, expected);

    write(UserApplication, key, stored);
    renewPlugin();
    // A number that does not fit an int must not wrap: 2147483648 would
    // otherwise become INT_MIN and silence the watchdog.
    QCOMPARE(moduleValue(key.toLatin1().constData()).toInt(), expected);
}

void tst_Settings::defaultPeriodOfNewPanel_data()
{
    addColumns<QString, int, int>({"stored", "moduleWide", "panelValue"});

    QTest::newRow("90") << QStringLiteral("90") << 90 << 90;
    QTest::newRow("non-numeric: 0") << QStringLiteral("three minutes") << 0 << 0;
    QTest::newRow("65535") << QStringLiteral("65535") << 65535 << 65535;
    QTest::newRow("100000: spin box 65535") << QStringLiteral("100000") << 100000 << 65535;
    QTest::newRow("2147483647: spin box 65535")
        << QStringLiteral("2147483647") << std::numeric_limits<int>::max() << 65535;
    QTest::newRow("-1: spin box 0") << QStringLiteral("-1") << -1 << 0;
}

void tst_Settings::defaultPeriodOfNewPanel()
{
    QFETCH(QString, stored);
    QFETCH(int, moduleWide);
    QFETCH(int, panelValue);

    write(SystemApplication, QStringLiteral("defaultInactivityPeriod"), stored);
    renewPlugin();
    QCOMPARE(moduleValue("defaultInactivityPeriod"), QVariant(moduleWide));
    QCOMPARE(moduleValue("inactivityPeriod"), QVariant(panelValue));
}

void tst_Settings::propertyValueWithoutSettings_data()
{
    addColumns<QString, QVariant, QVariant>({"key", "set", "stored"});

    QTest::newRow("alarmBefore") << QStringLiteral("alarmBefore") << QVariant(77) << QVariant(33);
    QTest::newRow("defaultInactivityPeriod")
        << QStringLiteral("defaultInactivityPeriod") << QVariant(95) << QVariant(300);
    QTest::newRow("alarmSound") << QStringLiteral("alarmSound") << QVariant(QStringLiteral("/tmp/set.wav"))
                                << QVariant(QStringLiteral("/tmp/stored.wav"));
}

// A key that no file holds keeps the value the module already has, even
// one written through a property; a file that holds it replaces it.
void tst_Settings::propertyValueWithoutSettings()
{
    QFETCH(QString, key);
    QFETCH(QVariant, set);
    QFETCH(QVariant, stored);
    const QByteArray name = key.toLatin1();

    QVERIFY(setModuleValue(name.constData(), set));
    QCOMPARE(moduleValue(name.constData()), set);
    renewPlugin();
    QCOMPARE(moduleValue(name.constData()), set);

    write(UserApplication, key, stored);
    renewPlugin();
    QCOMPARE(moduleValue(name.constData()), stored);
}

void tst_Settings::readOncePerPluginObject()
{
    renewPlugin();
    write(UserApplication, QStringLiteral("alarmBefore"), 44);
    QCOMPARE(moduleValue("alarmBefore"), QVariant(60));
    renewPlugin();
    QCOMPARE(moduleValue("alarmBefore"), QVariant(44));
}

void tst_Settings::alarmSoundPath_data()
{
    addRows<QString>("path",
                     {{"absolute path of an existing file", QFINDTESTDATA("tst_settings.cpp")},
                      {"missing file", QStringLiteral("/nonexistent/alarm.wav")},
                      {"spaces and non-Latin letters", QStringLiteral("/srv/Тревога/alarm %1.wav").arg(2)},
                      {"relative path", QStringLiteral("sounds/alarm.wav")}});
}

void tst_Settings::alarmSoundPath()
{
    QFETCH(QString, path);
    QVERIFY(!path.isEmpty());

    write(SystemApplication, QStringLiteral("alarmSound"), path);
    renewPlugin();
    QCOMPARE(moduleValue("alarmSound"), QVariant(path));
}

void tst_Settings::neverWritten()
{
    for (const Location location : locations) {
        write(location, QStringLiteral("alarmSound"), QStringLiteral("/srv/alarm%1.wav").arg(location));
        write(location, QStringLiteral("alarmBefore"), 10 + location);
        write(location, QStringLiteral("defaultInactivityPeriod"), 100 + location);
    }
    // Dated back, so that a rewrite with the same bytes shows as well.
    const QDateTime past(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);
    QMap<QString, QByteArray> contents;
    const QStringList files = scratchFiles();
    QCOMPARE(files.size(), 4);
    for (const QString &path : files) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        contents.insert(path, file.readAll());
        QVERIFY(file.setFileTime(past, QFileDevice::FileModificationTime));
    }

    renewPlugin();
    QCOMPARE(moduleValue("alarmBefore"), QVariant(10));
    QVERIFY(setModuleValue("alarmBefore", 5));
    QVERIFY(setModuleValue("defaultInactivityPeriod", 6));
    QVERIFY(setModuleValue("alarmSound", QStringLiteral("/srv/other.wav")));
    renewPlugin();
    renewPlugin();
    QCOMPARE(moduleValue("defaultInactivityPeriod"), QVariant(100));
    delete host.plugin();

    QCOMPARE(scratchFiles(), files);
    for (const QString &path : files) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), contents.value(path));
        QCOMPARE(QFileInfo(path).lastModified().toUTC(), past);
    }
}

int main(int argc, char *argv[])
{
    QTEST_SET_MAIN_SOURCE_PATH
    return PanelTest::execWithScratchSettings<tst_Settings>(argc, argv, organization, application);
}

#include "tst_settings.moc"
