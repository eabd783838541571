// SPDX-License-Identifier: MIT
#ifndef VORLAN_DEMO_WORKSTATION_H
#define VORLAN_DEMO_WORKSTATION_H

#include "dockedpanels.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

class ControllerModel;
class Module;
class QAction;
class QDockWidget;
class QLabel;
class QTreeView;

namespace Helvor {
class SimulatedIntersection;
}

// The operator's main window: the list of simulated controllers, the
// module's panels docked beside it, and the clock that drives the
// simulation.
class Workstation : public QMainWindow
{
    Q_OBJECT

public:
    using PanelLayout = DockedPanels::Layout;

    // The controllers' clocks start at start; the module must be loaded.
    Workstation(Module *module, const QString &schemaFolder, const QDateTime &start, QWidget *parent = nullptr);
    ~Workstation() override;

    static QSize defaultSize();

    QList<Helvor::SimulatedIntersection *> controllers() const;
    Helvor::SimulatedIntersection *controller(int number) const;
    ControllerModel *model() const;
    QTreeView *controllerView() const;

    // The controller's panel, docked and brought to the front; null when
    // the module makes none for it.
    QDockWidget *openPanel(Helvor::SimulatedIntersection *controller);
    void openAllPanels();
    // The panels docked here, in the order they came.
    QList<QDockWidget *> panels() const;

    // Moves every controller's clock on by msecs.
    void advance(qint64 msecs);
    // The real-time clock that calls advance(); on from the start.
    void setSimulationRunning(bool running);
    bool isSimulationRunning() const;

    PanelLayout panelLayout() const;
    // Re-arranges the docked panels and places new ones so.
    void setPanelLayout(PanelLayout layout);

    // Window geometry, dock layout and open panels of the last session;
    // call before any panel is opened. False when there was none.
    bool restoreLayout();
    void saveLayout() const;
    // Whether closing the window saves the layout; off by default.
    void setKeepsLayout(bool keeps);

    // The operator's first steps, in a box beside the window.
    void showWhatToTry();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createActions();
    void setUpView();
    QDockWidget *showPanel(Helvor::SimulatedIntersection *controller, bool raise);
    void openCurrentPanel();
    void updateSummary();
    void showAbout();

    Module *m_module;
    ControllerModel *m_model;
    QTreeView *m_view;
    QLabel *m_summary;
    QList<Helvor::SimulatedIntersection *> m_controllers;
    DockedPanels m_panels;
    QTimer m_simulationTimer;
    QElapsedTimer m_sinceAdvance;
    QAction *m_tabbedAction = nullptr;
    QAction *m_sideBySideAction = nullptr;
    QPointer<QWidget> m_whatToTry;
    bool m_keepsLayout = false;
};

#endif // VORLAN_DEMO_WORKSTATION_H
