// SPDX-License-Identifier: MIT
#include "svgnumber.h"

#include <QStringList>

QString svgNumber(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    // A value rounded to zero from below.
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

QString svgPoint(const QPointF &point, int decimals)
{
    return svgNumber(point.x(), decimals) + QLatin1Char(',') + svgNumber(point.y(), decimals);
}

QString svgPoints(const QVector<QPointF> &points, int decimals)
{
    QStringList words;
    for (const QPointF &point : points)
        words.append(svgPoint(point, decimals));
    return words.join(QLatin1Char(' '));
}
