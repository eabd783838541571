// SPDX-License-Identifier: MIT
//
// A seeded random soak of the plug-in. Hosts, operators and controllers do
// whatever they may, in any order: panels opened and closed (the prompt
// answered every way, the host at work while it is open), commands and
// stages, controller values of any type, controllers that report their new
// state from inside a command and hosts that delete the panel on that
// report, responses finished, finished twice or deleted, controllers
// destroyed (also while their prompt is open) and made anew at a reused
// address, the plug-in object replaced, the module's values changed, the
// clock moved back and forth across the watchdog's thresholds. After every
// step the panels must agree with a small model of what they show and send.
//
//   build/tests/tst_soak                               20000 steps, a fresh seed
//   VORLAN_SOAK_SEED=1234 build/tests/tst_soak         replays seed 1234 exactly
//   VORLAN_SOAK_STEPS=1000000 build/tests/tst_soak     a longer run
//   VORLAN_SOAK_TRACE=1 build/tests/tst_soak           every action to stderr; after a
//                                                      crash the last line names its step
//
// A failure names the seed, the step and the last actions.
#include "host.h"
#include "request.h"
#include "response.h"

#include <helvor/light.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QVector>
#include <QtTest>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <vector>

namespace {

// The device's code for a command carried out.
constexpr int commandDone = 4608;
// lastCommand codes besides stage numbers.
constexpr int modeCommand = -1;
constexpr int localRequested = -3;
constexpr int restartSent = -4;
constexpr int commandRefused = -5;

// The operator's command buttons.
enum Command { YFCommand, DarkCommand, RestartCommand };

constexpr int maxControllers = 12;
constexpr int inPlaceSlots = 4;
// Responses beyond this many are dropped by the host, oldest first,
// finished or not.
constexpr int keptResponses = 48;

// Breaches seen inside callbacks (a call on a destroyed controller, a read of
// a deleted response); the step loop turns them into a failure.
QStringList violations;

void violation(const QString &what)
{
    violations.append(what);
}

// Live test controllers and responses by address. A call must find its
// object here: a destroyed one is gone from the table before the object's
// memory is, so the check itself never reads freed memory.
QHash<const void *, quint64> liveLights;
QSet<const void *> liveResponses;

struct Call
{
    quint64 serial;
    QByteArray method;
    QVariantList arguments;
    QObject *response;
};

// Every call the controllers received in the current step, in order.
QVector<Call> calls;

QString describe(const QVariantList &arguments)
{
    QStringList words;
    for (const QVariant &argument : arguments)
        words.append(argument.toString() + QLatin1Char('/') + QLatin1String(argument.typeName()));
    return words.join(QLatin1Char(' '));
}

// Seconds as the panel holds them: an int, saturated.
int saturated(qint64 seconds)
{
    return int(qBound<qint64>(INT_MIN, seconds, INT_MAX));
}

// A host response. The panel reads "error" and "request" by name; these
// shadow the base's properties so that a read reaching a destroyed response
// is caught, and so that "error" can be missing or of any type.
class SoakResponse : public Response
{
    Q_OBJECT
    Q_PROPERTY(QVariant error READ errorValue)
    Q_PROPERTY(QObject *request READ requestObject)

public:
    SoakResponse(quint64 id, QObject *request, const QString &requestText);
    ~SoakResponse() override;

    QVariant errorValue() const;
    QObject *requestObject() const;
    // Sets the error and emits finished(), as often as the host likes.
    void finishWith(const QVariant &error);

    const quint64 id;
    // What the request's toString gives; empty when it has none.
    const QString requestText;
    int finishes = 0;

private:
    bool readable(const char *property) const;

    QObject *const m_request;
    QVariant m_error;
};

SoakResponse::SoakResponse(quint64 id, QObject *request, const QString &requestText)
    : Response(request)
    , id(id)
    , requestText(requestText)
    , m_request(request)
{
    liveResponses.insert(this);
}

SoakResponse::~SoakResponse()
{
    liveResponses.remove(this);
}

bool SoakResponse::readable(const char *property) const
{
    if (liveResponses.contains(this))
        return true;
    violation(QStringLiteral("\"%1\" read from a deleted response at %2")
                  .arg(QLatin1String(property), QString::number(quintptr(this), 16)));
    return false;
}

QVariant SoakResponse::errorValue() const
{
    return readable("error") ? m_error : QVariant();
}

QObject *SoakResponse::requestObject() const
{
    return readable("request") ? m_request : nullptr;
}

void SoakResponse::finishWith(const QVariant &error)
{
    m_error = error;
    ++finishes;
    Q_EMIT finished();
}

// The host's responses, oldest first; the host owns them.
QVector<SoakResponse *> responses;
quint64 lastResponseId = 0;

// A controller whose every state value is a dynamic property, so that it can
// be missing or hold any type. Each call it receives is recorded, under its
// serial number, in a log that outlives it.
class SoakLight : public Helvor::Light
{
    Q_OBJECT

public:
    SoakLight(quint64 serial, int number, const QString &displayName);
    ~SoakLight() override;

    quint64 serial() const;
    int currentStage() const override;
    // What currentStage() reports, without recording a call.
    int stageValue() const;

    Q_INVOKABLE QList<QObject *> phases();
    Q_INVOKABLE Response *sendCommand(const QVariant &command);
    Q_INVOKABLE Response *sendCommand(const QVariant &command, const QVariant &argument);
    Q_INVOKABLE void setLocal();

    // Stage objects, children of this controller; null entries are allowed.
    QList<QObject *> stages;
    // When off, sendCommand answers with a null response.
    bool accepting = true;
    // A controller that reports its new state from inside the panel's call:
    // for "setLocal" it may leave dispatch control at once, for "set_phase"
    // it may run the stage at once.
    bool reportsAtOnce = false;
    // Runs just before such a report, so that the test's model follows it.
    static std::function<void(SoakLight *)> reporting;

private:
    bool answering(const char *method) const;
    Response *command(const QVariantList &arguments);
    void report();

    const quint64 m_serial;
};

std::function<void(SoakLight *)> SoakLight::reporting;

SoakLight::SoakLight(quint64 serial, int number, const QString &displayName)
    : Helvor::Light(number, displayName)
    , m_serial(serial)
{
    liveLights.insert(this, serial);
}

SoakLight::~SoakLight()
{
    // Out of the table before destroyed() reaches the panels.
    liveLights.remove(this);
}

quint64 SoakLight::serial() const
{
    return m_serial;
}

bool SoakLight::answering(const char *method) const
{
    if (liveLights.contains(this))
        return true;
    violation(QStringLiteral("%1 invoked on a destroyed controller at %2")
                  .arg(QLatin1String(method), QString::number(quintptr(this), 16)));
    return false;
}

int SoakLight::stageValue() const
{
    bool ok = false;
    const int stage = property("currentStage").toInt(&ok);
    return ok ? stage : -1;
}

int SoakLight::currentStage() const
{
    if (!answering("currentStage"))
        return -1;
    calls.append({m_serial, QByteArrayLiteral("currentStage"), {}, nullptr});
    return stageValue();
}

QList<QObject *> SoakLight::phases()
{
    if (!answering("phases"))
        return {};
    calls.append({m_serial, QByteArrayLiteral("phases"), {}, nullptr});
    return stages;
}

Response *SoakLight::sendCommand(const QVariant &command)
{
    return this->command({command});
}

Response *SoakLight::sendCommand(const QVariant &command, const QVariant &argument)
{
    return this->command({command, argument});
}

void SoakLight::setLocal()
{
    if (!answering("setLocal"))
        return;
    calls.append({m_serial, QByteArrayLiteral("setLocal"), {}, nullptr});
    if (!reportsAtOnce)
        return;
    if (m_serial % 2)
        setProperty("controlSource", 1);
    report();
}

void SoakLight::report()
{
    if (reporting)
        reporting(this);
    Q_EMIT stateChanged();
}

Response *SoakLight::command(const QVariantList &arguments)
{
    if (!answering("sendCommand"))
        return nullptr;
    SoakResponse *response = nullptr;
    if (accepting) {
        const quint64 id = ++lastResponseId;
        // Most requests are the host's own; some are objects without a
        // toString, some are missing. Chosen by id, so a seed replays.
        QObject *request = nullptr;
        QString text;
        if (id % 10 == 1) {
            request = new QObject;
        } else if (id % 10 != 0) {
            auto *own = new Request(arguments.value(0).toString(), arguments.mid(1));
            text = own->toString();
            request = own;
        }
        response = new SoakResponse(id, request, text);
        responses.append(response);
    }
    calls.append({m_serial, QByteArrayLiteral("sendCommand"), arguments, response});
    if (reportsAtOnce) {
        if (response && arguments.value(0).toString() == QLatin1String("set_phase"))
            setProperty("currentStage", arguments.value(1));
        report();
    }
    return response;
}

// Messages the soak causes on purpose, by the hundred, would bury the run's
// own output: the offscreen platform's remarks on prompts and raised panels,
// schema pictures that do not exist, requests without a toString. They are
// counted; anything else is passed on. The module's own diagnostic, a list
// entry that is no panel, must never come.
QtMessageHandler passOn = nullptr;
int expectedMessages = 0;

void filterMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("is not Vorlan::Widget")))
        violation(QStringLiteral("the module logged: %1").arg(message));
    if (message == QLatin1String("This plugin does not support propagateSizeHints()")
        || message == QLatin1String("This plugin does not support raise()")
        || message == QLatin1String("QMetaObject::invokeMethod: No such method QObject::toString()")
        || (qstrcmp(context.category, "qt.svg") == 0 && message.startsWith(QLatin1String("Cannot open file")))) {
        ++expectedMessages;
        return;
    }
    passOn(type, context, message);
}

