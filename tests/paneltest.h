// SPDX-License-Identifier: MIT
#ifndef VORLAN_TESTS_PANELTEST_H
#define VORLAN_TESTS_PANELTEST_H

#include "host.h"

#include <helvor/simulatedlight.h>

#include <QApplication>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QVariant>

#include <array>
#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>

class FifoWatch;
class QAction;
class QTemporaryDir;
class QLabel;
class QListWidget;

// The base of every suite: plays the host through a Host, owns the
// controllers and panels a test makes and ends them after it, puts back the
// module-wide values and the real clock, and speaks the operator's steps.
// Qt Test runs every private slot as a test, inherited ones too: what a
// suite may call is protected, and a suite's own set-up goes in the hooks
// below, never in slots of its own named init or cleanup.
class PanelTest : public QObject
{
    Q_OBJECT

public:
    // The device's code for a command carried out; every other code is a refusal.
    static constexpr int success = 4608;
    // The module-wide values when no settings give others.
    static constexpr int builtinAlarmBefore = 60;
    static constexpr int builtinDefaultInactivityPeriod = 180;

    // Unloaded: the suite loads the library itself, and the plug-in object
    // is made only when a test asks for it.
    enum class Start { PluginObject, Unloaded };

    explicit PanelTest(const QString &plugin = Host::pluginPath(), Start start = Start::PluginObject);
    ~PanelTest() override;

    // Runs a suite whose rows write settings of their own, under the given
    // names and in a scratch folder, which the suite's constructor is given.
    // Qt fixes its settings paths at their first use, and the module reads
    // the application's names: both are in place before anything asks.
    template<typename Suite>
    static int execWithScratchSettings(int argc, char *argv[], const QString &organization, const QString &application)
    {
        const QString scratch = prepareScratchSettings(organization, application);
        QApplication app(argc, argv);
        app.setAttribute(Qt::AA_Use96Dpi, true);
        Suite test(scratch);
        return QTest::qExec(&test, argc, argv);
    }

    // Every call the controller received, with the type and value of each
    // argument, in order: "sendCommand(QString set_phase, int 5)".
    static QStringList received(const Helvor::SimulatedLight *light);
    static QString describe(const QByteArray &method, const QVariantList &arguments);

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

protected:
    // A suite's own steps, run inside the base's: initSuite once the plug-in
    // is loaded, initEach before each test, cleanupEach after each test and
    // before the base ends what the test made, cleanupSuite at the end.
    virtual void initSuite();
    virtual void initEach();
    virtual void cleanupEach();
    virtual void cleanupSuite();

    // Deleted after the test, once every panel is gone: a controller that
    // dies under its panel would only schedule the panel's deletion.
    template<typename T> T *own(T *object)
    {
        m_owned.append(object);
        return object;
    }
    // A simulated controller with stages 3 North, 5 East and 8 South,
    // numbered after the one before it.
    Helvor::SimulatedLight *newLight(bool dispatchControl = true);
    // The host's open(); the panel goes at the end of the test.
    QWidget *openPanel(QObject *light);
    // The test's own controller and panel: a new controller under dispatch
    // control or not, its panel, the calls made so far forgotten, then the
    // steps played. False when any of it fails.
    bool startPanel(bool dispatchControl, const QStringList &steps = {});
    bool play(const QStringList &steps);

    // The stage list of a new panel for light, null when there is none.
    QListWidget *openList(QObject *light);

    // A folder of the test's own for pictures, removed after it. files:
    // '|'-separated "name=kind" entries, as Pictures::makeFiles takes them;
    // a FIFO among them is watched until the test ends.
    bool makeFiles(const QString &files);
    QString inDir(const QString &path);
    QString dirPath(const QString &name = QString());
    int fifoReleases() const;

    Host host;
    Helvor::SimulatedLight *m_light = nullptr;
    QPointer<QWidget> m_panel;

