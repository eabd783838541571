// SPDX-License-Identifier: MIT
#include "movementarrows.h"

namespace {

// 4.5 px wide on the panel's icon, the least that still reads.
constexpr double arrowWidth = 9;
constexpr double outlineWidth = 14;

void group(SvgWriter &svg, SvgWriter::Attributes attributes, const char *element, const char *attribute,
           const QStringList &values)
{
    svg.begin("g", attributes);
    for (const QString &value : values)
        svg.add(element, {{attribute, value}});
    svg.end();
}

} // namespace

void drawMovementArrows(SvgWriter &svg, const QStringList &shafts, const QStringList &heads)
{
    const QString green = QStringLiteral("#29d14a");
    const QString none = QStringLiteral("none");
    const QString round = QStringLiteral("round");
    group(svg,
          {{"fill", none},
           {"stroke", ArrowOutline},
           {"stroke-width", svg.number(outlineWidth)},
           {"stroke-linecap", round},
           {"stroke-linejoin", round}},
          "path", "d", shafts);
    group(svg,
          {{"fill", ArrowOutline},
           {"stroke", ArrowOutline},
           {"stroke-width", svg.number(outlineWidth - arrowWidth)},
           {"stroke-linejoin", round}},
          "polygon", "points", heads);
    group(svg,
          {{"fill", none},
           {"stroke", green},
           {"stroke-width", svg.number(arrowWidth)},
           {"stroke-linecap", round},
           {"stroke-linejoin", round}},
          "path", "d", shafts);
    group(svg, {{"fill", green}}, "polygon", "points", heads);
}
