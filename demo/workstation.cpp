// SPDX-License-Identifier: MIT
#include "workstation.h"

#include "controllermodel.h"
#include "fleetcontrollers.h"
#include "module.h"

#include <helvor/simulatedintersection.h>
#include <helvor/stage.h>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>
#include <QVector>

#include <algorithm>

namespace {

// The settings group of the window; the module reads its own, "Vorlan".
const QLatin1String settingsGroup("Workstation");

// The showcase's cast, numbers of the fleet's table.
constexpr int airport = 40;
constexpr int airportStage = 10;
constexpr int cathedralBridge = 33;

// A simulation step of 100 ms keeps the panels' seconds honest at little cost.
constexpr int simulationStep = 100;

QAction *panelAction(QDockWidget *panel, const char *name)
{
    return panel ? panel->findChild<QAction *>(QLatin1String(name)) : nullptr;
}

} // namespace

Workstation::Workstation(Module *module, const QString &schemaFolder, const QDateTime &start, QWidget *parent)
    : QMainWindow(parent)
    , m_module(module)
    , m_model(new ControllerModel(this))
    , m_view(new QTreeView(this))
    , m_summary(new QLabel(this))
{
    setObjectName(QStringLiteral("workstation"));
    setWindowTitle(tr("Vorlan2 workstation — module %1").arg(m_module->version()));
    resize(defaultSize());
    setDockOptions(AnimatedDocks | AllowNestedDocks | AllowTabbedDocks);
    // Tabs on top read like the title bars they replace.
    setTabPosition(Qt::AllDockWidgetAreas, QTabWidget::North);

    const QList<Fleet::Junction> junctions = Fleet::junctions();
    for (const Fleet::Junction &junction : junctions) {
        Helvor::SimulatedIntersection *light = Fleet::makeIntersection(junction, schemaFolder, start, this);
        m_lights.append(light);
        m_model->addController(light);
        connect(light, &Helvor::Light::stateChanged, this, &Workstation::updateSummary);
    }

    setUpView();
    createActions();
    statusBar()->addPermanentWidget(m_summary);
    statusBar()->showMessage(tr("Double-click a controller or press Enter to open its control panel; "
                                "Help > What to try shows where to start."));
    updateSummary();

    m_simulationTimer.setInterval(simulationStep);
    connect(&m_simulationTimer, &QTimer::timeout, this, [this] { advance(m_sinceAdvance.restart()); });
    setSimulationRunning(true);
}

Workstation::~Workstation()
{
    // The panels watch the controllers, which are children of this window
    // too: the panels go first, while every controller still lives.
    const QList<QDockWidget *> docked = panels();
    qDeleteAll(docked);
}

QSize Workstation::defaultSize()
{
    return QSize(1400, 850);
}

QList<Helvor::SimulatedIntersection *> Workstation::intersections() const
{
    return m_lights;
}

Helvor::SimulatedIntersection *Workstation::intersection(int number) const
{
    for (Helvor::SimulatedIntersection *light : m_lights) {
        if (light->number() == number)
            return light;
    }
    return nullptr;
}

ControllerModel *Workstation::model() const
{
    return m_model;
}

QTreeView *Workstation::controllerView() const
{
    return m_view;
}