// Lets a panel's timer events through only while the test ticks it: the
// panels' own 500 ms timers would otherwise tick inside a prompt's event
// loop at moments real time picks, and a seed would no longer replay.
class TickGate : public QObject
{
public:
    bool open = false;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        return event->type() == QEvent::Timer && !open;
    }
};

} // namespace

class tst_Soak : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void soak();

    void panelDeletedInsideControllerCall_data();
    void panelDeletedInsideControllerCall();

private:
    // What the test knows of one controller.
    struct LightModel
    {
        quint64 serial = 0;
        SoakLight *object = nullptr; // null once destroyed
        int slot = -1; // storage slot of one made in place, -1 on the heap
    };

    // What one panel should show and have sent.
    struct PanelModel
    {
        QPointer<QWidget> panel;
        Vorlan::Widget::Private *d = nullptr;
        quint64 serial = 0;
        QString title;
        bool closing = false; // close accepted: awaits deferred deletion
        bool controllerGone = false; // likewise, and its timer is dead
        bool hostDeleted = false;
        bool prompting = false; // its close prompt is open
        bool dispatchActive = false;
        bool mode = false; // actionDC checked, command actions enabled
        bool lastCommandKnown = false;
        int lastCommand = 0;
        QDateTime lastActionTime;
        SoakResponse *pending = nullptr;
        QString stateText;
        QString status;
        int period = 0;
        QChar marker;

        // Counted afresh in every step.
        int offToggles = 0;
        int offTogglesAlive = 0; // while its controller lived
        int onToggles = 0;
        int expectedOffToggles = 0;
        int expectedOnToggles = 0;
        int untoggledLocal = 0; // "setLocal" without actionDC changing
    };

    struct Expected
    {
        int setLocal = 0;
        int phases = 0;
        int currentStage = 0;
        QStringList commands;
    };

    // Steps.
    QString step();
    QString hostStep();
    QString openPanel();
    QString openNonController();
    QString closePanel();
    QString deletePanel();
    QString createController();
    QString destroyController();
    QString changeProperty();
    QString emitStateChanged();
    QString triggerDC();
    QString command(Command which);
    QString dropOldResponse();
    QString selectStage(bool select);
    QString finishResponse();
    QString deleteResponse();
    QString recreatePlugin();
    QString changeModuleValue();
    QString moveClock();
    QString tick();
    QString processEvents();

    // Model.
    void modelStateChanged(PanelModel &p, const SoakLight *light);
    void modelMode(PanelModel &p, bool checked);
    bool modelTick(PanelModel &p, const SoakLight *light);
    void modelFinished(SoakResponse *response);
    void modelResponseGone(SoakResponse *response);
    void emitStateChangedOf(LightModel &light);
    void destroy(LightModel &light);
    void dropResponse(SoakResponse *response);
    Expected &expect(quint64 serial);
    static SoakResponse *sentResponse(quint64 serial, int from);

    // Checks.
    void beginStep();
    void endStep();
    void checkPanel(PanelModel &p);
    void checkCalls();
    QString failureReport(const QString &what) const;

    // Helpers.
    quint32 below(quint32 bound);
    bool chance(int percent);
    QVariant randomInt(const QList<int> &sane);
    QVariant randomBool();
    QVariant randomDateTime();
    QVariant randomPath();
    LightModel *lightOf(quint64 serial);
    std::vector<PanelModel *> panelsWhere(const std::function<bool(const PanelModel &)> &which) const;
    PanelModel *pickPanel(const std::function<bool(const PanelModel &)> &which);
    LightModel *pickLight();
    void tickPanel(PanelModel &p);
    void discardAll();

    Host m_host;
    QRandomGenerator m_random;
    TickGate m_gate;
    QTemporaryDir m_settings;
    int m_step = 0;
    int m_steps = 0;
    quint32 m_seed = 0;
    QStringList m_recent;
    bool m_trace = false;

    quint64 m_lastSerial = 0;
    std::vector<std::unique_ptr<LightModel>> m_lights;
    std::vector<std::unique_ptr<PanelModel>> m_panels;
    alignas(SoakLight) unsigned char m_storage[inPlaceSlots][sizeof(SoakLight)];
    bool m_slotUsed[inPlaceSlots] = {};

    int m_alarmBefore = 60;
    int m_defaultPeriod = 180;
    QString m_alarmSound;

    QHash<quint64, Expected> m_expected;
    // Deferred deletions may run in this step (an event loop ran) or must
    // all have run by its end (posted deletions were sent).
    bool m_deletionsMayRun = false;
    bool m_deletionsMustRun = false;

    // Counted for the report.
    int m_prompts = 0;
    // A panel the host deletes from its own slot on the controller's report.
    QPointer<QWidget> m_deleteOnReport;
    bool m_pickingStage = false;
    int m_deletedOnReport = 0;
    int m_promptDepth = 0;
    int m_handBacks = 0;
    int m_lateHandBacks = 0;
    int m_reusedAddresses = 0;
    int m_reusedWhilePanelLives = 0;
};

// --- Helpers ---

quint32 tst_Soak::below(quint32 bound)
{
    return m_random.bounded(bound);
}

bool tst_Soak::chance(int percent)
{
    return int(m_random.bounded(100u)) < percent;
}

// A value for an int property: mostly a sane one, else missing, of another
// type, or at the ends of the range.
QVariant tst_Soak::randomInt(const QList<int> &sane)
{
    const int saneValue = sane.at(int(below(quint32(sane.size()))));
    switch (below(12)) {
    case 0:
        return QVariant();
    case 1:
        switch (below(7)) {
        case 0:
            return QStringLiteral("junk");
        case 1:
            return QString::number(saneValue); // a text that converts
        case 2:
            return QVariantList{saneValue};
        case 3:
            return QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC);
        case 4:
            return saneValue + 0.4;
        case 5:
            return true;
        default:
            return QVariant::fromValue<QObject *>(nullptr);
        }
    case 2: {
        const int extremes[] = {INT_MIN, INT_MAX, -1, -255, 65536, 256};
        return extremes[below(6)];
    }
    case 3:
        return qlonglong(1) << 40;
    default:
        return saneValue;
    }
}

QVariant tst_Soak::randomBool()
{
    switch (below(10)) {
    case 0:
        return QVariant();
    case 1:
        return QStringLiteral("false");
    case 2:
        return 2;
    case 3:
        return QStringLiteral("junk");
    default:
        return chance(80);
    }
}

QVariant tst_Soak::randomDateTime()
{
    switch (below(10)) {
    case 0:
        return QVariant();
    case 1:
        return 5;
    case 2:
        return Host::clock().toString(Qt::ISODate);
    case 3:
        return QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
    case 4:
        return QDateTime(QDate(9999, 12, 31), QTime(23, 59), Qt::UTC);
    default:
        return Host::clock().addSecs(qint64(below(200000)) - 100000);
    }
}

// Schema paths name no file: the soak draws no pictures, bar the composite
// ones of metafile schemas, which stay white.
QVariant tst_Soak::randomPath()
{
    switch (below(10)) {
    case 0:
        return QVariant();
    case 1:
        return QStringLiteral("/nonexistent/soak/plan.wmf");
    case 2:
        return QStringLiteral("/nonexistent/soak/plan.png");
    case 3:
        return 17;
    default:
        return QString();
    }
}

tst_Soak::LightModel *tst_Soak::lightOf(quint64 serial)
{
    for (const auto &light : m_lights) {
        if (light->serial == serial)
            return light.get();
    }
    return nullptr;
}

std::vector<tst_Soak::PanelModel *> tst_Soak::panelsWhere(const std::function<bool(const PanelModel &)> &which) const
{
    std::vector<PanelModel *> result;
    for (const auto &p : m_panels) {
        if (p->panel && which(*p))
            result.push_back(p.get());
    }
    return result;
}

tst_Soak::PanelModel *tst_Soak::pickPanel(const std::function<bool(const PanelModel &)> &which)
{
    const std::vector<PanelModel *> candidates = panelsWhere(which);
    return candidates.empty() ? nullptr : candidates.at(below(quint32(candidates.size())));
}

