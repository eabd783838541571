// SPDX-License-Identifier: MIT
#include "host.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLibrary>
#include <QListWidget>
#include <QSharedPointer>
#include <QTest>
#include <QTimer>
#include <QTimerEvent>

namespace {

QDateTime fakeNow;
bool fakeClockSet = false;

QDateTime fakeClock()
{
    return fakeNow;
}

template<typename Function> Function hook(const char *name)
{
    auto function = reinterpret_cast<Function>(QLibrary(Host::pluginPath()).resolve(name));
    if (!function)
        qFatal("The plug-in exports no %s", name);
    return function;
}

} // namespace

Host::Host(const QString &plugin)
    : m_loader(plugin)
{
}

QString Host::pluginPath()
{
    return QStringLiteral(VORLAN_PLUGIN_PATH);
}

QPluginLoader &Host::loader()
{
    return m_loader;
}

QObject *Host::plugin()
{
    m_pluginAsked = true;
    return m_loader.instance();
}

bool Host::pluginAsked() const
{
    return m_pluginAsked;
}

QWidget *Host::open(QObject *light)
{
    QWidget *panel = nullptr;
    if (!QMetaObject::invokeMethod(plugin(), "open", Q_RETURN_ARG(QWidget *, panel), Q_ARG(QObject *, light)))
        qFatal("open could not be invoked");
    return panel;
}

QList<QWidget *> Host::panels()
{
    QList<QWidget *> result;
    if (!QMetaObject::invokeMethod(plugin(), "panels", Q_RETURN_ARG(QList<QWidget *>, result)))
        qFatal("panels could not be invoked");
    return result;
}

Vorlan::Widget::Private *Host::d(QWidget *panel)
{
    static const auto privateOf = hook<QObject *(*)(QWidget *)>("vorlan_panel_private");
    return static_cast<Vorlan::Widget::Private *>(privateOf(panel));
}

QAction *Host::action(QWidget *panel, const char *name)
{
    return panel->findChild<QAction *>(QLatin1String(name));
}

QListWidget *Host::stageList(QWidget *panel)
{
    return panel->findChild<QListWidget *>(QStringLiteral("listWidget"));
}

void Host::tick(QWidget *panel)
{
    Vorlan::Widget::Private *priv = d(panel);
    QTimerEvent event(priv->timerId);
    QCoreApplication::sendEvent(priv, &event);
}

void Host::setClock(const QDateTime &now)
{
    static const auto setClock = hook<void (*)(QDateTime(*)())>("vorlan_set_clock");
    fakeNow = now;
    fakeClockSet = true;
    setClock(&fakeClock);
}

void Host::advanceClock(qint64 seconds)
{
    fakeNow = fakeNow.addSecs(seconds);
}

QDateTime Host::clock()
{
    return fakeNow;
}

void Host::useRealClock()
{
    static const auto setClock = hook<void (*)(QDateTime(*)())>("vorlan_set_clock");
    setClock(nullptr);
    fakeClockSet = false;
}

bool Host::clockMoved()
{
    return fakeClockSet;
}

QSharedPointer<Host::Prompt> Host::answerNextPrompt(QMessageBox::StandardButton button, std::function<void()> before)
{
    auto prompt = QSharedPointer<Prompt>::create();
    auto *poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        prompt->seen = true;
        prompt->title = box->windowTitle();
        prompt->text = box->text();
        prompt->icon = box->icon();
        prompt->buttons = box->standardButtons();
        prompt->parent = box->parentWidget();
        QPointer<QMessageBox> guard(box);
        if (before)
            before();
        if (!guard)
            return;
        if (button == QMessageBox::Escape)
            QTest::keyClick(box, Qt::Key_Escape);
        else if (QAbstractButton *target = box->button(button))
            target->click();
    });
    poll->start();
    // Never wait for ever: a prompt that does not come fails the test instead.
    QTimer::singleShot(5000, poll, [poll] { poll->deleteLater(); });
    return prompt;
}
