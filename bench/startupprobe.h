#pragma once

// Shared by the two start-up programs: once the window has been shown and painted, print the
// monotonic clock and the process's peak memory, then quit.

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>

namespace startupprobe
{

inline long long peakKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').front().toLongLong();
    return -1;
}

class Probe : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // After the paint event has been handled and the frame flushed.
            QTimer::singleShot(0, [] {
                timespec now;
                clock_gettime(CLOCK_MONOTONIC, &now);
                std::printf("%lld %lld\n", now.tv_sec * 1'000'000'000LL + now.tv_nsec,
                            peakKilobytes());
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return false;
    }

private:
    bool m_seen = false;
};

inline void reportWhenPainted(QWidget *window)
{
    static Probe probe;
    window->installEventFilter(&probe);
}

} // namespace startupprobe
