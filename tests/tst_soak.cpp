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
// clock moved back and forth across the watchdog's thresholds. And inside
// the module's calls into it (a controller's values, stages and commands, a
// response's error and request, the request's text) the host now and then
// deletes the panel or the response, destroys the controller, rebuilds the
// stages, runs an event loop where the controller or the panel goes, reports
// a state change or opens the controller's panel again. After every step the
// panels must agree with a small model of what they show and send; a panel
// the host worked on inside a call is taken as it stands, under the same
// invariants.
//
//   build/tests/tst_soak                               20000 steps, a fresh seed
//   VORLAN_SOAK_SEED=1234 build/tests/tst_soak         replays seed 1234 exactly
//   VORLAN_SOAK_STEPS=1000000 build/tests/tst_soak     a longer run
//   VORLAN_SOAK_TRACE=1 build/tests/tst_soak           every action to stderr; after a
//                                                      crash the last line names its step
//
// A failure names the seed, the step and the last actions.
#include "paneltest.h"
#include "request.h"
#include "response.h"

#include <helvor/light.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
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
constexpr int commandDone = PanelTest::success;
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

// Live test controllers, and responses with their requests, by address. A
// call must find its object here: a destroyed one is gone from the table
// before the object's memory is, so the check itself never reads freed memory.
QHash<const void *, quint64> liveLights;
QSet<const void *> liveResponses;

// The host's side of every call the module makes into it, with the
// controller or response asked; the soak decides what the host does there.
// The object may be gone when it returns.
std::function<void(const QObject *object, const char *call)> hostile;

void hostCall(const QObject *object, const char *call)
{
    if (hostile)
        hostile(object, call);
}

struct Call
{
    quint64 serial;
    QByteArray method;
    QVariantList arguments;
    QObject *response;
};

// Every call the controllers received in the current step, in order.
QVector<Call> calls;

QString wordsOf(const QVariantList &arguments)
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
    Q_PROPERTY(QVariant error READ hostError)
    Q_PROPERTY(QObject *request READ hostRequest)

public:
    SoakResponse(quint64 id, quint64 serial, QObject *request, const QString &requestText);
    ~SoakResponse() override;

    // The request, as the model sees it: no call of the module's.
    QObject *requestObject() const;
    // Sets the error and emits finished(), as often as the host likes.
    void finishWith(const QVariant &error);

    const quint64 id;
    // The controller that made it.
    const quint64 serial;
    // What the request's toString gives; empty when it has none.
    const QString requestText;
    int finishes = 0;

private:
    bool readable(const char *property) const;
    QVariant hostError() const;
    QObject *hostRequest() const;

    QObject *const m_request;
    QVariant m_error;
};

SoakResponse::SoakResponse(quint64 id, quint64 serial, QObject *request, const QString &requestText)
    : Response(request)
    , id(id)
    , serial(serial)
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

// The answer is taken before the host may delete the response.
QVariant SoakResponse::hostError() const
{
    if (!readable("error"))
        return QVariant();
    const QVariant error = m_error;
    hostCall(this, "error");
    return error;
}

QObject *SoakResponse::hostRequest() const
{
    if (!readable("request"))
        return nullptr;
    QObject *const request = m_request;
    hostCall(this, "request");
    return request;
}

QObject *SoakResponse::requestObject() const
{
    return m_request;
}

void SoakResponse::finishWith(const QVariant &error)
{
    m_error = error;
    ++finishes;
    Q_EMIT finished();
}

// The host's own request, owned by its response; its text is asked of the
// host like everything else.
class SoakRequest : public Request
{
    Q_OBJECT

public:
    SoakRequest(const QString &command, const QVariantList &arguments)
        : Request(command, arguments)
    {
        liveResponses.insert(this);
    }
    ~SoakRequest() override
    {
        liveResponses.remove(this);
    }

    Q_INVOKABLE QString toString() const
    {
        if (!liveResponses.contains(this)) {
            violation(QStringLiteral("toString invoked on a deleted request"));
            return QString();
        }
        const QString text = Request::toString();
        hostCall(parent(), "toString");
        return text;
    }
};

// The host's responses, oldest first; the host owns them.
QVector<SoakResponse *> responses;
quint64 lastResponseId = 0;

