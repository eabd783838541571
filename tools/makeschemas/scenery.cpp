// SPDX-License-Identifier: MIT
#include "scenery.h"

#include "dice.h"
#include "style.h"

#include <QSizeF>

namespace {

struct Plot
{
    QRectF area;
    int column;
    int row;
    // Sides on the road: trees line them, buildings turn away from them.
    bool road[ArmCount];
};

// The land around the road, as the cells of a 3 x 3 grid that the road does not take.
QVector<Plot> plots(const Layout &layout)
{
    const double xs[4] = {0, Centre.x() - HalfRoad, Centre.x() + HalfRoad, Width};
    const double ys[4] = {0, Centre.y() - HalfRoad, Centre.y() + HalfRoad, Height};
    const auto isRoad = [&](int column, int row) {
        if (column < 0 || column > 2 || row < 0 || row > 2)
            return false;
        if (column == 1 && row == 1)
            return true;
        if (column == 1)
            return layout.has(row == 0 ? North : South);
        if (row == 1)
            return layout.has(column == 0 ? West : East);
        return false;
    };
    constexpr double margin = Footway + 3;
    QVector<Plot> list;
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            if (isRoad(column, row))
                continue;
            Plot plot{QRectF(QPointF(xs[column], ys[row]), QPointF(xs[column + 1], ys[row + 1])), column, row, {}};
            plot.road[North] = isRoad(column, row - 1);
            plot.road[East] = isRoad(column + 1, row);
            plot.road[South] = isRoad(column, row + 1);
            plot.road[West] = isRoad(column - 1, row);
            plot.area.adjust(plot.road[West] ? margin : 0, plot.road[North] ? margin : 0, plot.road[East] ? -margin : 0,
                             plot.road[South] ? -margin : 0);
            list.append(plot);
        }
    }
    return list;
}

CarPark makeCarPark(const QRectF &rect, Dice &dice)
{
    CarPark park{rect, {}, {}};
    const bool across = rect.width() >= rect.height();
    const double length = across ? rect.width() : rect.height();
    const double depth = across ? rect.height() : rect.width();
    // Bays 10 wide and 16 deep on both sides of an aisle, or one row when narrow.
    const int rows = depth >= 44 ? 2 : 1;
    const int bays = int((length - 4) / 10);
    const double first = (length - bays * 10) / 2;
    for (int r = 0; r < rows; ++r) {
        const double near = r == 0 ? 2 : depth - 18;
        for (int b = 0; b <= bays; ++b) {
            const double along = first + b * 10;
            const QPointF a = across ? QPointF(rect.left() + along, rect.top() + near)
                                     : QPointF(rect.left() + near, rect.top() + along);
            const QPointF step = across ? QPointF(0, 16) : QPointF(16, 0);
            park.bays.append(QLineF(a, a + step));
            if (b < bays && dice.between(0, 1) < 0.7) {
                const QPointF mid = a + step / 2 + (across ? QPointF(5, 0) : QPointF(0, 5));
                const QSizeF size = across ? QSizeF(6.5, 12) : QSizeF(12, 6.5);
                park.cars.append(
                    {QRectF(mid - QPointF(size.width() / 2, size.height() / 2), size), int(dice.between(0, 6))});
            }
        }
    }
    return park;
}

} // namespace

QRectF riverBed()
{
    return QRectF(Centre.x() - 62, 0, 124, Height);
}

