// SPDX-License-Identifier: MIT
#include "hostcall.h"

#include "widget_p.h"

#include <helvor/light.h>

namespace Vorlan {

namespace {

// The class was checked when the panel was opened: the host's vtable is
// the contract here, since the module does not link the host's library.
const Helvor::Light *controller(const QPointer<QObject> &light)
{
    return static_cast<const Helvor::Light *>(light.data());
}

} // namespace

HostCall::HostCall(Widget::Private *d)
    : m_d(d)
    , m_controller(d->light)
{
    ++m_d->hostCalls;
}

HostCall::~HostCall()
{
    // The panel went while the host was asked: its private object goes
    // now that nothing of it is on the stack any more.
    if (--m_d->hostCalls == 0 && !m_d->panel)
        m_d->deleteLater();
}

HostCall::operator bool() const
{
    return m_d->panel && m_controller;
}

bool HostCall::panelAlive() const
{
    return m_d->panel;
}

bool HostCall::isController(QObject *object)
{
    return object && object->inherits("Helvor::Light");
}

int HostCall::number()
{
    return *this ? controller(m_controller)->number() : 0;
}

QString HostCall::displayName()
{
    return *this ? shown(controller(m_controller)->displayName()) : QString();
}

int HostCall::currentStage()
{
    return *this ? controller(m_controller)->currentStage() : -1;
}

QVariant HostCall::property(const char *name)
{
    return *this ? m_controller->property(name) : QVariant();
}

QList<QPointer<QObject>> HostCall::stages()
{
    QList<QObject *> stages;
    QList<QPointer<QObject>> guarded;
    if (!*this || !QMetaObject::invokeMethod(m_controller, "phases", Q_RETURN_ARG(QList<QObject *>, stages)) || !*this)
        return guarded;
    // The stages of a controller that went inside the call may have gone
    // with it: only those of a live one are touched. They are guarded
    // before any other host code runs: reading one stage may make the host
    // rebuild the others.
    guarded.reserve(stages.size());
    for (QObject *stage : qAsConst(stages))
        guarded.append(stage);
    return guarded;
}

QObject *HostCall::sendCommand(const QVariant &command, const QVariant &argument)
{
    QObject *response = nullptr;
    if (!*this)
        return response;
    // The invocation's own result says nothing the response does not.
    if (argument.isValid())
        QMetaObject::invokeMethod(m_controller, "sendCommand", QGenericReturnArgument("Response*", &response),
                                  Q_ARG(QVariant, command), Q_ARG(QVariant, argument));
    else
        QMetaObject::invokeMethod(m_controller, "sendCommand", QGenericReturnArgument("Response*", &response),
                                  Q_ARG(QVariant, command));
    // A controller that went inside the call may have taken its response
    // with it: nothing it returned is touched then.
    return *this ? response : nullptr;
}

void HostCall::sendRestart()
{
    if (*this)
        QMetaObject::invokeMethod(m_controller, "sendCommand", Q_ARG(QVariant, QVariant(QStringLiteral("set_start"))));
}

void HostCall::setLocal()
{
    if (*this)
        QMetaObject::invokeMethod(m_controller, "setLocal");
}

bool HostCall::connectController(const char *signal, const char *slot)
{
    // A connection is host code too: the sender hears of it in connectNotify.
    return *this && QObject::connect(m_controller, signal, m_d, slot);
}

QVariant HostCall::stageProperty(const QPointer<QObject> &stage, const char *name)
{
    return stage && m_d->panel ? stage->property(name) : QVariant();
}

qint64 HostCall::responseError(const QPointer<QObject> &response, bool *known)
{
    *known = false;
    return response && m_d->panel ? response->property("error").toLongLong(known) : 0;
}

QString HostCall::requestText(const QPointer<QObject> &response, bool *hasRequest)
{
    *hasRequest = false;
    if (!response || !m_d->panel)
        return QString();
    const QVariant value = response->property("request");
    // Likewise a response that went inside the read, with its request.
    if (!response || !m_d->panel)
        return QString();
    const QPointer<QObject> request = qvariant_cast<QObject *>(value);
    *hasRequest = !request.isNull();
    QString text;
    if (request && m_d->panel)
        QMetaObject::invokeMethod(request, "toString", Q_RETURN_ARG(QString, text));
    return shown(text);
}

bool HostCall::connectResponse(const QPointer<QObject> &response, const char *signal, const char *slot)
{
    return response && m_d->panel && QObject::connect(response, signal, m_d, slot);
}

void HostCall::disconnectResponse(const QPointer<QObject> &response)
{
    if (response && m_d->panel)
        QObject::disconnect(response, nullptr, m_d, nullptr);
}

QString HostCall::shown(const QString &text)
{
    if (text.size() <= maxShownLength)
        return text;
    int length = maxShownLength - 1;
    // Never half a surrogate pair.
    if (text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length) + QChar(0x2026);
}

} // namespace Vorlan
