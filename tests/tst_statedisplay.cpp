// SPDX-License-Identifier: MIT
#include "paneltest.h"

#include "request.h"
#include "response.h"

#include <helvor/light.h>
#include <helvor/simulatedlight.h>

#include <QAction>
#include <QBrush>
#include <QLabel>
#include <QListWidget>
#include <QListWidgetItem>
#include <QRegularExpression>
#include <QToolBar>
#include <QtTest>

#include <functional>

namespace {

// A fixed instant, so that every span the panel shows is known exactly.
QDateTime start()
{
    return QDateTime(QDate(2024, 3, 14), QTime(9, 26, 53));
}

const QBrush runningBrush(Qt::green, Qt::SolidPattern);
const QBrush otherBrush(Qt::transparent, Qt::SolidPattern);

// A controller with no properties of its own: whatever a test wants it to
// report is set as a dynamic property, and whatever is left out reads as
// an invalid value.
class SparseLight : public Helvor::Light
{
    Q_OBJECT

public:
    explicit SparseLight(QObject *parent)
        : Helvor::Light(70, QStringLiteral("Sparse"), parent)
    {
    }

    QStringList calls;

    Q_INVOKABLE QList<QObject *> phases()
    {
        return {};
    }
    Q_INVOKABLE Response *sendCommand(const QVariant &command)
    {
        calls.append(command.toString());
        return nullptr;
    }
    Q_INVOKABLE Response *sendCommand(const QVariant &command, const QVariant &argument)
    {
        calls.append(command.toString() + QLatin1Char(' ') + argument.toString());
        return nullptr;
    }
    Q_INVOKABLE void setLocal()
    {
        calls.append(QStringLiteral("setLocal"));
    }
};

// Counts what the panel asks of it, to show which questions a state
// change does not need to ask.
class CountingLight : public Helvor::Light
{
    Q_OBJECT
    Q_PROPERTY(bool isConnected READ isConnected)
    Q_PROPERTY(int keyRegime READ keyRegime)

public:
    explicit CountingLight(QObject *parent)
        : Helvor::Light(71, QStringLiteral("Counting"), parent)
    {
    }

    bool connected = true;
    int regime = 2;
    int stage = -1;
    mutable int keyRegimeReads = 0;
    mutable int currentStageCalls = 0;

    Q_INVOKABLE QList<QObject *> phases()
    {
        return {};
    }
    Q_INVOKABLE void setLocal()
    {
    }

    bool isConnected() const
    {
        return connected;
    }
    int keyRegime() const
    {
        ++keyRegimeReads;
        return regime;
    }
    int currentStage() const override
    {
        ++currentStageCalls;
        return stage;
    }
};

// Hands out responses of the test's making for one-word commands, to see
// how the status line copes with requests that break the host's contract.
class ScriptedLight : public Helvor::SimulatedLight
{
    Q_OBJECT

public:
    using SimulatedLight::SimulatedLight;

    std::function<Response *(QObject *parent)> makeResponse;

    Q_INVOKABLE Response *sendCommand(const QVariant &)
    {
        return makeResponse(this);
    }
};

class TextRequestResponse : public Response
{
    Q_OBJECT
    Q_PROPERTY(QString request READ requestText)

public:
    explicit TextRequestResponse(QObject *parent)
        : Response(nullptr, parent)
    {
    }

    QString requestText() const
    {
        return QStringLiteral("set_yf");
    }
};

// The request as its own class rather than QObject*: still an object.
class TypedRequestResponse : public Response
{
    Q_OBJECT
    Q_PROPERTY(Request *request READ typedRequest)

public:
    TypedRequestResponse(Request *request, QObject *parent)
        : Response(nullptr, parent)
        , m_request(request)
    {
        m_request->setParent(this);
    }

    Request *typedRequest() const
    {
        return m_request;
    }

private:
    Request *m_request;
};

class OwnWordsRequest : public QObject
{
    Q_OBJECT

public:
    Q_INVOKABLE QString toString() const
    {
        return QStringLiteral("flash all yellow");
    }
};

class ArgumentRequest : public QObject
{
    Q_OBJECT

public:
    Q_INVOKABLE QString toString(int) const
    {
        return QStringLiteral("never shown");
    }
};

class NumberRequest : public QObject
{
    Q_OBJECT

public:
    Q_INVOKABLE int toString() const
    {
        return 3;
    }
};

enum RequestKind {
    TextRequest,
    NullRequest,
    PlainObjectRequest,
    TypedRequest,
    OwnWords,
    ArgumentToString,
    NumberToString,
};

Response *makeResponse(int kind, QObject *parent)
{
    switch (kind) {
    case TextRequest:
        return new TextRequestResponse(parent);
    case NullRequest:
        return new Response(nullptr, parent);
    case PlainObjectRequest:
        return new Response(new QObject, parent);
    case TypedRequest:
        return new TypedRequestResponse(new Request(QStringLiteral("set_yf")), parent);
    case OwnWords:
        return new Response(new OwnWordsRequest, parent);
    case ArgumentToString:
        return new Response(new ArgumentRequest, parent);
    case NumberToString:
        return new Response(new NumberRequest, parent);
    }
    return nullptr;
}

QListWidgetItem *itemOf(QListWidget *list, int number)
{
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->data(Qt::UserRole) == QVariant(number))
            return list->item(row);
    }
    return nullptr;
}

