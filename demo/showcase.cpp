// SPDX-License-Identifier: MIT
#include "showcase.h"

#include "controllermodel.h"
#include "workstation.h"

#include <helvor/simulatedintersection.h>

#include <QAction>
#include <QDockWidget>
#include <QListWidget>
#include <QPixmap>
#include <QTreeView>

namespace {

// The cast, numbers of the fleet's table.
constexpr int airport = 40;
constexpr int airportStage = 10;
constexpr int cathedralBridge = 33;

// The picture waits for the panels' first ticks, and for the commands to
// be answered as long as that may take.
constexpr qint64 earliest = 1500;
constexpr qint64 latest = 3500;
constexpr int pollInterval = 100;

QAction *panelAction(QDockWidget *panel, const char *name)
{
    return panel ? panel->findChild<QAction *>(QLatin1String(name)) : nullptr;
}

} // namespace

Showcase::Showcase(Workstation *window, QObject *parent)
    : QObject(parent)
    , m_window(window)
{
    m_poll.setInterval(pollInterval);
    connect(&m_poll, &QTimer::timeout, this, &Showcase::check);
}

void Showcase::photograph(const QString &file)
{
    m_file = file;
    m_waiting.start();
    setUp();
    m_poll.start();
}

void Showcase::setUp()
{
    // Done as an operator does it, through the panels' own controls.
    QDockWidget *bridge = m_window->openPanel(m_window->controller(cathedralBridge));
    if (QAction *dc = panelAction(bridge, "actionDC"); dc && !dc->isChecked())
        dc->trigger();
    if (QAction *yf = panelAction(bridge, "actionYF"))
        yf->trigger();

    Helvor::SimulatedIntersection *showpiece = m_window->controller(airport);
    QDockWidget *panel = m_window->openPanel(showpiece);
    if (QAction *dc = panelAction(panel, "actionDC"); dc && !dc->isChecked())
        dc->trigger();
    if (auto *stages = panel ? panel->findChild<QListWidget *>(QStringLiteral("listWidget")) : nullptr) {
        for (int row = 0; row < stages->count(); ++row) {
            if (stages->item(row)->data(Qt::UserRole).toInt() == airportStage)
                stages->setCurrentRow(row);
        }
    }
    m_window->controllerView()->setCurrentIndex(m_window->model()->indexOf(showpiece));
}

bool Showcase::isReady() const
{
    const Helvor::SimulatedIntersection *showpiece = m_window->controller(airport);
    const Helvor::SimulatedIntersection *bridge = m_window->controller(cathedralBridge);
    // Far enough into the stage that the panel's status line, redrawn
    // every half second, counts a full second of it.
    return showpiece && bridge && showpiece->controlSource() == Helvor::SimulatedLight::CentreSource
        && showpiece->currentStage() == airportStage && showpiece->phaseChangeTime().msecsTo(showpiece->now()) >= 1600
        && bridge->mode() == Helvor::SimulatedIntersection::Mode::FlashingYellow;
}

void Showcase::check()
{
    const qint64 elapsed = m_waiting.elapsed();
    if (elapsed >= latest || (elapsed >= earliest && isReady()))
        saveNow();
}

void Showcase::saveNow()
{
    if (m_file.isEmpty())
        return;
    m_poll.stop();
    const QString file = m_file;
    m_file.clear();
    Q_EMIT photographed(m_window->grab().save(file));
}
