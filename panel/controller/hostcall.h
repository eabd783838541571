// SPDX-License-Identifier: MIT
#ifndef VORLAN_HOSTCALL_H
#define VORLAN_HOSTCALL_H

#include "panel/widget.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

namespace Vorlan {

// The controller contract: every call the module makes into host code, in
// one place. The host's controllers, their stages, the command responses
// and their requests are reached by name through the meta-object system,
// and the controller's number, display name and running stage through the
// vtable of Helvor::Light.
//
// Host code may do anything inside any call, property reads included:
// delete the panel, the controller, the response or the stages, run a
// nested event loop (where deferred deletions happen), emit the signals the
// panel listens to, or open panels. A HostCall lives on the caller's
// stack, so it outlives all of that; after each call the caller asks it
// whether the panel and the controller are still there, and stops when
// they are not.
//
// While a call is out, the panel's private object is kept: a panel deleted
// meanwhile leaves it behind, without its panel, until the last call has
// returned (see Widget::~Widget). So the caller's own object, and the
// widgets whose signals led to the call, are still there to return to.
class HostCall
{
public:
    explicit HostCall(Widget::Private *d);
    ~HostCall();
    HostCall(const HostCall &) = delete;
    HostCall &operator=(const HostCall &) = delete;

    // The caller may go on: its panel and the controller both outlived
    // every call so far.
    explicit operator bool() const;
    bool panelAlive() const;

    static bool isController(QObject *object);

    // Controller. Reads of a gone controller give invalid values (0,
    // false, empty), as reads of a missing property do.
    int number();
    QString displayName();
    // Negative while no stage runs.
    int currentStage();
    QVariant property(const char *name);
    // The stages in the controller's order; an entry turns null when the
    // host deletes that stage. Empty when "phases" cannot be invoked.
    QList<QPointer<QObject>> stages();
    // The command's response, not yet connected; null when refused.
    QObject *sendCommand(const QVariant &command, const QVariant &argument = QVariant());
    // A restart has no response.
    void sendRestart();
    void setLocal();
    bool connectController(const char *signal, const char *slot);

    // A stage of the list; invalid once the host deleted it.
    QVariant stageProperty(const QPointer<QObject> &stage, const char *name);

    // A response's "error" in 64 bits: cut to an int, 0x100001200 would
    // pass for 4608. known is false when it is no number.
    qint64 responseError(const QPointer<QObject> &response, bool *known);
    // What the response's request says it does; empty if it says nothing,
    // and hasRequest false when the response names no request.
    QString requestText(const QPointer<QObject> &response, bool *hasRequest);
    bool connectResponse(const QPointer<QObject> &response, const char *signal, const char *slot);
    void disconnectResponse(const QPointer<QObject> &response);

    // A text the host hands over, as the panel may show it: the host's
    // own words, cut short, so that a name or a request text of megabytes
    // costs no more to lay out than a line does.
    static QString shown(const QString &text);
    static constexpr int maxShownLength = 256;

private:
    Widget::Private *const m_d;
    QPointer<QObject> m_controller;
};

} // namespace Vorlan

#endif // VORLAN_HOSTCALL_H
