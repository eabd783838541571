// SPDX-License-Identifier: MIT
#include "widget_p.h"

#include "stagepictures.h"

#include <helvor/light.h>

#include <QAction>
#include <QBrush>
#include <QIcon>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QListWidgetItem>
#include <QSound>
#include <QTimerEvent>
#include <QToolBar>

#include <limits>

namespace Vorlan {

namespace {

QDateTime (*clock)() = &QDateTime::currentDateTime;

// One alarm for the whole process, made at the first audible alarm. Never
// deleted: panels of any plug-in object may still ring it.
QSound *alarmPlayer = nullptr;

// The device's code for a command carried out.
constexpr int commandDone = 0x1200;

// lastCommand codes besides stage numbers.
constexpr int modeCommand = -1;
constexpr int localRequested = -3;
constexpr int restartSent = -4;
constexpr int commandRefused = -5;

// Whole seconds between two instants in milliseconds since the epoch,
// truncated as QDateTime::secsTo truncates. Held as int, saturated rather
// than wrapped when the clock is off by decades.
int secondsBetween(qint64 sinceMSecs, qint64 nowMSecs)
{
    const qint64 seconds = (nowMSecs - sinceMSecs) / 1000;
    return int(qBound<qint64>(std::numeric_limits<int>::min(), seconds, std::numeric_limits<int>::max()));
}

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