// An invalid value removes a dynamic property: the controller then lacks it.
void report(QObject *light, const char *name, const QVariant &value)
{
    light->setProperty(name, value);
}

} // namespace

class tst_StateDisplay : public PanelTest
{
    Q_OBJECT

private Q_SLOTS:
    void dispatchControl_data();
    void dispatchControl();
    void lastActionTime_data();
    void lastActionTime();
    void runningStage_data();
    void runningStage();
    void markFollowsRunningStage();
    void stateText_data();
    void stateText();
    void stateTextAsksOnlyWhatItNeeds_data();
    void stateTextAsksOnlyWhatItNeeds();
    void statusLabelEmptyBeforeFirstTick();
    void statusLine_data();
    void statusLine();
    void statusLineCommandParts_data();
    void statusLineCommandParts();
    void statusLineOddRequests_data();
    void statusLineOddRequests();

protected:
    void initEach() override;

private:
    Helvor::SimulatedLight *newLight(bool dispatchControl, const QList<int> &stages = {});

    // Parent of the test's controllers, deleted after their panels.
    QObject *m_owner = nullptr;
};

void tst_StateDisplay::initEach()
{
    m_owner = own(new QObject);
}

Helvor::SimulatedLight *tst_StateDisplay::newLight(bool dispatchControl, const QList<int> &stages)
{
    auto *light = new Helvor::SimulatedLight(12, QStringLiteral("Market Square"), m_owner);
    light->setDispatchControl(dispatchControl);
    for (int number : stages)
        light->addStage(number, QStringLiteral("Stage %1").arg(number));
    return light;
}

void tst_StateDisplay::dispatchControl_data()
{
    addColumns<bool, QVariant, QVariant, bool>({"sparse", "source", "algorithm", "expected"});

    QTest::newRow("controlSource 3, algorithm 0") << false << QVariant(3) << QVariant(0) << true;
    QTest::newRow("controlSource 3, algorithm 252") << false << QVariant(3) << QVariant(252) << true;
    QTest::newRow("controlSource 3, algorithm 255") << false << QVariant(3) << QVariant(255) << true;
    QTest::newRow("controlSource 3, algorithm 1") << false << QVariant(3) << QVariant(1) << false;
    QTest::newRow("controlSource 3, algorithm 251") << false << QVariant(3) << QVariant(251) << false;
    QTest::newRow("controlSource 3, algorithm 253") << false << QVariant(3) << QVariant(253) << false;
    QTest::newRow("controlSource 3, algorithm 254") << false << QVariant(3) << QVariant(254) << false;
    QTest::newRow("controlSource 3, algorithm 256") << false << QVariant(3) << QVariant(256) << false;
    QTest::newRow("controlSource 3, algorithm -1") << false << QVariant(3) << QVariant(-1) << false;
    // The codes are whole ints, not bytes.
    QTest::newRow("controlSource 3, algorithm 508") << false << QVariant(3) << QVariant(508) << false;
    QTest::newRow("controlSource 259, algorithm 255") << false << QVariant(259) << QVariant(255) << false;
    QTest::newRow("controlSource 2, algorithm 255") << false << QVariant(2) << QVariant(255) << false;
    QTest::newRow("controlSource 4, algorithm 255") << false << QVariant(4) << QVariant(255) << false;
    QTest::newRow("controlSource 1, algorithm 0") << false << QVariant(1) << QVariant(0) << false;
    QTest::newRow("controlSource 0, algorithm 0") << false << QVariant(0) << QVariant(0) << false;

    // A missing property reads as 0, and 0 is one of the centre's algorithms.
    QTest::newRow("no control properties") << true << QVariant() << QVariant() << false;
    QTest::newRow("controlSource 3 without controlAlgorithm") << true << QVariant(3) << QVariant() << true;
    QTest::newRow("controlAlgorithm 255 without controlSource") << true << QVariant() << QVariant(255) << false;
    QTest::newRow("controlSource 3, algorithm 252, both as text")
        << true << QVariant(QStringLiteral("3")) << QVariant(QStringLiteral("252")) << true;
}

