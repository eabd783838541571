// SPDX-License-Identifier: MIT
//
// A host may run any code inside any call the module makes into it: a
// property read, a virtual function, an invokable, a stage's description,
// a request's toString, a response's error, even the notice of a new
// connection. Each row makes one such call do one hostile thing: delete
// the panel, the controller, the response or the stages, run an event loop
// in which the controller or the panel goes, report a change of state, or
// open the controller's panel again. Afterwards the module must not have
// touched anything that is gone, a controller has at most one panel, a
// panel whose controller is gone is never handed out, and a panel that
// lives on still does its job.
#include "paneltest.h"
#include "request.h"
#include "response.h"

#include <helvor/light.h>

#include <QAction>
#include <QEventLoop>
#include <QLabel>
#include <QListWidget>
#include <QMetaMethod>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

const QDateTime start(QDate(2024, 6, 12), QTime(10, 0), Qt::UTC);

// Every object of this suite that the module may call, while it lives.
QSet<const QObject *> live;
// Calls that reached an object after its end.
QStringList violations;
// Armed by a row: runs at the first call of its name, then disarms.
QByteArray trapCall;
std::function<void()> trapDeed;

// Every call of this suite's objects goes through here. The caller reads
// its answer before: the deed may delete the very object asked.
void spring(const QObject *object, const char *call)
{
    if (!live.contains(object)) {
        violations.append(QStringLiteral("%1 on a gone object").arg(QLatin1String(call)));
        return;
    }
    if (trapCall.isEmpty() || trapCall != call)
        return;
    trapCall.clear();
    const std::function<void()> deed = std::move(trapDeed);
    trapDeed = nullptr;
    deed();
}

class Living
{
public:
    explicit Living(const QObject *object)
        : m_object(object)
    {
        live.insert(object);
    }
    ~Living()
    {
        live.remove(m_object);
    }

private:
    const QObject *m_object;
};

class TrapStage : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int id READ id)
    Q_PROPERTY(QString description READ description)
    Q_PROPERTY(QString shema READ shema)

public:
    TrapStage(int id, QObject *parent)
        : QObject(parent)
        , m_id(id)
    {
    }

    int id() const
    {
        const auto value = m_id;
        spring(this, "stage id");
        return value;
    }
    QString description() const
    {
        const auto value = QStringLiteral("Stage <b>%1</b>").arg(m_id);
        spring(this, "stage description");
        return value;
    }
    QString shema() const
    {
        // Composed on the controller's plan, which reads the controller's shema.
        const auto value = QStringLiteral("/nonexistent/hostile/stage%1.wmf").arg(m_id);
        spring(this, "stage shema");
        return value;
    }

private:
    Living m_living{this};
    int m_id;
};

class TrapRequest : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    Q_INVOKABLE QString toString() const
    {
        const auto value = QStringLiteral("set_yf");
        spring(this, "toString");
        return value;
    }

private:
    Living m_living{this};
};

class TrapResponse : public Response
{
    Q_OBJECT
    Q_PROPERTY(int error READ trappedError)
    Q_PROPERTY(QObject *request READ trappedRequest)

public:
    explicit TrapResponse(QObject *parent)
        : Response(new TrapRequest, parent)
    {
    }

    int trappedError() const
    {
        const auto value = error();
        spring(this, "error");
        return value;
    }
    QObject *trappedRequest() const
    {
        const auto value = request();
        spring(this, "request");
        return value;
    }

protected:
    void connectNotify(const QMetaMethod &) override
    {
        spring(this, "response connectNotify");
    }

private:
    Living m_living{this};
};

// Under dispatch control, flashing yellow (no stage running, so the key
// mode is read), three stages composed on a plan.
class TrapLight : public Helvor::Light
{
    Q_OBJECT
    Q_PROPERTY(int controlSource READ controlSource)
    Q_PROPERTY(int controlAlgorithm READ controlAlgorithm)
    Q_PROPERTY(int keyRegime READ keyRegime)
    Q_PROPERTY(bool isConnected READ isConnected)
    Q_PROPERTY(QDateTime phaseChangeTime READ phaseChangeTime)
    Q_PROPERTY(QString shema READ shema)

public:
    TrapLight(int number, bool dispatch)
        : Helvor::Light(number, QStringLiteral("Hostile <img src=\"/dev/zero\">"))
        , m_dispatch(dispatch)
    {
        rebuildStages();
    }

