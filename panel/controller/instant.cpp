// SPDX-License-Identifier: MIT
#include "instant.h"

#include "panel/modulestate.h"

#include <limits>

namespace Vorlan {

qint64 Instant::of(const QDateTime &local)
{
    // Equal local times compare without a conversion.
    if (!m_time.isValid() || local != m_time) {
        m_time = local;
        m_mSecs = local.toMSecsSinceEpoch();
    }
    return m_mSecs;
}

bool Instant::now(qint64 *mSecs)
{
    // The real clock's local time is only this instant in another form,
    // and turning it back into the instant would ask the C library, which
    // looks at the zone file on every call. Across daylight-saving changes
    // the instant is the same; where a zone moves its standard offset back,
    // the local time is ambiguous and only the instant is right.
    const auto clock = moduleState().clock;
    if (clock == &QDateTime::currentDateTime) {
        *mSecs = QDateTime::currentMSecsSinceEpoch();
        return true;
    }
    const QDateTime now = clock();
    if (!now.isValid())
        return false;
    *mSecs = now.toMSecsSinceEpoch();
    return true;
}

int Instant::secondsBetween(qint64 sinceMSecs, qint64 untilMSecs)
{
    const qint64 seconds = (untilMSecs - sinceMSecs) / 1000;
    return int(qBound<qint64>(std::numeric_limits<int>::min(), seconds, std::numeric_limits<int>::max()));
}

} // namespace Vorlan