// A controller whose every state value can be missing or hold any type, read
// through getters in which the host may act. Each call it receives, bar
// those reads, is recorded, under its serial number, in a log that outlives it.
class SoakLight : public Helvor::Light
{
    Q_OBJECT
    Q_PROPERTY(QVariant controlSource READ controlSource MEMBER controlSourceValue NOTIFY valueWritten)
    Q_PROPERTY(QVariant controlAlgorithm READ controlAlgorithm MEMBER controlAlgorithmValue NOTIFY valueWritten)
    Q_PROPERTY(QVariant keyRegime READ keyRegime MEMBER keyRegimeValue NOTIFY valueWritten)
    Q_PROPERTY(QVariant isConnected READ isConnected MEMBER isConnectedValue NOTIFY valueWritten)
    Q_PROPERTY(QVariant phaseChangeTime READ phaseChangeTime MEMBER phaseChangeTimeValue NOTIFY valueWritten)
    Q_PROPERTY(QVariant shema READ shema MEMBER shemaValue NOTIFY valueWritten)
    // The module asks for it through the virtual function only.
    Q_PROPERTY(QVariant currentStage MEMBER currentStageValue NOTIFY valueWritten)

public:
    SoakLight(quint64 serial, int number, const QString &displayName);
    ~SoakLight() override;

    quint64 serial() const;
    int currentStage() const override;
    // What currentStage() reports, without recording a call.
    int stageValue() const;

    QVariant controlSource() const;
    QVariant controlAlgorithm() const;
    QVariant keyRegime() const;
    QVariant isConnected() const;
    QVariant phaseChangeTime() const;
    QVariant shema() const;

    Q_INVOKABLE QList<QObject *> phases();
    Q_INVOKABLE Response *sendCommand(const QVariant &command);
    Q_INVOKABLE Response *sendCommand(const QVariant &command, const QVariant &argument);
    Q_INVOKABLE void setLocal();

    // The values, as the model reads them.
    QVariant controlSourceValue;
    QVariant controlAlgorithmValue;
    QVariant keyRegimeValue;
    QVariant isConnectedValue;
    QVariant phaseChangeTimeValue;
    QVariant shemaValue;
    QVariant currentStageValue;
    // Values changed so far.
    int writes = 0;

