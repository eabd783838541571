// SPDX-License-Identifier: MIT
#include "controllermodel.h"
#include "module.h"
#include "paneltest.h"
#include "workstation.h"

#include <helvor/simulatedintersection.h>

#include <QAction>
#include <QDockWidget>
#include <QLabel>
#include <QListWidget>
#include <QSettings>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

namespace {

constexpr int marketSquare = 14;
constexpr int stationAvenue = 21;
constexpr int cathedralBridge = 33;

// Any fixed instant: the controllers and the panels' clock start there together.
const QDateTime start(QDate(2031, 3, 17), QTime(7, 30));

} // namespace

class tst_Workstation : public PanelTest
{
    Q_OBJECT

public:
    // The plug-in object is made once the settings' paths are the test's own.
    tst_Workstation()
        : PanelTest(Host::pluginPath(), Start::Unloaded)
    {
    }

private Q_SLOTS:
    void listShowsTheFleet();
    void listFollowsControllers();
    void simulationRunsOnRealTime();
    void openFromList_data();
    void openFromList();
    void openAllPanels();
    void reopeningRaisesThePanel();
    void operatorSession();
    void panelsSideBySide();
    void layoutSurvivesRestart_data();
    void layoutSurvivesRestart();

protected:
    void initSuite() override;
    void initEach() override;
    void cleanupEach() override;

private:
    QModelIndex row(int number, int column = ControllerModel::NumberColumn) const;
    QString cell(int number, int column) const;
    QString currentTab(QDockWidget *panel) const;
    // Moves the controllers and the panels' clock on together.
    void advance(int seconds);

    QTemporaryDir m_settings;
    Module m_module;
    Workstation *m_window = nullptr;
};

void tst_Workstation::initSuite()
{
    QVERIFY(m_settings.isValid());
    // Neither the user's layout nor their module settings may colour the results.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.filePath(QStringLiteral("user")));
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, m_settings.filePath(QStringLiteral("system")));
    QCoreApplication::setOrganizationName(QStringLiteral("Vorlan"));
    QCoreApplication::setApplicationName(QStringLiteral("Workstation"));
    // The file the fixture's clock hooks come from: one library, one clock.
    QVERIFY2(m_module.load({Host::pluginPath()}), qPrintable(m_module.errorString()));
    QCOMPARE(m_module.version(), QStringLiteral(VORLAN_MODULE_VERSION));
    QVERIFY(keepModuleValues());
}