    int number() const override
    {
        const auto value = Helvor::Light::number();
        spring(this, "number");
        return value;
    }
    QString displayName() const override
    {
        const auto value = Helvor::Light::displayName();
        spring(this, "displayName");
        return value;
    }
    int currentStage() const override
    {
        const auto value = -1;
        spring(this, "currentStage");
        return value;
    }
    int controlSource() const
    {
        const auto value = m_dispatch ? 3 : 1;
        spring(this, "controlSource");
        return value;
    }
    int controlAlgorithm() const
    {
        const auto value = m_dispatch ? 255 : 1;
        spring(this, "controlAlgorithm");
        return value;
    }
    int keyRegime() const
    {
        const auto value = regime;
        spring(this, "keyRegime");
        return value;
    }
    bool isConnected() const
    {
        const auto value = true;
        spring(this, "isConnected");
        return value;
    }
    QDateTime phaseChangeTime() const
    {
        const auto value = start.addSecs(-15);
        spring(this, "phaseChangeTime");
        return value;
    }
    QString shema() const
    {
        const auto value = QStringLiteral("/nonexistent/hostile/plan.wmf");
        spring(this, "shema");
        return value;
    }

    Q_INVOKABLE QList<QObject *> phases()
    {
        // The table as it stands when the host answers; a host deleted
        // meanwhile answers with the one it had.
        const QList<QObject *> before = stageObjects();
        const QPointer<TrapLight> self(this);
        spring(this, "phases");
        return self ? stageObjects() : before;
    }
    Q_INVOKABLE Response *sendCommand(const QVariant &command)
    {
        return command1(command, QVariant());
    }
    Q_INVOKABLE Response *sendCommand(const QVariant &command, const QVariant &argument)
    {
        return command1(command, argument);
    }
    Q_INVOKABLE void setLocal()
    {
        ++setLocalCalls;
        spring(this, "setLocal");
    }

    // The host's stage table made anew: every stage object the panel may hold goes.
    void rebuildStages()
    {
        qDeleteAll(stages);
        stages.clear();
        for (int id = 1; id <= 3; ++id)
            stages.append(new TrapStage(id, this));
    }

    QList<QObject *> stageObjects() const
    {
        QList<QObject *> list;
        for (TrapStage *stage : stages)
            list.append(stage);
        return list;
    }

    QList<TrapStage *> stages;
    // Flashing yellow, until the host reports another key mode.
    int regime = 2;
    QPointer<TrapResponse> lastResponse;
    QStringList commands;
    int setLocalCalls = 0;

protected:
    void connectNotify(const QMetaMethod &) override
    {
        spring(this, "connectNotify");
    }

private:
    Response *command1(const QVariant &command, const QVariant &argument)
    {
        commands.append(command.toString() + (argument.isValid() ? QLatin1Char(' ') + argument.toString() : QString()));
        auto *response = new TrapResponse(this);
        lastResponse = response;
        const auto value = response;
        spring(this, "sendCommand");
        return value;
    }

    Living m_living{this};
    bool m_dispatch;
};

} // namespace

// What leads the module to the call: opening the panel, or something done
// to a panel already open.
enum class Drive { Open, StateChange, Tick, YF, Stage, Restart, Local, Finish };
Q_DECLARE_METATYPE(Drive)

enum class Deed {
    DeletePanel,
    DeleteController,
    DeleteResponse,
    DeleteStages,
    LoopControllerGoes,
    LoopPanelGoes,
    ReportState,
    OpenAgain
};
Q_DECLARE_METATYPE(Deed)

class tst_HostileHost : public PanelTest
{
    Q_OBJECT

private Q_SLOTS:
    void hostCalls_data();
    void hostCalls();

protected:
    void initEach() override;
    void cleanupEach() override;

private:
    QWidget *panelOf(QObject *light);

    QPointer<TrapLight> m_trap;
};

void tst_HostileHost::initEach()
{
    Host::setClock(start);
    violations.clear();
}

void tst_HostileHost::cleanupEach()
{
    trapCall.clear();
    trapDeed = nullptr;
}

