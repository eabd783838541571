// SPDX-License-Identifier: MIT
#include "geometry.h"

#include "style.h"

#include <cmath>

QPointF unit(const QPointF &v)
{
    const double length = std::hypot(v.x(), v.y());
    return length > 0 ? v / length : v;
}

double cross(const QPointF &a, const QPointF &b)
{
    return a.x() * b.y() - a.y() * b.x();
}

QPointF inward(int arm)
{
    static const QPointF directions[ArmCount] = {{0, 1}, {-1, 0}, {0, -1}, {1, 0}};
    return directions[arm];
}

QPointF rightOf(const QPointF &direction)
{
    return {-direction.y(), direction.x()};
}

double reach(int arm)
{
    return arm == North || arm == South ? Height / 2 : Width / 2;
}

QPointF onArm(int arm, double distance, double offset)
{
    return Centre - inward(arm) * distance + rightOf(inward(arm)) * offset;
}

QVector<QPointF> box(const QPointF &centre, const QPointF &axis, double halfLength, double halfWidth)
{
    const QPointF along = axis * halfLength;
    const QPointF across = rightOf(axis) * halfWidth;
    return {centre - along - across, centre + along - across, centre + along + across, centre - along + across};
}

QList<QRectF> zebra(int arm)
{
    QList<QRectF> stripes;
    const double first = -(ZebraStripes * StripeWidth + (ZebraStripes - 1) * StripeGap) / 2;
    for (int i = 0; i < ZebraStripes; ++i) {
        const double offset = first + i * (StripeWidth + StripeGap);
        stripes.append(QRectF(onArm(arm, ZebraNear, offset), onArm(arm, ZebraFar, offset + StripeWidth)).normalized());
    }
    return stripes;
}

Turn turn(int from, int to)
{
    const QPointF in = inward(from);
    const QPointF out = -inward(to);
    if (in == out)
        return Turn::Straight;
    if (out == rightOf(in))
        return Turn::Right;
    if (out == -rightOf(in))
        return Turn::Left;
    return Turn::Back;
}