void tst_Workstation::initEach()
{
    QVERIFY(m_module.panels().isEmpty());
    m_window = new Workstation(&m_module, QStringLiteral(VORLAN_SCHEMA_DIR), start);
    // Only the test moves the controllers; simulationRunsOnRealTime starts the clock itself.
    m_window->setSimulationRunning(false);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void tst_Workstation::cleanupEach()
{
    delete m_window;
    m_window = nullptr;
    QSettings().clear();
}

QModelIndex tst_Workstation::row(int number, int column) const
{
    return m_window->model()->indexOf(m_window->controller(number), column);
}

QString tst_Workstation::cell(int number, int column) const
{
    return row(number, column).data().toString();
}

QString tst_Workstation::currentTab(QDockWidget *panel) const
{
    const QList<QTabBar *> bars = m_window->findChildren<QTabBar *>();
    for (const QTabBar *bar : bars) {
        for (int tab = 0; tab < bar->count(); ++tab) {
            if (bar->tabText(tab) == panel->windowTitle())
                return bar->tabText(bar->currentIndex());
        }
    }
    return QString();
}

void tst_Workstation::advance(int seconds)
{
    // The panels' clock first: what the controllers answer meanwhile
    // reaches the panels at the end of the step.
    Host::advanceClock(seconds);
    m_window->advance(seconds * 1000);
}

void tst_Workstation::listShowsTheFleet()
{
    QTreeView *view = m_window->controllerView();
    QCOMPARE(view->model(), m_window->model());
    QCOMPARE(m_window->model()->rowCount(), 7);
    QCOMPARE(m_window->model()->columnCount(), 5);
    QCOMPARE(m_window->model()->headerData(ControllerModel::StageColumn, Qt::Horizontal).toString(),
             QStringLiteral("Running stage"));

    QCOMPARE(cell(marketSquare, ControllerModel::NumberColumn), QStringLiteral("14"));
    QCOMPARE(cell(marketSquare, ControllerModel::NameColumn), QStringLiteral("Market Square"));
    QCOMPARE(cell(marketSquare, ControllerModel::ConnectionColumn), QStringLiteral("Connected"));
    QCOMPARE(cell(marketSquare, ControllerModel::StageColumn), QStringLiteral("1:Through traffic"));
    QCOMPARE(cell(marketSquare, ControllerModel::ModeColumn), QStringLiteral("Local"));
    QVERIFY(row(27, ControllerModel::NameColumn).data(Qt::ToolTipRole).toString().contains(QLatin1String("40 %")));
    QVERIFY(m_window->windowTitle().endsWith(QLatin1String("module ") + m_module.version()));
}

void tst_Workstation::listFollowsControllers()
{
    // Stage 1 of Market Square runs 22 s, then stage 2 follows.
    QSignalSpy changes(m_window->model(), &QAbstractItemModel::dataChanged);
    m_window->advance(21999);
    QCOMPARE(cell(marketSquare, ControllerModel::StageColumn), QStringLiteral("1:Through traffic"));
    m_window->advance(1);
    QCOMPARE(cell(marketSquare, ControllerModel::StageColumn), QStringLiteral("2:Market exit"));
    QVERIFY(!changes.isEmpty());

    Helvor::SimulatedIntersection *station = m_window->controller(stationAvenue);
    station->dropConnection(5);
    QCOMPARE(cell(stationAvenue, ControllerModel::ConnectionColumn), QStringLiteral("Off line"));
    QCOMPARE(cell(stationAvenue, ControllerModel::StageColumn), QStringLiteral("—"));
    m_window->advance(5000);
    QCOMPARE(cell(stationAvenue, ControllerModel::ConnectionColumn), QStringLiteral("Connected"));

    Helvor::SimulatedIntersection *bridge = m_window->controller(cathedralBridge);
    bridge->setRefusalRate(0);
    bridge->sendCommand(QStringLiteral("set_yf"));
    m_window->advance(Helvor::SimulatedIntersection::maxAnswerDelay);
    QCOMPARE(cell(cathedralBridge, ControllerModel::StageColumn), QStringLiteral("YF"));
    QCOMPARE(cell(cathedralBridge, ControllerModel::ModeColumn), QStringLiteral("Dispatch control"));
}

void tst_Workstation::simulationRunsOnRealTime()
{
    // Real time by design: the workstation's own timer is what moves the controllers here.
    Helvor::SimulatedIntersection *light = m_window->controller(marketSquare);
    QCOMPARE(light->now(), start);
    m_window->setSimulationRunning(true);
    QVERIFY(m_window->isSimulationRunning());
    QTRY_VERIFY_WITH_TIMEOUT(light->now() > start, 2000);
    m_window->setSimulationRunning(false);
    const QDateTime stopped = light->now();
    QVERIFY(start.msecsTo(stopped) < 60000);
    // Two steps of the 100 ms timer, had it gone on running.
    QTest::qWait(250);
    QCOMPARE(light->now(), stopped);
}

void tst_Workstation::openFromList_data()
{
    addRows<bool>("doubleClick", {{"Enter on the row", false}, {"double-click on the row", true}});
}

void tst_Workstation::openFromList()
{
    QFETCH(bool, doubleClick);
    QTreeView *view = m_window->controllerView();
    const QModelIndex index = row(marketSquare, ControllerModel::NameColumn);
    view->setCurrentIndex(index);
    if (doubleClick) {
        // The click before the double-click, as a mouse makes it; it opens nothing itself.
        const QPoint centre = view->visualRect(index).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centre);
        QVERIFY(m_window->panels().isEmpty());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, centre);
    } else {
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Return);
    }

    const QList<QDockWidget *> panels = m_window->panels();
    QCOMPARE(panels.size(), 1);
    QDockWidget *panel = panels.first();
    QCOMPARE(panel->windowTitle(), QStringLiteral("14:Market Square"));
    QCOMPARE(m_module.panels(), QList<QWidget *>{panel});
    QCOMPARE(panel->parentWidget(), m_window);
    QCOMPARE(m_window->dockWidgetArea(panel), Qt::BottomDockWidgetArea);
    QVERIFY(!panel->isFloating());
    QVERIFY(panel->isVisible());
}

