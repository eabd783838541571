// SPDX-License-Identifier: MIT
#include "locations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace Locations {

namespace {

// A folder of the installed tree, given relative to the executable's folder.
QString installed(const char *fromBin, const QString &name = QString())
{
    const QDir bin(QCoreApplication::applicationDirPath());
    const QString folder = bin.filePath(QLatin1String(fromBin));
    return QDir::cleanPath(name.isEmpty() ? folder : folder + QLatin1Char('/') + name);
}

} // namespace

QStringList pluginCandidates()
{
    const QDir bin(QCoreApplication::applicationDirPath());
    const QString file = QFileInfo(QStringLiteral(VORLAN_PLUGIN_FILE)).fileName();
    return {installed(VORLAN_INSTALLED_PLUGIN_DIR, file),
            QDir::cleanPath(bin.filePath(QLatin1String("plugins/") + file)), QStringLiteral(VORLAN_PLUGIN_FILE)};
}

QString schemaFolder()
{
    const QString folder = installed(VORLAN_INSTALLED_DATA_DIR, QStringLiteral("schemas"));
    if (QFileInfo(folder).isDir())
        return folder;
    return QStringLiteral(VORLAN_SCHEMA_DIR);
}

QString moduleTranslation(const QString &language)
{
    const QString file = QStringLiteral("vorlan2_%1.qm").arg(language);
    for (const QString &folder : {installed(VORLAN_INSTALLED_DATA_DIR, QStringLiteral("translations")),
                                  QStringLiteral(VORLAN_TRANSLATIONS_DIR)}) {
        const QString path = QDir(folder).filePath(file);
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

} // namespace Locations
