// SPDX-License-Identifier: MIT
#include "widget_p.h"

#include "hostcall.h"
#include "panel/modulestate.h"
#include "stagepictures.h"

#include <QAction>
#include <QBrush>
#include <QHelpEvent>
#include <QIcon>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QListWidgetItem>
#include <QSound>
#include <QTextDocument>
#include <QTimerEvent>
#include <QToolBar>
#include <QToolTip>

namespace Vorlan {

namespace {

// The device's code for a command carried out.
constexpr int commandDone = 0x1200;

// lastCommand codes besides stage numbers.
constexpr int modeCommand = -1;
constexpr int localRequested = -3;
constexpr int restartSent = -4;
constexpr int commandRefused = -5;

// Reads of the state in a row for one report, while the host keeps
// reporting changes during them.
constexpr int maxStateReads = 8;

} // namespace

Widget::Private::Private(QObject *light, Widget *panel)
    : QObject(nullptr)
    , light(light)
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

    // The line shows the host's request text: words, never markup.
    statusLabel.setTextFormat(Qt::PlainText);
    ui.toolBar->addWidget(&inactivitySpin);
    ui.toolBar->addWidget(&statusLabel);
    // The stage tips hold the host's descriptions; see eventFilter.
    ui.listWidget->viewport()->installEventFilter(this);
}

bool Widget::Private::attach()
{
    HostCall call(this);
    // First of all: a controller destroyed from here on takes the panel with it.
    call.connectController(SIGNAL(destroyed()), SLOT(lightDestroyed()));
    if (!call)
        return false;
    // Then its reports: one the host makes inside the calls below, after the
    // state was read, would otherwise be lost until the next.
    call.connectController(SIGNAL(stateChanged()), SLOT(lightStateChanged()));
    if (!call)
        return false;

    fillStageList();
    if (!call)
        return false;
    lightStateChanged();
    if (!call)
        return false;
    ui.actionDC->setChecked(dispatchActive);
    setDispatchControlMode(dispatchActive);
    if (!call)
        return false;

    // Connected only now, so that building the panel sends no command
    // through a slot: the one it may send is the "setLocal" above.
    connect(ui.actionDC, SIGNAL(triggered(bool)), this, SLOT(setDispatchControlMode(bool)));
    connect(ui.actionYF, SIGNAL(triggered()), this, SLOT(setYF()));
    connect(ui.actionDark, SIGNAL(triggered()), this, SLOT(setDark()));
    connect(ui.actionRestart, SIGNAL(triggered()), this, SLOT(restart()));
    connect(ui.listWidget, SIGNAL(itemSelectionChanged()), this, SLOT(setPhase()));

    timerId = startTimer(500, Qt::CoarseTimer);
    return true;
}

Widget::Private::~Private() = default;

Widget::Private *Widget::Private::get(Widget *panel)
{
    return panel->d;
}

QDateTime Widget::Private::now()
{
    return moduleState().clock();
}

void Widget::Private::fillStageList()
{
    HostCall call(this);
    const QList<QPointer<QObject>> stages = call.stages();
    if (!call)
        return;

    StagePictures pictures(ui.listWidget->iconSize());
    for (const QPointer<QObject> &stage : stages) {
        // A stage the host deleted meanwhile, or never gave, is left out.
        const QVariant id = call.stageProperty(stage, "id");
        const QVariant description = call.stageProperty(stage, "description");
        const QVariant schema = call.stageProperty(stage, "shema");
        if (!call)
            return;
        if (!stage)
            continue;
        const QString stageSchema = schema.toString();
        QIcon icon;
        if (StagePictures::isComposed(stageSchema)) {
            const QString planSchema = call.property("shema").toString();
            if (!call)
                return;
            icon = pictures.composed(planSchema, stageSchema);
        } else {
            icon = pictures.picture(stageSchema);
        }
        // A stage without any picture still gets an icon of the common size.
        if (icon.isNull())
            icon = pictures.blank();

        // Made whole before it joins the list, which then hears of it once.
        const int number = id.toInt();
        const QString text = HostCall::shown(description.toString());
        auto *item = new QListWidgetItem(tr("%1:%2").arg(number).arg(text));
        item->setData(Qt::UserRole, number);
        const QString tip = tr("Set stage number %1: %2").arg(number).arg(text);
        item->setStatusTip(tip);
        item->setToolTip(tip);
        item->setIcon(icon);
        ui.listWidget->addItem(item);
    }
}

