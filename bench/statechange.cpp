// SPDX-License-Identifier: MIT
#include "statechange.h"

#include "bench.h"
#include "clocks.h"
#include "eventloop.h"
#include "median.h"
#include "report.h"

#include <helvor/simulatedintersection.h>

#include <QDockWidget>
#include <QMainWindow>

#include <functional>

namespace {

constexpr int stateStages = 32;

} // namespace

void stateChange(Bench &bench)
{
    const Settings &settings = bench.settings();
    auto light = bench.controller(stateStages, QString(), false);
    light->setDispatchControl(true);
    light->setCurrentStage(3);
    auto *panel = qobject_cast<QDockWidget *>(bench.open(light.get()));
    if (!panel)
        qFatal("open returned no panel");
    // Seen by the operator: docked, visible, laid out.
    QMainWindow stateWindow;
    stateWindow.addDockWidget(Qt::BottomDockWidgetArea, panel);
    stateWindow.resize(1280, 800);
    stateWindow.show();
    settle();

    const auto perCall = [&](const std::function<void(int)> &call) {
        std::vector<double> batches;
        for (int batch = 0; batch < settings.stateBatches; ++batch) {
            const qint64 cpu0 = threadCpu();
            for (int i = 0; i < settings.stateCalls; ++i)
                call(i);
            batches.push_back((threadCpu() - cpu0) / 1e3 / settings.stateCalls);
            // Repaints belong to the event loop, not to the signal.
            settle();
        }
        return median(batches);
    };
    const double unchanged = perCall([&](int) { Q_EMIT light->stateChanged(); });
    const double moving = perCall([&](int i) {
        light->setCurrentStage(3 + i % 2);
        Q_EMIT light->stateChanged();
    });
    delete panel;

    // The floor: the state that any handler must read, delivered the same way.
    auto reader = bench.controller(stateStages, QString(), false);
    QObject context;
    int sink = 0;
    QObject::connect(reader.get(), &Helvor::Light::stateChanged, &context, [&] {
        sink += reader->property("controlSource").toInt() + reader->property("controlAlgorithm").toInt()
            + reader->property("isConnected").toBool() + reader->property("keyRegime").toInt() + reader->currentStage();
    });
    const double floor = perCall([&](int) { Q_EMIT reader->stateChanged(); });
    Q_UNUSED(sink)
    const QString target = QStringLiteral("target <= 20 us");
    report("state_change_32_unchanged", unchanged, "us", floor, "(reading the controller's state)", target);
    report("state_change_32_stage_moves", moving, "us", floor, "(reading the controller's state)", target);
}
