// SPDX-License-Identifier: MIT
#include "helvor/stage.h"

namespace Helvor {

Stage::Stage(int id, const QString &description, const QString &shema, QObject *parent)
    : QObject(parent)
    , m_id(id)
    , m_description(description)
    , m_shema(shema)
{
}

Stage::~Stage() = default;

int Stage::id() const
{
    return m_id;
}

QString Stage::description() const
{
    return m_description;
}

QString Stage::shema() const
{
    return m_shema;
}

} // namespace Helvor