void tst_StateDisplay::dispatchControl()
{
    QFETCH(bool, sparse);
    QFETCH(QVariant, source);
    QFETCH(QVariant, algorithm);
    QFETCH(bool, expected);

    Helvor::SimulatedLight *simulated = sparse ? nullptr : newLight(false, {1, 2});
    SparseLight *bare = sparse ? new SparseLight(m_owner) : nullptr;
    QObject *light = sparse ? static_cast<QObject *>(bare) : simulated;

    // Open with the opposite verdict, so that only the signal can bring the expected one.
    report(light, "controlSource", expected ? 1 : 3);
    report(light, "controlAlgorithm", expected ? 1 : 255);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QCOMPARE(dispatchActive(panel), !expected);
    QAction *dc = Host::action(panel, "actionDC");
    QVERIFY(dc);
    QCOMPARE(dc->isChecked(), !expected);
    QCOMPARE(Host::action(panel, "actionYF")->isEnabled(), !expected);
    QCOMPARE(Host::stageList(panel)->isEnabled(), !expected);
    if (simulated)
        simulated->clearCalls();
    else
        bare->calls.clear();

    report(light, "controlSource", source);
    report(light, "controlAlgorithm", algorithm);
    QCOMPARE(dispatchActive(panel), !expected);
    Q_EMIT static_cast<Helvor::Light *>(light)->stateChanged();

    QCOMPARE(dispatchActive(panel), expected);
    // The panel's own mode is the operator's: a report does not flip it.
    QCOMPARE(dc->isChecked(), !expected);
    QCOMPARE(Host::action(panel, "actionYF")->isEnabled(), !expected);
    QCOMPARE(Host::stageList(panel)->isEnabled(), !expected);
    if (simulated)
        QCOMPARE(simulated->calls().size(), 0);
    else
        QCOMPARE(bare->calls, QStringList());
    QVERIFY(!pendingResponse(panel));

    // Written on every report, also when nothing changed.
    Q_EMIT static_cast<Helvor::Light *>(light)->stateChanged();
    QCOMPARE(dispatchActive(panel), expected);
}

void tst_StateDisplay::lastActionTime_data()
{
    addColumns<QString, int, bool, qint64, bool>({"lastAction", "code", "stayUnderControl", "elapsedMs", "kept"});

    const QString yf = QStringLiteral("yf");
    const QString stage2 = QStringLiteral("stage 2");
    const QString stage0 = QStringLiteral("stage 0");
    const QString dcOff = QStringLiteral("dc off");
    const QString restart = QStringLiteral("restart");
    const QString refused = QStringLiteral("refused");

    // The controller may report the end of dispatch control a moment after
    // an accepted command: 5 whole seconds of grace, no more.
    QTest::newRow("YF, report at once") << yf << -1 << false << qint64(0) << true;
    QTest::newRow("YF, report 5 s later") << yf << -1 << false << qint64(5000) << true;
    QTest::newRow("YF, report 5.999 s later") << yf << -1 << false << qint64(5999) << true;
    QTest::newRow("YF, report 6 s later") << yf << -1 << false << qint64(6000) << false;
    QTest::newRow("YF, report an hour later") << yf << -1 << false << qint64(3600000) << false;
    QTest::newRow("YF, clock set back 1 s") << yf << -1 << false << qint64(-1000) << true;
    QTest::newRow("YF, clock set back a day") << yf << -1 << false << qint64(-86400000) << true;
    QTest::newRow("stage 2 ordered, report 5 s later") << stage2 << 2 << false << qint64(5000) << true;
    QTest::newRow("stage 2 ordered, report 6 s later") << stage2 << 2 << false << qint64(6000) << false;
    QTest::newRow("stage 0 ordered, report 5 s later") << stage0 << 0 << false << qint64(5000) << true;
    QTest::newRow("stage 0 ordered, report 6 s later") << stage0 << 0 << false << qint64(6000) << false;
    // A hand-back, a restart or a refusal ends the operator's claim at once.
    QTest::newRow("DC pressed off, report at once") << dcOff << -3 << false << qint64(0) << false;
    QTest::newRow("DC pressed off, clock set back") << dcOff << -3 << false << qint64(-10000) << false;
    QTest::newRow("restart, report at once") << restart << -4 << false << qint64(0) << false;
    QTest::newRow("refused response, report at once") << refused << -5 << false << qint64(0) << false;
    QTest::newRow("under dispatch control, YF a day ago") << yf << -1 << true << qint64(86400000) << true;
    QTest::newRow("under dispatch control, stage 2 a day ago") << stage2 << 2 << true << qint64(86400000) << true;
    QTest::newRow("under dispatch control, DC pressed off a day ago")
        << dcOff << -3 << true << qint64(86400000) << true;
    QTest::newRow("under dispatch control, restart a day ago") << restart << -4 << true << qint64(86400000) << true;
    QTest::newRow("under dispatch control, refused a day ago") << refused << -5 << true << qint64(86400000) << true;
}

