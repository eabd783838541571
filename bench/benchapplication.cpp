// SPDX-License-Identifier: MIT
#include "benchapplication.h"

#include "clocks.h"

#include <QEvent>

BenchApplication::BenchApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

bool BenchApplication::notify(QObject *receiver, QEvent *event)
{
    if (event->type() != QEvent::Timer || m_className.isEmpty())
        return QApplication::notify(receiver, event);
    const QMetaObject *meta = receiver->metaObject();
    // The class lives in the plug-in: found by name once, then by its meta-object.
    if (!m_class && m_className == meta->className())
        m_class = meta;
    if (meta != m_class)
        return QApplication::notify(receiver, event);
    // CPU time rather than wall time: the machine may be busy with other work.
    const qint64 start = threadCpu();
    const bool result = QApplication::notify(receiver, event);
    m_tickNanoseconds += threadCpu() - start;
    ++m_ticks;
    return result;
}

void BenchApplication::watchTimers(const char *className)
{
    m_className = className;
    m_class = nullptr;
}

void BenchApplication::resetTicks()
{
    m_ticks = 0;
    m_tickNanoseconds = 0;
}

qint64 BenchApplication::ticks() const
{
    return m_ticks;
}

qint64 BenchApplication::tickNanoseconds() const
{
    return m_tickNanoseconds;
}
