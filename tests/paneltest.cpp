// SPDX-License-Identifier: MIT
#include "paneltest.h"

#include "fifowatch.h"
#include "pictures.h"
#include "request.h"
#include "response.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

PanelTest::PanelTest(const QString &plugin, Start start)
    : host(plugin)
    , m_start(start)
{
    m_promptGuard.setInterval(20);
    connect(&m_promptGuard, &QTimer::timeout, this, [this] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        for (const QSharedPointer<Host::Prompt> &prompt : qAsConst(m_prompts)) {
            if (prompt->seen) {
                box->reject();
                return;
            }
        }
    });
}

PanelTest::~PanelTest() = default;

QString PanelTest::prepareScratchSettings(const QString &organization, const QString &application)
{
    // Lives as long as the process: the suite's files go with it at exit.
    static QTemporaryDir scratch;
    if (!scratch.isValid())
        qFatal("No scratch folder: %s", qPrintable(scratch.errorString()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch.filePath(QStringLiteral("user"))));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(scratch.filePath(QStringLiteral("system"))));
    QCoreApplication::setOrganizationName(organization);
    QCoreApplication::setApplicationName(application);
    return scratch.path();
}

void PanelTest::initSuite()
{
}

void PanelTest::initEach()
{
}

void PanelTest::cleanupEach()
{
}

void PanelTest::cleanupSuite()
{
}

void PanelTest::initTestCase()
{
    if (m_start == Start::PluginObject) {
        QVERIFY2(host.plugin(), qPrintable(host.loader().errorString()));
        QVERIFY(keepModuleValues());
    }
    initSuite();
}

void PanelTest::init()
{
    initEach();
}

void PanelTest::cleanup()
{
    cleanupEach();
    forget();
    QCOMPARE(openPanels(), QList<QPointer<QWidget>>());
}

void PanelTest::cleanupTestCase()
{
    cleanupSuite();
    forget();
}

void PanelTest::forget()
{
    m_promptGuard.stop();
    m_prompts.clear();
    if (Host::clockMoved())
        Host::useRealClock();
    const QList<QPointer<QWidget>> panels = openPanels();
    for (const QPointer<QWidget> &panel : panels)
        delete panel.data();
    for (const QPointer<QObject> &object : qAsConst(m_owned))
        delete object.data();
    m_owned.clear();
    m_light = nullptr;
    // The watches release a FIFO a panel still waits on, then go.
    m_fifos.clear();
    m_dir.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (m_snapshotTaken) {
        setModuleValue("alarmBefore", m_alarmBefore);
        setModuleValue("defaultInactivityPeriod", m_defaultInactivityPeriod);
        setModuleValue("alarmSound", m_alarmSound);
    }
}

// Panels are found as top-level windows too, so that cleaning up never makes
// a plug-in object that a suite wants to make later. Deleting a panel
// deletes its pop-up windows, hence the guards.
QList<QPointer<QWidget>> PanelTest::openPanels()
{
    QList<QPointer<QWidget>> panels;
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window->inherits("Vorlan::Widget"))
            panels.append(window);
    }
    if (host.pluginAsked()) {
        const QList<QWidget *> listed = host.panels();
        for (QWidget *panel : listed) {
            if (!panels.contains(panel))
                panels.append(panel);
        }
    }
    return panels;
}

bool PanelTest::keepModuleValues()
{
    m_alarmBefore = moduleValue("alarmBefore");
    m_defaultInactivityPeriod = moduleValue("defaultInactivityPeriod");
    m_alarmSound = moduleValue("alarmSound");
    m_snapshotTaken = m_alarmBefore.isValid() && m_defaultInactivityPeriod.isValid() && m_alarmSound.isValid();
    return m_snapshotTaken;
}

// The module-wide values are reachable only through a panel.
QVariant PanelTest::moduleValue(const char *name)
{
    Helvor::SimulatedLight scratch(0, QStringLiteral("Scratch"));
    scratch.setDispatchControl(true);
    const std::unique_ptr<QWidget> panel(host.open(&scratch));
    return panel ? panel->property(name) : QVariant();
}

bool PanelTest::setModuleValue(const char *name, const QVariant &value)
{
    Helvor::SimulatedLight scratch(0, QStringLiteral("Scratch"));
    scratch.setDispatchControl(true);
    const std::unique_ptr<QWidget> panel(host.open(&scratch));
    return panel && panel->setProperty(name, value);
}

Helvor::SimulatedLight *PanelTest::newLight(bool dispatchControl)
{
    ++m_lastNumber;
    auto *light = own(new Helvor::SimulatedLight(m_lastNumber, QStringLiteral("Junction %1").arg(m_lastNumber)));
    light->addStage(3, QStringLiteral("North"));
    light->addStage(5, QStringLiteral("East"));
    light->addStage(8, QStringLiteral("South"));
    light->setDispatchControl(dispatchControl);
    return light;
}

QWidget *PanelTest::openPanel(QObject *light)
{
    if (!m_snapshotTaken && !keepModuleValues())
        return nullptr;
    return host.open(light);
}

QListWidget *PanelTest::openList(QObject *light)
{
    QWidget *panel = openPanel(light);
    return panel ? stageList(panel) : nullptr;
}

QString PanelTest::dirPath(const QString &name)
{
    if (!m_dir)
        m_dir = std::make_unique<QTemporaryDir>();
    return name.isEmpty() ? m_dir->path() : m_dir->filePath(name);
}

bool PanelTest::makeFiles(const QString &files)
{
    const QString path = dirPath();
    return m_dir->isValid() && Pictures::makeFiles(QDir(path), files, &m_fifos);
}

QString PanelTest::inDir(const QString &path)
{
    QString result = path;
    return result.replace(QLatin1String("{dir}"), dirPath());
}

