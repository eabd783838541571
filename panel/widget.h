// SPDX-License-Identifier: MIT
#ifndef VORLAN_WIDGET_H
#define VORLAN_WIDGET_H

#include <QDockWidget>
#include <QList>
#include <QString>

namespace Vorlan {

// The dock panel for one controller. The host docks it; it deletes itself
// when closed. All of its content and logic live in its private object.
class Widget : public QDockWidget
{
    Q_OBJECT
    Q_PROPERTY(int inactivityPeriod READ inactivityPeriod WRITE setInactivityPeriod)
    Q_PROPERTY(QString alarmSound READ alarmSound WRITE setAlarmSound)
    Q_PROPERTY(int alarmBefore READ alarmBefore WRITE setAlarmBefore)
    Q_PROPERTY(int defaultInactivityPeriod READ defaultInactivityPeriod WRITE setDefaultInactivityPeriod)

public:
    ~Widget() override;

    // The panel serving light, made if there is none; null when light is no controller.
    static QWidget *open(QObject *light);
    // A copy of the open panels, in order of construction.
    static QList<QWidget *> panels();

    int inactivityPeriod() const;
    void setInactivityPeriod(int seconds);

    // Module-wide values, shared by every panel and every plug-in object.
    static QString alarmSound();
    static void setAlarmSound(QString sound);
    static int alarmBefore();
    static void setAlarmBefore(int seconds);
    static int defaultInactivityPeriod();
    static void setDefaultInactivityPeriod(int seconds);

    class Private;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // Only open() makes panels: light must be a live Helvor::Light without a panel.
    explicit Widget(QObject *light);
    // Names the panel after its controller and connects it; false when the
    // panel or the controller went meanwhile.
    bool attach();

    Private *d;
};

} // namespace Vorlan

#endif // VORLAN_WIDGET_H
