// SPDX-License-Identifier: MIT
#ifndef VORLAN_TOOLS_SVGNUMBER_H
#define VORLAN_TOOLS_SVGNUMBER_H

#include <QPointF>
#include <QString>
#include <QVector>

// Numbers in SVG text: rounded to a fixed number of decimals, and written
// without trailing zeros so that whole numbers stay whole.
QString svgNumber(double value, int decimals);
// "x,y"
QString svgPoint(const QPointF &point, int decimals);
// "x,y x,y ...", as a polygon's points.
QString svgPoints(const QVector<QPointF> &points, int decimals);

#endif // VORLAN_TOOLS_SVGNUMBER_H