void tst_StateDisplay::lastActionTime()
{
    QFETCH(QString, lastAction);
    QFETCH(int, code);
    QFETCH(bool, stayUnderControl);
    QFETCH(qint64, elapsedMs);
    QFETCH(bool, kept);

    Host::setClock(start());
    Helvor::SimulatedLight *light = newLight(true, {0, 1, 2, 3});
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QVERIFY(dispatchActive(panel));
    QVERIFY(Host::action(panel, "actionDC")->isChecked());

    // Only an accepted command makes the time valid; the rest of the codes come on top.
    Host::action(panel, "actionYF")->trigger();
    QVERIFY(pendingResponse(panel));
    light->lastResponse()->finish(success);
    QVERIFY(!pendingResponse(panel));
    QCOMPARE(lastActionAt(panel), start());

    if (lastAction.startsWith(QLatin1String("stage "))) {
        QListWidgetItem *item = itemOf(Host::stageList(panel), lastAction.mid(6).toInt());
        QVERIFY(item);
        item->setSelected(true);
        QVERIFY(pendingResponse(panel));
        light->lastResponse()->finish(success);
    } else if (lastAction == QLatin1String("dc off")) {
        Host::action(panel, "actionDC")->trigger();
        QVERIFY(!Host::action(panel, "actionDC")->isChecked());
    } else if (lastAction == QLatin1String("restart")) {
        Host::action(panel, "actionRestart")->trigger();
    } else if (lastAction == QLatin1String("refused")) {
        Host::action(panel, "actionDark")->trigger();
        QVERIFY(pendingResponse(panel));
        light->lastResponse()->finish(success + 1);
    }
    QVERIFY(!pendingResponse(panel));
    QCOMPARE(lastCommandCode(panel), code);
    QCOMPARE(lastActionAt(panel), start());

    if (!stayUnderControl)
        light->setDispatchControl(false);
    Host::setClock(start().addMSecs(elapsedMs));
    Q_EMIT light->stateChanged();

    QCOMPARE(dispatchActive(panel), stayUnderControl);
    QCOMPARE(lastActionAt(panel).isValid(), kept);
    if (kept)
        QCOMPARE(lastActionAt(panel), start());

    // Under dispatch control a tick would run the watchdog, which is not the subject here.
    if (!stayUnderControl) {
        const QString status = statusAfterTick(panel);
        const QString dcPart = QStringLiteral(" DC: %1").arg(elapsedMs / 1000);
        QVERIFY2(status.endsWith(dcPart) == kept, qPrintable(status));
        QVERIFY2(status.contains(QLatin1String(" DC: ")) == kept, qPrintable(status));
    }
}

void tst_StateDisplay::runningStage_data()
{
    addColumns<QList<int>, int, QList<int>, QList<int>, QList<int>>(
        {"numbers", "stage", "selectedRows", "greenRows", "stillSelectedRows"});

    const QList<int> none;
    QTest::newRow("stage 2 runs") << QList<int>{1, 2, 3} << 2 << none << QList<int>{1} << none;
    QTest::newRow("stage 3 runs") << QList<int>{1, 2, 3} << 3 << none << QList<int>{2} << none;
    QTest::newRow("stage 0 runs") << QList<int>{0, 1, 2} << 0 << none << QList<int>{0} << none;
    QTest::newRow("stage -1, no item -1") << QList<int>{0, 1, 2} << -1 << none << none << none;
    QTest::newRow("stage -1, an item -1") << QList<int>{1, -1, 2} << -1 << none << QList<int>{1} << none;
    QTest::newRow("stage without an item") << QList<int>{1, 2} << 7 << none << none << none;
    QTest::newRow("duplicate numbers") << QList<int>{1, 2, 3, 2} << 2 << none << QList<int>{1, 3} << none;
    QTest::newRow("empty list") << QList<int>{} << 1 << none << none << none;
    // The operator's choice stays selected until it runs, then shows green instead.
    QTest::newRow("running stage selected") << QList<int>{1, 2, 3} << 2 << QList<int>{1} << QList<int>{1} << none;
    QTest::newRow("other stage selected")
        << QList<int>{1, 2, 3} << 2 << QList<int>{2} << QList<int>{1} << QList<int>{2};
    QTest::newRow("duplicate running stage selected")
        << QList<int>{1, 2, 3, 2} << 2 << QList<int>{3} << QList<int>{1, 3} << none;
    QTest::newRow("stage -1, other stage selected")
        << QList<int>{1, 2, 3} << -1 << QList<int>{0} << none << QList<int>{0};
}