tst_Soak::LightModel *tst_Soak::pickLight()
{
    std::vector<LightModel *> alive;
    for (const auto &light : m_lights) {
        if (light->object)
            alive.push_back(light.get());
    }
    return alive.empty() ? nullptr : alive.at(below(quint32(alive.size())));
}

// The response to the command a controller received since call number from.
SoakResponse *tst_Soak::sentResponse(quint64 serial, int from)
{
    for (int i = calls.size() - 1; i >= from; --i) {
        if (calls.at(i).serial == serial && calls.at(i).method == "sendCommand")
            return static_cast<SoakResponse *>(calls.at(i).response);
    }
    return nullptr;
}

tst_Soak::Expected &tst_Soak::expect(quint64 serial)
{
    return m_expected[serial];
}

// --- Model ---

// What lightStateChanged makes of the controller's values.
void tst_Soak::modelStateChanged(PanelModel &p, const SoakLight *light)
{
    const int source = light->property("controlSource").toInt();
    const int algorithm = light->property("controlAlgorithm").toInt();
    p.dispatchActive = source == 3 && (algorithm == 0 || algorithm == 252 || algorithm == 255);
    if (!p.dispatchActive && p.lastActionTime.isValid()
        && ((p.lastCommandKnown && p.lastCommand < -2) || p.lastActionTime.secsTo(Host::clock()) > 5))
        p.lastActionTime = QDateTime();

    const int stage = light->stageValue();
    ++expect(p.serial).currentStage;
    if (!light->property("isConnected").toBool()) {
        p.stateText = QStringLiteral("Disconnected");
    } else if (stage >= 0) {
        p.stateText = QStringLiteral("Stage %1").arg(stage);
    } else {
        static const char *const regimes[] = {"Dark", "Power switch level", "YF", "Signaling groups level"};
        const int regime = light->property("keyRegime").toInt();
        p.stateText = regime >= 0 && regime <= 3 ? QLatin1String(regimes[regime]) : QStringLiteral("Unknown state");
    }
}

// setDispatchControlMode(checked).
void tst_Soak::modelMode(PanelModel &p, bool checked)
{
    if (p.mode != checked)
        ++(checked ? p.expectedOnToggles : p.expectedOffToggles);
    else if (!checked && !p.controllerGone)
        ++p.untoggledLocal;
    p.mode = checked;
    if (checked)
        return;
    if (!p.controllerGone)
        ++expect(p.serial).setLocal;
    p.lastCommand = localRequested;
    p.lastCommandKnown = true;
}

// One timer tick: the status line, the title marker, the hand-back.
// Gives whether the tick hands the controller back; the caller models that
// after the tick, in the panel's order.
bool tst_Soak::modelTick(PanelModel &p, const SoakLight *light)
{
    const QDateTime now = Host::clock();
    const int phaseSecs = saturated(light->property("phaseChangeTime").toDateTime().secsTo(now));
    p.status = QStringLiteral("%1: %2").arg(p.stateText, QString::number(phaseSecs));
    const int dcSecs = p.lastActionTime.isValid() ? saturated(p.lastActionTime.secsTo(now)) : 0;
    if (p.lastActionTime.isValid())
        p.status += QStringLiteral(" DC: %1").arg(dcSecs);
    if (p.pending && p.pending->requestObject())
        p.status += QStringLiteral(" Sending command: %1").arg(p.pending->requestText);

    if (dcSecs > qint64(p.period) - m_alarmBefore && p.dispatchActive && p.mode) {
        p.marker = p.marker == QLatin1Char('!') ? QLatin1Char(' ') : QLatin1Char('!');
        return dcSecs > p.period;
    }
    p.marker = QChar();
    return false;
}

void tst_Soak::modelFinished(SoakResponse *response)
{
    for (const auto &p : m_panels) {
        if (!p->panel || p->pending != response)
            continue;
        if (response->errorValue().toInt() == commandDone) {
            p->lastActionTime = Host::clock();
        } else {
            p->lastCommand = commandRefused;
            p->lastCommandKnown = true;
        }
        p->pending = nullptr;
    }
}

// A tracked response that goes unfinished counts as refused.
void tst_Soak::modelResponseGone(SoakResponse *response)
{
    for (const auto &p : m_panels) {
        if (p->pending != response)
            continue;
        p->pending = nullptr;
        p->lastCommand = commandRefused;
        p->lastCommandKnown = true;
    }
}

void tst_Soak::emitStateChangedOf(LightModel &light)
{
    for (PanelModel *p : panelsWhere([&](const PanelModel &p) { return p.serial == light.serial; }))
        modelStateChanged(*p, light.object);
    Q_EMIT light.object->stateChanged();
}

void tst_Soak::destroy(LightModel &light)
{
    SoakLight *object = light.object;
    light.object = nullptr;
    for (const auto &p : m_panels) {
        if (p->serial == light.serial)
            p->controllerGone = true;
    }
    if (light.slot < 0) {
        delete object;
    } else {
        // Its storage stays, for a controller made at the same address.
        object->~SoakLight();
        m_slotUsed[light.slot] = false;
    }
}

void tst_Soak::dropResponse(SoakResponse *response)
{
    modelResponseGone(response);
    responses.removeOne(response);
    delete response;
}

// --- Steps ---

QString tst_Soak::step()
{
    enum Kind {
        Open,
        OpenNonController,
        Close,
        DeletePanel,
        Create,
        Destroy,
        Property,
        StateChanged,
        DC,
        YF,
        Dark,
        Restart,
        Select,
        Deselect,
        Finish,
        DeleteResponse,
        Plugin,
        ModuleValue,
        Clock,
        Tick,
        Events,
        KindCount
    };
    // Weights in thousandths; the cheap steps dominate.
    static const int weights[KindCount] = {60, 3,  30, 8,  30, 20, 140, 80, 60,  40, 30,
                                           20, 60, 20, 80, 20, 3,  30,  60, 150, 40};
    static const int total = [] {
        int sum = 0;
        for (int weight : weights)
            sum += weight;
        return sum;
    }();

    int roll = int(below(quint32(total)));
    int kind = 0;
    while (roll >= weights[kind])
        roll -= weights[kind++];

    switch (kind) {
    case Open:
        return openPanel();
    case OpenNonController:
        return openNonController();
    case Close:
        return closePanel();
    case DeletePanel:
        return deletePanel();
    case Create:
        return createController();
    case Destroy:
        return destroyController();
    case Property:
        return changeProperty();
    case StateChanged:
        return emitStateChanged();
    case DC:
        return triggerDC();
    case YF:
        return command(YFCommand);
    case Dark:
        return command(DarkCommand);
    case Restart:
        return command(RestartCommand);
    case Select:
        return selectStage(true);
    case Deselect:
        return selectStage(false);
    case Finish:
        return finishResponse();
    case DeleteResponse:
        return deleteResponse();
    case Plugin:
        return recreatePlugin();
    case ModuleValue:
        return changeModuleValue();
    case Clock:
        return moveClock();
    case Tick:
        return tick();
    default:
        return processEvents();
    }
}

// What the host and the controllers do while a prompt is open; a second
// prompt, for another panel, may open inside the first.
QString tst_Soak::hostStep()
{
    switch (below(12)) {
    case 0:
        return openPanel();
    case 1:
        return m_promptDepth < 2 ? closePanel() : tick();
    case 2:
        return deletePanel();
    case 3:
        return createController();
    case 4:
        return destroyController();
    case 5:
        return changeProperty();
    case 6:
        return emitStateChanged();
    case 7:
        return finishResponse();
    case 8:
        return deleteResponse();
    case 9:
        return changeModuleValue();
    case 10:
        return moveClock();
    default:
        return tick();
    }
}