    // Stage objects, children of this controller; null entries are allowed.
    QList<QObject *> stages;
    // The rows a panel makes of the last "phases" answer. Cut when the
    // stages were rebuilt since: a panel still reading them then lists
    // only those it read before.
    QVector<QPair<int, QString>> listedRows;
    bool rowsCut = false;
    // When off, sendCommand answers with a null response.
    bool accepting = true;
    // A controller that reports its new state from inside the panel's call:
    // for "setLocal" it may leave dispatch control at once, for "set_phase"
    // it may run the stage at once.
    bool reportsAtOnce = false;
    // Runs just before such a report, so that the test's model follows it.
    static std::function<void(SoakLight *)> reporting;

Q_SIGNALS:
    void valueWritten();

private:
    bool answering(const char *method) const;
    QVariant read(const QVariant &value, const char *name) const;
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
    connect(this, &SoakLight::valueWritten, this, [this] { ++writes; });
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

// Every answer is taken before the host acts: it may destroy the controller.
QVariant SoakLight::read(const QVariant &value, const char *name) const
{
    if (!answering(name))
        return QVariant();
    const QVariant answer = value;
    hostCall(this, name);
    return answer;
}

QVariant SoakLight::controlSource() const
{
    return read(controlSourceValue, "controlSource");
}

QVariant SoakLight::controlAlgorithm() const
{
    return read(controlAlgorithmValue, "controlAlgorithm");
}

QVariant SoakLight::keyRegime() const
{
    return read(keyRegimeValue, "keyRegime");
}

QVariant SoakLight::isConnected() const
{
    return read(isConnectedValue, "isConnected");
}

QVariant SoakLight::phaseChangeTime() const
{
    return read(phaseChangeTimeValue, "phaseChangeTime");
}

QVariant SoakLight::shema() const
{
    return read(shemaValue, "shema");
}

int SoakLight::stageValue() const
{
    bool ok = false;
    const int stage = currentStageValue.toInt(&ok);
    return ok ? stage : -1;
}

int SoakLight::currentStage() const
{
    if (!answering("currentStage"))
        return -1;
    calls.append({m_serial, QByteArrayLiteral("currentStage"), {}, nullptr});
    const int stage = stageValue();
    hostCall(this, "currentStage");
    return stage;
}

QList<QObject *> SoakLight::phases()
{
    if (!answering("phases"))
        return {};
    calls.append({m_serial, QByteArrayLiteral("phases"), {}, nullptr});
    // A controller destroyed meanwhile answers with the stages it had,
    // gone with it.
    const QList<QObject *> had = stages;
    const QPointer<SoakLight> self(this);
    hostCall(this, "phases");
    if (!self)
        return had;
    listedRows.clear();
    rowsCut = false;
    for (QObject *stage : qAsConst(stages)) {
        if (!stage)
            continue;
        const int number = stage->property("id").toInt();
        listedRows.append({number, QStringLiteral("%1:%2").arg(number).arg(stage->property("description").toString())});
    }
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
    const QPointer<SoakLight> self(this);
    hostCall(this, "setLocal");
    if (!self || !reportsAtOnce)
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
            auto *own = new SoakRequest(arguments.value(0).toString(), arguments.mid(1));
            text = own->Request::toString();
            request = own;
        }
        response = new SoakResponse(id, m_serial, request, text);
        responses.append(response);
    }
    calls.append({m_serial, QByteArrayLiteral("sendCommand"), arguments, response});
    // A controller destroyed meanwhile may have taken the response along:
    // what is returned then is not to be touched.
    const QPointer<SoakLight> self(this);
    hostCall(this, "sendCommand");
    if (self && reportsAtOnce) {
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

class tst_Soak : public PanelTest
{
    Q_OBJECT

public:
    // The plug-in object is made once the settings are the suite's own.
    tst_Soak()
        : PanelTest(Host::pluginPath(), Start::Unloaded)
    {
    }

private Q_SLOTS:

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
        // Its values as they were written when the host reported a state
        // change from inside a call in this step; -1 without such a report.
        int reportedAt = -1;
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
        bool halfBuilt = false; // open() gave up on it: its form was never set up
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

    // What the host may do inside a call of the module's.
    enum Deed {
        DeletePanel,
        DestroyController,
        DeleteResponse,
        RebuildStages,
        LoopControllerGoes,
        LoopPanelGoes,
        ReportState,
        OpenAgain,
        DeedCount
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
    QString changeValue(LightModel &light);
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

    // The host inside the module's calls.
    void hostileCall(const QObject *object, const char *call);
    void doDeed(Deed deed, LightModel &light, QWidget *caller, SoakResponse *response, bool fromCommand);
    void hostLoop(const std::function<void()> &deed);
    QWidget *servingPanel(QObject *light);
    void checkOpened(const LightModel &light, QWidget *opened, bool hostInside);
    int adoptNew(LightModel &light);
    void resyncAffected();
    void resync(PanelModel &p);

    // Model.
    static void stateOf(const SoakLight *light, bool *dispatchActive, QString *stateText);
    void modelStateChanged(PanelModel &p, const SoakLight *light);
    void modelMode(PanelModel &p, bool checked);
    bool modelTick(PanelModel &p, const SoakLight *light);
    void finish(SoakResponse *response, const QVariant &error);
    void modelFinished(const SoakResponse *response, const QVariant &error);
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
    PanelModel &adopt(QWidget *panel, LightModel &light);
    PanelModel *modelOf(const QWidget *panel) const;
    void checkStageRows(const PanelModel &p, const SoakLight *light);
    void makeStages(SoakLight *light);
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

protected:
    void initSuite() override;
    void cleanupEach() override;

private:
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

    // The host's deeds inside calls: this step's, described for the report,
    // and how many of each kind so far.
    QStringList m_stepDeeds;
    int m_deeds = 0;
    int m_deedCounts[DeedCount] = {};
    bool m_inDeed = false;
    // Controllers whose panels the host worked on inside a call in this
    // step: modelled from what they show, their calls not counted exactly.
    QSet<quint64> m_affected;
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
        // None when the host took it back with its controller inside the call.
        if (calls.at(i).serial == serial && calls.at(i).method == "sendCommand")
            return liveResponses.contains(calls.at(i).response) ? static_cast<SoakResponse *>(calls.at(i).response)
                                                                : nullptr;
    }
    return nullptr;
}

tst_Soak::Expected &tst_Soak::expect(quint64 serial)
{
    return m_expected[serial];
}

tst_Soak::PanelModel *tst_Soak::modelOf(const QWidget *panel) const
{
    for (const auto &p : m_panels) {
        if (p->panel == panel)
            return p.get();
    }
    return nullptr;
}

// --- The host inside the module's calls ---

// Now and then the host does something hostile inside a call the module
// makes into it: at most twice a step, and never inside another such deed.
void tst_Soak::hostileCall(const QObject *object, const char *call)
{
    if (m_inDeed || m_stepDeeds.size() >= 2)
        return;
    // The reads of every state change and every tick less often than the
    // rest, so that each kind of call sees the host at work.
    static const QSet<QByteArray> frequent = {"controlSource", "controlAlgorithm", "isConnected", "currentStage",
                                              "phaseChangeTime"};
    if (below(1000) >= (frequent.contains(call) ? 10u : 50u))
        return;
    const auto *controller = qobject_cast<const SoakLight *>(object);
    auto *response = controller ? nullptr : static_cast<SoakResponse *>(const_cast<QObject *>(object));
    LightModel *light = lightOf(controller ? controller->serial() : response->serial);
    if (!light)
        return;
    // The panel asking: one with a call out to this controller. In a
    // command, the response is the one about to be returned; in the
    // controller's other calls, the one the panel waits for.
    std::vector<QWidget *> askers;
    const QList<QWidget *> listed = host.panels();
    for (QWidget *panel : listed) {
        const Vorlan::Widget::Private *d = Host::d(panel);
        if (d->hostCalls > 0 && d->light == light->object)
            askers.push_back(panel);
    }
    QWidget *caller = askers.empty() ? nullptr : askers.at(below(quint32(askers.size())));
    const bool fromCommand = qstrcmp(call, "sendCommand") == 0;
    if (fromCommand)
        response = static_cast<SoakResponse *>(calls.constLast().response);
    else if (controller)
        response = caller ? static_cast<SoakResponse *>(Host::d(caller)->pendingResponse.data()) : nullptr;

    Deed can[DeedCount];
    int count = 0;
    if (caller) {
        can[count++] = DeletePanel;
        can[count++] = LoopPanelGoes;
    }
    if (light->object) {
        for (Deed deed : {DestroyController, RebuildStages, LoopControllerGoes, ReportState, OpenAgain})
            can[count++] = deed;
    }
    // Deleting the response a command is about to return would hand the
    // panel garbage; a controller destroyed inside the call may take it along.
    if (response && !fromCommand)
        can[count++] = DeleteResponse;
    if (count == 0)
        return;
    const Deed deed = can[below(quint32(count))];

    static const char *const names[DeedCount] = {"deletes the panel",
                                                 "destroys the controller",
                                                 "deletes the response",
                                                 "rebuilds the stages",
                                                 "loops while the controller goes",
                                                 "loops while the panel goes",
                                                 "reports a state change",
                                                 "opens the panel again"};
    const QString what = QStringLiteral("inside %1 of #%2 the host %3")
                             .arg(QLatin1String(call))
                             .arg(light->serial)
                             .arg(QLatin1String(names[deed]));
    if (m_trace) {
        std::fprintf(stderr, "[%s] ", qPrintable(what));
        std::fflush(stderr);
    }
    m_stepDeeds.append(what);
    ++m_deeds;
    ++m_deedCounts[deed];
    m_inDeed = true;
    doDeed(deed, *light, caller, response, fromCommand);
    m_inDeed = false;
}

void tst_Soak::doDeed(Deed deed, LightModel &light, QWidget *caller, SoakResponse *response, bool fromCommand)
{
    PanelModel *asker = caller ? modelOf(caller) : nullptr;
    // Its panels are taken as they stand afterwards, unless the deed leaves
    // every panel as it was.
    if (deed != RebuildStages && deed != OpenAgain)
        m_affected.insert(light.serial);
    switch (deed) {
    case DeletePanel:
        if (asker)
            asker->hostDeleted = true;
        delete caller;
        break;
    case DestroyController:
        destroy(light);
        if (fromCommand && response && chance(50))
            dropResponse(response);
        break;
    case DeleteResponse:
        dropResponse(response);
        break;
    case RebuildStages:
        makeStages(light.object);
        light.object->rowsCut = true;
        break;
    case LoopControllerGoes:
        hostLoop([&] {
            if (light.object)
                destroy(light);
        });
        break;
    case LoopPanelGoes: {
        const QPointer<QWidget> target = caller;
        hostLoop([&] {
            if (target)
                target->deleteLater();
        });
        // Unless its deletion was already due, from an event handler the
        // loop runs inside: Qt leaves that one to its own event loop.
        if (!target && asker)
            asker->hostDeleted = true;
        else if (target && !Host::d(target)->closing && Host::d(target)->light)
            violation(QStringLiteral("a panel deleted later outlived the host's event loop"));
        break;
    }
    case ReportState:
        // The state a panel is reading changes under it.
        m_stepDeeds.last() += QStringLiteral(": %1").arg(changeValue(light));
        light.reportedAt = light.object->writes;
        emitStateChangedOf(light);
        break;
    case OpenAgain:
        checkOpened(light, host.open(light.object), false);
        adoptNew(light);
        break;
    case DeedCount:
        break;
    }
}

// As a host that waits for its server does: whatever the event loop
// delivers meanwhile, deferred deletions included, happens inside the call.
void tst_Soak::hostLoop(const std::function<void()> &deed)
{
    // The panels' own timers stay shut, also inside a tick.
    const bool gate = m_gate.open;
    m_gate.open = false;
    m_deletionsMayRun = true;
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        deed();
        // Posted after the deletions the deed caused, so they run first.
        QTimer::singleShot(0, &loop, &QEventLoop::quit);
    });
    loop.exec();
    m_gate.open = gate;
}