Scenery layOut(const Layout &layout, bool river, int seed)
{
    Scenery scenery;
    QVector<QRectF> taken;
    if (river)
        taken.append(riverBed());
    const auto clear = [&](const QRectF &r) {
        for (const QRectF &other : qAsConst(taken)) {
            if (other.intersects(r))
                return false;
        }
        return true;
    };

    const QVector<Plot> land = plots(layout);
    for (int index = 0; index < land.size(); ++index) {
        const Plot &plot = land.at(index);
        const QRectF &area = plot.area;
        Dice dice(quint32(seed) * 31u + quint32(index));
        // Away from the junction is always towards the picture's edge.
        const int awayX = plot.column - 1;
        const int awayY = plot.row - 1;
        const auto place = [&](double low, double high, double size, int away) {
            // Now and then past the edge, as on a plan cut out of a larger one.
            const double overhang = dice.between(-6, 14);
            if (away < 0)
                return low - overhang;
            if (away > 0)
                return high - size + overhang;
            return (low + high - size) / 2;
        };

        if (area.width() >= 64 && area.height() >= 44) {
            const bool park = dice.between(0, 1) < 0.3;
            const double w = qMin(area.width() * dice.between(0.45, 0.62), park ? 96.0 : 110.0);
            const double h = qMin(area.height() * dice.between(0.5, 0.7), 64.0);
            const QRectF spot(place(area.left(), area.right(), w, awayX), place(area.top(), area.bottom(), h, awayY), w,
                              h);
            if (clear(spot)) {
                if (park) {
                    const QRectF paved = spot.intersected(area.adjusted(2, 2, -2, -2));
                    scenery.carParks.append(makeCarPark(paved, dice));
                    taken.append(paved.adjusted(-2, -2, 2, 2));
                } else {
                    Building building{spot, dice.between(0, 1) < 0.35, int(dice.between(0, 4)), QRectF()};
                    // A walk leads to a road, never across the river or a neighbour's plot.
                    QVector<int> fronts;
                    for (int side = 0; side < ArmCount; ++side) {
                        if (plot.road[side])
                            fronts.append(side);
                    }
                    if (!fronts.isEmpty()) {
                        const int front = fronts.at(int(dice.between(0, fronts.size())) % fronts.size());
                        const double x = spot.center().x() - 2;
                        const double y = spot.center().y() - 2;
                        switch (front) {
                        case North:
                            building.walk = QRectF(QPointF(x, area.top() - 4), QPointF(x + 4, spot.top()));
                            break;
                        case East:
                            building.walk = QRectF(QPointF(spot.right(), y), QPointF(area.right() + 4, y + 4));
                            break;
                        case South:
                            building.walk = QRectF(QPointF(x, spot.bottom()), QPointF(x + 4, area.bottom() + 4));
                            break;
                        default:
                            building.walk = QRectF(QPointF(area.left() - 4, y), QPointF(spot.left(), y + 4));
                            break;
                        }
                    }
                    scenery.buildings.append(building);
                    taken.append(spot.adjusted(-3, -3, 3, 3));
                    if (!building.walk.isEmpty())
                        taken.append(building.walk.adjusted(-1, -1, 1, 1));
                }
            }
        }

        const auto plant = [&](const QPointF &centre, double radius) {
            const QRectF crown(centre - QPointF(radius, radius), QSizeF(2 * radius, 2 * radius));
            if (!area.contains(crown) || !clear(crown))
                return;
            scenery.trees.append({centre, radius});
            taken.append(crown.adjusted(1.5, 1.5, -1.5, -1.5));
        };
        // Street trees first, so that they get the places along the road; gardens take what is left.
        for (int side = 0; side < ArmCount; ++side) {
            if (!plot.road[side])
                continue;
            const bool horizontal = side == North || side == South;
            const double from = horizontal ? area.left() : area.top();
            const double to = horizontal ? area.right() : area.bottom();
            for (double d = from + dice.between(6, 12); d < to - 6; d += dice.between(17, 23)) {
                const double radius = dice.between(5, 7.5);
                const double inset = radius + 1.5;
                QPointF centre;
                switch (side) {
                case North:
                    centre = QPointF(d, area.top() + inset);
                    break;
                case South:
                    centre = QPointF(d, area.bottom() - inset);
                    break;
                case West:
                    centre = QPointF(area.left() + inset, d);
                    break;
                default:
                    centre = QPointF(area.right() - inset, d);
                    break;
                }
                plant(centre, radius);
            }
        }
        const int tries = int(area.width() * area.height() / 500);
        for (int i = 0; i < tries; ++i) {
            const double radius = dice.between(5, 9);
            plant(QPointF(dice.between(area.left(), area.right()), dice.between(area.top(), area.bottom())), radius);
        }
    }
    return scenery;
}
