// SPDX-License-Identifier: MIT
#ifndef VORLAN_TOOLS_PATHDATA_H
#define VORLAN_TOOLS_PATHDATA_H

#include <QPointF>
#include <QString>

// A path's "d" attribute, built one command at a time: the upper-case
// commands go to a point, the lower-case ones ("...By") by an offset from
// the current point.
class PathData
{
public:
    // Numbers are rounded to this many decimals (see svgNumber).
    explicit PathData(int decimals);

    PathData &move(const QPointF &to);
    PathData &line(const QPointF &to);
    PathData &lineBy(const QPointF &offset);
    PathData &horizontalBy(double dx);
    PathData &verticalBy(double dy);
    PathData &quad(const QPointF &control, const QPointF &to);
    // A circular arc; large takes the longer way round.
    PathData &arc(double radius, bool large, bool clockwise, const QPointF &to);
    PathData &arcBy(double radius, bool large, bool clockwise, const QPointF &offset);
    PathData &close();

    QString text() const;

private:
    QString number(double value) const;
    QString point(const QPointF &point) const;
    QString arcWord(char command, double radius, bool large, bool clockwise, const QPointF &end) const;
    PathData &word(const QString &word);

    int m_decimals;
    QString m_text;
};

#endif // VORLAN_TOOLS_PATHDATA_H
