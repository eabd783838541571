// SPDX-License-Identifier: MIT
#include "dice.h"

Dice::Dice(quint32 seed)
    : m_state(seed * 2654435761u + 12345u)
{
}

double Dice::between(double low, double high)
{
    m_state = m_state * 1664525u + 1013904223u;
    return low + (high - low) * (double(m_state >> 8) / double(1u << 24));
}
