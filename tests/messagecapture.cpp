// SPDX-License-Identifier: MIT
#include "messagecapture.h"

namespace {

MessageCapture *current = nullptr;

} // namespace

MessageCapture::MessageCapture(Filter expected)
    : m_expected(std::move(expected))
{
    if (current)
        qFatal("Only one MessageCapture at a time");
    current = this;
    m_previous = qInstallMessageHandler(&MessageCapture::handle);
}

MessageCapture::~MessageCapture()
{
    qInstallMessageHandler(m_previous);
    current = nullptr;
}

QStringList MessageCapture::messages() const
{
    return m_messages;
}

void MessageCapture::clear()
{
    m_messages.clear();
}

void MessageCapture::handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!current->m_expected || current->m_expected(type, context, message))
        current->m_messages.append(message);
    else if (current->m_previous)
        current->m_previous(type, context, message);
}