void tst_Workstation::openAllPanels()
{
    auto *openAll = m_window->findChild<QAction *>(QStringLiteral("actionOpenAll"));
    QVERIFY(openAll);
    openAll->trigger();

    const QList<QDockWidget *> panels = m_window->panels();
    QCOMPARE(panels.size(), 7);
    QCOMPARE(m_module.panels().size(), 7);
    for (QDockWidget *panel : panels)
        QCOMPARE(m_window->dockWidgetArea(panel), Qt::BottomDockWidgetArea);
    QCOMPARE(m_window->tabifiedDockWidgets(panels.first()).size(), 6);
    QCOMPARE(currentTab(panels.first()), QStringLiteral("45:School Street"));

    openAll->trigger();
    QCOMPARE(m_window->panels(), panels);
}

void tst_Workstation::reopeningRaisesThePanel()
{
    m_window->openAllPanels();
    Helvor::SimulatedIntersection *market = m_window->controller(marketSquare);
    QDockWidget *panel = m_window->panels().at(1);
    QCOMPARE(panel->windowTitle(), QStringLiteral("14:Market Square"));
    QVERIFY(currentTab(panel) != panel->windowTitle());

    QCOMPARE(m_window->openPanel(market), panel);
    QCOMPARE(m_window->panels().size(), 7);
    QCOMPARE(currentTab(panel), panel->windowTitle());
    QVERIFY(panel->isVisible());
}

void tst_Workstation::operatorSession()
{
    Helvor::SimulatedIntersection *light = m_window->controller(marketSquare);
    // The session is about the workstation, not the controller's dice.
    light->setRefusalRate(0);
    Host::setClock(start);

    // The operator opens the panel from the list.
    QTreeView *view = m_window->controllerView();
    view->setCurrentIndex(row(marketSquare));
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Enter);
    QCOMPARE(m_window->panels().size(), 1);
    QDockWidget *panel = m_window->panels().first();
    QAction *dc = action(panel, "actionDC");
    QAction *sound = action(panel, "actionSound");
    QListWidget *stages = stageList(panel);
    QVERIFY(dc && sound && stages);
    sound->setChecked(false);
    QVERIFY(!stages->isEnabled());
    // A new panel asks for the stages and confirms local mode; the session starts after that.
    QVERIFY(!light->calls("phases").isEmpty());
    light->clearCalls();

    // Takes dispatch control and orders stage 2.
    dc->trigger();
    QVERIFY(dc->isChecked());
    QVERIFY(stages->isEnabled());
    QListWidgetItem *stage2 = nullptr;
    for (int i = 0; i < stages->count(); ++i) {
        if (stages->item(i)->data(Qt::UserRole).toInt() == 2)
            stage2 = stages->item(i);
    }
    QVERIFY(stage2);
    stages->scrollToItem(stage2);
    QTest::mouseClick(stages->viewport(), Qt::LeftButton, {}, stages->visualItemRect(stage2).center());
    const QList<Helvor::SimulatedLight::Call> commands = light->calls("sendCommand");
    QCOMPARE(commands.size(), 1);
    QCOMPARE(commands.first().arguments, (QVariantList{QStringLiteral("set_phase"), 2}));
    QCOMPARE(sending(panel), QStringLiteral("set_phase 2"));
    QCOMPARE(cell(marketSquare, ControllerModel::ModeColumn), QStringLiteral("Local"));

    // The controller answers within its longest delay; the stage runs.
    advance(Helvor::SimulatedIntersection::maxAnswerDelay / 1000);
    QCOMPARE(light->currentStage(), 2);
    QCOMPARE(light->controlSource(), int(Helvor::SimulatedLight::CentreSource));
    QCOMPARE(stage2->background().color(), QColor(Qt::green));
    const QString status = statusAfterTick(panel);
    QVERIFY2(status.startsWith(QLatin1String("Stage 2:")), qPrintable(status));
    QVERIFY2(status.contains(QLatin1String(" DC: ")), qPrintable(status));
    QCOMPARE(cell(marketSquare, ControllerModel::StageColumn), QStringLiteral("2:Market exit"));
    QCOMPARE(cell(marketSquare, ControllerModel::ModeColumn), QStringLiteral("Dispatch control"));

    // The operator walks away; a short period lets the watchdog act.
    QVERIFY(panel->setProperty("inactivityPeriod", 2));
    QVERIFY(panel->setProperty("alarmBefore", 1));
    QCOMPARE(panel->property("inactivityPeriod").toInt(), 2);
    const QString title = panel->windowTitle();
    QCOMPARE(title, QStringLiteral("14:Market Square"));
    advance(2);
    Host::tick(panel);
    QCOMPARE(panel->windowTitle(), QLatin1Char('!') + title);
    QVERIFY(light->calls("setLocal").isEmpty());
    QCOMPARE(cell(marketSquare, ControllerModel::ModeColumn), QStringLiteral("Dispatch control"));

    // Past the period the panel hands the controller back to local mode.
    advance(1);
    Host::tick(panel);
    QCOMPARE(light->calls("setLocal").size(), 1);
    QVERIFY(light->controlSource() != Helvor::SimulatedLight::CentreSource);
    QVERIFY(!dc->isChecked());
    QCOMPARE(cell(marketSquare, ControllerModel::ModeColumn), QStringLiteral("Local"));
    Host::tick(panel);
    QCOMPARE(panel->windowTitle(), title);
}