// The panel open() is to hand out for light: the one listed for it that is
// not closing. Two would break the rule of one panel per controller.
QWidget *tst_Soak::servingPanel(QObject *light)
{
    QWidget *serving = nullptr;
    const QList<QWidget *> listed = host.panels();
    for (QWidget *panel : listed) {
        const Vorlan::Widget::Private *d = Host::d(panel);
        if (d->light != light || d->closing)
            continue;
        if (serving)
            violation(QStringLiteral("two panels listed for one controller"));
        serving = panel;
    }
    return serving;
}

// What open() gave: the controller's one panel, never one of a dead
// controller; none only when the host ended the panel or the controller
// inside the calls that built it.
void tst_Soak::checkOpened(const LightModel &light, QWidget *opened, bool hostInside)
{
    if (opened && !Host::d(opened)->light)
        violation(QStringLiteral("open handed out a panel whose controller is gone"));
    else if (opened != (light.object ? servingPanel(light.object) : nullptr))
        violation(QStringLiteral("open gave another panel than the one serving the controller"));
    else if (!opened && light.object && !hostInside)
        violation(QStringLiteral("open gave no panel for a controller"));
}

// Panels open() made that the model does not know yet, once they are
// built: one the host opened inside a call, one that was left closing
// when the controller went while it was built.
int tst_Soak::adoptNew(LightModel &light)
{
    int adopted = 0;
    const QList<QWidget *> listed = host.panels();
    for (QWidget *panel : listed) {
        if (modelOf(panel) || Host::d(panel)->hostCalls > 0)
            continue;
        adopt(panel, light).halfBuilt = Host::d(panel)->closing;
        m_affected.insert(light.serial);
        ++adopted;
    }
    return adopted;
}

