// SPDX-License-Identifier: MIT
#ifndef VORLAN_DEMO_LOCATIONS_H
#define VORLAN_DEMO_LOCATIONS_H

#include <QString>
#include <QStringList>

// Where the workstation finds what it needs: an installed copy next to
// the executable first, so that it never picks up a build tree's files,
// then the build tree it was compiled in.
namespace Locations {

QStringList pluginCandidates();
// The first folder of schema pictures that exists; the source tree's if none does.
QString schemaFolder();

} // namespace Locations

#endif // VORLAN_DEMO_LOCATIONS_H
