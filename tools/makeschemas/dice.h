// SPDX-License-Identifier: MIT
#ifndef VORLAN_TOOLS_DICE_H
#define VORLAN_TOOLS_DICE_H

#include <QtGlobal>

// Our own generator: its sequence cannot change with the Qt version.
class Dice
{
public:
    explicit Dice(quint32 seed);

    double between(double low, double high);

private:
    quint32 m_state;
};

#endif // VORLAN_TOOLS_DICE_H
