// SPDX-License-Identifier: MIT
#ifndef RESPONSE_H
#define RESPONSE_H

#include <QObject>

// The host's answer to one controller command. It signals finished()
// once, from the event loop, after the command call has returned.
class Response : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int error READ error)
    Q_PROPERTY(QObject *request READ request)

public:
    // The device's code for a command carried out.
    static constexpr int Success = 0x1200;

    explicit Response(QObject *request, QObject *parent = nullptr);
    ~Response() override;

    int error() const;
    QObject *request() const;
    bool isFinished() const;

    // Sets the result and emits finished(); a second call changes nothing.
    void finish(int error);

Q_SIGNALS:
    void finished();

private:
    QObject *m_request;
    int m_error = 0;
    bool m_finished = false;
};

#endif // RESPONSE_H