QString tst_Soak::createController()
{
    int alive = 0;
    for (const auto &light : m_lights)
        alive += light->object ? 1 : 0;
    if (alive >= maxControllers)
        return destroyController();

    auto model = std::make_unique<LightModel>();
    model->serial = ++m_lastSerial;
    const int number = int(below(40)) - 3;
    static const char *const names[] = {"North gate", "", "Mill Lane", "%2 odd", "Ring Road"};
    const QString name = QLatin1String(names[below(5)]);

    // Some are made in place, in storage a destroyed controller has left;
    // most of all where that controller's panel still awaits its deletion,
    // the case open() must tell apart from the panel of the new one.
    const auto panelLivesFor = [this](int slot) {
        for (const auto &old : m_lights) {
            if (old->slot == slot && !old->object
                && !panelsWhere([&](const PanelModel &p) { return p.serial == old->serial; }).empty())
                return true;
        }
        return false;
    };
    int slot = -1;
    const bool inPlace = chance(30);
    for (int i = 0; i < inPlaceSlots && slot < 0; ++i) {
        const int candidate = int((m_step + i) % inPlaceSlots);
        if (!m_slotUsed[candidate] && (inPlace || (panelLivesFor(candidate) && chance(70))))
            slot = candidate;
    }
    SoakLight *light = nullptr;
    if (slot >= 0) {
        if (panelLivesFor(slot))
            ++m_reusedWhilePanelLives;
        light = new (m_storage[slot]) SoakLight(model->serial, number, name);
        m_slotUsed[slot] = true;
        ++m_reusedAddresses;
    } else {
        light = new SoakLight(model->serial, number, name);
    }
    model->object = light;
    model->slot = slot;

    const bool dispatch = chance(50);
    light->setProperty("controlSource", dispatch ? 3 : 1);
    light->setProperty("controlAlgorithm", dispatch ? 255 : 1);
    light->setProperty("keyRegime", 1);
    light->setProperty("isConnected", true);
    light->setProperty("phaseChangeTime", Host::clock());
    light->setProperty("currentStage", int(below(4)) - 1);
    if (chance(30))
        light->setProperty("shema", randomPath());
    light->accepting = chance(85);
    light->reportsAtOnce = chance(25);

    const int stageCount = int(below(6));
    for (int i = 0; i < stageCount; ++i) {
        if (chance(8)) {
            light->stages.append(nullptr);
            continue;
        }
        auto *stage = new QObject(light);
        stage->setProperty("id", randomInt({0, 1, 2, 3, 4, 5, 6}));
        static const char *const descriptions[] = {"Main road", "", "Side road %1", "Pedestrians"};
        if (!chance(10))
            stage->setProperty("description", QLatin1String(descriptions[below(4)]));
        if (chance(15))
            stage->setProperty("shema", randomPath());
        light->stages.append(stage);
    }

    const QString what = QStringLiteral("create controller #%1 %2%3, %4 stages, %5")
                             .arg(model->serial)
                             .arg(slot >= 0 ? QStringLiteral("in place, slot %1").arg(slot) : QStringLiteral("on heap"))
                             .arg(dispatch ? QStringLiteral(", dispatch") : QString())
                             .arg(stageCount)
                             .arg(light->accepting ? QStringLiteral("accepting") : QStringLiteral("refusing"))
        + (light->reportsAtOnce ? QStringLiteral(", reports at once") : QString());
    m_lights.push_back(std::move(model));
    return what;
}

QString tst_Soak::destroyController()
{
    LightModel *light = pickLight();
    if (!light)
        return createController();
    const QString what = QStringLiteral("destroy controller #%1").arg(light->serial);
    destroy(*light);
    return what;
}

QString tst_Soak::openPanel()
{
    LightModel *light = pickLight();
    if (!light)
        return createController();

    // The panel open() must give: the one serving this controller, unless it
    // is closed and only awaits deletion.
    PanelModel *current = nullptr;
    for (PanelModel *p :
         panelsWhere([&](const PanelModel &p) { return p.serial == light->serial && !p.closing && !p.hostDeleted; }))
        current = p;

    QWidget *panel = m_host.open(light->object);
    const QString what = QStringLiteral("open controller #%1").arg(light->serial);
    if (!panel) {
        violation(QStringLiteral("open gave no panel for a controller"));
        return what;
    }
    if (current) {
        if (panel != current->panel)
            violation(QStringLiteral("open gave another panel than the one serving the controller"));
        return what + QStringLiteral(" (already open)");
    }
    for (const auto &p : m_panels) {
        if (p->panel == panel)
            violation(QStringLiteral("open handed out a panel that no longer serves the controller"));
    }

    auto model = std::make_unique<PanelModel>();
    PanelModel &p = *model;
    p.panel = panel;
    p.d = Host::d(panel);
    p.serial = light->serial;
    p.title = QStringLiteral("%1:%2").arg(light->object->number()).arg(light->object->displayName());
    p.period = qBound(0, m_defaultPeriod, 65535);
    ++expect(p.serial).phases;
    modelStateChanged(p, light->object);
    p.mode = p.dispatchActive;
    if (!p.mode) {
        ++expect(p.serial).setLocal;
        ++p.untoggledLocal;
        // A report from inside that "setLocal" reaches the new panel too.
        if (light->object->reportsAtOnce)
            modelStateChanged(p, light->object);
        p.lastCommand = localRequested;
        p.lastCommandKnown = true;
    }
    if (!p.d) {
        violation(QStringLiteral("open gave something that is no panel"));
        return what;
    }

    // The stage list as built from "phases": null entries are skipped.
    QListWidget *list = p.d->ui.listWidget;
    int row = 0;
    for (QObject *stage : qAsConst(light->object->stages)) {
        if (!stage)
            continue;
        const int number = stage->property("id").toInt();
        QListWidgetItem *item = list->item(row++);
        const QString text = QStringLiteral("%1:%2").arg(number).arg(stage->property("description").toString());
        if (!item || item->text() != text || item->data(Qt::UserRole) != QVariant(number))
            violation(QStringLiteral("stage list row %1 is not %2").arg(row - 1).arg(text));
    }
    if (list->count() != row)
        violation(QStringLiteral("stage list has %1 rows for %2 stages").arg(list->count()).arg(row));
    if (panel->objectName() != QStringLiteral("Vorlan::Widget_%1").arg(light->object->number()))
        violation(QStringLiteral("panel named %1").arg(panel->objectName()));

    p.d->installEventFilter(&m_gate);
    // A silent alarm: the soak makes no noise and needs no audio server.
    p.d->ui.actionSound->setChecked(false);
    PanelModel *observed = model.get();
    connect(p.d->ui.actionDC, &QAction::toggled, p.d->ui.actionDC, [this, observed](bool on) {
        if (on) {
            ++observed->onToggles;
            return;
        }
        ++observed->offToggles;
        if (LightModel *light = lightOf(observed->serial); light && light->object)
            ++observed->offTogglesAlive;
    });
    // The host's own slot on the controller's reports, connected after the
    // panel's, as a host that docks the panel it was given would connect it.
    connect(light->object, &Helvor::Light::stateChanged, panel, [this] { delete m_deleteOnReport.data(); });
    m_panels.push_back(std::move(model));
    return what + (p.mode ? QStringLiteral(": new panel, dispatch control") : QStringLiteral(": new panel, local"));
}

QString tst_Soak::openNonController()
{
    QObject plain;
    SoakResponse *response = responses.isEmpty() ? nullptr : responses.at(int(below(quint32(responses.size()))));
    QObject *candidate = response && chance(50) ? static_cast<QObject *>(response) : &plain;
    if (m_host.open(candidate))
        violation(QStringLiteral("open gave a panel for an object that is no controller"));
    return QStringLiteral("open a non-controller");
}

