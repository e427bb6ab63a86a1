#include "platform/Clock.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

// Sleeps `duration` on the clock in use, then notes its name and the time it woke.
QCoro::Task<> sleeper(QString name, std::chrono::milliseconds duration, const QObject *guard,
                      QStringList *log)
{
    co_await platform::clock().sleep(duration, guard);
    *log << u"%1@%2"_s.arg(name).arg(platform::clock().now().time().toString(u"ss.zzz"_s));
}

// A sleep ends when it runs out, when its guard is destroyed, or when the virtual clock it sleeps on goes.
struct EndRow {
    const char *name;
    bool virtualTime, guarded;
    int milliseconds;
};
const EndRow endRows[] = {
    {"system clock runs out", false, false, 50},
    {"system clock, guard destroyed", false, true, 60'000},
    {"virtual clock, guard destroyed", true, true, 60'000},
    {"virtual clock dropped", true, false, 3'600'000},
};

} // namespace

class ClockTest : public QObject {
    Q_OBJECT

private slots:
    void virtualSleepersWakeInDeadlineOrderAtTheirDeadline()
    {
        testing::VirtualTime time;
        QStringList log;
        sleeper(u"slow"_s, 2000ms, nullptr, &log);
        sleeper(u"fast"_s, 500ms, nullptr, &log);
        sleeper(u"same"_s, 500ms, nullptr, &log);
        QCOMPARE(time.clock().sleeperCount(), 3);

        time.advance(499ms);
        QVERIFY(log.isEmpty());
        time.advance(1ms);
        QCOMPARE(log, (QStringList{u"fast@00.500"_s, u"same@00.500"_s}));
        time.advance(10s);
        QCOMPARE(log.last(), u"slow@02.000"_s);
        QCOMPARE(time.clock().sleeperCount(), 0);
    }

    void sleepEnds_data() { testing::addRows(endRows); }
    void sleepEnds()
    {
        const EndRow &row = testing::currentRow(endRows);
        std::optional<testing::VirtualTime> time;
        if (row.virtualTime)
            time.emplace();
        QStringList log;
        auto guard = std::make_unique<QObject>();
        QElapsedTimer elapsed;
        elapsed.start();
        sleeper(u"s"_s, std::chrono::milliseconds(row.milliseconds), guard.get(), &log);
        QVERIFY(log.isEmpty());
        if (row.guarded)
            guard.reset();
        else if (time)
            time.reset();
        else
            QVERIFY(testing::spinUntil([&] { return !log.isEmpty(); }));
        QCOMPARE(log.size(), 1);
        QVERIFY(elapsed.elapsed() >= (row.milliseconds < 1000 ? row.milliseconds - 5 : 0));
        QVERIFY(elapsed.elapsed() < 5000);
    }
};

TALLOWMERE_TEST(ClockTest)
#include "tst_Clock.moc"
