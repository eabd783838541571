// SPDX-License-Identifier: MIT
#include "plugin.h"

#include "panel/widget.h"

#include <QCoreApplication>
#include <QSettings>

#include <limits>

namespace Vorlan {

namespace {

// A stored value that is no number, or one that does not fit an int,
// reads as 0: cutting it to 32 bits would turn a huge lead into a
// negative one and silence the watchdog.
int toInt(const QVariant &value)
{
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    return ok && number >= std::numeric_limits<int>::min() && number <= std::numeric_limits<int>::max() ? int(number)
                                                                                                        : 0;
}

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
    Widget::setAlarmBefore(toInt(value(QStringLiteral("alarmBefore"), Widget::alarmBefore())));
    Widget::setDefaultInactivityPeriod(
        toInt(value(QStringLiteral("defaultInactivityPeriod"), Widget::defaultInactivityPeriod())));
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
    return QStringLiteral(VORLAN_MODULE_VERSION);
}

} // namespace Vorlan
