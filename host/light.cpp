// SPDX-License-Identifier: MIT
#include "helvor/light.h"

namespace Helvor {

Light::Light(int number, const QString &displayName, QObject *parent)
    : QObject(parent)
    , m_number(number)
    , m_displayName(displayName)
{
}

Light::~Light() = default;

int Light::number() const
{
    return m_number;
}

QString Light::shortName() const
{
    return QString::number(m_number);
}

QString Light::displayName() const
{
    return m_displayName;
}

QString Light::address() const
{
    return m_address;
}

int Light::currentStage() const
{
    return m_currentStage;
}

void Light::setNumber(int number)
{
    m_number = number;
}

void Light::setDisplayName(const QString &name)
{
    m_displayName = name;
}

void Light::setAddress(const QString &address)
{
    m_address = address;
}

void Light::setCurrentStage(int stage)
{
    m_currentStage = stage;
}

} // namespace Helvor