QString tst_Soak::closePanel()
{
    // Mostly a panel on show; now and then one already closed, which the
    // host may close again before it is gone.
    // A panel whose prompt is open is closing already: Qt ignores a close()
    // of it then, so the host's nested closes go to other panels.
    const bool again = chance(5);
    PanelModel *p =
        pickPanel([again](const PanelModel &p) { return !p.hostDeleted && !p.prompting && p.closing == again; });
    if (!p)
        return openPanel();
    QPointer<QWidget> panel = p->panel;
    QString what =
        QStringLiteral("close panel of #%1%2").arg(p->serial).arg(again ? QStringLiteral(" again") : QString());

    // A panel whose close was accepted asks nothing the second time.
    if (again || !p->dispatchActive || p->controllerGone) {
        // No prompt is due; one that comes anyway is refused and reported.
        QTimer unexpected;
        unexpected.setInterval(0);
        connect(&unexpected, &QTimer::timeout, [] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                violation(QStringLiteral("a prompt without dispatch control"));
                box->reject();
            }
        });
        unexpected.start();
        if (!panel->close())
            violation(QStringLiteral("a close without dispatch control was refused"));
        p->closing = true;
        return what + QStringLiteral(", no prompt");
    }

    static const QMessageBox::StandardButton answers[] = {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel,
                                                          QMessageBox::Escape};
    static const char *const answerNames[] = {"Yes", "No", "Cancel", "Escape"};
    const int answer = int(below(4));
    enum Before { Nothing, DestroyController, DeletePanel, DispatchEnds, FinishPending, SendPostedDeletes, HostWork };
    static const char *const beforeNames[] = {"",
                                              ", controller destroyed first",
                                              ", panel deleted first",
                                              ", dispatch ends first",
                                              ", response finished first",
                                              ", posted deletes sent first",
                                              ", host at work meanwhile"};
    const int roll = int(below(100));
    const Before before = roll < 45 ? Nothing
        : roll < 60                 ? DestroyController
        : roll < 65                 ? DeletePanel
        : roll < 75                 ? DispatchEnds
        : roll < 83                 ? FinishPending
        : roll < 88                 ? SendPostedDeletes
                                    : HostWork;
    what += QStringLiteral(", answer %1%2").arg(QLatin1String(answerNames[answer]), QLatin1String(beforeNames[before]));

    LightModel *light = lightOf(p->serial);
    const int errorRoll = int(below(2));
    bool controllerAtAnswer = false;
    bool goneBeforeAnswer = false;
    bool answered = false;
    QStringList meanwhile;
    m_deletionsMayRun = true;
    ++m_prompts;
    ++m_promptDepth;
    p->prompting = true;
    const auto prompt = Host::answerNextPrompt(answers[answer], [&] {
        switch (before) {
        case Nothing:
            break;
        case DestroyController:
            destroy(*light);
            break;
        case DeletePanel:
            p->hostDeleted = true;
            delete panel.data();
            break;
        case DispatchEnds:
            light->object->setProperty("controlSource", 1);
            emitStateChangedOf(*light);
            break;
        case FinishPending:
            if (SoakResponse *response = p->pending) {
                response->finishWith(errorRoll ? QVariant(commandDone) : QVariant(0x1203));
                modelFinished(response);
            }
            break;
        case SendPostedDeletes:
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            break;
        case HostWork:
            // The prompt's event loop serves the rest of the workstation:
            // any host step but the operator's, this very panel included.
            for (int i = int(below(3)); i >= 0; --i)
                meanwhile.append(hostStep());
            break;
        }
        controllerAtAnswer = light->object != nullptr;
        goneBeforeAnswer = p->hostDeleted;
        // The fixture answers right after this returns, in the same call.
        answered = true;
    });

    // A prompt the fixture saw but could not answer, or one that never
    // comes, must fail the step rather than hang the run.
    QElapsedTimer waited;
    waited.start();
    QTimer stuck;
    stuck.setInterval(20);
    connect(&stuck, &QTimer::timeout, [&] {
        // Only this panel's prompt: another one may be open inside it, while
        // the host works before the answer, however long a slow build takes.
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box && box->isVisible() && panel && box->parentWidget() == panel
            && (answered || (!prompt->seen && waited.elapsed() > 2000))) {
            violation(QStringLiteral("a prompt was left open"));
            box->reject();
        }
    });
    stuck.start();

    const bool closed = panel ? panel->close() : true;
    if (!prompt->seen)
        violation(QStringLiteral("no prompt under dispatch control"));

    --m_promptDepth;
    p->prompting = false;
    if (!meanwhile.isEmpty())
        what += QStringLiteral(" [%1]").arg(meanwhile.join(QLatin1String("; ")));
    if (goneBeforeAnswer)
        return what;
    const bool kept =
        controllerAtAnswer && (answers[answer] == QMessageBox::Cancel || answers[answer] == QMessageBox::Escape);
    if (controllerAtAnswer && answers[answer] == QMessageBox::Yes)
        modelMode(*p, false);
    if (!kept)
        p->closing = true;
    // The host may have deleted it on the controller's answer to "setLocal".
    if (p->hostDeleted)
        return what;
    if (panel && closed == kept)
        violation(QStringLiteral("close() gave %1").arg(closed));
    return what;
}

QString tst_Soak::deletePanel()
{
    PanelModel *p = pickPanel([](const PanelModel &p) { return !p.hostDeleted; });
    if (!p)
        return openPanel();
    p->hostDeleted = true;
    delete p->panel.data();
    return QStringLiteral("host deletes panel of #%1").arg(p->serial);
}

QString tst_Soak::changeProperty()
{
    LightModel *light = pickLight();
    if (!light)
        return createController();
    static const char *const names[] = {
        "controlSource", "controlAlgorithm", "keyRegime", "isConnected", "phaseChangeTime", "shema", "currentStage"};
    const int which = int(below(7));
    QVariant value;
    switch (which) {
    case 0:
        value = randomInt({1, 2, 3, 3, 3, 4});
        break;
    case 1:
        value = randomInt({0, 1, 251, 252, 253, 255, 255});
        break;
    case 2:
        value = randomInt({-1, 0, 1, 2, 3, 4});
        break;
    case 3:
        value = randomBool();
        break;
    case 4:
        value = randomDateTime();
        break;
    case 5:
        value = randomPath();
        break;
    default:
        value = randomInt({-2, -1, 0, 1, 2, 3, 5});
        break;
    }
    light->object->setProperty(names[which], value);
    QString what =
        QStringLiteral("controller #%1 %2 = %3")
            .arg(light->serial)
            .arg(QLatin1String(names[which]), value.isValid() ? describe({value}) : QStringLiteral("missing"));
    if (chance(50)) {
        emitStateChangedOf(*light);
        what += QStringLiteral(", stateChanged");
    }
    return what;
}

QString tst_Soak::emitStateChanged()
{
    LightModel *light = pickLight();
    if (!light)
        return createController();
    emitStateChangedOf(*light);
    return QStringLiteral("controller #%1 stateChanged").arg(light->serial);
}

QString tst_Soak::triggerDC()
{
    PanelModel *p = pickPanel([](const PanelModel &p) { return !p.closing && !p.hostDeleted; });
    if (!p)
        return openPanel();
    // The model follows the panel's order: a controller reporting from
    // inside "setLocal" still meets the previous lastCommand.
    p->d->ui.actionDC->trigger();
    modelMode(*p, !p->mode);
    return QStringLiteral("DC on panel of #%1, now %2").arg(p->serial).arg(QLatin1String(p->mode ? "on" : "off"));
}

QString tst_Soak::command(Command which)
{
    PanelModel *p = pickPanel([](const PanelModel &p) { return !p.closing && !p.hostDeleted; });
    if (!p)
        return openPanel();
    const char *name = which == YFCommand ? "YF" : which == DarkCommand ? "Dark" : "Restart";
    const QString what = QStringLiteral("%1 on panel of #%2").arg(QLatin1String(name)).arg(p->serial);
    // A disabled button takes no click. (Qt 5's QAction::trigger() would
    // fire it all the same, which no operator can.)
    if (!p->mode)
        return what + QStringLiteral(" (disabled)");

    if (which != YFCommand && which != DarkCommand) {
        if (!p->controllerGone)
            expect(p->serial).commands.append(QStringLiteral("set_start/QString"));
        p->d->ui.actionRestart->trigger();
        p->lastCommand = restartSent;
        p->lastCommandKnown = true;
        return what;
    }

    const QString word = which == YFCommand ? QStringLiteral("set_yf") : QStringLiteral("set_os");
    const bool sends = !p->pending && !p->controllerGone;
    if (sends)
        expect(p->serial).commands.append(word + QStringLiteral("/QString"));
    const int before = calls.size();
    (which == YFCommand ? p->d->ui.actionYF : p->d->ui.actionDark)->trigger();
    if (SoakResponse *response = sends ? sentResponse(p->serial, before) : nullptr) {
        p->pending = response;
        p->lastCommand = modeCommand;
        p->lastCommandKnown = true;
    }
    return what + (sends ? QString() : QStringLiteral(" (nothing sent)"));
}

QString tst_Soak::selectStage(bool select)
{
    // The operator picks only in a list on show and enabled.
    PanelModel *p = pickPanel([](const PanelModel &p) { return !p.closing && !p.hostDeleted && p.mode; });
    if (!p)
        return triggerDC();
    QListWidget *list = p->d->ui.listWidget;
    if (list->count() == 0)
        return QStringLiteral("no stage to pick on panel of #%1").arg(p->serial);
    const int row = int(below(quint32(list->count())));
    QListWidgetItem *item = list->item(row);
    const QString what = QStringLiteral("%1 row %2 on panel of #%3")
                             .arg(QLatin1String(select ? "select" : "deselect"))
                             .arg(row)
                             .arg(p->serial);

    // Picking the item that is already the only one selected changes
    // nothing; any other pick orders its stage, unless a command is under
    // way. Deselecting leaves nothing selected, so it orders nothing.
    const bool orders =
        select && list->selectedItems() != QList<QListWidgetItem *>{item} && !p->pending && !p->controllerGone;
    const int stage = item->data(Qt::UserRole).toInt();
    const int before = calls.size();
    m_pickingStage = true;
    if (select)
        list->setCurrentItem(item, QItemSelectionModel::ClearAndSelect);
    else if (chance(50))
        list->setCurrentItem(item, QItemSelectionModel::Deselect);
    else
        list->clearSelection();
    m_pickingStage = false;
    if (!orders)
        return what;

    expect(p->serial).commands.append(QStringLiteral("set_phase/QString %1/int").arg(stage));
    if (SoakResponse *response = sentResponse(p->serial, before)) {
        p->pending = response;
        p->lastCommand = stage;
        p->lastCommandKnown = true;
    }
    return what + QStringLiteral(", stage %1").arg(stage);
}

