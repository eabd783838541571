// SPDX-License-Identifier: MIT
#include "module.h"

#include <QFileInfo>
#include <QJsonObject>
#include <QMetaObject>
#include <QWidget>

namespace {

// Every build of the module, whatever its vendor prefix, ends its IID so.
const QLatin1String iidSuffix(".road.VorlanPlugin");

} // namespace

Module::Module() = default;

// The library stays loaded: panels made by it may outlive this object.
Module::~Module() = default;

bool Module::load(const QStringList &candidates)
{
    for (const QString &candidate : candidates) {
        if (QFileInfo(candidate).isFile())
            return loadFile(candidate);
    }
    m_error = tr("The Vorlan2 plug-in was not found; looked for:\n  %1\nName it with --plugin FILE.")
                  .arg(candidates.join(QLatin1String("\n  ")));
    return false;
}

bool Module::loadFile(const QString &file)
{
    m_loader.setFileName(file);
    const QJsonObject metaData = m_loader.metaData();
    if (metaData.isEmpty()) {
        m_error = tr("%1 is no Qt plug-in: %2").arg(file, m_loader.errorString());
        return false;
    }
    const QString iid = metaData.value(QLatin1String("IID")).toString();
    if (!iid.endsWith(iidSuffix)) {
        m_error =
            tr("%1 is not the Vorlan2 plug-in: its IID is \"%2\", not one ending in \"%3\".").arg(file, iid, iidSuffix);
        return false;
    }
    m_plugin = m_loader.instance();
    if (!m_plugin) {
        m_error = tr("Cannot load %1: %2").arg(file, m_loader.errorString());
        return false;
    }
    m_error.clear();
    return true;
}

QString Module::errorString() const
{
    return m_error;
}

QString Module::fileName() const
{
    return m_loader.fileName();
}

QObject *Module::plugin() const
{
    return m_plugin;
}

QString Module::version() const
{
    return m_plugin ? m_plugin->property("moduleVersion").toString() : QString();
}

QWidget *Module::open(QObject *controller) const
{
    QWidget *panel = nullptr;
    if (m_plugin)
        QMetaObject::invokeMethod(m_plugin, "open", Q_RETURN_ARG(QWidget *, panel), Q_ARG(QObject *, controller));
    return panel;
}

QList<QWidget *> Module::panels() const
{
    QList<QWidget *> list;
    if (m_plugin)
        QMetaObject::invokeMethod(m_plugin, "panels", Q_RETURN_ARG(QList<QWidget *>, list));
    return list;
}
