// SPDX-License-Identifier: MIT
#ifndef VORLAN_MODULESTATE_H
#define VORLAN_MODULESTATE_H

#include <QDateTime>
#include <QList>
#include <QString>

class QSound;

namespace Vorlan {

class Widget;

// What the module keeps for the whole process: one of it per loaded
// library, shared by every panel and every plug-in object. Unloading the
// library releases it, and closes or deletes nothing it names.
struct ModuleState
{
    // The open panels, in the order they were made.
    QList<Widget *> openPanels;
    // The three values the settings may give.
    QString alarmSound;
    int alarmBefore = 60;
    int defaultInactivityPeriod = 180;
    // The time every panel measures with; the module's autotests move it.
    QDateTime (*clock)() = &QDateTime::currentDateTime;
    // One alarm for the whole process, made at the first audible alarm.
    // Never deleted: panels of any plug-in object may still ring it.
    QSound *alarmPlayer = nullptr;
};

ModuleState &moduleState();

} // namespace Vorlan

#endif // VORLAN_MODULESTATE_H