void Workstation::setUpView()
{
    m_view->setObjectName(QStringLiteral("controllerView"));
    m_view->setModel(m_model);
    m_view->setRootIsDecorated(false);
    m_view->setUniformRowHeights(true);
    m_view->setAllColumnsShowFocus(true);
    m_view->setAlternatingRowColors(true);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setIconSize(QSize(16, 16));
    setCentralWidget(m_view);

    // Wide enough for the longest text each column can show, so that the
    // columns stand still while the controllers change.
    const QFontMetrics metrics(m_view->font());
    QFont bold = m_view->font();
    bold.setBold(true);
    const QFontMetrics boldMetrics(bold);
    int stageWidth = metrics.horizontalAdvance(ControllerModel::tr("Running stage"));
    for (const Helvor::SimulatedIntersection *light : qAsConst(m_lights)) {
        const auto stages = light->stages();
        for (const auto *stage : stages)
            stageWidth = qMax(
                stageWidth,
                metrics.horizontalAdvance(ControllerModel::tr("%1:%2").arg(stage->id()).arg(stage->description())));
    }
    const int padding = 6 * metrics.averageCharWidth() + m_view->iconSize().width();
    m_view->setColumnWidth(ControllerModel::NumberColumn,
                           metrics.horizontalAdvance(ControllerModel::tr("No.")) + 2 * metrics.averageCharWidth());
    m_view->setColumnWidth(ControllerModel::ConnectionColumn,
                           qMax(metrics.horizontalAdvance(ControllerModel::tr("Connected")),
                                metrics.horizontalAdvance(ControllerModel::tr("Off line")))
                               + padding);
    m_view->setColumnWidth(ControllerModel::StageColumn, stageWidth + padding);
    m_view->resizeColumnToContents(ControllerModel::NameColumn);
    m_view->setColumnWidth(ControllerModel::NameColumn, m_view->columnWidth(ControllerModel::NameColumn) + padding);
    m_view->setColumnWidth(ControllerModel::ModeColumn,
                           boldMetrics.horizontalAdvance(ControllerModel::tr("Dispatch control")) + padding);
    m_view->setCurrentIndex(m_model->index(0, 0));

    connect(m_view, &QAbstractItemView::activated, this, &Workstation::openCurrentPanel);
}