void tst_StateDisplay::runningStage()
{
    QFETCH(QList<int>, numbers);
    QFETCH(int, stage);
    QFETCH(QList<int>, selectedRows);
    QFETCH(QList<int>, greenRows);
    QFETCH(QList<int>, stillSelectedRows);

    Helvor::SimulatedLight *light = newLight(true, numbers);
    // A number no row carries, so that the opening marks nothing.
    light->setCurrentStage(1000);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QListWidget *list = Host::stageList(panel);
    QVERIFY(list);
    QCOMPARE(list->count(), numbers.size());

    // With dispatch control on, a selection orders its stage; the first
    // order is accepted, so that the marking later finds nothing pending.
    for (int row : selectedRows)
        list->item(row)->setSelected(true);
    if (!selectedRows.isEmpty()) {
        QCOMPARE(light->calls("sendCommand").size(), 1);
        QCOMPARE(light->calls("sendCommand").first().arguments,
                 (QVariantList{QStringLiteral("set_phase"), numbers.at(selectedRows.first())}));
        QVERIFY(pendingResponse(panel));
        light->lastResponse()->finish(success);
        QVERIFY(!pendingResponse(panel));
    }
    for (int row = 0; row < list->count(); ++row) {
        QCOMPARE(list->item(row)->background(), otherBrush);
        QCOMPARE(list->item(row)->isSelected(), selectedRows.contains(row));
    }
    light->clearCalls();

    light->setCurrentStage(stage);
    Q_EMIT light->stateChanged();

    for (int row = 0; row < list->count(); ++row) {
        const QByteArray where = "row " + QByteArray::number(row);
        QVERIFY2(list->item(row)->background() == (greenRows.contains(row) ? runningBrush : otherBrush),
                 where.constData());
        QVERIFY2(list->item(row)->isSelected() == stillSelectedRows.contains(row), where.constData());
        QCOMPARE(list->item(row)->data(Qt::UserRole), QVariant(numbers.at(row)));
    }
    QCOMPARE(list->count(), numbers.size());
    // Deselecting by marking orders nothing.
    QCOMPARE(light->calls().size(), 0);
    QVERIFY(!pendingResponse(panel));
}

void tst_StateDisplay::markFollowsRunningStage()
{
    Helvor::SimulatedLight *light = newLight(false, {1, 2, 3});
    light->setCurrentStage(1);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QListWidget *list = Host::stageList(panel);
    QVERIFY(list);

    // Marked already while the panel is built.
    QCOMPARE(list->item(0)->background(), runningBrush);
    QCOMPARE(list->item(1)->background(), otherBrush);
    QCOMPARE(list->item(2)->background(), otherBrush);

    light->setCurrentStage(3);
    QCOMPARE(list->item(0)->background(), runningBrush);
    Q_EMIT light->stateChanged();
    QCOMPARE(list->item(0)->background(), otherBrush);
    QCOMPARE(list->item(1)->background(), otherBrush);
    QCOMPARE(list->item(2)->background(), runningBrush);

    light->setCurrentStage(-1);
    Q_EMIT light->stateChanged();
    for (int row = 0; row < list->count(); ++row)
        QCOMPARE(list->item(row)->background(), otherBrush);
}

