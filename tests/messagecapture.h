// SPDX-License-Identifier: MIT
#ifndef VORLAN_TESTS_MESSAGECAPTURE_H
#define VORLAN_TESTS_MESSAGECAPTURE_H

#include <QStringList>
#include <QtGlobal>

#include <functional>

// Takes every message logged while it lives, so that a test can say which
// ones it expected. A message the filter does not expect goes on to the
// handler before, where Qt Test reports it as usual. One at a time.
class MessageCapture
{
public:
    using Filter = std::function<bool(QtMsgType, const QMessageLogContext &, const QString &)>;

    // Without a filter every message is expected and kept.
    explicit MessageCapture(Filter expected = {});
    ~MessageCapture();

    MessageCapture(const MessageCapture &) = delete;
    MessageCapture &operator=(const MessageCapture &) = delete;

    // The expected messages so far, in order.
    QStringList messages() const;
    void clear();

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message);

    Filter m_expected;
    QStringList m_messages;
    QtMessageHandler m_previous;
};

#endif // VORLAN_TESTS_MESSAGECAPTURE_H
