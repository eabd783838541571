// SPDX-License-Identifier: MIT
#ifndef VORLAN_TOOLS_PICTURES_H
#define VORLAN_TOOLS_PICTURES_H

#include "fleet.h"
#include "layout.h"
#include "movements.h"

#include <QByteArray>

// The two pictures of the demo's schemas: a junction's plan, and the
// overlay of a stage with the movements it releases. An overlay has no
// background of its own: the panel draws it on the plan.
QByteArray plan(const Fleet::Junction &junction, const Layout &layout);
QByteArray overlay(const Fleet::Junction &junction, const Fleet::Stage &stage, const Movements &movements);

#endif // VORLAN_TOOLS_PICTURES_H
