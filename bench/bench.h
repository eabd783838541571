// SPDX-License-Identifier: MIT
#ifndef VORLAN_BENCH_BENCH_H
#define VORLAN_BENCH_BENCH_H

#include "settings.h"

#include <QMainWindow>
#include <QPluginLoader>
#include <QSize>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class BenchApplication;

namespace Helvor {
class SimulatedIntersection;
}

// What every figure is taken with: the plug-in as the host sees it, the
// schema files its controllers name, and the workstation's main window.
class Bench
{
public:
    // The list's icons, which every stage picture is drawn at.
    static constexpr QSize iconSize{200, 125};
    static constexpr int composedStages = 16;

    Bench(BenchApplication &app, const Settings &settings);

    // Loads the plug-in, writes the schemas, says what the figures are
    // taken on and shows the window; false, said on stderr, if it cannot.
    bool start(const QString &library);

    BenchApplication &app() const;
    const Settings &settings() const;
    QMainWindow &window() const;
    QString pluginFile() const;

    // The SVG files a panel with composed stages draws from, each once.
    QStringList distinctSvgs() const;
    // The plan of the fleet behind the benchmark's controller, the size of the demo's.
    QString fleetPlan() const;

    // The plug-in's open(), as the host calls it.
    QWidget *open(QObject *light);
    // A controller whose stage pictures are composed: metafile names with
    // SVG siblings, on a plan that is a metafile name with an SVG sibling.
    std::unique_ptr<Helvor::SimulatedIntersection> controller(int stages, const QString &plan,
                                                              bool withPictures = true);
    // 16 composed stages on the large plan: the controller of figure 1.
    std::unique_ptr<Helvor::SimulatedIntersection> composed();

private:
    QString schemaPath(const QString &name) const;
    bool writeSchemas(qint64 *planBytes, qint64 *overlayBytes);
    void describe(qint64 planBytes, qint64 overlayBytes) const;

    BenchApplication &m_app;
    const Settings m_settings;
    QPluginLoader m_loader;
    QObject *m_plugin = nullptr;
    QTemporaryDir m_schemas;
    QString m_planSvg;
    QStringList m_overlaySvgs;
    int m_nextNumber = 1;
    // Last, so that its panels go first, while all they use is still there.
    std::unique_ptr<QMainWindow> m_window;
};

#endif // VORLAN_BENCH_BENCH_H
