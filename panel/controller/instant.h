// SPDX-License-Identifier: MIT
#ifndef VORLAN_INSTANT_H
#define VORLAN_INSTANT_H

#include <QDateTime>

namespace Vorlan {

// A local time with the instant it stands for, in milliseconds since the
// epoch. Turning one into the other asks the C library, which reads the
// zone file, and the times a panel's tick measures from rarely change: an
// Instant converts only when its time does.
class Instant
{
public:
    qint64 of(const QDateTime &local);

    // The module's clock as an instant; false when it reads invalid.
    static bool now(qint64 *mSecs);
    // Whole seconds from one instant to another, truncated as
    // QDateTime::secsTo truncates; saturated rather than wrapped when the
    // clock is off by decades.
    static int secondsBetween(qint64 sinceMSecs, qint64 untilMSecs);

private:
    QDateTime m_time;
    qint64 m_mSecs = 0;
};

} // namespace Vorlan

#endif // VORLAN_INSTANT_H
