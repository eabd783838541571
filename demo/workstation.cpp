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
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

// The settings group of the window; the module reads its own, "Vorlan".
const QLatin1String settingsGroup("Workstation");

// A simulation step of 100 ms keeps the panels' seconds honest at little cost.
constexpr int simulationStep = 100;

} // namespace

static QString whatToTry()
{
    // Nothing names the resource of this static library, so the linker
    // would leave it out; its initialiser is global, hence no namespace here.
    Q_INIT_RESOURCE(workstation);
    // Markdown, so that the file the README points at reads well there too.
    QFile file(QStringLiteral(":/workstation/whattotry.md"));
    return file.open(QIODevice::ReadOnly | QIODevice::Text) ? QString::fromUtf8(file.readAll()) : QString();
}

Workstation::Workstation(Module *module, const QString &schemaFolder, const QDateTime &start, QWidget *parent)
    : QMainWindow(parent)
    , m_module(module)
    , m_model(new ControllerModel(this))
    , m_view(new QTreeView(this))
    , m_summary(new QLabel(this))
    , m_panels(this, m_view)
{
    setObjectName(QStringLiteral("workstation"));
    setWindowTitle(tr("Vorlan2 workstation — module %1").arg(m_module->version()));
    resize(defaultSize());
    setDockOptions(AnimatedDocks | AllowNestedDocks | AllowTabbedDocks);
    // Tabs on top read like the title bars they replace.
    setTabPosition(Qt::AllDockWidgetAreas, QTabWidget::North);

    const QList<Fleet::Junction> junctions = Fleet::junctions();
    for (const Fleet::Junction &junction : junctions) {
        Helvor::SimulatedIntersection *controller = Fleet::makeIntersection(junction, schemaFolder, start, this);
        m_controllers.append(controller);
        m_model->addController(controller);
        connect(controller, &Helvor::Light::stateChanged, this, &Workstation::updateSummary);
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

QList<Helvor::SimulatedIntersection *> Workstation::controllers() const
{
    return m_controllers;
}

Helvor::SimulatedIntersection *Workstation::controller(int number) const
{
    for (Helvor::SimulatedIntersection *controller : m_controllers) {
        if (controller->number() == number)
            return controller;
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
    for (const Helvor::SimulatedIntersection *controller : qAsConst(m_controllers)) {
        const auto stages = controller->stages();
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

QDockWidget *Workstation::openPanel(Helvor::SimulatedIntersection *controller)
{
    return showPanel(controller, true);
}

void Workstation::openAllPanels()
{
    for (Helvor::SimulatedIntersection *controller : qAsConst(m_controllers))
        openPanel(controller);
}

QList<QDockWidget *> Workstation::panels() const
{
    return m_panels.docks();
}

QDockWidget *Workstation::showPanel(Helvor::SimulatedIntersection *controller, bool raise)
{
    if (!controller)
        return nullptr;
    QWidget *panel = m_module->open(controller);
    return panel ? m_panels.show(panel, controller, raise) : nullptr;
}

void Workstation::openCurrentPanel()
{
    openPanel(m_model->controller(m_view->currentIndex()));
}

void Workstation::advance(qint64 msecs)
{
    for (Helvor::SimulatedIntersection *controller : qAsConst(m_controllers))
        controller->advance(msecs);
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
    return m_panels.layout();
}

void Workstation::setPanelLayout(PanelLayout layout)
{
    (layout == PanelLayout::Tabbed ? m_tabbedAction : m_sideBySideAction)->setChecked(true);
    m_panels.setLayout(layout);
}

bool Workstation::restoreLayout()
{
    QSettings settings;
    settings.beginGroup(settingsGroup);
    if (!restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray()))
        resize(defaultSize());
    setPanelLayout(settings.value(QStringLiteral("panelLayout")).toString() == QLatin1String("side by side")
                       ? PanelLayout::SideBySide
                       : PanelLayout::Tabbed);
    // Before the panels exist: each finds its place when it is docked.
    restoreState(settings.value(QStringLiteral("windowState")).toByteArray());
    const QStringList open = settings.value(QStringLiteral("openPanels")).toStringList();
    for (const QString &number : open)
        showPanel(controller(number.toInt()), false);
    return settings.contains(QStringLiteral("geometry"));
}

void Workstation::saveLayout() const
{
    QSettings settings;
    settings.beginGroup(settingsGroup);
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("windowState"), saveState());
    settings.setValue(QStringLiteral("panelLayout"),
                      panelLayout() == PanelLayout::SideBySide ? QStringLiteral("side by side")
                                                               : QStringLiteral("tabbed"));
    QStringList open;
    const QList<Helvor::SimulatedIntersection *> docked = m_panels.controllers();
    for (const Helvor::SimulatedIntersection *controller : docked)
        open.append(QString::number(controller->number()));
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

void Workstation::updateSummary()
{
    int centre = 0;
    int offLine = 0;
    for (const Helvor::SimulatedIntersection *controller : qAsConst(m_controllers)) {
        centre += controller->controlSource() == Helvor::SimulatedLight::CentreSource ? 1 : 0;
        offLine += controller->isConnected() ? 0 : 1;
    }
    m_summary->setText(tr("%n controller(s)", nullptr, m_controllers.size()) + QStringLiteral("  ·  ")
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
        auto *text = new QLabel(dialog);
        text->setTextFormat(Qt::MarkdownText);
        text->setText(whatToTry());
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
