// SPDX-License-Identifier: MIT
// Hooks for the module's own autotests, built only into the autotests'
// build of the plug-in, in the manner of Qt's qt_* test hooks: the shipped
// plug-in has none of them.
#include "panel/controller/widget_p.h"
#include "panel/modulestate.h"

extern "C" {

Q_DECL_EXPORT QObject *vorlan_panel_private(QWidget *panel)
{
    auto *widget = qobject_cast<Vorlan::Widget *>(panel);
    return widget ? Vorlan::Widget::Private::get(widget) : nullptr;
}

Q_DECL_EXPORT void vorlan_set_clock(QDateTime (*clock)())
{
    Vorlan::moduleState().clock = clock ? clock : &QDateTime::currentDateTime;
}

} // extern "C"