    fillStageList();
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

bool Widget::Private::nowMSecs(qint64 &mSecs)
{
    // The real clock's local time is only this instant in another form,
    // and turning it back into the instant would ask the C library, which
    // looks at the zone file on every call. Across daylight-saving changes
    // the instant is the same; where a zone moves its standard offset back,
    // the local time is ambiguous and only the instant is right.
    if (clock == &QDateTime::currentDateTime) {
        mSecs = QDateTime::currentMSecsSinceEpoch();
        return true;
    }
    const QDateTime now = clock();
    if (!now.isValid())
        return false;
    mSecs = now.toMSecsSinceEpoch();
    return true;
}

qint64 Widget::Private::epochMSecs(const QDateTime &time, QDateTime &converted, qint64 &mSecs)
{
    // Equal local times compare without a conversion; the instant of an
    // unchanged time is the one computed before.
    if (!converted.isValid() || time != converted) {
        converted = time;
        mSecs = time.toMSecsSinceEpoch();
    }
    return mSecs;
}

QVariant Widget::Private::lightProperty(const char *name) const
{
    return light ? light->property(name) : QVariant();
}

int Widget::Private::lightCurrentStage() const
{
    // The class was checked when the panel was opened; the host's vtable is the contract.
    return light ? static_cast<const Helvor::Light *>(light.data())->currentStage() : -1;
}

void Widget::Private::fillStageList()
{
    QList<QObject *> stages;
    if (!light || !QMetaObject::invokeMethod(light, "phases", Q_RETURN_ARG(QList<QObject *>, stages)))
        return;

    StagePictures pictures(ui.listWidget->iconSize());
    for (int i = 0; i < stages.size(); ++i) {
        QObject *stage = stages.at(i);
        if (!stage)
            continue;
        const int number = stage->property("id").toInt();
        const QString description = stage->property("description").toString();

        auto *item = new QListWidgetItem(tr("%1:%2").arg(number).arg(description), ui.listWidget);
        item->setData(Qt::UserRole, number);
        const QString tip = tr("Set stage number %1: %2").arg(number).arg(description);
        item->setStatusTip(tip);
        item->setToolTip(tip);

        const QString stageSchema = stage->property("shema").toString();
        QIcon icon = StagePictures::isComposed(stageSchema)
            ? pictures.composed(lightProperty("shema").toString(), stageSchema)
            : pictures.picture(stageSchema);
        // A stage without any picture still gets an icon of the common size.
        if (icon.isNull())
            icon = pictures.blank();
        item->setIcon(icon);
    }
}

bool Widget::Private::invokeCommand(const char *method, QGenericArgument a1, QGenericArgument a2)
{
    if (pendingResponse || !light)
        return false;
    QObject *response = nullptr;
    // The host may delete the panel inside the call.
    const QPointer<Private> self(this);
    QMetaObject::invokeMethod(light, method, QGenericReturnArgument("Response*", &response), a1, a2);
    if (!self)
        return false;
    pendingResponse = response;
    if (!response)
        return false;
    connect(response, SIGNAL(finished()), this, SLOT(responseFinished()));
    // A response the host deletes unfinished must not keep the panel waiting.
    connect(response, &QObject::destroyed, this, [this] { responseDestroyed(); });
    return true;
}

void Widget::Private::responseDestroyed()
{
    // Only the tracked response is connected, and its guard is already
    // null: the command's success was never confirmed.
    if (!pendingResponse)
        lastCommand = commandRefused;
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
    if (light) {
        const QPointer<Private> self(this);
        QMetaObject::invokeMethod(light, "setLocal");
        if (!self)
            return;
    }
    lastCommand = localRequested;
}

void Widget::Private::setYF()
{
    if (invokeCommand("sendCommand", Q_ARG(QVariant, QVariant(QStringLiteral("set_yf")))))
        lastCommand = modeCommand;
}

void Widget::Private::setDark()
{
    if (invokeCommand("sendCommand", Q_ARG(QVariant, QVariant(QStringLiteral("set_os")))))
        lastCommand = modeCommand;
}

void Widget::Private::restart()
{
    // A restart is never tracked and never waits for a pending command.
    if (light) {
        const QPointer<Private> self(this);
        QMetaObject::invokeMethod(light, "sendCommand", Q_ARG(QVariant, QVariant(QStringLiteral("set_start"))));
        if (!self)
            return;
    }
    lastCommand = restartSent;
}

void Widget::Private::setPhase()
{
    // The operator's selection stays even when no command can go out.
    if (pendingResponse)
        return;
    const QList<QListWidgetItem *> selected = ui.listWidget->selectedItems();
    if (selected.isEmpty())
        return;
    bool ok = false;
    const int stage = selected.first()->data(Qt::UserRole).toInt(&ok);
    if (!ok)
        return;
    if (invokeCommand("sendCommand", Q_ARG(QVariant, QVariant(QStringLiteral("set_phase"))),
                      Q_ARG(QVariant, QVariant(stage))))
        lastCommand = stage;
}

void Widget::Private::lightStateChanged()
{
    const int source = lightProperty("controlSource").toInt();
    const int algorithm = lightProperty("controlAlgorithm").toInt();
    // Source 3 is the centre; algorithms 0, 252 (0xFC) and 255 (0xFF) are
    // the ones the centre drives a controller with.
    dispatchActive = source == 3 && (algorithm == 0 || algorithm == 252 || algorithm == 255);

    // Out of dispatch control, the last command no longer counts once it
    // was a hand-back (local, restart, refusal) or is more than 5 s old:
    // the controller may report the end a moment after an accepted command.
    if (!dispatchActive && lastActionTime.isValid()) {
        if (lastCommand < -2 || lastActionTime.secsTo(now()) > 5)
            lastActionTime = QDateTime();
    }

    // The two backgrounds as the items hold them, made once: an item
    // given the background it already has changes nothing.
    static const QVariant runningBackground = QBrush(Qt::green, Qt::SolidPattern);
    static const QVariant otherBackground = QBrush(Qt::transparent, Qt::SolidPattern);
    const int stage = lightCurrentStage();
    const QVariant running(stage);
    for (int row = 0; row < ui.listWidget->count(); ++row) {
        QListWidgetItem *item = ui.listWidget->item(row);
        if (item->data(Qt::UserRole) == running) {
            item->setData(Qt::BackgroundRole, runningBackground);
            // A stage the operator ordered shows green once it runs. An
            // unselected item has nothing to deselect, and the selection
            // model's bookkeeping for it is the costliest step here.
            if (item->isSelected())
                item->setSelected(false);
        } else {
            item->setData(Qt::BackgroundRole, otherBackground);
        }
    }

    if (!lightProperty("isConnected").toBool()) {
        stateText = tr("Disconnected");
    } else if (stage >= 0) {
        stateText = tr("Stage %1").arg(stage);
    } else {
        switch (lightProperty("keyRegime").toInt()) {
        case 0:
            stateText = tr("Dark");
            break;
        case 1:
            stateText = tr("Power switch level");
            break;
        case 2:
            stateText = tr("YF");
            break;
        case 3:
            stateText = tr("Signaling groups level");
            break;
        default:
            stateText = tr("Unknown state");
            break;
        }
    }
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
    QObject *response = pendingResponse;
    // Only the tracked response ends the wait: a stale one, or one that
    // signals twice, finds nothing to end.
    if (!response || (sender() && sender() != response))
        return;
    // Read in 64 bits: cut to an int, 0x100001200 would pass for 4608.
    bool known = false;
    if (response->property("error").toLongLong(&known) == commandDone && known)
        lastActionTime = now();
    else
        lastCommand = commandRefused;
    pendingResponse.clear();
    // Once done, a response is the host's alone: nothing it signals later reaches us.
    disconnect(response, nullptr, this, nullptr);
}

void Widget::Private::timerEvent(QTimerEvent *)
{
    // One instant for the whole tick.
    qint64 now = 0;
    const bool nowValid = nowMSecs(now);
    const QDateTime phaseTime = lightProperty("phaseChangeTime").toDateTime();
    const int phaseSecs = nowValid && phaseTime.isValid()
        ? secondsBetween(epochMSecs(phaseTime, convertedPhaseTime, phaseTimeMSecs), now)
        : 0;
    QString status = tr("%1: %2").arg(stateText, QString::number(phaseSecs));
    const int dcSecs = nowValid && lastActionTime.isValid()
        ? secondsBetween(epochMSecs(lastActionTime, convertedActionTime, actionTimeMSecs), now)
        : 0;
    if (lastActionTime.isValid())
        status += tr(" DC: %1").arg(dcSecs);
    if (pendingResponse) {
        if (QObject *request = qvariant_cast<QObject *>(pendingResponse->property("request"))) {
            QString text;
            QMetaObject::invokeMethod(request, "toString", Q_RETURN_ARG(QString, text));
            status += tr(" Sending command: %1").arg(text);
        }
    }
    statusLabel.setText(status);

    // The watchdog: warn while the operator has been idle for longer than
    // the period less the lead, and hand the controller back once the
    // period itself has run out. In 64 bits, any pair of ints subtracts.
    const int period = inactivitySpin.value();
    const qint64 warnAfter = qint64(period) - Widget::alarmBefore();
    QString title = panel->windowTitle();
    const QChar marker = title.isEmpty() ? QChar() : title.at(0);
    const bool blinking = marker == QLatin1Char('!') || marker == QLatin1Char(' ');
    if (dcSecs > warnAfter && dispatchActive && ui.actionDC->isChecked()) {
        if (marker == QLatin1Char(' ')) {
            title[0] = QLatin1Char('!');
            playAlarm();
        } else if (marker == QLatin1Char('!')) {
            title[0] = QLatin1Char(' ');
        } else {
            panel->raise();
            title.prepend(QLatin1Char('!'));
            playAlarm();
        }
        panel->setWindowTitle(title);
        if (dcSecs > period)
            setDispatchControlMode(false);
    } else if (blinking) {
        title.remove(0, 1);
        panel->setWindowTitle(title);
    }
}

void Widget::Private::playAlarm()
{
    if (!ui.actionSound->isChecked())
        return;
    if (!alarmPlayer)
        alarmPlayer = new QSound(QStringLiteral(":/sounds/alarm.wav"));
    if (!alarmPlayer->isFinished())
        alarmPlayer->stop();
    alarmPlayer->play();
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
