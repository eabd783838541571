// SPDX-License-Identifier: MIT
#ifndef VORLAN_WIDGET_P_H
#define VORLAN_WIDGET_P_H

#include "instant.h"
#include "panel/widget.h"
#include "ui_panelform.h"

#include <QDateTime>
#include <QLabel>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QSpinBox>
#include <QString>
#include <QWidget>

namespace Vorlan {

// The form's class name is also the translation context of its texts.
using PanelForm = Ui::widget;

// The logic behind one panel: builds the form, sends the operator's
// commands to the controller, follows its state and watches the
// operator's inactivity. Owned by the panel; has no QObject parent.
class Widget::Private : public QObject
{
    Q_OBJECT

public:
    // Builds the form; asks nothing of the controller yet.
    Private(QObject *light, Widget *panel);
    ~Private() override;

    // Everything that asks the controller: stages, first state, control
    // mode, connections and the timer. False when the panel or its
    // controller did not live through it.
    bool attach();

    // Members are destroyed in reverse order: the spin box and the label
    // sit on the tool bar inside container, so they must go before it.
    PanelForm ui;
    QWidget container;
    QSpinBox inactivitySpin;
    QLabel statusLabel;
    // Guarded: the host may destroy the controller at any time, and
    // nothing may be asked of it afterwards.
    QPointer<QObject> light;
    // Null once the panel is gone and this object only waits for the
    // host's calls to return; see HostCall.
    Widget *panel;
    bool dispatchActive = false;
    int lastCommand = 0;
    QDateTime lastActionTime;
    QPointer<QObject> pendingResponse;
    int timerId = 0;
    QString stateText;
    // The close prompt while it is shown; see Widget::closeEvent.
    QPointer<QMessageBox> closePrompt;
    // The close was accepted: the panel only awaits its deletion.
    bool closing = false;
    // Calls into host code under way; see HostCall.
    int hostCalls = 0;
    // A command call is out to the controller and has not returned yet.
    bool commandUnderWay = false;
    // The state is being read; the host reported a change meanwhile.
    bool refreshing = false;
    bool refreshAgain = false;
    // When the running stage and the last accepted command began.
    Instant stageStart;
    Instant lastAction;

    static Private *get(Widget *panel);
    // The time every panel measures with; tests may replace it.
    static QDateTime now();

public Q_SLOTS:
    void setDispatchControlMode(bool checked);
    void setYF();
    void setDark();
    void restart();
    void setPhase();

private Q_SLOTS:
    void lightStateChanged();
    void lightDestroyed();
    void responseFinished();

protected:
    void timerEvent(QTimerEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fillStageList();
    void refreshState();
    void markRunningStage(int stage);
    // The status line; false when the panel went while the host was asked.
    bool showStatus(int *dcSecs);
    // The inactivity watchdog.
    void watch(int dcSecs);
    // Sends a command whose response the panel tracks; false when none is tracked.
    bool invokeCommand(const QVariant &command, const QVariant &argument = QVariant());
    void responseDestroyed();
    void playAlarm();
};

} // namespace Vorlan

#endif // VORLAN_WIDGET_P_H
