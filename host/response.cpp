// SPDX-License-Identifier: MIT
#include "response.h"

Response::Response(QObject *request, QObject *parent)
    : QObject(parent)
    , m_request(request)
{
    if (m_request && !m_request->parent())
        m_request->setParent(this);
}

Response::~Response() = default;

int Response::error() const
{
    return m_error;
}

QObject *Response::request() const
{
    return m_request;
}

bool Response::isFinished() const
{
    return m_finished;
}

void Response::finish(int error)
{
    if (m_finished)
        return;
    m_finished = true;
    m_error = error;
    Q_EMIT finished();
}
