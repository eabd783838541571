// SPDX-License-Identifier: MIT
#ifndef VORLAN_TOOLS_GEOMETRY_H
#define VORLAN_TOOLS_GEOMETRY_H

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QVector>

// Where things lie on a junction of up to four arms, with y pointing down.

enum Arm { North, East, South, West, ArmCount };
inline const QString ArmLetters = QStringLiteral("NESW");

QPointF unit(const QPointF &v);
double cross(const QPointF &a, const QPointF &b);

// From the arm into the junction.
QPointF inward(int arm);
// With y pointing down; traffic keeps to this side.
QPointF rightOf(const QPointF &direction);
// From the centre to the picture's edge.
double reach(int arm);
// A point on an arm: its distance from the centre, and its offset to the
// right of traffic coming in, so +LaneOffset is the lane in, -LaneOffset
// the lane out.
QPointF onArm(int arm, double distance, double offset);

// The corners of a rectangle with any orientation, given its centre, its
// long axis and half sizes.
QVector<QPointF> box(const QPointF &centre, const QPointF &axis, double halfLength, double halfWidth);
// The stripes of the crossing over an arm.
QList<QRectF> zebra(int arm);

enum class Turn { Straight, Right, Left, Back };

Turn turn(int from, int to);

#endif // VORLAN_TOOLS_GEOMETRY_H