bool Widget::Private::invokeCommand(const QVariant &command, const QVariant &argument)
{
    // One command at a time, also when the host runs the operator's clicks
    // in an event loop of its own while it takes the first.
    if (pendingResponse || commandUnderWay || !light)
        return false;
    HostCall call(this);
    commandUnderWay = true;
    const QPointer<QObject> response = call.sendCommand(command, argument);
    if (!call.panelAlive())
        return false;
    commandUnderWay = false;
    if (!call || !response)
        return false;
    pendingResponse = response;
    call.connectResponse(response, SIGNAL(finished()), SLOT(responseFinished()));
    if (!call)
        return false;
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
    // From here on: clearing the selection reaches whoever listens to the list.
    HostCall call(this);
    ui.actionDC->setChecked(checked);
    ui.actionDark->setEnabled(checked);
    ui.actionYF->setEnabled(checked);
    ui.actionRestart->setEnabled(checked);
    ui.listWidget->setEnabled(checked);
    if (checked)
        return;

    ui.listWidget->selectionModel()->clear();
    if (!call.panelAlive())
        return;
    call.setLocal();
    if (!call.panelAlive())
        return;
    lastCommand = localRequested;
}

void Widget::Private::setYF()
{
    if (invokeCommand(QStringLiteral("set_yf")))
        lastCommand = modeCommand;
}

void Widget::Private::setDark()
{
    if (invokeCommand(QStringLiteral("set_os")))
        lastCommand = modeCommand;
}

void Widget::Private::restart()
{
    // A restart is never tracked and never waits for a pending command.
    HostCall call(this);
    call.sendRestart();
    if (!call.panelAlive())
        return;
    lastCommand = restartSent;
}

void Widget::Private::setPhase()
{
    // The operator's selection stays even when no command can go out.
    if (pendingResponse || commandUnderWay)
        return;
    const QList<QListWidgetItem *> selected = ui.listWidget->selectedItems();
    if (selected.isEmpty())
        return;
    bool ok = false;
    const int stage = selected.first()->data(Qt::UserRole).toInt(&ok);
    if (!ok)
        return;
    if (invokeCommand(QStringLiteral("set_phase"), stage))
        lastCommand = stage;
}

void Widget::Private::lightStateChanged()
{
    // A host that reports a change while the panel reads its state is
    // answered by reading it again afterwards, not from inside the read,
    // until a read goes by without a report. A getter that reports at every
    // read would otherwise keep the panel reading without end; it is read a
    // few times, and left to its next report.
    if (refreshing) {
        refreshAgain = true;
        return;
    }
    refreshing = true;
    refreshState();
    for (int reads = 1; panel && refreshAgain && reads < maxStateReads; ++reads)
        refreshState();
    refreshing = false;
}

