// SPDX-License-Identifier: MIT
#ifndef VORLAN_TOOLS_STYLE_H
#define VORLAN_TOOLS_STYLE_H

#include <QPointF>
#include <QSize>
#include <QString>

// How the schema pictures look: their sizes and colours. The panel draws
// the plan and then the overlay on a white 200 x 125 icon, so everything
// has to read at half the size drawn here.

// Twice the icon's size, so that coordinates stay whole numbers.
constexpr double Width = 400;
constexpr double Height = 250;
constexpr QSize PictureSize{int(Width), int(Height)};
constexpr QPointF Centre{Width / 2, Height / 2};
// Hundredths are far finer than an icon pixel and keep the files small.
constexpr int Decimals = 2;

constexpr double HalfRoad = 36; // one lane each way
constexpr double LaneOffset = HalfRoad / 2;
constexpr double Fillet = 18;
constexpr double Footway = 12;
// The crossing keeps clear of the kerb curve, so that it spans a straight road.
constexpr double ZebraNear = HalfRoad + Fillet + 4;
constexpr double ZebraFar = ZebraNear + 16;
constexpr double StopLine = ZebraFar + 5;
constexpr int ZebraStripes = 7;
constexpr double StripeWidth = 6;
constexpr double StripeGap = 4;

// The heads of the movement arrows.
constexpr double HeadLength = 18;
constexpr double HeadHalfWidth = 12;

inline const QString Grass = QStringLiteral("#a3cf7f");
inline const QString Paving = QStringLiteral("#dedad1");
inline const QString PavingJoint = QStringLiteral("#c5c0b4");
inline const QString KerbStone = QStringLiteral("#f5f3ee");
inline const QString KerbJoint = QStringLiteral("#aaa79f");
inline const QString Asphalt = QStringLiteral("#6e7176");
inline const QString Paint = QStringLiteral("#ffffff");
inline const QString Ink = QStringLiteral("#262626");
inline const QString Water = QStringLiteral("#8cc4e6");
inline const QString WalkGreen = QStringLiteral("#7dff8f");

#endif // VORLAN_TOOLS_STYLE_H
