// SPDX-License-Identifier: MIT
#include "plugin.h"

#include "panel/widget.h"

#include <QCoreApplication>
#include <QSettings>

namespace Vorlan {

namespace {

// The module's three values from the host application's settings, group
// "Vorlan": the user's (with Qt's fallbacks to the organisation and the
// system) first, then the system's. A key found nowhere keeps the current
// value; the settings are never written.
void readSettings()
{
    QSettings user;
    QSettings system(QSettings::defaultFormat(), QSettings::SystemScope, QCoreApplication::organizationName(),
                     QCoreApplication::applicationName());
    user.beginGroup(QStringLiteral("Vorlan"));
    system.beginGroup(QStringLiteral("Vorlan"));
    const auto value = [&](const QString &key, const QVariant &current) {
        return user.contains(key) ? user.value(key, QVariant()) : system.value(key, current);
    };
    Widget::setAlarmSound(value(QStringLiteral("alarmSound"), Widget::alarmSound()).toString());
    // A value that is no number reads as 0.
    Widget::setAlarmBefore(value(QStringLiteral("alarmBefore"), Widget::alarmBefore()).toInt());
    Widget::setDefaultInactivityPeriod(
        value(QStringLiteral("defaultInactivityPeriod"), Widget::defaultInactivityPeriod()).toInt());
}

} // namespace

Plugin::Plugin()
    : QObject(nullptr)
{
    readSettings();
}

Plugin::~Plugin() = default;

QWidget *Plugin::open(QObject *light)
{
    return Widget::open(light);
}

QList<QWidget *> Plugin::panels()
{
    return Widget::panels();
}

QString Plugin::moduleVersion() const
{
    return QStringLiteral("2.3.38");
}

} // namespace Vorlan