void Widget::Private::refreshState()
{
    refreshAgain = false;
    HostCall call(this);
    const int source = call.property("controlSource").toInt();
    if (!call)
        return;
    const int algorithm = call.property("controlAlgorithm").toInt();
    if (!call)
        return;
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

    const int stage = call.currentStage();
    if (!call)
        return;
    markRunningStage(stage);

    const bool connected = call.property("isConnected").toBool();
    if (!call)
        return;
    if (!connected) {
        stateText = tr("Disconnected");
    } else if (stage >= 0) {
        stateText = tr("Stage %1").arg(stage);
    } else {
        const int keyRegime = call.property("keyRegime").toInt();
        if (!call)
            return;
        switch (keyRegime) {
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

void Widget::Private::markRunningStage(int stage)
{
    // The two backgrounds as the items hold them, made once: an item
    // given the background it already has changes nothing.
    static const QVariant runningBackground = QBrush(Qt::green, Qt::SolidPattern);
    static const QVariant otherBackground = QBrush(Qt::transparent, Qt::SolidPattern);
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
}

void Widget::Private::lightDestroyed()
{
    if (!panel)
        return;
    killTimer(timerId);
    timerId = 0;
    // A close prompt still open asks about a controller that is gone.
    // closeEvent copes with the panel being deleted inside the prompt.
    if (closePrompt)
        closePrompt->reject();
    panel->deleteLater();
}

void Widget::Private::responseFinished()
{
    const QPointer<QObject> response = pendingResponse;
    // Only the tracked response ends the wait: a stale one, or one that
    // signals twice, finds nothing to end.
    if (!response || (sender() && sender() != response))
        return;
    // Done with before its result is read: whatever the host does while it
    // is asked, nothing the response signals later reaches this panel.
    pendingResponse.clear();
    HostCall call(this);
    call.disconnectResponse(response);
    if (!call.panelAlive())
        return;
    bool known = false;
    const qint64 error = call.responseError(response, &known);
    if (!call.panelAlive())
        return;
    if (known && error == commandDone)
        lastActionTime = now();
    else
        lastCommand = commandRefused;
}

bool Widget::Private::eventFilter(QObject *watched, QEvent *event)
{
    // Qt lays a tip out as rich text when it looks like markup, and reads
    // the file an <img> in it names: the stage tips hold the host's
    // descriptions, so they are shown as the words they are.
    if (event->type() == QEvent::ToolTip && watched == ui.listWidget->viewport()) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QListWidgetItem *item = ui.listWidget->itemAt(help->pos());
        const QString tip = item ? item->toolTip() : QString();
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), Qt::convertFromPlainText(tip), ui.listWidget->viewport(),
                               ui.listWidget->visualItemRect(item));
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void Widget::Private::timerEvent(QTimerEvent *)
{
    int dcSecs = 0;
    if (showStatus(&dcSecs))
        watch(dcSecs);
}

bool Widget::Private::showStatus(int *dcSecs)
{
    // One instant for the whole tick.
    qint64 now = 0;
    const bool nowValid = Instant::now(&now);
    HostCall call(this);
    const QDateTime stageChangeTime = call.property("phaseChangeTime").toDateTime();
    if (!call)
        return false;
    const int phaseSecs =
        nowValid && stageChangeTime.isValid() ? Instant::secondsBetween(stageStart.of(stageChangeTime), now) : 0;
    QString status = tr("%1: %2").arg(stateText, QString::number(phaseSecs));
    *dcSecs = nowValid && lastActionTime.isValid() ? Instant::secondsBetween(lastAction.of(lastActionTime), now) : 0;
    if (lastActionTime.isValid())
        status += tr(" DC: %1").arg(*dcSecs);
    if (pendingResponse) {
        bool hasRequest = false;
        const QString text = call.requestText(pendingResponse, &hasRequest);
        if (!call)
            return false;
        if (hasRequest)
            status += tr(" Sending command: %1").arg(text);
    }
    statusLabel.setText(status);
    return call.panelAlive();
}

void Widget::Private::watch(int dcSecs)
{
    // Warn while the operator has been idle for longer than the period less
    // the lead, and hand the controller back once the period itself has run
    // out. In 64 bits, any pair of ints subtracts.
    const int period = inactivitySpin.value();
    const qint64 warnAfter = qint64(period) - Widget::alarmBefore();
    QString title = panel->windowTitle();
    const QChar marker = title.isEmpty() ? QChar() : title.at(0);
    const bool blinking = marker == QLatin1Char('!') || marker == QLatin1Char(' ');
    const QPointer<Private> self(this);
    if (dcSecs > warnAfter && dispatchActive && ui.actionDC->isChecked()) {
        if (marker == QLatin1Char(' ')) {
            title[0] = QLatin1Char('!');
            playAlarm();
        } else if (marker == QLatin1Char('!')) {
            title[0] = QLatin1Char(' ');
        } else {
            // Raising and retitling reach the host's docking.
            panel->raise();
            if (!self)
                return;
            title.prepend(QLatin1Char('!'));
            playAlarm();
        }
        panel->setWindowTitle(title);
        if (self && dcSecs > period)
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
    QSound *&alarmPlayer = moduleState().alarmPlayer;
    if (!alarmPlayer)
        alarmPlayer = new QSound(QStringLiteral(":/sounds/alarm.wav"));
    if (!alarmPlayer->isFinished())
        alarmPlayer->stop();
    alarmPlayer->play();
}

} // namespace Vorlan
