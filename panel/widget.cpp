// SPDX-License-Identifier: MIT
#include "widget.h"

#include "controller/hostcall.h"
#include "controller/widget_p.h"
#include "modulestate.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QPointer>

namespace Vorlan {

Widget::Widget(QObject *light)
    : QDockWidget()
    , d(new Private(light, this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWidget(&d->container);
    // Listed before the controller is asked anything: whatever the host does
    // inside those calls, an open() for this controller finds this panel.
    moduleState().openPanels.append(this);
}

Widget::~Widget()
{
    // Off the list first: copies handed out keep their content.
    moduleState().openPanels.removeOne(this);
    d->panel = nullptr;
    // Deleted from inside a call into host code, the panel leaves its
    // private object behind until that call has returned: the code that
    // made it, and the widgets whose signals led to it, are still running.
    if (d->hostCalls > 0) {
        d->killTimer(d->timerId);
        d->timerId = 0;
        d->container.setParent(nullptr);
        return;
    }
    // The container is the dock's child but lives in d: it must go before the dock.
    delete d;
}

bool Widget::attach()
{
    HostCall call(d);
    const int number = call.number();
    if (!call)
        return false;
    const QString name = call.displayName();
    if (!call)
        return false;
    setObjectName(QStringLiteral("%1_%2").arg(QLatin1String(metaObject()->className())).arg(number));
    setWindowTitle(tr("%1:%2").arg(number).arg(name));
    return call && d->attach();
}

QWidget *Widget::open(QObject *light)
{
    if (!HostCall::isController(light))
        return nullptr;
    for (Widget *panel : qAsConst(moduleState().openPanels)) {
        // A panel whose controller was destroyed holds null here, so a new
        // controller at the same address never gets the dying panel; nor
        // does anyone get a panel that is closed and only awaits deletion.
        if (panel->d->light == light && !panel->d->closing)
            return panel;
    }
    const QPointer<Widget> panel(new Widget(light));
    if (panel->attach() && !panel->d->closing)
        return panel;
    // The controller or the panel went while the panel was built, or the
    // host closed it meanwhile: there is nothing to hand out.
    if (panel) {
        panel->d->closing = true;
        panel->deleteLater();
    }
    return nullptr;
}

QList<QWidget *> Widget::panels()
{
    const QList<Widget *> &open = moduleState().openPanels;
    return QList<QWidget *>(open.cbegin(), open.cend());
}

int Widget::inactivityPeriod() const
{
    return d->inactivitySpin.value();
}

void Widget::setInactivityPeriod(int seconds)
{
    d->inactivitySpin.setValue(seconds);
}

QString Widget::alarmSound()
{
    return moduleState().alarmSound;
}

void Widget::setAlarmSound(QString sound)
{
    moduleState().alarmSound = std::move(sound);
}

int Widget::alarmBefore()
{
    return moduleState().alarmBefore;
}

void Widget::setAlarmBefore(int seconds)
{
    moduleState().alarmBefore = seconds;
}

int Widget::defaultInactivityPeriod()
{
    return moduleState().defaultInactivityPeriod;
}

void Widget::setDefaultInactivityPeriod(int seconds)
{
    moduleState().defaultInactivityPeriod = seconds;
}

void Widget::closeEvent(QCloseEvent *event)
{
    // Without dispatch control, once the controller is gone, or when the
    // close was already accepted, there is nothing to hand back: the close
    // goes ahead without a question.
    if (d->closing || !d->dispatchActive || !d->light) {
        d->closing = true;
        return;
    }

    // The prompt runs an event loop in which the controller may die and
    // this panel be deleted; neither may be touched once gone.
    QPointer<Widget> self(this);
    auto *box = new QMessageBox(QMessageBox::Warning, tr("Warning!"),
                                tr("You close the control panel, which is in the manual control mode. "
                                   "Would you like to switch the controller in local mode?"),
                                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
    d->closePrompt = box;
    box->exec();
    if (!self)
        return;
    const QMessageBox::StandardButton answer = box->standardButton(box->clickedButton());
    delete box;

    // The controller went away while the operator was asked: close, send nothing.
    if (!d->light) {
        d->closing = true;
        return;
    }
    switch (answer) {
    case QMessageBox::Yes:
        d->setDispatchControlMode(false);
        // The host may have deleted the panel on the controller's answer.
        if (!self)
            return;
        d->closing = true;
        break;
    case QMessageBox::No:
        d->closing = true;
        break;
    default:
        // Not passed on to QDockWidget, which would accept the close again.
        event->ignore();
        break;
    }
}

} // namespace Vorlan
