// SPDX-License-Identifier: MIT
#include "request.h"

#include <QStringList>

Request::Request(const QString &command, const QVariantList &arguments, QObject *parent)
    : QObject(parent)
    , m_command(command)
    , m_arguments(arguments)
{
}

Request::~Request() = default;

QString Request::command() const
{
    return m_command;
}

QVariantList Request::arguments() const
{
    return m_arguments;
}

QString Request::toString() const
{
    QStringList words{m_command};
    for (const QVariant &argument : m_arguments)
        words.append(argument.toString());
    return words.join(QLatin1Char(' '));
}
