// SPDX-License-Identifier: MIT
#include "pathdata.h"

#include "svgnumber.h"

PathData::PathData(int decimals)
    : m_decimals(decimals)
{
}

PathData &PathData::move(const QPointF &to)
{
    return word(QLatin1Char('M') + point(to));
}

PathData &PathData::line(const QPointF &to)
{
    return word(QLatin1Char('L') + point(to));
}

PathData &PathData::lineBy(const QPointF &offset)
{
    return word(QLatin1Char('l') + point(offset));
}

PathData &PathData::horizontalBy(double dx)
{
    return word(QLatin1Char('h') + number(dx));
}

PathData &PathData::verticalBy(double dy)
{
    return word(QLatin1Char('v') + number(dy));
}

PathData &PathData::quad(const QPointF &control, const QPointF &to)
{
    return word(QLatin1Char('Q') + point(control) + QLatin1Char(' ') + point(to));
}

PathData &PathData::arc(double radius, bool large, bool clockwise, const QPointF &to)
{
    return word(arcWord('A', radius, large, clockwise, to));
}

PathData &PathData::arcBy(double radius, bool large, bool clockwise, const QPointF &offset)
{
    return word(arcWord('a', radius, large, clockwise, offset));
}

PathData &PathData::close()
{
    return word(QStringLiteral("Z"));
}

QString PathData::text() const
{
    return m_text;
}

QString PathData::number(double value) const
{
    return svgNumber(value, m_decimals);
}

QString PathData::point(const QPointF &point) const
{
    return svgPoint(point, m_decimals);
}

QString PathData::arcWord(char command, double radius, bool large, bool clockwise, const QPointF &end) const
{
    const QString r = number(radius);
    return QLatin1Char(command) + r + QLatin1Char(' ') + r + QLatin1String(large ? " 0 1 " : " 0 0 ")
        + QLatin1String(clockwise ? "1 " : "0 ") + point(end);
}

PathData &PathData::word(const QString &word)
{
    if (!m_text.isEmpty())
        m_text += QLatin1Char(' ');
    m_text += word;
    return *this;
}
