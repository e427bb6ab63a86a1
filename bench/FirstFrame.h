#pragma once

#include <QQuickWindow>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <unistd.h>

// What the two programs bench-startup starts say on their way to their window's first frame: the
// monotonic time and the resident memory at some steps, then the time of the frame, after which they end
// at once, so that their peak resident memory is the one of that frame.
namespace bench {

inline long long monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Resident memory now, in kB.
inline long residentKilobytes()
{
    long pages = 0, resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// A step on the way there: "phase <name> <ns> <resident kB>".
inline void reportPhase(const char *name)
{
    std::printf("phase %s %lld %ld\n", name, monotonicNanoseconds(), residentKilobytes());
}

// "frame <ns>" at the window's first frame, and the end.
inline void reportFirstFrame(QQuickWindow *window)
{
    QObject::connect(
        window, &QQuickWindow::frameSwapped, window,
        [] {
            std::printf("frame %lld\n", monotonicNanoseconds());
            std::fflush(stdout);
            std::_Exit(0);
        },
        Qt::DirectConnection);
}

} // namespace bench
