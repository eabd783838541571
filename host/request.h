// SPDX-License-Identifier: MIT
#ifndef REQUEST_H
#define REQUEST_H

#include <QObject>
#include <QVariantList>

// The command a Response answers, as the host describes it to operators.
class Request : public QObject
{
    Q_OBJECT

public:
    explicit Request(const QString &command, const QVariantList &arguments = {}, QObject *parent = nullptr);
    ~Request() override;

    QString command() const;
    QVariantList arguments() const;

    // "set_phase 3": the command word followed by its arguments.
    Q_INVOKABLE QString toString() const;

private:
    QString m_command;
    QVariantList m_arguments;
};

#endif // REQUEST_H
