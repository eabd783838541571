// SPDX-License-Identifier: MIT
#include "widget_p.h"

#include <helvor/light.h>

#include <QAction>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QTimerEvent>
#include <QToolBar>

namespace Vorlan {

namespace {

QDateTime (*clock)() = &QDateTime::currentDateTime;

} // namespace

Widget::Private::Private(QObject *light, Widget *panel)
    : QObject(nullptr)
    , panel(panel)
{
    ui.setupUi(&container);

    inactivitySpin.setRange(0, 65535);
    inactivitySpin.setValue(Widget::defaultInactivityPeriod());
    inactivitySpin.setSingleStep(10);
    inactivitySpin.setSuffix(tr("s"));
    const QString tip = tr("The time of automatic switch to local mode, if the operator is not active");
    inactivitySpin.setStatusTip(tip);
    inactivitySpin.setToolTip(tip);

    ui.toolBar->addWidget(&inactivitySpin);
    ui.toolBar->addWidget(&statusLabel);

    this->light = light;

    lightStateChanged();
    ui.actionDC->setChecked(dispatchActive);
    setDispatchControlMode(dispatchActive);

    // Connected only now, so that building the panel sends no command
    // through a slot: the one it may send is the "setLocal" above.
    connect(light, SIGNAL(stateChanged()), this, SLOT(lightStateChanged()));
    connect(light, SIGNAL(destroyed()), this, SLOT(lightDestroyed()));
    connect(ui.actionDC, SIGNAL(triggered(bool)), this, SLOT(setDispatchControlMode(bool)));
    connect(ui.actionYF, SIGNAL(triggered()), this, SLOT(setYF()));
    connect(ui.actionDark, SIGNAL(triggered()), this, SLOT(setDark()));
    connect(ui.actionRestart, SIGNAL(triggered()), this, SLOT(restart()));
    connect(ui.listWidget, SIGNAL(itemSelectionChanged()), this, SLOT(setPhase()));

    timerId = startTimer(500, Qt::CoarseTimer);
}

Widget::Private::~Private() = default;

Widget::Private *Widget::Private::get(Widget *panel)
{
    return panel->d;
}

QDateTime Widget::Private::now()
{
    return clock();
}

QVariant Widget::Private::lightProperty(const char *name) const
{
    return light ? light->property(name) : QVariant();
}

void Widget::Private::setDispatchControlMode(bool checked)
{
    ui.actionDC->setChecked(checked);
    ui.actionDark->setEnabled(checked);
    ui.actionYF->setEnabled(checked);
    ui.actionRestart->setEnabled(checked);
    ui.listWidget->setEnabled(checked);
    if (checked)
        return;

    ui.listWidget->selectionModel()->clear();
    if (light)
        QMetaObject::invokeMethod(light, "setLocal");
    lastCommand = -3;
}

void Widget::Private::setYF()
{
}

void Widget::Private::setDark()
{
}

void Widget::Private::restart()
{
}

void Widget::Private::setPhase()
{
}

void Widget::Private::lightStateChanged()
{
    const int source = lightProperty("controlSource").toInt();
    const int algorithm = lightProperty("controlAlgorithm").toInt();
    // Source 3 is the centre; algorithms 0, 252 (0xFC) and 255 (0xFF) are
    // the ones the centre drives a controller with.
    dispatchActive = source == 3 && (algorithm == 0 || algorithm == 252 || algorithm == 255);
}

void Widget::Private::lightDestroyed()
{
    killTimer(timerId);
    // A close prompt still open asks about a controller that is gone.
    // closeEvent copes with the panel being deleted inside the prompt.
    if (closePrompt)
        closePrompt->reject();
    panel->deleteLater();
}

void Widget::Private::responseFinished()
{
}

void Widget::Private::timerEvent(QTimerEvent *)
{
}

} // namespace Vorlan

QObject *vorlan_panel_private(QWidget *panel)
{
    auto *widget = qobject_cast<Vorlan::Widget *>(panel);
    return widget ? Vorlan::Widget::Private::get(widget) : nullptr;
}

void vorlan_set_clock(QDateTime (*clock)())
{
    Vorlan::clock = clock ? clock : &QDateTime::currentDateTime;
}