    // The module-wide values as every test finds them, set through a panel
    // as a host sets them: alarmBefore, defaultInactivityPeriod, alarmSound.
    QVariant moduleValue(const char *name);
    bool setModuleValue(const char *name, const QVariant &value);
    // Takes the values that every test after this one starts from; done
    // at the start, or at the first panel where the suite loads the library.
    bool keepModuleValues();

    // Answers the next modal box as Host::answerNextPrompt does; a box seen
    // but left open (its button missing) is rejected until the test ends,
    // so a wrong box fails the test instead of hanging it.
    QSharedPointer<Host::Prompt> answerNextPrompt(QMessageBox::StandardButton button,
                                                  std::function<void()> before = {});

    // A table's columns in one go: addColumns<int, QString>({"stage", "text"}).
    template<typename... Types> static void addColumns(const std::array<const char *, sizeof...(Types)> &names)
    {
        std::size_t column = 0;
        (QTest::addColumn<Types>(names[column++]), ...);
    }
    // A table of one column, row by row: addRows<bool>("on", {{"switched on", true}, {"off", false}}).
    template<typename T> static void addRows(const char *column, std::initializer_list<std::pair<const char *, T>> rows)
    {
        QTest::addColumn<T>(column);
        for (const std::pair<const char *, T> &row : rows)
            QTest::newRow(row.first) << row.second;
    }

    // The operator's steps: "YF", "Dark", "Restart", "DC" trigger the action
    // as a click does; "stage N" picks that stage in the list; "on" and
    // "off" are the module's own calls (watchdog, closing); "confirm" and
    // "refuse" finish the controller's latest response; "refusing" makes
    // the controller refuse further commands.
    static bool play(QWidget *panel, Helvor::SimulatedLight *light, const QStringList &steps);
    // "stage 5, confirm": steps as one text.
    static QStringList steps(const char *text);
    static bool selectStage(QWidget *panel, int stage);
    static QStringList repeated(const QString &text, int count);

    // What the operator sees of a panel.
    static QAction *action(QWidget *panel, const char *name);
    static QListWidget *stageList(QWidget *panel);
    static QLabel *statusLabel(QWidget *panel);
    // The status line a tick writes, from an empty one.
    static QString statusAfterTick(QWidget *panel);
    // The command a tick shows under way, empty for none.
    static QString sending(QWidget *panel);
    // What the status line shows of a host's response while it is pending.
    static QString requestOf(QObject *response);
    // The operator's idle seconds a tick shows, -1 when it shows none.
    static int idleSeconds(QWidget *panel);
    // The state as the status line shows it, before the stage's seconds.
    static QString stateShown(QWidget *panel);

    // Private reads, where nothing the operator or the controller sees shows
    // the value yet. The code of the last command:
    // a stage number, -1 a mode, -3 local, -4 restart, -5 refused.
    static int lastCommandCode(QWidget *panel);
    // Whether the controller's last report put it under dispatch control:
    // the action follows the operator, not the report.
    static bool dispatchActive(QWidget *panel);
    // When the last command was confirmed; where the idle seconds cannot be
    // read, since a tick would run the watchdog.
    static QDateTime lastActionAt(QWidget *panel);
    // The response the panel waits for, where the host's response has no
    // request for the status line to show.
    static QObject *pendingResponse(QWidget *panel);

private:
    static QString prepareScratchSettings(const QString &organization, const QString &application);
    void forget();
    QList<QPointer<QWidget>> openPanels();

    const Start m_start;
    QList<QPointer<QObject>> m_owned;
    int m_lastNumber = 100;
    bool m_snapshotTaken = false;
    QVariant m_alarmBefore;
    QVariant m_defaultInactivityPeriod;
    QVariant m_alarmSound;
    QList<QSharedPointer<Host::Prompt>> m_prompts;
    std::unique_ptr<QTemporaryDir> m_dir;
    QList<QSharedPointer<FifoWatch>> m_fifos;
    QTimer m_promptGuard;
};

#endif // VORLAN_TESTS_PANELTEST_H
