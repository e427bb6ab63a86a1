#include "platform/Clock.h"
#include "support/TestSupport.h"

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

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
    void sleepEnds_data() { testing::addRows(endRows); }
    void sleepEnds()
    {
        const EndRow &row = testing::currentRow(endRows);
        std::optional<testing::VirtualTime> time;
        if (row.virtualTime)
            time.emplace();
        QStringList log;
        auto guard = std::make_unique<QObject>();
        sleeper(u"s"_s, std::chrono::milliseconds(row.milliseconds), guard.get(), &log);
        QVERIFY(log.isEmpty());
        if (row.guarded)
            guard.reset();
        else if (time)
            time.reset();
        else
            QVERIFY(testing::spinUntil([&] { return !log.isEmpty(); }));
        QCOMPARE(log.size(), 1);
    }
};

TALLOWMERE_TEST(ClockTest)
#include "tst_Clock.moc"
