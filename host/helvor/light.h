// SPDX-License-Identifier: MIT
#ifndef HELVOR_LIGHT_H
#define HELVOR_LIGHT_H

#include <QObject>
#include <QString>

namespace Helvor {

// A traffic-light controller as the host sees it. Plug-ins call the
// virtual functions below through the vtable without linking this
// library, so their order is a binary interface: never reorder them.
class Light : public QObject
{
    Q_OBJECT

public:
    explicit Light(int number, const QString &displayName = QString(), QObject *parent = nullptr);
    ~Light() override;

    virtual int number() const;
    virtual QString shortName() const;
    virtual QString displayName() const;
    virtual QString address() const;
    // Negative while no signal stage runs (flashing yellow, dark, off line).
    virtual int currentStage() const;

    void setNumber(int number);
    void setDisplayName(const QString &name);
    void setAddress(const QString &address);
    void setCurrentStage(int stage);

Q_SIGNALS:
    void stateChanged();

private:
    int m_number;
    QString m_displayName;
    QString m_address;
    int m_currentStage = -1;
};

} // namespace Helvor

#endif // HELVOR_LIGHT_H
