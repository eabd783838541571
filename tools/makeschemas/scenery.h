// SPDX-License-Identifier: MIT
#ifndef VORLAN_TOOLS_SCENERY_H
#define VORLAN_TOOLS_SCENERY_H

#include "layout.h"

#include <QLineF>
#include <QPointF>
#include <QRectF>
#include <QVector>

// What stands around a junction: buildings, car parks and trees, laid out
// on the land the road leaves, the same for the same seed on every run.

struct Building
{
    QRectF rect;
    bool flat;
    int colour;
    QRectF walk;
};

struct Car
{
    QRectF rect;
    int colour;
};

struct CarPark
{
    QRectF rect;
    QVector<QLineF> bays;
    QVector<Car> cars;
};

struct Tree
{
    QPointF centre;
    double radius;
};

struct Scenery
{
    QVector<Building> buildings;
    QVector<CarPark> carParks;
    QVector<Tree> trees;
};

// Where the river runs under a bridge: nothing is built there.
QRectF riverBed();
Scenery layOut(const Layout &layout, bool river, int seed);

#endif // VORLAN_TOOLS_SCENERY_H
