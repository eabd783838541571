// SPDX-License-Identifier: MIT
#include "memoryperpanel.h"

#include "bench.h"
#include "eventloop.h"
#include "opentimes.h"
#include "report.h"

#include <helvor/simulatedintersection.h>

#include <QDockWidget>
#include <QFile>
#include <QIcon>
#include <QListWidget>
#include <QMainWindow>
#include <QPixmap>
#include <QPixmapCache>
#include <QPointer>
#include <QSet>

#include <malloc.h>

namespace {

qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return 0;
}

// Resident memory with the allocator's free pages handed back first: a
// baseline that holds only what is alive, so growth from it is what new
// panels hold (and whatever they leave behind unreturned).
qint64 residentBaseline()
{
    malloc_trim(0);
    return residentBytes();
}

// Bytes of pixels the items' icons hold, each shared pixmap counted once.
qint64 iconPixelBytes(QWidget *panel)
{
    auto *list = panel->findChild<QListWidget *>(QStringLiteral("listWidget"));
    if (!list)
        return 0;
    QSet<qint64> seen;
    qint64 bytes = 0;
    for (int row = 0; row < list->count(); ++row) {
        const QIcon icon = list->item(row)->icon();
        for (const QSize &size : icon.availableSizes()) {
            const QPixmap pixmap = icon.pixmap(size);
            if (!seen.contains(pixmap.cacheKey())) {
                seen.insert(pixmap.cacheKey());
                bytes += qint64(pixmap.width()) * pixmap.height() * pixmap.depth() / 8;
            }
        }
    }
    // Looking at them put them in the global cache; leave no trace.
    QPixmapCache::clear();
    return bytes;
}

} // namespace

void memoryPerPanel(Bench &bench)
{
    const Settings &settings = bench.settings();
    const double pixelBytes = double(Bench::composedStages) * Bench::iconSize.width() * Bench::iconSize.height() * 4;
    const auto composed = [&] {
        return bench.composed();
    };
    // A first panel pays for what every later one shares.
    medianOpen(bench, 1, composed);
    std::vector<std::unique_ptr<Helvor::SimulatedIntersection>> lights;
    std::vector<QPointer<QWidget>> panels;
    settle();

    // What Qt's widgets of a panel cost alone: no stages at all.
    const qint64 bareBefore = residentBaseline();
    for (int i = 0; i < settings.memoryPanels; ++i) {
        lights.push_back(bench.controller(0, QString()));
        panels.emplace_back(bench.open(lights.back().get()));
    }
    settle();
    const double perBarePanel = double(residentBytes() - bareBefore) / settings.memoryPanels;
    for (auto &panel : panels)
        delete panel.data();
    panels.clear();
    lights.clear();
    settle();

    const qint64 before = residentBaseline();
    for (int i = 0; i < settings.memoryPanels; ++i) {
        lights.push_back(composed());
        panels.emplace_back(bench.open(lights.back().get()));
    }
    settle();
    const qint64 after = residentBytes();
    const double perPanel = double(after - before) / settings.memoryPanels;
    const qint64 held = iconPixelBytes(panels.front());

    // Shown once each, as the operator goes through the tabs.
    QMainWindow memoryWindow;
    memoryWindow.resize(1280, 800);
    memoryWindow.show();
    for (size_t i = 0; i < panels.size(); ++i) {
        auto *dock = qobject_cast<QDockWidget *>(panels[i].data());
        if (i == 0)
            memoryWindow.addDockWidget(Qt::BottomDockWidgetArea, dock);
        else
            memoryWindow.tabifyDockWidget(qobject_cast<QDockWidget *>(panels[0].data()), dock);
        dock->show();
        dock->raise();
        settle();
    }
    const qint64 shown = residentBytes();
    const double perPanelShown = double(shown - before) / settings.memoryPanels;
    for (auto &panel : panels)
        delete panel.data();
    panels.clear();
    lights.clear();
    settle();

    const QString target = QStringLiteral("target <= %1 KB (1.25 x floor + 200 KB)")
                               .arg((1.25 * pixelBytes + 200 * 1024) / 1024, 0, 'f', 1);
    report("memory_per_panel_16_composed", perPanel / 1024, "KB", pixelBytes / 1024, "(16 x 200 x 125 x 4 bytes)",
           target);
    report("memory_per_panel_shown_once", perPanelShown / 1024, "KB", pixelBytes / 1024, "(16 x 200 x 125 x 4 bytes)",
           QStringLiteral("incl. the global pixmap cache, at most %1 KB").arg(QPixmapCache::cacheLimit()));
    report("pixels_held_by_icons", held / 1024.0, "KB", pixelBytes / 1024, "(16 x 200 x 125 x 4 bytes)",
           QStringLiteral("one panel's item icons"));
    report("memory_per_panel_no_stages", perBarePanel / 1024, "KB", pixelBytes / 1024, "(16 x 200 x 125 x 4 bytes)",
           QStringLiteral("Qt's widgets for one panel"));
}
