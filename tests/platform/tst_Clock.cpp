#include "platform/Clock.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>

using namespace std::chrono_literals;

namespace {

// Sleeps `duration` on the clock in use, then notes its name and the time it woke.
QCoro::Task<> sleeper(QString name, std::chrono::milliseconds duration, const QObject *guard,
                      QStringList *log)
{
    co_await platform::clock().sleep(duration, guard);
    *log << QStringLiteral("%1@%2").arg(name).arg(
        platform::clock().now().time().toString(QStringLiteral("ss.zzz")));
}

} // namespace

class ClockTest : public QObject {
    Q_OBJECT

private slots:
    void virtualSleepersWakeInDeadlineOrderAtTheirDeadline()
    {
        testing::VirtualTime time;
        QStringList log;
        sleeper(QStringLiteral("slow"), 2000ms, nullptr, &log);
        sleeper(QStringLiteral("fast"), 500ms, nullptr, &log);
        sleeper(QStringLiteral("same"), 500ms, nullptr, &log);
        QCOMPARE(time.clock().sleeperCount(), 3);

        time.advance(499ms);
        QVERIFY(log.isEmpty());
        time.advance(1ms);
        QCOMPARE(log, (QStringList{QStringLiteral("fast@00.500"), QStringLiteral("same@00.500")}));
        time.advance(10s);
        QCOMPARE(log.last(), QStringLiteral("slow@02.000"));
        QCOMPARE(time.clock().sleeperCount(), 0);
    }

    void destroyedGuardEndsTheSleep_data()
    {
        QTest::addColumn<bool>("virtualTime");
        QTest::newRow("virtual clock") << true;
        QTest::newRow("system clock") << false;
    }

    void destroyedGuardEndsTheSleep()
    {
        QFETCH(bool, virtualTime);
        std::optional<testing::VirtualTime> time;
        if (virtualTime)
            time.emplace();
        QStringList log;
        auto guard = std::make_unique<QObject>();
        QElapsedTimer elapsed;
        elapsed.start();
        sleeper(QStringLiteral("guarded"), 60s, guard.get(), &log);
        QVERIFY(log.isEmpty());
        guard.reset();
        QCOMPARE(log.size(), 1);
        QVERIFY(elapsed.elapsed() < 5000);
    }

    void systemSleepTakesRealTime()
    {
        QStringList log;
        QElapsedTimer elapsed;
        elapsed.start();
        sleeper(QStringLiteral("real"), 50ms, nullptr, &log);
        QVERIFY(testing::spinUntil([&] { return !log.isEmpty(); }));
        QVERIFY(elapsed.elapsed() >= 45);
    }

    void droppedVirtualClockWakesItsSleepers()
    {
        QStringList log;
        {
            testing::VirtualTime time;
            sleeper(QStringLiteral("left"), 1h, nullptr, &log);
        }
        QCOMPARE(log.size(), 1);
    }
};

TALLOWMERE_TEST(ClockTest)
#include "tst_Clock.moc"