void tst_StateDisplay::stateText_data()
{
    addColumns<bool, QVariant, int, QVariant, QString>({"sparse", "connected", "stage", "keyRegime", "expected"});

    const QVariant yes(true);
    const QVariant no(false);
    const QVariant absent;
    const QString disconnected = QStringLiteral("Disconnected");
    const QString unknown = QStringLiteral("Unknown state");

    QTest::newRow("not connected, stage 2 runs") << false << no << 2 << QVariant(2) << disconnected;
    QTest::newRow("not connected, stage 0 runs") << false << no << 0 << QVariant(2) << disconnected;
    QTest::newRow("not connected, no stage, keyRegime 2") << false << no << -1 << QVariant(2) << disconnected;
    QTest::newRow("connected, stage 4") << false << yes << 4 << QVariant(2) << QStringLiteral("Stage 4");
    QTest::newRow("connected, stage 0") << false << yes << 0 << QVariant(2) << QStringLiteral("Stage 0");
    QTest::newRow("connected, stage 12 without an item")
        << false << yes << 12 << QVariant(0) << QStringLiteral("Stage 12");
    QTest::newRow("connected, stage -1, keyRegime 0") << false << yes << -1 << QVariant(0) << QStringLiteral("Dark");
    QTest::newRow("connected, stage -1, keyRegime 1")
        << false << yes << -1 << QVariant(1) << QStringLiteral("Power switch level");
    QTest::newRow("connected, stage -1, keyRegime 2") << false << yes << -1 << QVariant(2) << QStringLiteral("YF");
    QTest::newRow("connected, stage -1, keyRegime 3")
        << false << yes << -1 << QVariant(3) << QStringLiteral("Signaling groups level");
    QTest::newRow("connected, stage -1, keyRegime -1") << false << yes << -1 << QVariant(-1) << unknown;
    QTest::newRow("connected, stage -1, keyRegime 4") << false << yes << -1 << QVariant(4) << unknown;
    QTest::newRow("connected, stage -7, keyRegime 2") << false << yes << -7 << QVariant(2) << QStringLiteral("YF");
    QTest::newRow("connected without keyRegime, no stage") << true << yes << -1 << absent << QStringLiteral("Dark");
    QTest::newRow("connected without keyRegime, stage 3") << true << yes << 3 << absent << QStringLiteral("Stage 3");
    QTest::newRow("without isConnected, stage 2") << true << absent << 2 << QVariant(2) << disconnected;
}

void tst_StateDisplay::stateText()
{
    QFETCH(bool, sparse);
    QFETCH(QVariant, connected);
    QFETCH(int, stage);
    QFETCH(QVariant, keyRegime);
    QFETCH(QString, expected);

    Helvor::Light *light =
        sparse ? static_cast<Helvor::Light *>(new SparseLight(m_owner)) : newLight(false, {0, 1, 2, 3, 4});
    // Open with another text, so that only the signal can bring the expected one.
    const bool expectDisconnected = expected == QLatin1String("Disconnected");
    report(light, "isConnected", expectDisconnected);
    light->setCurrentStage(expectDisconnected ? 1 : -1);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    const QString before = stateShown(panel);
    QVERIFY2(before != expected, qPrintable(before));

    report(light, "isConnected", connected);
    report(light, "keyRegime", keyRegime);
    light->setCurrentStage(stage);
    Q_EMIT light->stateChanged();
    QCOMPARE(stateShown(panel), expected);

    // The running stage is marked whatever the connection says.
    QListWidget *list = Host::stageList(panel);
    for (int row = 0; row < list->count(); ++row) {
        const bool running = list->item(row)->data(Qt::UserRole) == QVariant(stage);
        QVERIFY2(list->item(row)->background() == (running ? runningBrush : otherBrush),
                 QByteArray("row " + QByteArray::number(row)).constData());
    }
}

void tst_StateDisplay::stateTextAsksOnlyWhatItNeeds_data()
{
    addColumns<bool, int, int, QString>({"connected", "stage", "keyRegimeReads", "expected"});

    QTest::newRow("not connected, stage 2 runs") << false << 2 << 0 << QStringLiteral("Disconnected");
    QTest::newRow("not connected, no stage") << false << -1 << 0 << QStringLiteral("Disconnected");
    QTest::newRow("connected, stage 2") << true << 2 << 0 << QStringLiteral("Stage 2");
    QTest::newRow("connected, stage 0") << true << 0 << 0 << QStringLiteral("Stage 0");
    QTest::newRow("connected, no stage") << true << -1 << 1 << QStringLiteral("YF");
}

void tst_StateDisplay::stateTextAsksOnlyWhatItNeeds()
{
    QFETCH(bool, connected);
    QFETCH(int, stage);
    QFETCH(int, keyRegimeReads);
    QFETCH(QString, expected);

    auto *light = new CountingLight(m_owner);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    light->connected = connected;
    light->stage = stage;
    light->keyRegimeReads = 0;
    light->currentStageCalls = 0;

    Q_EMIT light->stateChanged();
    QCOMPARE(stateShown(panel), expected);
    QCOMPARE(light->keyRegimeReads, keyRegimeReads);
    QCOMPARE(light->currentStageCalls, 1);

    // The status line shows the stored text; it asks the controller nothing more.
    Host::tick(panel);
    QCOMPARE(light->keyRegimeReads, keyRegimeReads);
    QCOMPARE(light->currentStageCalls, 1);
}

