// SPDX-License-Identifier: MIT
#ifndef VORLAN_DEMO_DOCKEDPANELS_H
#define VORLAN_DEMO_DOCKEDPANELS_H

#include <QList>
#include <QPointer>
#include <Qt>

class QDockWidget;
class QMainWindow;
class QTreeView;
class QWidget;

namespace Helvor {
class SimulatedIntersection;
}

// The controllers' panels docked in the workstation, below its list of
// controllers: as tabs or side by side, each once, in the order they came.
class DockedPanels
{
public:
    enum class Layout { Tabbed, SideBySide };

    // The list is the window's central widget; it keeps the height its
    // rows need, and the panels get the rest.
    DockedPanels(QMainWindow *window, QTreeView *list);

    // Docks the controller's panel, unless it is docked already: where the
    // window's restored state had it, else by the layout. The dock is
    // shown, and raised when asked.
    QDockWidget *show(QWidget *panel, Helvor::SimulatedIntersection *controller, bool raise);
    QList<QDockWidget *> docks() const;
    // The controllers of docks(), in the same order.
    QList<Helvor::SimulatedIntersection *> controllers() const;

    Layout layout() const;
    // Re-arranges the docked panels and places new ones so.
    void setLayout(Layout layout);

private:
    struct Entry
    {
        // Panels delete themselves when closed.
        QPointer<QDockWidget> dock;
        Helvor::SimulatedIntersection *controller;
    };

    QDockWidget *dockFor(QWidget *panel);
    void place(QDockWidget *dock, QDockWidget *previous);
    void arrange();
    void shareWidth(Qt::DockWidgetArea area);
    // Enough for the whole list without scrolling.
    int listHeight() const;

    QMainWindow *m_window;
    QTreeView *m_list;
    QList<Entry> m_entries;
    Layout m_layout = Layout::Tabbed;
};

#endif // VORLAN_DEMO_DOCKEDPANELS_H