QString tst_Soak::finishResponse()
{
    if (responses.isEmpty())
        return command(YFCommand);
    // Mostly the newest, which some panel most likely waits for.
    const int index = chance(60) ? responses.size() - 1 : int(below(quint32(responses.size())));
    SoakResponse *response = responses.at(index);
    QVariant error;
    switch (below(8)) {
    case 0:
        error = 0x1203;
        break;
    case 1:
        error = QVariant();
        break;
    case 2:
        error = QStringLiteral("4608");
        break;
    case 3:
        error = -1;
        break;
    default:
        error = commandDone;
        break;
    }
    const bool twice = response->finishes > 0;
    response->finishWith(error);
    modelFinished(response);
    return QStringLiteral("finish response %1 with %2%3")
        .arg(response->id)
        .arg(error.isValid() ? describe({error}) : QStringLiteral("no error"))
        .arg(twice ? QStringLiteral(" (again)") : QString());
}

QString tst_Soak::deleteResponse()
{
    if (responses.isEmpty())
        return command(YFCommand);
    SoakResponse *response = responses.at(int(below(quint32(responses.size()))));
    const QString what = QStringLiteral("delete response %1%2")
                             .arg(response->id)
                             .arg(QLatin1String(response->finishes ? "" : " (unfinished)"));
    dropResponse(response);
    return what;
}

// The host drops old responses it has no more use for, finished or not.
QString tst_Soak::dropOldResponse()
{
    SoakResponse *oldest = responses.constFirst();
    const QString what = QStringLiteral("host drops response %1%2")
                             .arg(oldest->id)
                             .arg(QLatin1String(oldest->finishes ? "" : " (unfinished)"));
    dropResponse(oldest);
    return what;
}

QString tst_Soak::recreatePlugin()
{
    delete m_host.plugin();
    if (!m_host.plugin())
        violation(QStringLiteral("no new plug-in object"));
    // Without settings, a new plug-in object leaves the module's values alone.
    if (PanelModel *p = pickPanel([](const PanelModel &p) { return !p.hostDeleted; })) {
        if (p->panel->property("alarmBefore").toInt() != m_alarmBefore
            || p->panel->property("defaultInactivityPeriod").toInt() != m_defaultPeriod
            || p->panel->property("alarmSound").toString() != m_alarmSound)
            violation(QStringLiteral("a new plug-in object changed the module's values"));
    }
    return QStringLiteral("delete and re-create the plug-in object");
}

QString tst_Soak::changeModuleValue()
{
    PanelModel *p = pickPanel([](const PanelModel &p) { return !p.hostDeleted; });
    if (!p)
        return openPanel();
    QWidget *panel = p->panel;
    QString what;
    switch (below(4)) {
    case 0: {
        const int values[] = {60, 60, 0, 30, 120, 1000, -10, INT_MIN, INT_MAX};
        m_alarmBefore = values[below(9)];
        panel->setProperty("alarmBefore", m_alarmBefore);
        what = QStringLiteral("alarmBefore = %1").arg(m_alarmBefore);
        break;
    }
    case 1: {
        const int values[] = {180, 0, 10, 30, 65535, 100000, -1, INT_MIN};
        m_defaultPeriod = values[below(8)];
        panel->setProperty("defaultInactivityPeriod", m_defaultPeriod);
        what = QStringLiteral("defaultInactivityPeriod = %1").arg(m_defaultPeriod);
        break;
    }
    case 2:
        m_alarmSound = chance(50) ? QString() : QStringLiteral("/nonexistent/soak/alarm%1.wav").arg(m_step);
        panel->setProperty("alarmSound", m_alarmSound);
        what = QStringLiteral("alarmSound = \"%1\"").arg(m_alarmSound);
        break;
    default: {
        const int values[] = {180, 0, 1, 5, 30, 60, 65535, 65536, -1, INT_MAX, INT_MIN};
        const int value = values[below(11)];
        p->period = qBound(0, value, 65535);
        panel->setProperty("inactivityPeriod", value);
        return QStringLiteral("inactivityPeriod of panel of #%1 = %2").arg(p->serial).arg(value);
    }
    }
    // Module-wide: every panel reads the new value.
    if (PanelModel *other = pickPanel([](const PanelModel &p) { return !p.hostDeleted; })) {
        if (other->panel->property("alarmBefore").toInt() != m_alarmBefore
            || other->panel->property("defaultInactivityPeriod").toInt() != m_defaultPeriod
            || other->panel->property("alarmSound").toString() != m_alarmSound)
            violation(QStringLiteral("another panel reads other module values"));
    }
    return what;
}

QString tst_Soak::moveClock()
{
    qint64 seconds = 0;
    const PanelModel *p = pickPanel([](const PanelModel &p) { return p.lastActionTime.isValid(); });
    switch (below(6)) {
    case 0:
    case 1:
        seconds = qint64(below(21)) - 5;
        break;
    case 2:
        // Around one of a panel's thresholds: the hand-back, the warning,
        // or the 5 s for which an accepted command outlives dispatch control.
        if (p) {
            const int which = int(below(3));
            const qint64 threshold = which == 0 ? qint64(p->period)
                : which == 1                    ? qint64(p->period) - m_alarmBefore
                                                : 5;
            if (qAbs(threshold) < qint64(1) << 40) {
                seconds = p->lastActionTime.secsTo(Host::clock());
                seconds = threshold + qint64(below(4)) - 1 - seconds;
            }
        }
        break;
    case 3:
        seconds = qint64(below(7200)) - 3600;
        break;
    case 4:
        seconds = (qint64(below(200)) - 100) * 86400 * 365;
        break;
    default:
        seconds = qint64(below(400));
        break;
    }
    // Keep within the centuries QDateTime handles comfortably.
    const QDateTime next = Host::clock().addSecs(seconds);
    if (next.date().year() < 1000 || next.date().year() > 9000) {
        Host::setClock(QDateTime(QDate(2024, 3, 1), QTime(8, 0), Qt::UTC));
        return QStringLiteral("clock reset");
    }
    Host::advanceClock(seconds);
    return QStringLiteral("clock %1%2 s").arg(QLatin1String(seconds >= 0 ? "+" : "")).arg(seconds);
}

// One tick of a panel whose timer runs (its controller lives), with the
// dead-man guarantee: idle past its period under dispatch control, it hands
// the controller back now.
void tst_Soak::tickPanel(PanelModel &p)
{
    const LightModel *light = lightOf(p.serial);
    const qint64 idle = p.d->lastActionTime.isValid() ? p.d->lastActionTime.secsTo(Host::clock()) : 0;
    const int period = p.d->inactivitySpin.value();
    const bool underDispatch = p.d->dispatchActive && p.d->ui.actionDC->isChecked();
    // A negative alarmBefore postpones the hand-back by its magnitude, as the
    // switch is tested only inside the warning; measured in the panel's
    // 32-bit seconds, below -(INT_MAX - period) it never comes. Counted for
    // the report.
    const bool pastPeriod = underDispatch && p.d->lastActionTime.isValid() && idle > period;
    const bool owed = pastPeriod && (m_alarmBefore >= 0 || saturated(idle) > qint64(period) - m_alarmBefore);
    if (pastPeriod && !owed)
        ++m_lateHandBacks;
    const auto setLocalCalls = [&p] {
        return std::count_if(calls.cbegin(), calls.cend(),
                             [&p](const Call &call) { return call.serial == p.serial && call.method == "setLocal"; });
    };
    const auto setLocalBefore = setLocalCalls();

    const bool handBack = modelTick(p, light->object);
    m_gate.open = true;
    Host::tick(p.panel);
    m_gate.open = false;
    if (handBack)
        modelMode(p, false);

    if (owed) {
        ++m_handBacks;
        if (p.panel && p.d->ui.actionDC->isChecked())
            violation(
                QStringLiteral("idle %1 s past a period of %2 s, still under dispatch control").arg(idle).arg(period));
        if (setLocalCalls() == setLocalBefore)
            violation(QStringLiteral("idle past the period, no \"setLocal\" invoked"));
    }
}

QString tst_Soak::tick()
{
    if (chance(20)) {
        const std::vector<PanelModel *> all =
            panelsWhere([](const PanelModel &p) { return !p.controllerGone && !p.hostDeleted; });
        for (PanelModel *p : all) {
            // A tick may end another panel (see deleteOnReport).
            if (p->panel && !p->hostDeleted)
                tickPanel(*p);
        }
        return QStringLiteral("tick all %1 panels").arg(all.size());
    }
    PanelModel *p = pickPanel([](const PanelModel &p) { return !p.controllerGone && !p.hostDeleted; });
    if (!p)
        return openPanel();
    tickPanel(*p);
    return QStringLiteral("tick panel of #%1").arg(p->serial);
}

QString tst_Soak::processEvents()
{
    m_deletionsMayRun = true;
    if (chance(75)) {
        m_deletionsMustRun = true;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return QStringLiteral("send posted deletes");
    }
    QCoreApplication::processEvents();
    return QStringLiteral("process events");
}

// --- Checks ---