void tst_StateDisplay::statusLabelEmptyBeforeFirstTick()
{
    Host::setClock(start());
    Helvor::SimulatedLight *light = newLight(false, {1, 2});
    light->setCurrentStage(2);
    light->setPhaseChangeTime(start().addSecs(-15));
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QLabel *label = statusLabel(panel);
    QVERIFY(label);
    QCOMPARE(label, &Host::d(panel)->statusLabel);
    QCOMPARE(label->text(), QString());
    // The state was read at opening all the same.
    Host::tick(panel);
    QCOMPARE(label->text(), QStringLiteral("Stage 2: 15"));

    // A state change alone does not write the line: the tick does.
    light->setCurrentStage(1);
    Q_EMIT light->stateChanged();
    QCOMPARE(label->text(), QStringLiteral("Stage 2: 15"));

    Host::tick(panel);
    QCOMPARE(label->text(), QStringLiteral("Stage 1: 15"));
}

void tst_StateDisplay::statusLine_data()
{
    addColumns<bool, bool, int, QVariant, QString>({"sparse", "connected", "stage", "phaseChangeTime", "expected"});

    const QDateTime now = start();
    QTest::newRow("stage 2, 15 s in") << false << true << 2 << QVariant(now.addSecs(-15))
                                      << QStringLiteral("Stage 2: 15");
    QTest::newRow("stage 2, changed just now") << false << true << 2 << QVariant(now) << QStringLiteral("Stage 2: 0");
    QTest::newRow("stage 2, 15.9 s in") << false << true << 2 << QVariant(now.addMSecs(-15900))
                                        << QStringLiteral("Stage 2: 15");
    QTest::newRow("stage 0, 1 s in") << false << true << 0 << QVariant(now.addSecs(-1)) << QStringLiteral("Stage 0: 1");
    QTest::newRow("keyRegime 2, a day in")
        << false << true << -1 << QVariant(now.addDays(-1)) << QStringLiteral("YF: 86400");
    QTest::newRow("disconnected, 3 s in")
        << false << false << 2 << QVariant(now.addSecs(-3)) << QStringLiteral("Disconnected: 3");
    QTest::newRow("clock 7 s before the phase change")
        << false << true << 2 << QVariant(now.addSecs(7)) << QStringLiteral("Stage 2: -7");
    QTest::newRow("clock 0.5 s before the phase change")
        << false << true << 2 << QVariant(now.addMSecs(500)) << QStringLiteral("Stage 2: 0");
    QTest::newRow("invalid phaseChangeTime")
        << false << true << 2 << QVariant(QDateTime()) << QStringLiteral("Stage 2: 0");
    QTest::newRow("without phaseChangeTime") << true << true << 2 << QVariant() << QStringLiteral("Stage 2: 0");
    QTest::newRow("phaseChangeTime not a time")
        << true << true << 2 << QVariant(QStringLiteral("soon")) << QStringLiteral("Stage 2: 0");
}

void tst_StateDisplay::statusLine()
{
    QFETCH(bool, sparse);
    QFETCH(bool, connected);
    QFETCH(int, stage);
    QFETCH(QVariant, phaseChangeTime);
    QFETCH(QString, expected);

    Host::setClock(start());
    Helvor::Light *light = nullptr;
    if (sparse) {
        light = new SparseLight(m_owner);
    } else {
        Helvor::SimulatedLight *simulated = newLight(false, {0, 1, 2});
        simulated->setKeyRegime(2);
        light = simulated;
    }
    report(light, "isConnected", connected);
    report(light, "phaseChangeTime", phaseChangeTime);
    light->setCurrentStage(stage);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);

    Host::tick(panel);
    QLabel *label = statusLabel(panel);
    QVERIFY(label);
    QCOMPARE(label, &Host::d(panel)->statusLabel);
    QCOMPARE(label->text(), expected);
}

void tst_StateDisplay::statusLineCommandParts_data()
{
    addColumns<QVariant, QString, QString>({"acceptedAgo", "underWay", "expected"});

    const QVariant none;
    const QString nothing;
    const QString setPhase3 = QStringLiteral("set_phase 3");
    QTest::newRow("no command yet") << none << nothing << QStringLiteral("Stage 2: 15");
    QTest::newRow("accepted 42 s ago") << QVariant(42) << nothing << QStringLiteral("Stage 2: 15 DC: 42");
    QTest::newRow("accepted just now") << QVariant(0) << nothing << QStringLiteral("Stage 2: 15 DC: 0");
    QTest::newRow("accepted 10 s after the clock") << QVariant(-10) << nothing << QStringLiteral("Stage 2: 15 DC: -10");
    QTest::newRow("set_phase 3 under way, none accepted")
        << none << setPhase3 << QStringLiteral("Stage 2: 15 Sending command: set_phase 3");
    QTest::newRow("accepted 42 s ago, set_phase 3 under way")
        << QVariant(42) << setPhase3 << QStringLiteral("Stage 2: 15 DC: 42 Sending command: set_phase 3");
    QTest::newRow("accepted 42 s ago, set_yf under way")
        << QVariant(42) << QStringLiteral("set_yf") << QStringLiteral("Stage 2: 15 DC: 42 Sending command: set_yf");
    QTest::newRow("accepted 42 s ago, set_os under way")
        << QVariant(42) << QStringLiteral("set_os") << QStringLiteral("Stage 2: 15 DC: 42 Sending command: set_os");
}