void Workstation::createActions()
{
    QMenu *controllers = menuBar()->addMenu(tr("&Controllers"));
    QAction *open = controllers->addAction(tr("&Open panel"), this, &Workstation::openCurrentPanel);
    open->setObjectName(QStringLiteral("actionOpenPanel"));
    open->setStatusTip(tr("Open the control panel of the selected controller"));
    QAction *openAll = controllers->addAction(tr("Open &all panels"), this, &Workstation::openAllPanels);
    openAll->setObjectName(QStringLiteral("actionOpenAll"));
    openAll->setShortcut(QKeySequence(tr("Ctrl+Shift+O")));
    openAll->setStatusTip(tr("Open a control panel for every controller"));
    controllers->addSeparator();
    QAction *quit = controllers->addAction(tr("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

    QMenu *view = menuBar()->addMenu(tr("&View"));
    auto *layouts = new QActionGroup(this);
    m_tabbedAction = view->addAction(tr("&Tabbed panels"));
    m_tabbedAction->setObjectName(QStringLiteral("actionTabbedPanels"));
    m_tabbedAction->setStatusTip(tr("Stack the panels as tabs below the controller list"));
    m_sideBySideAction = view->addAction(tr("Panels &side by side"));
    m_sideBySideAction->setObjectName(QStringLiteral("actionPanelsSideBySide"));
    m_sideBySideAction->setStatusTip(tr("Put the panels next to each other below the controller list"));
    for (QAction *action : {m_tabbedAction, m_sideBySideAction}) {
        action->setCheckable(true);
        layouts->addAction(action);
    }
    m_tabbedAction->setChecked(true);
    connect(m_tabbedAction, &QAction::triggered, this, [this] { setPanelLayout(PanelLayout::Tabbed); });
    connect(m_sideBySideAction, &QAction::triggered, this, [this] { setPanelLayout(PanelLayout::SideBySide); });

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    QAction *whatToTry = help->addAction(tr("&What to try"), this, &Workstation::showWhatToTry);
    whatToTry->setShortcut(QKeySequence::HelpContents);
    help->addAction(tr("&About the workstation"), this, &Workstation::showAbout);
    help->addAction(tr("About &Qt"), qApp, &QApplication::aboutQt);
}

QDockWidget *Workstation::openPanel(Helvor::SimulatedIntersection *light)
{
    return showPanel(light, true);
}

void Workstation::openAllPanels()
{
    for (Helvor::SimulatedIntersection *light : qAsConst(m_lights))
        openPanel(light);
}

QList<QDockWidget *> Workstation::panels() const
{
    QList<QDockWidget *> list;
    for (const DockedPanel &panel : m_panels) {
        if (panel.dock)
            list.append(panel.dock);
    }
    return list;
}

QDockWidget *Workstation::showPanel(Helvor::SimulatedIntersection *light, bool raise)
{
    if (!light)
        return nullptr;
    QWidget *panel = m_module->open(light);
    if (!panel)
        return nullptr;
    QDockWidget *dock = dockFor(panel);
    // Closed panels have deleted themselves; their entries go now.
    m_panels.erase(std::remove_if(m_panels.begin(), m_panels.end(), [](const DockedPanel &p) { return !p.dock; }),
                   m_panels.end());
    const QList<QDockWidget *> before = panels();
    if (!before.contains(dock)) {
        m_panels.append({dock, light});
        // Where the last session had it, if it had it; else by the chosen layout.
        if (!restoreDockWidget(dock))
            placePanel(dock, before.isEmpty() ? nullptr : before.constLast());
    }
    dock->show();
    if (raise)
        dock->raise();
    return dock;
}

QDockWidget *Workstation::dockFor(QWidget *panel)
{
    if (auto *dock = qobject_cast<QDockWidget *>(panel))
        return dock;
    // A module whose panels are plain widgets still gets them docked.
    if (auto *dock = qobject_cast<QDockWidget *>(panel->parentWidget()); dock && dock->widget() == panel)
        return dock;
    auto *dock = new QDockWidget(panel->windowTitle(), this);
    dock->setObjectName(panel->objectName().isEmpty() ? panel->windowTitle() : panel->objectName());
    dock->setAttribute(Qt::WA_DeleteOnClose);
    dock->setWidget(panel);
    return dock;
}

void Workstation::placePanel(QDockWidget *dock, QDockWidget *previous)
{
    if (previous && !previous->isFloating() && dockWidgetArea(previous) != Qt::NoDockWidgetArea) {
        if (m_panelLayout == PanelLayout::Tabbed) {
            tabifyDockWidget(previous, dock);
        } else {
            splitDockWidget(previous, dock, Qt::Horizontal);
            shareWidth(dockWidgetArea(previous));
        }
        return;
    }
    // Below the list, at the window's full width: seven tabs keep their
    // titles there, and the stage pictures get rows of six.
    addDockWidget(Qt::BottomDockWidgetArea, dock);
    const int spare = height() - menuBar()->sizeHint().height() - statusBar()->sizeHint().height()
        - style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, this) - listHeight();
    resizeDocks({dock}, {spare}, Qt::Vertical);
}

void Workstation::shareWidth(Qt::DockWidgetArea area)
{
    QList<QDockWidget *> row;
    const QList<QDockWidget *> docked = panels();
    for (QDockWidget *dock : docked) {
        if (!dock->isFloating() && dockWidgetArea(dock) == area)
            row.append(dock);
    }
    if (row.isEmpty())
        return;
    // A new panel splits its neighbour in two; the whole row shares instead.
    const int each = width() / row.size();
    resizeDocks(row, QVector<int>(row.size(), each).toList(), Qt::Horizontal);
}

int Workstation::listHeight() const
{
    const int rows = m_model->rowCount();
    return m_view->header()->sizeHint().height() + rows * qMax(1, m_view->sizeHintForRow(0)) + 2 * m_view->frameWidth()
        + m_view->fontMetrics().height() / 2;
}

void Workstation::arrangePanels()
{
    const QList<QDockWidget *> docked = panels();
    QDockWidget *previous = nullptr;
    for (QDockWidget *dock : docked) {
        if (dock->isFloating())
            continue;
        // Taken out first: a dock added where it already is would be there twice.
        removeDockWidget(dock);
        placePanel(dock, previous);
        dock->show();
        previous = dock;
    }
}

void Workstation::openCurrentPanel()
{
    openPanel(m_model->controller(m_view->currentIndex()));
}

void Workstation::advance(qint64 msecs)
{
    for (Helvor::SimulatedIntersection *light : qAsConst(m_lights))
        light->advance(msecs);
}

void Workstation::setSimulationRunning(bool running)
{
    if (running == m_simulationTimer.isActive())
        return;
    if (running) {
        m_sinceAdvance.start();
        m_simulationTimer.start();
    } else {
        m_simulationTimer.stop();
    }
}

bool Workstation::isSimulationRunning() const
{
    return m_simulationTimer.isActive();
}

Workstation::PanelLayout Workstation::panelLayout() const
{
    return m_panelLayout;
}

void Workstation::setPanelLayout(PanelLayout layout)
{
    (layout == PanelLayout::Tabbed ? m_tabbedAction : m_sideBySideAction)->setChecked(true);
    if (layout == m_panelLayout)
        return;
    m_panelLayout = layout;
    arrangePanels();
}

bool Workstation::restoreLayout()
{
    QSettings settings;
    settings.beginGroup(settingsGroup);
    if (!restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray()))
        resize(defaultSize());
    m_panelLayout = settings.value(QStringLiteral("panelLayout")).toString() == QLatin1String("side by side")
        ? PanelLayout::SideBySide
        : PanelLayout::Tabbed;
    (m_panelLayout == PanelLayout::Tabbed ? m_tabbedAction : m_sideBySideAction)->setChecked(true);
    // Before the panels exist: each finds its place when it is docked.
    restoreState(settings.value(QStringLiteral("windowState")).toByteArray());
    const QStringList open = settings.value(QStringLiteral("openPanels")).toStringList();
    for (const QString &number : open)
        showPanel(intersection(number.toInt()), false);
    return settings.contains(QStringLiteral("geometry"));
}

