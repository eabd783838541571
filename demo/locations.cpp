// SPDX-License-Identifier: MIT
#include "locations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace Locations {

QStringList pluginCandidates()
{
    const QDir bin(QCoreApplication::applicationDirPath());
    const QString file = QFileInfo(QStringLiteral(VORLAN_PLUGIN_FILE)).fileName();
    return {QDir::cleanPath(bin.filePath(QLatin1String("../lib/vorlan2/plugins/") + file)),
            QDir::cleanPath(bin.filePath(QLatin1String("../lib/vorlan2/") + file)),
            QDir::cleanPath(bin.filePath(QLatin1String("plugins/") + file)), QStringLiteral(VORLAN_PLUGIN_FILE)};
}

QString schemaFolder()
{
    const QDir bin(QCoreApplication::applicationDirPath());
    const QString installed = QDir::cleanPath(bin.filePath(QStringLiteral("../share/vorlan2/schemas")));
    if (QFileInfo(installed).isDir())
        return installed;
    return QStringLiteral(VORLAN_SCHEMA_DIR);
}

} // namespace Locations
