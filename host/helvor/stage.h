// SPDX-License-Identifier: MIT
#ifndef HELVOR_STAGE_H
#define HELVOR_STAGE_H

#include <QObject>
#include <QString>

namespace Helvor {

// One signal stage of a controller, as listed by its "phases".
class Stage : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int id READ id CONSTANT)
    Q_PROPERTY(QString description READ description CONSTANT)
    Q_PROPERTY(QString shema READ shema CONSTANT)

public:
    Stage(int id, const QString &description, const QString &shema, QObject *parent = nullptr);
    ~Stage() override;

    int id() const;
    QString description() const;
    QString shema() const;

private:
    int m_id;
    QString m_description;
    QString m_shema;
};

} // namespace Helvor

#endif // HELVOR_STAGE_H