void tst_Soak::beginStep()
{
    calls.clear();
    m_expected.clear();
    m_deletionsMayRun = false;
    m_deletionsMustRun = false;
    for (const auto &p : m_panels) {
        p->offToggles = p->offTogglesAlive = p->onToggles = 0;
        p->expectedOffToggles = p->expectedOnToggles = 0;
        p->untoggledLocal = 0;
    }
}

void tst_Soak::checkPanel(PanelModel &p)
{
    Vorlan::Widget::Private *d = p.d;
    const LightModel *light = lightOf(p.serial);
    const auto mismatch = [&](const QString &what, const QString &is, const QString &model) {
        violation(QStringLiteral("panel of #%1: %2 is %3, expected %4").arg(p.serial).arg(what, is, model));
    };

    QObject *controller = p.controllerGone || !light ? nullptr : light->object;
    if (d->light.data() != controller)
        mismatch(QStringLiteral("its controller"), QString::number(quintptr(d->light.data()), 16),
                 QString::number(quintptr(controller), 16));
    if (d->pendingResponse.data() != p.pending)
        mismatch(QStringLiteral("the tracked response"),
                 d->pendingResponse ? QStringLiteral("one") : QStringLiteral("none"),
                 p.pending ? QString::number(p.pending->id) : QStringLiteral("none"));
    if (d->pendingResponse && !liveResponses.contains(d->pendingResponse.data()))
        violation(QStringLiteral("panel of #%1 tracks a dead response").arg(p.serial));
    if (d->dispatchActive != p.dispatchActive)
        mismatch(QStringLiteral("dispatchActive"), QString::number(d->dispatchActive),
                 QString::number(p.dispatchActive));
    const Ui::widget &ui = d->ui;
    if (ui.actionDC->isChecked() != p.mode || ui.actionYF->isEnabled() != p.mode || ui.actionDark->isEnabled() != p.mode
        || ui.actionRestart->isEnabled() != p.mode || ui.listWidget->isEnabled() != p.mode)
        mismatch(QStringLiteral("the control mode"), QString::number(ui.actionDC->isChecked()),
                 QString::number(p.mode));
    if (p.lastCommandKnown && d->lastCommand != p.lastCommand)
        mismatch(QStringLiteral("lastCommand"), QString::number(d->lastCommand), QString::number(p.lastCommand));
    if (d->lastActionTime != p.lastActionTime)
        mismatch(QStringLiteral("lastActionTime"), d->lastActionTime.toString(Qt::ISODate),
                 p.lastActionTime.toString(Qt::ISODate));
    if (d->stateText != p.stateText)
        mismatch(QStringLiteral("the state text"), d->stateText, p.stateText);
    if (d->inactivitySpin.value() != p.period)
        mismatch(QStringLiteral("the period"), QString::number(d->inactivitySpin.value()), QString::number(p.period));
    const QString title = p.marker.isNull() ? p.title : p.marker + p.title;
    if (p.panel->windowTitle() != title)
        mismatch(QStringLiteral("the title"), p.panel->windowTitle(), title);
    if (d->statusLabel.text() != p.status)
        mismatch(QStringLiteral("the status line"), d->statusLabel.text(), p.status);
    if (p.offToggles != p.expectedOffToggles || p.onToggles != p.expectedOnToggles)
        mismatch(QStringLiteral("DC toggled off/on"), QStringLiteral("%1/%2").arg(p.offToggles).arg(p.onToggles),
                 QStringLiteral("%1/%2").arg(p.expectedOffToggles).arg(p.expectedOnToggles));
}

void tst_Soak::checkCalls()
{
    QHash<quint64, Expected> received;
    for (const Call &call : qAsConst(calls)) {
        Expected &r = received[call.serial];
        if (call.method == "setLocal")
            ++r.setLocal;
        else if (call.method == "phases")
            ++r.phases;
        else if (call.method == "currentStage")
            ++r.currentStage;
        else
            r.commands.append(describe(call.arguments));
    }

    // Every transition to local mode asks the controller for it: each time
    // actionDC went off while the controller lived, one "setLocal" more.
    QHash<quint64, int> dueLocal;
    for (const auto &p : m_panels)
        dueLocal[p->serial] += p->offTogglesAlive + p->untoggledLocal;
    for (auto it = dueLocal.cbegin(); it != dueLocal.cend(); ++it) {
        const int got = received.value(it.key()).setLocal;
        if (got != it.value())
            violation(QStringLiteral("controller #%1 got %2 \"setLocal\" for %3 transitions to local mode")
                          .arg(it.key())
                          .arg(got)
                          .arg(it.value()));
    }

    QSet<quint64> serials;
    for (auto it = received.cbegin(); it != received.cend(); ++it)
        serials.insert(it.key());
    for (auto it = m_expected.cbegin(); it != m_expected.cend(); ++it)
        serials.insert(it.key());
    for (quint64 serial : qAsConst(serials)) {
        const Expected got = received.value(serial);
        const Expected due = m_expected.value(serial);
        if (got.setLocal != due.setLocal || got.phases != due.phases || got.currentStage != due.currentStage
            || got.commands != due.commands)
            violation(QStringLiteral("controller #%1 got setLocal %2, phases %3, currentStage %4, commands [%5]; "
                                     "expected %6, %7, %8, [%9]")
                          .arg(serial)
                          .arg(got.setLocal)
                          .arg(got.phases)
                          .arg(got.currentStage)
                          .arg(got.commands.join(QLatin1String(", ")))
                          .arg(due.setLocal)
                          .arg(due.phases)
                          .arg(due.currentStage)
                          .arg(due.commands.join(QLatin1String(", "))));
    }
}

void tst_Soak::endStep()
{
    // Panels live exactly as long as they should.
    for (const auto &p : m_panels) {
        const bool doomed = p->closing || p->controllerGone;
        if (!p->panel && !p->hostDeleted && !(doomed && m_deletionsMayRun))
            violation(QStringLiteral("panel of #%1 vanished").arg(p->serial));
        if (p->panel && p->hostDeleted)
            violation(QStringLiteral("panel of #%1 survived its deletion").arg(p->serial));
        if (p->panel && doomed && m_deletionsMustRun)
            violation(QStringLiteral("panel of #%1 survived the posted deletes").arg(p->serial));
    }

    // The list holds the live panels, each once, in order of construction.
    QList<QWidget *> live;
    for (const auto &p : m_panels) {
        if (p->panel)
            live.append(p->panel);
    }
    const QList<QWidget *> listed = m_host.panels();
    if (listed != live)
        violation(QStringLiteral("the panel list holds %1 panels, %2 live ones in order expected")
                      .arg(listed.size())
                      .arg(live.size()));

    for (const auto &p : m_panels) {
        if (p->panel)
            checkPanel(*p);
    }
    checkCalls();

    // Forget what is gone.
    m_panels.erase(std::remove_if(m_panels.begin(), m_panels.end(), [](const auto &p) { return !p->panel; }),
                   m_panels.end());
    m_lights.erase(std::remove_if(m_lights.begin(), m_lights.end(),
                                  [this](const auto &light) {
                                      if (light->object)
                                          return false;
                                      for (const auto &p : m_panels) {
                                          if (p->serial == light->serial)
                                              return false;
                                      }
                                      return true;
                                  }),
                   m_lights.end());
}

QString tst_Soak::failureReport(const QString &what) const
{
    return QStringLiteral("seed %1, step %2 of %3: %4\n   replay: VORLAN_SOAK_SEED=%1 VORLAN_SOAK_STEPS=%5 tst_soak\n"
                          "   last actions, oldest first:\n      %6")
        .arg(m_seed)
        .arg(m_step)
        .arg(m_steps)
        .arg(what)
        .arg(m_step + 1)
        .arg(m_recent.join(QLatin1String("\n      ")));
}

// --- Test functions ---

void tst_Soak::initTestCase()
{
    // No settings of this machine may move the module's values.
    QVERIFY(m_settings.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_settings.filePath(QStringLiteral("user"))));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(m_settings.filePath(QStringLiteral("system"))));
    QCoreApplication::setOrganizationName(QStringLiteral("VorlanSoak"));
    QCoreApplication::setApplicationName(QStringLiteral("tst_soak"));
    QVERIFY2(m_host.plugin(), qPrintable(m_host.loader().errorString()));
    passOn = qInstallMessageHandler(filterMessages);
    m_trace = qEnvironmentVariableIsSet("VORLAN_SOAK_TRACE");
}

void tst_Soak::cleanup()
{
    discardAll();
}

void tst_Soak::discardAll()
{
    // Panels before their controllers, then the host's responses.
    for (const auto &p : m_panels)
        delete p->panel.data();
    m_panels.clear();
    for (const auto &light : m_lights) {
        if (light->object)
            destroy(*light);
    }
    m_lights.clear();
    while (!responses.isEmpty())
        delete responses.takeLast();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(m_host.panels(), QList<QWidget *>());
    SoakLight::reporting = nullptr;
    violations.clear();
    calls.clear();
    Host::useRealClock();
}

