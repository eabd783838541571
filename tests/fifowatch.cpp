// SPDX-License-Identifier: MIT
#include "fifowatch.h"

#include <QFile>

#include <chrono>

#include <fcntl.h>
#include <unistd.h>

FifoWatch::FifoWatch(const QString &path)
    : m_path(QFile::encodeName(path))
    , m_thread([this] { run(); })
{
}

FifoWatch::~FifoWatch()
{
    m_stop = true;
    m_thread.join();
}

int FifoWatch::releases() const
{
    return m_releases;
}

void FifoWatch::run()
{
    using namespace std::chrono_literals;
    const auto graceEnd = std::chrono::steady_clock::now() + 1s;
    while (!m_stop) {
        if (std::chrono::steady_clock::now() >= graceEnd) {
            // Succeeds only while a reader has the FIFO open or waits in open().
            const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                ++m_releases;
                ::close(fd);
            }
        }
        std::this_thread::sleep_for(20ms);
    }
}