int PanelTest::fifoReleases() const
{
    int releases = 0;
    for (const QSharedPointer<FifoWatch> &fifo : m_fifos)
        releases += fifo->releases();
    return releases;
}

bool PanelTest::startPanel(bool dispatchControl, const QStringList &steps)
{
    m_light = newLight(dispatchControl);
    m_panel = openPanel(m_light);
    if (!m_panel)
        return false;
    m_light->clearCalls();
    return play(m_panel, m_light, steps);
}

bool PanelTest::play(const QStringList &steps)
{
    return m_panel && play(m_panel, m_light, steps);
}

QSharedPointer<Host::Prompt> PanelTest::answerNextPrompt(QMessageBox::StandardButton button,
                                                         std::function<void()> before)
{
    const QSharedPointer<Host::Prompt> prompt = Host::answerNextPrompt(button, std::move(before));
    m_prompts.append(prompt);
    m_promptGuard.start();
    return prompt;
}

bool PanelTest::play(QWidget *panel, Helvor::SimulatedLight *light, const QStringList &steps)
{
    for (const QString &step : steps) {
        if (step.startsWith(QLatin1String("stage "))) {
            if (!selectStage(panel, step.mid(6).toInt()))
                return false;
        } else if (step == QLatin1String("confirm") || step == QLatin1String("refuse")) {
            if (!light)
                return false;
            Response *response = light->lastResponse();
            if (!response || response->isFinished())
                return false;
            response->finish(step == QLatin1String("confirm") ? success : 0);
        } else if (step == QLatin1String("refusing")) {
            if (!light)
                return false;
            light->setAcceptsCommands(false);
        } else if (step == QLatin1String("on") || step == QLatin1String("off")) {
            if (!QMetaObject::invokeMethod(Host::d(panel), "setDispatchControlMode",
                                           Q_ARG(bool, step == QLatin1String("on"))))
                return false;
        } else {
            const QByteArray name = "action" + step.toLatin1();
            QAction *target = action(panel, name.constData());
            // An operator cannot click a disabled action.
            if (!target || !target->isEnabled())
                return false;
            target->trigger();
        }
    }
    return true;
}

QStringList PanelTest::steps(const char *text)
{
    return QString::fromUtf8(text).split(QStringLiteral(", "), Qt::SkipEmptyParts);
}

bool PanelTest::selectStage(QWidget *panel, int stage)
{
    QListWidget *list = stageList(panel);
    if (!list || !list->isEnabled())
        return false;
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->data(Qt::UserRole) == QVariant(stage)) {
            list->setCurrentRow(row);
            return true;
        }
    }
    return false;
}

QString PanelTest::describe(const QByteArray &method, const QVariantList &arguments)
{
    QStringList parts;
    for (const QVariant &argument : arguments)
        parts.append(
            QStringLiteral("%1 %2").arg(QLatin1String(QMetaType::typeName(argument.userType())), argument.toString()));
    return QStringLiteral("%1(%2)").arg(QString::fromLatin1(method), parts.join(QLatin1String(", ")));
}

QStringList PanelTest::received(const Helvor::SimulatedLight *light)
{
    QStringList result;
    const QList<Helvor::SimulatedLight::Call> calls = light->calls();
    for (const Helvor::SimulatedLight::Call &call : calls)
        result.append(describe(call.method, call.arguments));
    return result;
}

QStringList PanelTest::repeated(const QString &text, int count)
{
    QStringList result;
    for (int i = 0; i < count; ++i)
        result.append(text);
    return result;
}

QAction *PanelTest::action(QWidget *panel, const char *name)
{
    return Host::action(panel, name);
}

QListWidget *PanelTest::stageList(QWidget *panel)
{
    return Host::stageList(panel);
}

// Found the way an operator's eye would: the last thing on the tool bar.
QLabel *PanelTest::statusLabel(QWidget *panel)
{
    auto *toolBar = panel->findChild<QToolBar *>(QStringLiteral("toolBar"));
    if (!toolBar || toolBar->actions().isEmpty())
        return nullptr;
    return qobject_cast<QLabel *>(toolBar->widgetForAction(toolBar->actions().last()));
}

QString PanelTest::statusAfterTick(QWidget *panel)
{
    QLabel *label = statusLabel(panel);
    if (!label)
        return QString();
    label->clear();
    Host::tick(panel);
    return label->text();
}

QString PanelTest::sending(QWidget *panel)
{
    static const QLatin1String marker(" Sending command: ");
    const QString status = statusAfterTick(panel);
    const int at = status.indexOf(marker);
    return at < 0 ? QString() : status.mid(at + marker.size());
}

int PanelTest::idleSeconds(QWidget *panel)
{
    static const QRegularExpression idle(QStringLiteral(" DC: (-?\\d+)"));
    const QRegularExpressionMatch match = idle.match(statusAfterTick(panel));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

int PanelTest::lastCommandCode(QWidget *panel)
{
    return Host::d(panel)->lastCommand;
}

QObject *PanelTest::pendingResponse(QWidget *panel)
{
    return Host::d(panel)->pendingResponse.data();
}

QString PanelTest::requestOf(QObject *response)
{
    QObject *request = response ? response->property("request").value<QObject *>() : nullptr;
    QString text;
    if (request)
        QMetaObject::invokeMethod(request, "toString", Q_RETURN_ARG(QString, text));
    return text;
}

bool PanelTest::dispatchActive(QWidget *panel)
{
    return Host::d(panel)->dispatchActive;
}

QString PanelTest::stateShown(QWidget *panel)
{
    return statusAfterTick(panel).section(QStringLiteral(": "), 0, 0);
}

QDateTime PanelTest::lastActionAt(QWidget *panel)
{
    return Host::d(panel)->lastActionTime;
}
