#pragma once

#include "platform/Wakeup.h"

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QObject>

#include <chrono>
#include <map>

namespace platform {

// Every "now" and every sleep of the application goes through the clock in use, so that tests can
// run the application's waits on virtual time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0; // wall-clock time, UTC
    // Suspends for `duration` (monotonic). The sleep ends early, as if it had run out, when `guard`
    // is destroyed, so that a loop waiting on behalf of an object never outlives it asleep.
    virtual QCoro::Task<> sleep(std::chrono::milliseconds duration, const QObject *guard = nullptr) = 0;
};

Clock &clock();

// Installs a clock for the lifetime of this object (tests).
class ScopedClock {
public:
    explicit ScopedClock(Clock &clock);
    ~ScopedClock();
    ScopedClock(const ScopedClock &) = delete;
    ScopedClock &operator=(const ScopedClock &) = delete;

private:
    Clock *m_previous;
};

// Time that moves only when told to. Sleepers wake in deadline order, each at its own deadline.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(QDateTime start = QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC));
    ~VirtualClock() override;

    QDateTime now() const override { return m_now; }
    QCoro::Task<> sleep(std::chrono::milliseconds duration, const QObject *guard = nullptr) override;

    // Moves time forward by `step`, waking every sleeper whose deadline falls inside it and letting
    // the event loop run after each wake-up.
    void advance(std::chrono::milliseconds step);
    int sleeperCount() const { return int(m_sleepers.size()); }

private:
    struct Sleeper {
        Wakeup wakeup;
    };
    QDateTime m_now;
    std::multimap<QDateTime, Sleeper *> m_sleepers;

    void remove(Sleeper *sleeper);
};

} // namespace platform