void tst_Soak::soak()
{
    bool ok = true;
    const QByteArray seedText = qgetenv("VORLAN_SOAK_SEED");
    m_seed = seedText.isEmpty() ? QRandomGenerator::global()->generate() : seedText.toUInt(&ok);
    QVERIFY2(ok, "VORLAN_SOAK_SEED is no unsigned 32-bit number");
    const QByteArray stepsText = qgetenv("VORLAN_SOAK_STEPS");
    m_steps = stepsText.isEmpty() ? 20000 : stepsText.toInt(&ok);
    QVERIFY2(ok && m_steps >= 0, "VORLAN_SOAK_STEPS is no step count");
    qInfo("soak seed: %u, steps: %d", m_seed, m_steps);
    m_random.seed(m_seed);

    // The module's values as this process starts, read through a panel.
    {
        SoakLight probe(0, 0, QString());
        QWidget *panel = m_host.open(&probe);
        QVERIFY(panel);
        m_alarmBefore = panel->property("alarmBefore").toInt();
        m_defaultPeriod = panel->property("defaultInactivityPeriod").toInt();
        m_alarmSound = panel->property("alarmSound").toString();
        delete panel;
    }
    calls.clear();
    Host::setClock(QDateTime(QDate(2024, 3, 1), QTime(8, 0), Qt::UTC));
    SoakLight::reporting = [this](SoakLight *light) {
        const std::vector<PanelModel *> panels =
            panelsWhere([light](const PanelModel &p) { return p.serial == light->serial() && !p.hostDeleted; });
        for (PanelModel *p : panels)
            modelStateChanged(*p, light);
        // Now and then the host takes the report as its cue to close the
        // dock for good, with a plain delete, inside the panel's call.
        // Not on a stage pick: that command goes out from inside Qt's
        // selection model, which would touch the deleted list afterwards.
        if (panels.size() == 1 && !m_pickingStage && chance(15)) {
            PanelModel *doomed = panels.front();
            doomed->hostDeleted = true;
            m_deleteOnReport = doomed->panel;
            ++m_deletedOnReport;
        }
    };

    QElapsedTimer elapsed;
    elapsed.start();
    for (m_step = 0; m_step < m_steps; ++m_step) {
        beginStep();
        // Traced in two halves: a crash inside the step leaves its number.
        if (m_trace) {
            std::fprintf(stderr, "step %d: ", m_step);
            std::fflush(stderr);
        }
        const QString action = responses.size() > keptResponses ? dropOldResponse() : step();
        if (m_trace)
            std::fprintf(stderr, "%s\n", qPrintable(action));
        m_recent.append(QStringLiteral("step %1: %2").arg(m_step).arg(action));
        if (m_recent.size() > 12)
            m_recent.removeFirst();
        if (violations.isEmpty())
            endStep();
        if (!violations.isEmpty())
            QFAIL(qPrintable(failureReport(violations.join(QLatin1String("; ")))));
    }
    const qint64 ms = qMax<qint64>(1, elapsed.elapsed());
    qInfo("soak: %d steps in %lld ms, %lld steps/s; %d prompts, %d hand-backs by the watchdog, %d ticks "
          "past the period without one (negative alarmBefore), %d controllers at reused addresses (%d while "
          "the old one's panel lived), %d panels deleted by the host inside a controller call, %d expected warnings",
          m_steps, ms, qint64(m_steps) * 1000 / ms, m_prompts, m_handBacks, m_lateHandBacks, m_reusedAddresses,
          m_reusedWhilePanelLives, m_deletedOnReport, expectedMessages);
}

// --- Regressions found by the soak ---

enum Callout { DCOff, YFPressed, DarkPressed, RestartPressed, CloseAnsweredYes, WatchdogHandsBack };

void tst_Soak::panelDeletedInsideControllerCall_data()
{
    QTest::addColumn<int>("callout");

    QTest::newRow("DC off: setLocal reports local mode at once") << int(DCOff);
    QTest::newRow("YF: sendCommand reports at once") << int(YFPressed);
    QTest::newRow("Dark: sendCommand reports at once") << int(DarkPressed);
    QTest::newRow("Restart: sendCommand reports at once") << int(RestartPressed);
    QTest::newRow("close prompt answered Yes: setLocal reports at once") << int(CloseAnsweredYes);
    QTest::newRow("watchdog hands back: setLocal reports at once") << int(WatchdogHandsBack);
}

// A controller that reports its new state from inside the panel's call, and
// a host that closes the dock for good, with a plain delete, on that report:
// the panel is gone when the call returns and must touch nothing of itself.
// A stage pick is left out: its command goes out from inside Qt's selection
// model, which itself touches the deleted list afterwards; a host must use
// deleteLater there.
void tst_Soak::panelDeletedInsideControllerCall()
{
    QFETCH(int, callout);

    Host::setClock(QDateTime(QDate(2024, 3, 1), QTime(8, 0), Qt::UTC));
    SoakLight light(1, 7, QStringLiteral("North gate"));
    light.setProperty("controlSource", 3);
    light.setProperty("controlAlgorithm", 255);
    light.setProperty("isConnected", true);
    auto *stage = new QObject(&light);
    stage->setProperty("id", 2);
    light.stages.append(stage);
    QPointer<QWidget> panel = m_host.open(&light);
    QVERIFY(panel);
    Vorlan::Widget::Private *d = Host::d(panel);
    d->ui.actionSound->setChecked(false);
    QVERIFY(d->ui.actionDC->isChecked());
    // The hand-back after 30 s, whatever an earlier test left module-wide.
    const QVariant alarmBefore = panel->property("alarmBefore");
    QVERIFY(panel->setProperty("alarmBefore", 10));
    QVERIFY(panel->setProperty("inactivityPeriod", 30));
    const auto restore = qScopeGuard([&] {
        SoakLight probe(0, 0, QString());
        QWidget *any = m_host.open(&probe);
        any->setProperty("alarmBefore", alarmBefore);
        delete any;
    });

    if (callout == WatchdogHandsBack) {
        // An accepted command, then an idle operator.
        d->ui.actionYF->trigger();
        QCOMPARE(responses.size(), 1);
        responses.constFirst()->finishWith(commandDone);
        QCOMPARE(d->lastActionTime, Host::clock());
        Host::advanceClock(31);
    }
    light.reportsAtOnce = true;
    calls.clear();

    // The freed private object's memory, taken back from the allocator and
    // filled with a pattern: a write the panel makes after the call shows
    // up there. (Under AddressSanitizer the memory is quarantined instead,
    // and the sanitizer reports the write.)
    const void *const freed = d;
    unsigned char *canary = nullptr;
    std::vector<void *> spares;
    QObject host;
    connect(&light, &Helvor::Light::stateChanged, &host, [&] {
        if (!panel)
            return;
        delete panel.data();
        for (int i = 0; i < 1024 && !canary; ++i) {
            void *block = ::operator new(sizeof(Vorlan::Widget::Private));
            if (block == freed)
                canary = static_cast<unsigned char *>(block);
            else
                spares.push_back(block);
        }
        if (canary)
            std::memset(canary, 0xA5, sizeof(Vorlan::Widget::Private));
    });

    switch (callout) {
    case DCOff:
        d->ui.actionDC->trigger();
        break;
    case YFPressed:
        d->ui.actionYF->trigger();
        break;
    case DarkPressed:
        d->ui.actionDark->trigger();
        break;
    case RestartPressed:
        d->ui.actionRestart->trigger();
        break;
    case CloseAnsweredYes: {
        const auto prompt = Host::answerNextPrompt(QMessageBox::Yes);
        QVERIFY(panel->close());
        QVERIFY(prompt->seen);
        break;
    }
    case WatchdogHandsBack:
        m_gate.open = true;
        Host::tick(panel);
        m_gate.open = false;
        break;
    }

    QVERIFY(!panel);
    bool untouched = true;
    for (std::size_t i = 0; canary && i < sizeof(Vorlan::Widget::Private); ++i)
        untouched = untouched && canary[i] == 0xA5;
    ::operator delete(canary);
    for (void *block : spares)
        ::operator delete(block);
    QVERIFY2(untouched, "the panel wrote into its private object after the host had deleted it");
    if (!canary)
        qInfo("the allocator kept the freed memory: only a sanitizer sees a write into it");

    QCOMPARE(m_host.panels(), QList<QWidget *>());
    const bool local = callout == DCOff || callout == CloseAnsweredYes || callout == WatchdogHandsBack;
    QCOMPARE(calls.size() > 0 ? QString::fromLatin1(calls.constFirst().method) : QString(),
             local ? QStringLiteral("setLocal") : QStringLiteral("sendCommand"));
    QCOMPARE(violations, QStringList());
}

QTEST_MAIN(tst_Soak)

#include "tst_soak.moc"
