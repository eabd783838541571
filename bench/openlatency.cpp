// SPDX-License-Identifier: MIT
#include "openlatency.h"

#include "bench.h"
#include "clocks.h"
#include "median.h"
#include "opentimes.h"
#include "report.h"

#include <helvor/simulatedintersection.h>

void openLatency(Bench &bench)
{
    const QStringList distinct = bench.distinctSvgs();
    const auto composed = [&] {
        return bench.composed();
    };
    const Settings &settings = bench.settings();

    // Warm up: fonts, style and image plug-ins load on first use.
    medianOpen(bench, 2, composed);
    svgFloorMsecs(distinct);

    // Floor and open take turns: the allocator's state, which drawing
    // many paths is sensitive to, is then the same for both.
    std::vector<double> floors, floorsWall, opens, opensWall, planParse, planRender, overlays;
    for (int i = 0; i < settings.repeats; ++i) {
        std::vector<double> parse, render;
        const qint64 wall0 = wallClock();
        floors.push_back(svgFloorMsecs(distinct, &parse, &render));
        floorsWall.push_back((wallClock() - wall0) / 1e6);
        planParse.push_back(parse.front());
        planRender.push_back(render.front());
        for (size_t j = 1; j < parse.size(); ++j)
            overlays.push_back(parse[j] + render[j]);
        const OpenTimes open = timeOpen(bench, composed);
        opens.push_back(open.cpuMsecs);
        opensWall.push_back(open.wallMsecs);
    }
    const double floor = median(floors);
    const OpenTimes open{median(opens), median(opensWall)};
    const OpenTimes bare = medianOpen(bench, settings.repeats, [&] { return bench.controller(0, QString()); });
    const QString target = QStringLiteral("target <= 1.50 x floor");
    report("open_latency_16_composed", open.cpuMsecs, "ms", floor, "(17 distinct SVGs drawn once)", target);
    report("open_latency_16_composed_wall", open.wallMsecs, "ms", median(floorsWall), "(the same, wall time)", target);
    report("open_latency_no_stages", bare.cpuMsecs, "ms", floor, "(17 distinct SVGs drawn once)",
           QStringLiteral("Qt's widgets for one panel"));
    report("plan_svg_parse", median(planParse), "ms", floor, "(17 distinct SVGs drawn once)",
           QStringLiteral("part of the floor"));
    report("plan_svg_render", median(planRender), "ms", floor, "(17 distinct SVGs drawn once)",
           QStringLiteral("part of the floor"));
    report("overlay_svg_parse_and_render", median(overlays), "ms", floor, "(17 distinct SVGs drawn once)",
           QStringLiteral("part of the floor, each"));
}
