// SPDX-License-Identifier: MIT
#include "opentimes.h"

#include "bench.h"
#include "clocks.h"
#include "eventloop.h"
#include "median.h"

#include <helvor/simulatedintersection.h>

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

double svgFloorMsecs(const QStringList &files, std::vector<double> *parse, std::vector<double> *render)
{
    const qint64 start = threadCpu();
    for (const QString &file : files) {
        QPixmap pixmap(Bench::iconSize);
        pixmap.fill(Qt::white);
        QPainter painter(&pixmap);
        const qint64 beforeLoad = threadCpu();
        QSvgRenderer renderer;
        renderer.load(file);
        const qint64 beforeRender = threadCpu();
        renderer.render(&painter);
        painter.end();
        if (parse && render) {
            parse->push_back((beforeRender - beforeLoad) / 1e6);
            render->push_back((threadCpu() - beforeRender) / 1e6);
        }
    }
    return (threadCpu() - start) / 1e6;
}

OpenTimes timeOpen(Bench &bench, const MakeController &make)
{
    auto light = make();
    const qint64 wall0 = wallClock();
    const qint64 cpu0 = threadCpu();
    QWidget *panel = bench.open(light.get());
    const qint64 cpu1 = threadCpu();
    const qint64 wall1 = wallClock();
    if (!panel)
        qFatal("open returned no panel");
    delete panel;
    light.reset();
    settle();
    return {(cpu1 - cpu0) / 1e6, (wall1 - wall0) / 1e6};
}

OpenTimes medianOpen(Bench &bench, int repeats, const MakeController &make)
{
    std::vector<double> cpu, wall;
    for (int i = 0; i < repeats; ++i) {
        const OpenTimes times = timeOpen(bench, make);
        cpu.push_back(times.cpuMsecs);
        wall.push_back(times.wallMsecs);
    }
    return {median(cpu), median(wall)};
}