void Workstation::saveLayout() const
{
    QSettings settings;
    settings.beginGroup(settingsGroup);
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("windowState"), saveState());
    settings.setValue(QStringLiteral("panelLayout"),
                      m_panelLayout == PanelLayout::SideBySide ? QStringLiteral("side by side")
                                                               : QStringLiteral("tabbed"));
    QStringList open;
    for (const DockedPanel &panel : m_panels) {
        if (panel.dock)
            open.append(QString::number(panel.light->number()));
    }
    settings.setValue(QStringLiteral("openPanels"), open);
}

void Workstation::setKeepsLayout(bool keeps)
{
    m_keepsLayout = keeps;
}

void Workstation::closeEvent(QCloseEvent *event)
{
    if (m_keepsLayout)
        saveLayout();
    QMainWindow::closeEvent(event);
}

void Workstation::showcase()
{
    // Done as an operator does it, through the panels' own controls.
    QDockWidget *bridge = openPanel(intersection(cathedralBridge));
    if (QAction *dc = panelAction(bridge, "actionDC"); dc && !dc->isChecked())
        dc->trigger();
    if (QAction *yf = panelAction(bridge, "actionYF"))
        yf->trigger();

    Helvor::SimulatedIntersection *showpiece = intersection(airport);
    QDockWidget *panel = openPanel(showpiece);
    if (QAction *dc = panelAction(panel, "actionDC"); dc && !dc->isChecked())
        dc->trigger();
    if (auto *stages = panel ? panel->findChild<QListWidget *>(QStringLiteral("listWidget")) : nullptr) {
        for (int row = 0; row < stages->count(); ++row) {
            if (stages->item(row)->data(Qt::UserRole).toInt() == airportStage)
                stages->setCurrentRow(row);
        }
    }
    m_view->setCurrentIndex(m_model->indexOf(showpiece));
}