// The panel open for light and not closing, found as the host finds it.
QWidget *tst_HostileHost::panelOf(QObject *light)
{
    QWidget *found = nullptr;
    const QList<QWidget *> panels = host.panels();
    for (QWidget *panel : panels) {
        if (Host::d(panel)->light == light && !Host::d(panel)->closing) {
            if (found)
                return nullptr;
            found = panel;
        }
    }
    return found;
}

void tst_HostileHost::hostCalls_data()
{
    // stages: the items in the stage list of a panel that lives on.
    addColumns<Drive, QByteArray, Deed, int>({"drive", "call", "deed", "stages"});

    struct Site
    {
        Drive drive;
        const char *call;
        const char *what;
    };
    const Site sites[] = {
        {Drive::Open, "number", "open"},
        {Drive::Open, "displayName", "open"},
        {Drive::Open, "connectNotify", "open"},
        {Drive::Open, "phases", "open"},
        {Drive::Open, "stage id", "open"},
        {Drive::Open, "stage description", "open"},
        {Drive::Open, "stage shema", "open"},
        {Drive::Open, "shema", "open"},
        {Drive::Open, "controlSource", "open"},
        {Drive::Open, "controlAlgorithm", "open"},
        {Drive::Open, "currentStage", "open"},
        {Drive::Open, "isConnected", "open"},
        {Drive::Open, "keyRegime", "open"},
        {Drive::Open, "setLocal", "open out of dispatch control"},
        {Drive::StateChange, "controlSource", "state change"},
        {Drive::StateChange, "controlAlgorithm", "state change"},
        {Drive::StateChange, "currentStage", "state change"},
        {Drive::StateChange, "isConnected", "state change"},
        {Drive::StateChange, "keyRegime", "state change"},
        {Drive::Tick, "phaseChangeTime", "tick"},
        {Drive::Tick, "request", "tick"},
        {Drive::Tick, "toString", "tick"},
        {Drive::YF, "sendCommand", "YF"},
        {Drive::YF, "response connectNotify", "YF"},
        {Drive::Stage, "sendCommand", "stage chosen"},
        {Drive::Restart, "sendCommand", "restart"},
        {Drive::Local, "setLocal", "DC off"},
        {Drive::Finish, "error", "response finished"},
    };
    const struct
    {
        Deed deed;
        const char *what;
    } deeds[] = {
        {Deed::DeletePanel, "deletes the panel"},
        {Deed::DeleteController, "deletes the controller"},
        {Deed::DeleteResponse, "deletes the response"},
        {Deed::DeleteStages, "deletes the stages"},
        {Deed::LoopControllerGoes, "loops while the controller goes"},
        {Deed::LoopPanelGoes, "loops while the panel goes"},
        {Deed::ReportState, "reports a state change"},
        {Deed::OpenAgain, "opens the panel again"},
    };
    for (const Site &site : sites) {
        for (const auto &deed : deeds) {
            const bool hasResponse = site.drive == Drive::Tick || site.drive == Drive::Finish
                || QByteArray(site.call) == "response connectNotify";
            if (deed.deed == Deed::DeleteResponse && !hasResponse)
                continue;
            const QByteArray call(site.call);
            int stages = 3;
            if (deed.deed == Deed::DeleteStages) {
                // Before the list is read, the new stages are listed; while a
                // stage is read, none is; while the first stage's picture is
                // composed, only that one.
                if (call == "phases")
                    stages = 3;
                else if (call.startsWith("stage "))
                    stages = 0;
                else if (call == "shema")
                    stages = 1;
                else
                    continue;
            }
            QTest::addRow("%s: %s %s", site.what, site.call, deed.what) << site.drive << call << deed.deed << stages;
        }
    }
}

