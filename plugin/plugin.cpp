// SPDX-License-Identifier: MIT
#include "plugin.h"

#include "panel/widget.h"

namespace Vorlan {

Plugin::Plugin()
    : QObject(nullptr)
{
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