bool Workstation::isShowcaseReady() const
{
    const Helvor::SimulatedIntersection *showpiece = intersection(airport);
    const Helvor::SimulatedIntersection *bridge = intersection(cathedralBridge);
    // Far enough into the stage that the panel's status line, redrawn
    // every half second, counts a full second of it.
    return showpiece && bridge && showpiece->controlSource() == Helvor::SimulatedLight::CentreSource
        && showpiece->currentStage() == airportStage && showpiece->phaseChangeTime().msecsTo(showpiece->now()) >= 1600
        && bridge->mode() == Helvor::SimulatedIntersection::Mode::FlashingYellow;
}

bool Workstation::saveScreenshot(const QString &file)
{
    return grab().save(file);
}

void Workstation::updateSummary()
{
    int centre = 0;
    int offLine = 0;
    for (const Helvor::SimulatedIntersection *light : qAsConst(m_lights)) {
        centre += light->controlSource() == Helvor::SimulatedLight::CentreSource ? 1 : 0;
        offLine += light->isConnected() ? 0 : 1;
    }
    m_summary->setText(tr("%n controller(s)", nullptr, m_lights.size()) + QStringLiteral("  ·  ")
                       + tr("%n under dispatch control", nullptr, centre) + QStringLiteral("  ·  ")
                       + tr("%n off line", nullptr, offLine));
}

void Workstation::showAbout()
{
    QMessageBox::about(this, tr("About the workstation"),
                       tr("<h3>Vorlan2 workstation</h3>"
                          "<p>A small operator workstation that runs the Vorlan2 module for real: "
                          "seven simulated intersections keep their own stage programmes, and the "
                          "module's control panels, docked here, take them under dispatch control.</p>"
                          "<p>Module version %1<br>loaded from %2</p>")
                           .arg(m_module->version().toHtmlEscaped(), m_module->fileName().toHtmlEscaped()));
}

void Workstation::showWhatToTry()
{
    if (!m_whatToTry) {
        auto *dialog = new QDialog(this);
        dialog->setObjectName(QStringLiteral("whatToTry"));
        dialog->setWindowTitle(tr("What to try"));
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        auto *text = new QLabel(
            tr("<p><b>Take a controller.</b> Double-click <i>14 Market Square</i>, press <b>DC</b> in its panel and "
               "click a stage picture. The status line says <i>Sending command: set_phase&nbsp;2</i> until the "
               "controller answers; then the stage turns green and the list shows dispatch control.</p>"
               "<p><b>Walk away.</b> Set the seconds box in the panel's tool bar to 30 and order a stage. The panel "
               "warns from <i>alarmBefore</i> seconds before the end (60 by default: here at once): its title blinks "
               "with a <b>!</b> and the alarm sounds. Any answered command starts the count again; without one the "
               "controller goes back to local mode after 30&nbsp;s.</p>"
               "<p><b>A flaky line.</b> <i>21 Station Avenue</i> drops off line every minute or so: the list says "
               "Off line, the panel Disconnected, and commands go unanswered.</p>"
               "<p><b>A stubborn controller.</b> <i>27 Ring Road / Mill Lane</i> refuses about two commands in "
               "five.</p>"
               "<p><b>Many stages.</b> <i>40 Airport Interchange</i> has fourteen to choose from.</p>"
               "<p><b>More.</b> Flashing yellow (YF), Dark and Restart (off line for a few seconds, then back in "
               "local mode). Close a panel under dispatch control and it asks whether to hand the controller "
               "back.</p>"),
            dialog);
        text->setWordWrap(true);
        // Wide enough to read as a page, not as a column; a wrapped label
        // does not claim the height it needs by itself.
        const int width = text->fontMetrics().averageCharWidth() * 75;
        text->setMinimumSize(width, text->heightForWidth(width));
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
        connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
        auto *layout = new QVBoxLayout(dialog);
        layout->addWidget(text);
        layout->addWidget(buttons);
        m_whatToTry = dialog;
    }
    m_whatToTry->show();
    m_whatToTry->raise();
    m_whatToTry->activateWindow();
}