void tst_StateDisplay::statusLineCommandParts()
{
    QFETCH(QVariant, acceptedAgo);
    QFETCH(QString, underWay);
    QFETCH(QString, expected);

    const QDateTime now = start().addSecs(1000);
    Helvor::SimulatedLight *light = newLight(true, {1, 2, 3});
    light->setCurrentStage(2);
    light->setPhaseChangeTime(now.addSecs(-15));
    Host::setClock(now);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);

    if (acceptedAgo.isValid()) {
        Host::setClock(now.addSecs(-acceptedAgo.toInt()));
        Host::action(panel, "actionYF")->trigger();
        QVERIFY(pendingResponse(panel));
        light->lastResponse()->finish(success);
        QVERIFY(lastActionAt(panel).isValid());
        Host::setClock(now);
    }
    if (underWay == QLatin1String("set_phase 3")) {
        QListWidgetItem *item = itemOf(Host::stageList(panel), 3);
        QVERIFY(item);
        item->setSelected(true);
    } else if (underWay == QLatin1String("set_yf")) {
        Host::action(panel, "actionYF")->trigger();
    } else if (underWay == QLatin1String("set_os")) {
        Host::action(panel, "actionDark")->trigger();
    }
    QCOMPARE(bool(pendingResponse(panel)), !underWay.isEmpty());

    Host::tick(panel);
    QLabel *label = statusLabel(panel);
    QVERIFY(label);
    QCOMPARE(label, &Host::d(panel)->statusLabel);
    QCOMPARE(label->text(), expected);

    // Once the response is in, the sending part goes with the next tick.
    if (!underWay.isEmpty()) {
        light->lastResponse()->finish(success);
        Host::tick(panel);
        QCOMPARE(label->text(), QStringLiteral("Stage 2: 15 DC: 0"));
    }
}

void tst_StateDisplay::statusLineOddRequests_data()
{
    addColumns<int, bool, QString>({"kind", "qtWarns", "expected"});

    const QString plain = QStringLiteral("Stage 2: 15");
    const QString emptyText = QStringLiteral("Stage 2: 15 Sending command: ");
    QTest::newRow("request is text") << int(TextRequest) << false << plain;
    QTest::newRow("request is null") << int(NullRequest) << false << plain;
    QTest::newRow("request without toString") << int(PlainObjectRequest) << true << emptyText;
    QTest::newRow("toString needs an argument") << int(ArgumentToString) << true << emptyText;
    QTest::newRow("toString returns a number") << int(NumberToString) << false << emptyText;
    QTest::newRow("request of its own class")
        << int(TypedRequest) << false << QStringLiteral("Stage 2: 15 Sending command: set_yf");
    QTest::newRow("request in its own words")
        << int(OwnWords) << false << QStringLiteral("Stage 2: 15 Sending command: flash all yellow");
}

void tst_StateDisplay::statusLineOddRequests()
{
    QFETCH(int, kind);
    QFETCH(bool, qtWarns);
    QFETCH(QString, expected);

    Host::setClock(start());
    auto *light = new ScriptedLight(13, QStringLiteral("Harbour Gate"), m_owner);
    light->setDispatchControl(true);
    light->addStage(2, QStringLiteral("Stage 2"));
    light->setCurrentStage(2);
    light->setPhaseChangeTime(start().addSecs(-15));
    light->makeResponse = [kind](QObject *parent) {
        return makeResponse(kind, parent);
    };
    QWidget *panel = openPanel(light);
    QVERIFY(panel);

    Host::action(panel, "actionYF")->trigger();
    QVERIFY(pendingResponse(panel));
    QVERIFY(!lastActionAt(panel).isValid());

    // Qt reports an invocation that finds no matching method.
    if (qtWarns)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("toString")));
    Host::tick(panel);
    QCOMPARE(statusLabel(panel)->text(), expected);
}

QTEST_MAIN(tst_StateDisplay)
#include "tst_statedisplay.moc"
