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
// The module's catalogue for a language ("de"), the first that exists; empty if none does.
QString moduleTranslation(const QString &language);

} // namespace Locations

#endif // VORLAN_DEMO_LOCATIONS_H