void tst_HostileHost::hostCalls()
{
    QFETCH(Drive, drive);
    QFETCH(QByteArray, call);
    QFETCH(Deed, deed);
    QFETCH(int, stages);

    const bool dispatch = !(drive == Drive::Open && call == "setLocal");
    m_trap = own(new TrapLight(71, dispatch));
    QPointer<QWidget> panel;
    if (drive != Drive::Open) {
        panel = host.open(m_trap);
        QVERIFY(panel);
        if (drive == Drive::Tick || drive == Drive::Finish) {
            action(panel, "actionYF")->trigger();
            QVERIFY(m_trap->lastResponse);
        }
    }

    QPointer<QWidget> reopened;
    bool reopenedAtAll = false;
    bool sprung = false;
    trapCall = call;
    trapDeed = [&] {
        sprung = true;
        QPointer<TrapLight> light = m_trap;
        switch (deed) {
        case Deed::DeletePanel:
            delete panelOf(light);
            break;
        case Deed::DeleteController:
            delete light.data();
            break;
        case Deed::DeleteResponse:
            delete light->lastResponse.data();
            break;
        case Deed::DeleteStages:
            light->rebuildStages();
            break;
        case Deed::LoopControllerGoes:
        case Deed::LoopPanelGoes: {
            // As a host that waits for its server does: whatever the event
            // loop delivers meanwhile, deferred deletions included, happens
            // inside the call.
            QEventLoop loop;
            QPointer<QWidget> target = panelOf(light);
            QTimer::singleShot(0, &loop, [&] {
                if (deed == Deed::LoopControllerGoes)
                    delete light.data();
                else if (target)
                    target->deleteLater();
            });
            QTimer::singleShot(30, &loop, &QEventLoop::quit);
            loop.exec();
            break;
        }
        case Deed::ReportState:
            // Dark now, and another mode again should the panel make this
            // call once more: each time while it may be reading the old state.
            light->regime = 0;
            trapCall = call;
            trapDeed = [light] {
                light->regime = 3;
                Q_EMIT light->stateChanged();
            };
            Q_EMIT light->stateChanged();
            break;
        case Deed::OpenAgain:
            reopened = host.open(light);
            reopenedAtAll = true;
            break;
        }
    };

    switch (drive) {
    case Drive::Open:
        panel = host.open(m_trap);
        break;
    case Drive::StateChange:
        Q_EMIT m_trap->stateChanged();
        break;
    case Drive::Tick:
        Host::tick(panel);
        break;
    case Drive::YF:
        action(panel, "actionYF")->trigger();
        break;
    case Drive::Stage:
        stageList(panel)->item(1)->setSelected(true);
        break;
    case Drive::Restart:
        action(panel, "actionRestart")->trigger();
        break;
    case Drive::Local:
        action(panel, "actionDC")->trigger();
        break;
    case Drive::Finish:
        m_trap->lastResponse->finish(success);
        break;
    }
    QVERIFY2(sprung, "the module never made the call");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QVERIFY2(violations.isEmpty(), qPrintable(violations.join(QLatin1String(", "))));
    const QList<QWidget *> panels = host.panels();
    for (QWidget *open : panels)
        QVERIFY2(Host::d(open)->light, "a panel outlived its controller");
    if (!m_trap) {
        QVERIFY(panels.isEmpty());
        QVERIFY(!panel);
        QVERIFY(!reopened);
        return;
    }
    // One panel at most, and the one open() handed out is that one.
    QVERIFY(panels.size() <= 1);
    QWidget *current = panels.value(0);
    QCOMPARE(panel.data(), current);
    if (reopenedAtAll)
        QVERIFY(!reopened || reopened == current);
    if (!current)
        return;

    // The panel lives on and does its job.
    trapCall.clear();
    if (m_trap->lastResponse)
        m_trap->lastResponse->finish(success);
    const QString status = statusAfterTick(current);
    // The key mode the controller reported last.
    const QLatin1String shown(m_trap->regime == 0       ? "Dark: 15"
                                  : m_trap->regime == 3 ? "Signaling groups level: 15"
                                                        : "YF: 15");
    QVERIFY2(status.startsWith(shown), qPrintable(status));
    QAction *dc = action(current, "actionDC");
    if (!dc->isChecked())
        dc->trigger();
    const int setLocalCalls = m_trap->setLocalCalls;
    const int commands = m_trap->commands.size();
    action(current, "actionDark")->trigger();
    QCOMPARE(m_trap->commands.size(), commands + 1);
    QCOMPARE(m_trap->commands.last(), QStringLiteral("set_os"));
    dc->trigger();
    QCOMPARE(m_trap->setLocalCalls, setLocalCalls + 1);
    QCOMPARE(stageList(current)->count(), stages);
}

QTEST_MAIN(tst_HostileHost)
#include "tst_hostilehost.moc"
