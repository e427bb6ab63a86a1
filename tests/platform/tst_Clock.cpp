#include "platform/Clock.h"
#include "support/TestSupport.h"

namespace {

QCoro::Task<> sleeper(std::chrono::milliseconds duration, const QObject *guard, int *ended)
{
    co_await platform::clock().sleep(duration, guard);
    ++*ended;
}

// A sleep ends when it runs out, when its guard is destroyed, or when the virtual clock it sleeps on goes.
const struct EndRow {
    const char *name;
    bool virtualTime, guarded;
    int milliseconds;
} endRows[] = {
    {"system clock runs out", false, false, 50},
    {"system clock, guard destroyed", false, true, 60'000},
    {"virtual clock, guard destroyed", true, true, 60'000},
    {"virtual clock dropped", true, false, 3'600'000},
};

} // namespace

class ClockTest : public QObject {
    Q_OBJECT

private slots:
    void sleepEnds_data() { testing::addRows(endRows); }
    void sleepEnds()
    {
        const EndRow &row = testing::currentRow(endRows);
        std::optional<testing::VirtualTime> time;
        if (row.virtualTime)
            time.emplace();
        int ended = 0;
        auto guard = std::make_unique<QObject>();
        sleeper(std::chrono::milliseconds(row.milliseconds), guard.get(), &ended);
        QCOMPARE(ended, 0);
        if (row.guarded)
            guard.reset();
        else if (time)
            time.reset();
        QVERIFY(testing::spinUntil([&] { return ended == 1; }));
    }
};

TALLOWMERE_TEST(ClockTest)
#include "tst_Clock.moc"