void tst_Soak::resyncAffected()
{
    for (const auto &p : m_panels) {
        if (p->panel && !p->hostDeleted && m_affected.contains(p->serial))
            resync(*p);
    }
}

// A panel the host worked on inside a call, taken as it stands. What it
// shows must still hang together, and a state change the host reported
// inside a call must have been answered.
void tst_Soak::resync(PanelModel &p)
{
    const Vorlan::Widget::Private *d = p.d;
    if (p.closing && !d->closing)
        violation(QStringLiteral("panel of #%1 is no longer closing").arg(p.serial));
    p.closing = d->closing;
    p.dispatchActive = d->dispatchActive;
    p.mode = d->ui.actionDC->isChecked();
    p.lastCommand = d->lastCommand;
    p.lastCommandKnown = true;
    p.lastActionTime = d->lastActionTime;
    p.pending = static_cast<SoakResponse *>(d->pendingResponse.data());
    if (p.pending && (p.pending->serial != p.serial || p.pending->finishes > 0))
        violation(QStringLiteral("panel of #%1 waits for response %2, finished or not its own")
                      .arg(p.serial)
                      .arg(p.pending->id));
    p.stateText = d->stateText;
    p.status = d->statusLabel.text();
    const QString title = p.panel->windowTitle();
    p.marker = title.size() == p.title.size() + 1 ? title.at(0) : QChar();
    if (!p.marker.isNull() && p.marker != QLatin1Char('!') && p.marker != QLatin1Char(' '))
        violation(QStringLiteral("panel of #%1 titled %2").arg(p.serial).arg(title));
    p.expectedOffToggles = p.offToggles;
    p.expectedOnToggles = p.onToggles;

    const LightModel *light = lightOf(p.serial);
    if (light && light->object && light->reportedAt == light->object->writes && d->light) {
        bool dispatchActive = false;
        QString stateText;
        stateOf(light->object, &dispatchActive, &stateText);
        if (d->dispatchActive != dispatchActive || d->stateText != stateText)
            violation(QStringLiteral("panel of #%1 shows %2 (dispatch %3) after a state change reported inside a "
                                     "call, not %4 (dispatch %5)")
                          .arg(p.serial)
                          .arg(d->stateText)
                          .arg(d->dispatchActive)
                          .arg(stateText)
                          .arg(dispatchActive));
    }
}

// --- Model ---

// What lightStateChanged makes of the controller's values.
void tst_Soak::modelStateChanged(PanelModel &p, const SoakLight *light)
{
    stateOf(light, &p.dispatchActive, &p.stateText);
    if (!p.dispatchActive && p.lastActionTime.isValid()
        && ((p.lastCommandKnown && p.lastCommand < -2) || p.lastActionTime.secsTo(Host::clock()) > 5))
        p.lastActionTime = QDateTime();
    ++expect(p.serial).currentStage;
}

