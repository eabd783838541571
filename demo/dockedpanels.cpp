// SPDX-License-Identifier: MIT
#include "dockedpanels.h"

#include <QDockWidget>
#include <QHeaderView>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QTreeView>
#include <QVector>

#include <algorithm>

DockedPanels::DockedPanels(QMainWindow *window, QTreeView *list)
    : m_window(window)
    , m_list(list)
{
}

QDockWidget *DockedPanels::show(QWidget *panel, Helvor::SimulatedIntersection *controller, bool raise)
{
    QDockWidget *dock = dockFor(panel);
    // Closed panels have deleted themselves; their entries go now.
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(), [](const Entry &e) { return !e.dock; }),
                    m_entries.end());
    const QList<QDockWidget *> before = docks();
    if (!before.contains(dock)) {
        m_entries.append({dock, controller});
        // Where the last session had it, if it had it; else by the chosen layout.
        if (!m_window->restoreDockWidget(dock))
            place(dock, before.isEmpty() ? nullptr : before.constLast());
    }
    dock->show();
    if (raise)
        dock->raise();
    return dock;
}

QList<QDockWidget *> DockedPanels::docks() const
{
    QList<QDockWidget *> list;
    for (const Entry &entry : m_entries) {
        if (entry.dock)
            list.append(entry.dock);
    }
    return list;
}

QList<Helvor::SimulatedIntersection *> DockedPanels::controllers() const
{
    QList<Helvor::SimulatedIntersection *> list;
    for (const Entry &entry : m_entries) {
        if (entry.dock)
            list.append(entry.controller);
    }
    return list;
}

DockedPanels::Layout DockedPanels::layout() const
{
    return m_layout;
}

void DockedPanels::setLayout(Layout layout)
{
    if (layout == m_layout)
        return;
    m_layout = layout;
    arrange();
}

QDockWidget *DockedPanels::dockFor(QWidget *panel)
{
    if (auto *dock = qobject_cast<QDockWidget *>(panel))
        return dock;
    // A module whose panels are plain widgets still gets them docked.
    if (auto *dock = qobject_cast<QDockWidget *>(panel->parentWidget()); dock && dock->widget() == panel)
        return dock;
    auto *dock = new QDockWidget(panel->windowTitle(), m_window);
    dock->setObjectName(panel->objectName().isEmpty() ? panel->windowTitle() : panel->objectName());
    dock->setAttribute(Qt::WA_DeleteOnClose);
    dock->setWidget(panel);
    return dock;
}

void DockedPanels::place(QDockWidget *dock, QDockWidget *previous)
{
    if (previous && !previous->isFloating() && m_window->dockWidgetArea(previous) != Qt::NoDockWidgetArea) {
        if (m_layout == Layout::Tabbed) {
            m_window->tabifyDockWidget(previous, dock);
        } else {
            m_window->splitDockWidget(previous, dock, Qt::Horizontal);
            shareWidth(m_window->dockWidgetArea(previous));
        }
        return;
    }
    // Below the list, at the window's full width: seven tabs keep their
    // titles there, and the stage pictures get rows of six.
    m_window->addDockWidget(Qt::BottomDockWidgetArea, dock);
    const int spare = m_window->height() - m_window->menuBar()->sizeHint().height()
        - m_window->statusBar()->sizeHint().height()
        - m_window->style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, m_window) - listHeight();
    m_window->resizeDocks({dock}, {spare}, Qt::Vertical);
}

void DockedPanels::shareWidth(Qt::DockWidgetArea area)
{
    QList<QDockWidget *> row;
    const QList<QDockWidget *> docked = docks();
    for (QDockWidget *dock : docked) {
        if (!dock->isFloating() && m_window->dockWidgetArea(dock) == area)
            row.append(dock);
    }
    if (row.isEmpty())
        return;
    // A new panel splits its neighbour in two; the whole row shares instead.
    const int each = m_window->width() / row.size();
    m_window->resizeDocks(row, QVector<int>(row.size(), each).toList(), Qt::Horizontal);
}

int DockedPanels::listHeight() const
{
    const int rows = m_list->model() ? m_list->model()->rowCount() : 0;
    return m_list->header()->sizeHint().height() + rows * qMax(1, m_list->sizeHintForRow(0)) + 2 * m_list->frameWidth()
        + m_list->fontMetrics().height() / 2;
}

void DockedPanels::arrange()
{
    const QList<QDockWidget *> docked = docks();
    QDockWidget *previous = nullptr;
    for (QDockWidget *dock : docked) {
        if (dock->isFloating())
            continue;
        // Taken out first: a dock added where it already is would be there twice.
        m_window->removeDockWidget(dock);
        place(dock, previous);
        dock->show();
        previous = dock;
    }
}