void tst_Workstation::panelsSideBySide()
{
    auto *sideBySide = m_window->findChild<QAction *>(QStringLiteral("actionPanelsSideBySide"));
    QVERIFY(sideBySide);
    m_window->openPanel(m_window->controller(12));
    m_window->openPanel(m_window->controller(marketSquare));
    QCOMPARE(m_window->tabifiedDockWidgets(m_window->panels().first()).size(), 1);

    sideBySide->trigger();
    QCOMPARE(m_window->panelLayout(), Workstation::PanelLayout::SideBySide);
    m_window->openPanel(m_window->controller(cathedralBridge));
    const QList<QDockWidget *> panels = m_window->panels();
    QCOMPARE(panels.size(), 3);
    QTRY_VERIFY(panels.at(0)->isVisible() && panels.at(1)->isVisible() && panels.at(2)->isVisible());
    for (QDockWidget *panel : panels) {
        QCOMPARE(m_window->dockWidgetArea(panel), Qt::BottomDockWidgetArea);
        QVERIFY(m_window->tabifiedDockWidgets(panel).isEmpty());
    }
    QTRY_VERIFY(panels.at(0)->geometry().right() < panels.at(1)->geometry().left());
    QVERIFY(panels.at(1)->geometry().right() < panels.at(2)->geometry().left());
}

void tst_Workstation::layoutSurvivesRestart_data()
{
    addRows<bool>("sideBySide", {{"tabbed", false}, {"side by side", true}});
}

void tst_Workstation::layoutSurvivesRestart()
{
    QFETCH(bool, sideBySide);
    const QList<int> numbers{12, marketSquare, 40};
    m_window->resize(1200, 760);
    if (sideBySide)
        m_window->setPanelLayout(Workstation::PanelLayout::SideBySide);
    for (int number : numbers)
        m_window->openPanel(m_window->controller(number));
    // Where no layout would put it: as an operator drags a panel aside.
    m_window->addDockWidget(Qt::RightDockWidgetArea, m_window->panels().last());
    m_window->setKeepsLayout(true);
    QVERIFY(m_window->close());

    delete m_window;
    QVERIFY(m_module.panels().isEmpty());
    m_window = new Workstation(&m_module, QStringLiteral(VORLAN_SCHEMA_DIR), start);
    m_window->setSimulationRunning(false);
    m_window->restoreLayout();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));

    QCOMPARE(m_window->size(), QSize(1200, 760));
    QCOMPARE(m_window->panelLayout(),
             sideBySide ? Workstation::PanelLayout::SideBySide : Workstation::PanelLayout::Tabbed);
    const QList<QDockWidget *> panels = m_window->panels();
    QCOMPARE(panels.size(), numbers.size());
    for (int i = 0; i < numbers.size(); ++i) {
        QVERIFY2(panels.at(i)->windowTitle().startsWith(QString::number(numbers.at(i)) + QLatin1Char(':')),
                 qPrintable(panels.at(i)->windowTitle()));
    }
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(m_window->dockWidgetArea(panels.at(i)), Qt::BottomDockWidgetArea);
        QCOMPARE(m_window->tabifiedDockWidgets(panels.at(i)).size(), sideBySide ? 0 : 1);
    }
    QCOMPARE(m_window->dockWidgetArea(panels.at(2)), Qt::RightDockWidgetArea);
    QVERIFY(m_window->tabifiedDockWidgets(panels.at(2)).isEmpty());
}

QTEST_MAIN(tst_Workstation)
#include "tst_workstation.moc"
