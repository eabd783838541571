// SPDX-License-Identifier: MIT
#include "peakmemory.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// A field of /proc/self/status, in KiB; -1 if there is none.
qint64 statusKibibytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

bool resetPeak()
{
    const int fd = ::open("/proc/self/clear_refs", O_WRONLY);
    if (fd < 0)
        return false;
    const bool done = ::write(fd, "5", 1) == 1;
    ::close(fd);
    return done && statusKibibytes("VmHWM") >= 0;
}

qint64 maxResident()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

PeakMemory::PeakMemory()
    : m_exact(resetPeak())
    , m_base(m_exact ? statusKibibytes("VmRSS") : maxResident())
{
}

qint64 PeakMemory::growthKibibytes() const
{
    const qint64 peak = m_exact ? statusKibibytes("VmHWM") : maxResident();
    return qMax<qint64>(0, peak - m_base);
}

bool PeakMemory::exact() const
{
    return m_exact;
}
