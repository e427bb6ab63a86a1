#include "platform/Clock.h"

#include <QCoreApplication>
#include <QTimer>

namespace platform {

namespace {

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }

    QCoro::Task<> sleep(std::chrono::milliseconds duration, const QObject *guard) override
    {
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        Wakeup wakeup;
        QObject::connect(&timer, &QTimer::timeout, &timer, [&wakeup] { wakeup.fire(); });
        if (guard)
            QObject::connect(guard, &QObject::destroyed, &timer, [&wakeup] { wakeup.fire(); });
        timer.start(duration);
        co_await wakeup.wait();
    }
};

SystemClock systemClock;
Clock *current = &systemClock;

} // namespace

Clock &clock()
{
    return *current;
}

ScopedClock::ScopedClock(Clock &clock)
    : m_previous(std::exchange(current, &clock))
{
}

ScopedClock::~ScopedClock()
{
    current = m_previous;
}

VirtualClock::VirtualClock(QDateTime start)
    : m_now(std::move(start))
{
}

VirtualClock::~VirtualClock()
{
    // Whoever still sleeps wakes up now rather than never.
    while (!m_sleepers.empty()) {
        Sleeper *sleeper = m_sleepers.begin()->second;
        m_sleepers.erase(m_sleepers.begin());
        sleeper->wakeup.fire();
    }
}

void VirtualClock::remove(Sleeper *sleeper)
{
    for (auto it = m_sleepers.begin(); it != m_sleepers.end(); ++it) {
        if (it->second == sleeper) {
            m_sleepers.erase(it);
            return;
        }
    }
}

QCoro::Task<> VirtualClock::sleep(std::chrono::milliseconds duration, const QObject *guard)
{
    Sleeper sleeper;
    m_sleepers.emplace(m_now.addMSecs(duration.count()), &sleeper);
    QObject context;
    if (guard) {
        QObject::connect(guard, &QObject::destroyed, &context, [this, &sleeper] {
            remove(&sleeper);
            sleeper.wakeup.fire();
        });
    }
    co_await sleeper.wakeup.wait();
    remove(&sleeper);
}

void VirtualClock::advance(std::chrono::milliseconds step)
{
    const QDateTime target = m_now.addMSecs(step.count());
    QCoreApplication::processEvents();
    while (!m_sleepers.empty() && m_sleepers.begin()->first <= target) {
        auto first = m_sleepers.begin();
        m_now = std::max(m_now, first->first);
        Sleeper *sleeper = first->second;
        m_sleepers.erase(first);
        sleeper->wakeup.fire();
        QCoreApplication::processEvents();
    }
    m_now = target;
}

} // namespace platform