// What a panel that has read the controller's values shows of them.
void tst_Soak::stateOf(const SoakLight *light, bool *dispatchActive, QString *stateText)
{
    const int source = light->controlSourceValue.toInt();
    const int algorithm = light->controlAlgorithmValue.toInt();
    *dispatchActive = source == 3 && (algorithm == 0 || algorithm == 252 || algorithm == 255);
    const int stage = light->stageValue();
    if (!light->isConnectedValue.toBool()) {
        *stateText = QStringLiteral("Disconnected");
    } else if (stage >= 0) {
        *stateText = QStringLiteral("Stage %1").arg(stage);
    } else {
        static const char *const regimes[] = {"Dark", "Power switch level", "YF", "Signaling groups level"};
        const int regime = light->keyRegimeValue.toInt();
        *stateText = regime >= 0 && regime <= 3 ? QLatin1String(regimes[regime]) : QStringLiteral("Unknown state");
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
    const int phaseSecs = saturated(light->phaseChangeTimeValue.toDateTime().secsTo(now));
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

// After finished(): the host may have deleted the response meanwhile, so it
// is only compared.
void tst_Soak::modelFinished(const SoakResponse *response, const QVariant &error)
{
    for (const auto &p : m_panels) {
        if (!p->panel || p->pending != response)
            continue;
        if (error.toInt() == commandDone) {
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

void tst_Soak::finish(SoakResponse *response, const QVariant &error)
{
    response->finishWith(error);
    modelFinished(response, error);
}

void tst_Soak::emitStateChangedOf(LightModel &light)
{
    // A panel the host is about to delete on this report never reads it.
    for (PanelModel *p : panelsWhere([&](const PanelModel &p) { return p.serial == light.serial && !p.hostDeleted; }))
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
    makeStages(light);
    const int stageCount = light->stages.size();

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

// A new stage table: the old stage objects go.
void tst_Soak::makeStages(SoakLight *light)
{
    qDeleteAll(light->stages);
    light->stages.clear();
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

    const int deeds = m_deeds;
    QWidget *panel = host.open(light->object);
    const QString what = QStringLiteral("open controller #%1").arg(light->serial);
    if (m_deeds != deeds) {
        // The host worked inside the new panel's first calls: whatever came
        // of it is taken as it stands.
        checkOpened(*light, panel, true);
        adoptNew(*light);
        return what + (panel ? QStringLiteral(": new panel") : QStringLiteral(": none"));
    }
    if (!panel) {
        violation(QStringLiteral("open gave no panel for a controller"));
        return what;
    }
    if (current) {
        if (panel != current->panel)
            violation(QStringLiteral("open gave another panel than the one serving the controller"));
        return what + QStringLiteral(" (already open)");
    }
    if (modelOf(panel))
        violation(QStringLiteral("open handed out a panel that no longer serves the controller"));

    PanelModel &p = adopt(panel, *light);
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
    return what + (p.mode ? QStringLiteral(": new panel, dispatch control") : QStringLiteral(": new panel, local"));
}

// Takes a panel open() made into the model, with the parts a new panel is
// checked for: its name, its title and its stage list.
tst_Soak::PanelModel &tst_Soak::adopt(QWidget *panel, LightModel &light)
{
    auto model = std::make_unique<PanelModel>();
    PanelModel &p = *model;
    p.panel = panel;
    p.d = Host::d(panel);
    p.serial = light.serial;
    p.period = qBound(0, m_defaultPeriod, 65535);
    p.closing = p.d->closing;
    p.controllerGone = !light.object;
    p.title = panel->windowTitle();
    if (SoakLight *object = light.object) {
        const QString title = QStringLiteral("%1:%2").arg(object->number()).arg(object->displayName());
        if (p.title != title)
            violation(QStringLiteral("a new panel titled %1, not %2").arg(p.title, title));
        if (panel->objectName() != QStringLiteral("Vorlan::Widget_%1").arg(object->number()))
            violation(QStringLiteral("panel named %1").arg(panel->objectName()));
        checkStageRows(p, object);
    }

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
    if (light.object)
        connect(light.object, &Helvor::Light::stateChanged, panel, [this] {
            // Not before: a controller destroyed inside the report ends it
            // before the host hears of it.
            if (PanelModel *doomed = m_deleteOnReport ? modelOf(m_deleteOnReport) : nullptr) {
                doomed->hostDeleted = true;
                ++m_deletedOnReport;
            }
            delete m_deleteOnReport.data();
        });
    m_panels.push_back(std::move(model));
    return p;
}

// The stage list as built from "phases": null entries are skipped, and
// stages the host deleted while they were read are left out at the end.
void tst_Soak::checkStageRows(const PanelModel &p, const SoakLight *light)
{
    const QListWidget *list = p.d->ui.listWidget;
    const QVector<QPair<int, QString>> &rows = light->listedRows;
    if (list->count() > rows.size() || (!light->rowsCut && list->count() != rows.size()))
        violation(QStringLiteral("stage list has %1 rows for %2 stages").arg(list->count()).arg(rows.size()));
    for (int row = 0; row < list->count() && row < rows.size(); ++row) {
        const QListWidgetItem *item = list->item(row);
        if (item->text() != rows.at(row).second || item->data(Qt::UserRole) != QVariant(rows.at(row).first))
            violation(QStringLiteral("stage list row %1 is not %2").arg(row).arg(rows.at(row).second));
    }
}

QString tst_Soak::openNonController()
{
    QObject plain;
    SoakResponse *response = responses.isEmpty() ? nullptr : responses.at(int(below(quint32(responses.size()))));
    QObject *candidate = response && chance(50) ? static_cast<QObject *>(response) : &plain;
    if (host.open(candidate))
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
            if (SoakResponse *response = p->pending)
                finish(response, errorRoll ? QVariant(commandDone) : QVariant(0x1203));
            break;
        case SendPostedDeletes:
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            break;
        case HostWork:
            // The prompt's event loop serves the rest of the workstation:
            // any host step but the operator's, this very panel included.
            for (int i = int(below(3)); i >= 0; --i) {
                meanwhile.append(hostStep());
                resyncAffected();
            }
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
    QString what = QStringLiteral("controller #%1 %2").arg(light->serial).arg(changeValue(*light));
    if (chance(50)) {
        emitStateChangedOf(*light);
        what += QStringLiteral(", stateChanged");
    }
    return what;
}

// One of the controller's values changes, unreported; gives which, and to what.
QString tst_Soak::changeValue(LightModel &light)
{
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
    light.object->setProperty(names[which], value);
    return QStringLiteral("%1 = %2").arg(QLatin1String(names[which]),
                                         value.isValid() ? wordsOf({value}) : QStringLiteral("missing"));
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
    // Described first: the host may delete it while the panel reads it.
    const QString what = QStringLiteral("finish response %1 with %2%3")
                             .arg(response->id)
                             .arg(error.isValid() ? wordsOf({error}) : QStringLiteral("no error"))
                             .arg(response->finishes > 0 ? QStringLiteral(" (again)") : QString());
    finish(response, error);
    return what;
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
    delete host.plugin();
    if (!host.plugin())
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
    const int deeds = m_deeds;

    const bool handBack = modelTick(p, light->object);
    m_gate.open = true;
    Host::tick(p.panel);
    m_gate.open = false;
    if (handBack)
        modelMode(p, false);

    // With the host at work inside the tick, the hand-back is still owed by
    // a panel that lives on under dispatch control, to a live controller.
    if (owed && (m_deeds == deeds || (p.panel && light->object && p.d->dispatchActive))) {
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
            // A tick may end another panel (see deleteOnReport), or its
            // controller, with the host at work inside.
            if (p->panel && !p->hostDeleted && !p->controllerGone)
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
    m_affected.clear();
    m_stepDeeds.clear();
    m_deleteOnReport.clear();
    for (const auto &light : m_lights)
        light->reportedAt = -1;
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
    if (d->closing != p.closing)
        mismatch(QStringLiteral("closing"), QString::number(d->closing), QString::number(p.closing));
    const Ui::widget &ui = d->ui;
    if (!p.halfBuilt
        && (ui.actionDC->isChecked() != p.mode || ui.actionYF->isEnabled() != p.mode
            || ui.actionDark->isEnabled() != p.mode || ui.actionRestart->isEnabled() != p.mode
            || ui.listWidget->isEnabled() != p.mode))
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
            r.commands.append(wordsOf(call.arguments));
    }

    // Every transition to local mode asks the controller for it: each time
    // actionDC went off while the controller lived, one "setLocal" more.
    QHash<quint64, int> dueLocal;
    for (const auto &p : m_panels)
        dueLocal[p->serial] += p->offTogglesAlive + p->untoggledLocal;
    for (auto it = dueLocal.cbegin(); it != dueLocal.cend(); ++it) {
        const int got = received.value(it.key()).setLocal;
        if (got != it.value() && !m_affected.contains(it.key()))
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
        // With the host at work inside the calls, the panel may stop short,
        // but it sends nothing the operator did not order.
        if (m_affected.contains(serial)) {
            if (got.commands != due.commands.mid(0, got.commands.size()))
                violation(QStringLiteral("controller #%1 got commands [%2] for [%3]")
                              .arg(serial)
                              .arg(got.commands.join(QLatin1String(", ")), due.commands.join(QLatin1String(", "))));
            continue;
        }
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
    resyncAffected();

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
    const QList<QWidget *> listed = host.panels();
    if (listed != live)
        violation(QStringLiteral("the panel list holds %1 panels, %2 live ones in order expected")
                      .arg(listed.size())
                      .arg(live.size()));
    // Whatever the model says: one panel at most per controller that is not
    // closing, and none closing or of a dead controller past the posted deletes.
    QSet<const QObject *> served;
    for (QWidget *panel : listed) {
        const Vorlan::Widget::Private *d = Host::d(panel);
        if (m_deletionsMustRun && (d->closing || !d->light))
            violation(QStringLiteral("a panel closing or of a dead controller survived the posted deletes"));
        if (d->closing || !d->light)
            continue;
        if (served.contains(d->light))
            violation(QStringLiteral("two panels listed for one controller"));
        served.insert(d->light);
    }

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

void tst_Soak::initSuite()
{
    // No settings of this machine may move the module's values.
    QVERIFY(m_settings.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_settings.filePath(QStringLiteral("user"))));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(m_settings.filePath(QStringLiteral("system"))));
    QCoreApplication::setOrganizationName(QStringLiteral("VorlanSoak"));
    QCoreApplication::setApplicationName(QStringLiteral("tst_soak"));
    QVERIFY2(host.plugin(), qPrintable(host.loader().errorString()));
    QVERIFY(keepModuleValues());
    passOn = qInstallMessageHandler(filterMessages);
    m_trace = qEnvironmentVariableIsSet("VORLAN_SOAK_TRACE");
}

void tst_Soak::cleanupEach()
{
    discardAll();
}

void tst_Soak::discardAll()
{
    hostile = nullptr;
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
    QCOMPARE(host.panels(), QList<QWidget *>());
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
        QWidget *panel = host.open(&probe);
        QVERIFY(panel);
        m_alarmBefore = panel->property("alarmBefore").toInt();
        m_defaultPeriod = panel->property("defaultInactivityPeriod").toInt();
        m_alarmSound = panel->property("alarmSound").toString();
        delete panel;
    }
    calls.clear();
    Host::setClock(QDateTime(QDate(2024, 3, 1), QTime(8, 0), Qt::UTC));
    hostile = [this](const QObject *object, const char *call) {
        hostileCall(object, call);
    };
    SoakLight::reporting = [this](SoakLight *light) {
        const std::vector<PanelModel *> panels =
            panelsWhere([light](const PanelModel &p) { return p.serial == light->serial() && !p.hostDeleted; });
        for (PanelModel *p : panels)
            modelStateChanged(*p, light);
        // Now and then the host takes the report as its cue to close the
        // dock for good, with a plain delete, inside the panel's call.
        // Not on a stage pick: that command goes out from inside Qt's
        // selection model, which would touch the deleted list afterwards.
        if (panels.size() == 1 && !m_pickingStage && chance(15))
            m_deleteOnReport = panels.front()->panel;
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
        QString action = responses.size() > keptResponses ? dropOldResponse() : step();
        if (m_trace)
            std::fprintf(stderr, "%s\n", qPrintable(action));
        if (!m_stepDeeds.isEmpty())
            action += QStringLiteral(" {%1}").arg(m_stepDeeds.join(QLatin1String("; ")));
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
          "the old one's panel lived), %d panels deleted by the host inside a controller call, %d expected warnings; "
          "inside the module's calls the host deleted %d panels, destroyed %d controllers, deleted %d responses, "
          "rebuilt %d stage tables, looped %d times while a controller went and %d times while a panel went, "
          "reported %d changes of state and opened %d panels again",
          m_steps, ms, qint64(m_steps) * 1000 / ms, m_prompts, m_handBacks, m_lateHandBacks, m_reusedAddresses,
          m_reusedWhilePanelLives, m_deletedOnReport, expectedMessages, m_deedCounts[DeletePanel],
          m_deedCounts[DestroyController], m_deedCounts[DeleteResponse], m_deedCounts[RebuildStages],
          m_deedCounts[LoopControllerGoes], m_deedCounts[LoopPanelGoes], m_deedCounts[ReportState],
          m_deedCounts[OpenAgain]);
}

// --- Regressions found by the soak ---

enum Callout { DCOff, YFPressed, DarkPressed, RestartPressed, CloseAnsweredYes, WatchdogHandsBack };

void tst_Soak::panelDeletedInsideControllerCall_data()
{
    addRows<int>("callout",
                 {{"DC off: setLocal reports local mode at once", int(DCOff)},
                  {"YF: sendCommand reports at once", int(YFPressed)},
                  {"Dark: sendCommand reports at once", int(DarkPressed)},
                  {"Restart: sendCommand reports at once", int(RestartPressed)},
                  {"close prompt answered Yes: setLocal reports at once", int(CloseAnsweredYes)},
                  {"watchdog hands back: setLocal reports at once", int(WatchdogHandsBack)}});
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
    QPointer<QWidget> panel = host.open(&light);
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
        QWidget *any = host.open(&probe);
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
    QObject hostSlot;
    connect(&light, &Helvor::Light::stateChanged, &hostSlot, [&] {
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

    QCOMPARE(host.panels(), QList<QWidget *>());
    const bool local = callout == DCOff || callout == CloseAnsweredYes || callout == WatchdogHandsBack;
    QCOMPARE(calls.size() > 0 ? QString::fromLatin1(calls.constFirst().method) : QString(),
             local ? QStringLiteral("setLocal") : QStringLiteral("sendCommand"));
    QCOMPARE(violations, QStringList());
}

QTEST_MAIN(tst_Soak)

#include "tst_soak.moc"
