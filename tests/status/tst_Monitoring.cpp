#include "app/ModelFixture.h"
#include "app/PersistedState.h"
#include "status/FakeAgent.h"

using namespace tallowmere;
using namespace std::chrono_literals;
using testing::FakeAgent;

namespace {

struct Sample {
    bool busy = false;
    qint64 queue = 0;
    int compacting = -1; // -1: absent
    const char *coding = nullptr;

    AgentRuntimeStatus status() const
    {
        AgentRuntimeStatus status{QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC),
                                  QStringLiteral("running"), true, QStringLiteral("1.0.0"), busy};
        if (compacting >= 0)
            status.compacting = compacting == 1;
        status.queueSize = queue;
        if (coding)
            status.codingSession =
                AgentRuntimeStatus::CodingSession{QLatin1String(coding), QStringLiteral("task")};
        return status;
    }
};

constexpr char coding[] = "in_progress";
struct PresentationRow {
    const char *name;
    std::optional<Sample> previous;
    Sample current;
    const char *title, *activity; // activity nullptr: none
};
// clang-format off
const PresentationRow presentationRows[] = {
    {"coding beats the rest", {}, {true, 3, 1, coding}, "Coding", nullptr},
    {"finished coding session", {}, {false, 0, -1, "done"}, "Idle", nullptr},
    {"compacting", {}, {true, 3, 1}, "Thinking", nullptr},
    {"busy", {}, {true, 3, 0}, "Working", nullptr},
    {"queued", {}, {false, 1}, "Receiving messages", nullptr},
    {"idle", {}, {false, 0, 0}, "Idle", nullptr},
    {"first message", Sample{false, 0}, {false, 1}, "Receiving messages", "Received a new message"},
    {"more messages", Sample{false, 1}, {false, 4}, "Receiving messages", "Received new messages — 4 waiting"},
    {"queue growth wins", Sample{}, {true, 2, 1, coding}, "Coding", "Received new messages — 2 waiting"},
    {"started coding", Sample{true}, {true, 0, -1, coding}, "Coding", "Started coding"},
    {"now compacting", Sample{true, 0, 0, coding}, {true, 0, 1, coding}, "Coding", "Organizing context"},
    {"compacting from absent", Sample{true}, {true, 0, 1}, "Thinking", "Organizing context"},
    {"still compacting", Sample{true, 0, 1}, {true, 0, 1}, "Thinking", nullptr},
    {"task complete", Sample{true}, {false}, "Idle", "Task complete"},
    {"more waiting", Sample{true, 2}, {false, 2}, "Receiving messages", "Task complete — waiting for the next message"},
    {"started working", Sample{false}, {true}, "Working", "Started working"},
    {"queue shrinks", Sample{false, 3}, {false, 1}, "Receiving messages", nullptr},
    {"nothing new", Sample{false}, {false}, "Idle", nullptr},
};
// clang-format on

QCoro::Task<bool> granted(PermissionKind)
{
    co_return true;
}

QCoro::Task<std::optional<QString>> noUpdate()
{
    co_return std::nullopt;
}

// A configured model over a profile where a fake agent answers, every permission is granted and the
// registry offers no update.
struct MonitoredModel {
    testing::VirtualTime time;
    testing::ModelFixture fixture;
    FakeAgent agent;
    std::unique_ptr<AppModel> model;

    explicit MonitoredModel(const QByteArray &stage = {}, bool autoResume = false, bool configured = true)
    {
        if (configured)
            fixture.configure();
        if (!stage.isEmpty())
            fixture.write(QLatin1String(persisted::installStageFile), stage + '\n');
        agent.publish(fixture.profile);
        model = fixture.build({.permissionCheck = granted, .agentUpdateVersion = noUpdate}, {}, autoResume);
    }

    void refresh() { testing::await(model->refreshAgentStatus()); }
    void answer(const QJsonObject &changes) { agent.answerWith(FakeAgent::sample(changes)); }
    int requests() const { return int(agent.requests.size()); }
};

} // namespace

class MonitoringTest : public QObject {
    Q_OBJECT

private slots:
    void presentation_data() { testing::addRows(presentationRows); }

    void presentation()
    {
        const PresentationRow &row = testing::currentRow(presentationRows);
        const std::optional<AgentRuntimeStatus> previous =
            row.previous ? std::optional(row.previous->status()) : std::nullopt;
        const auto presentation = AppModel::runtimePresentation(row.current.status(), previous);
        QCOMPARE(presentation.title, QString::fromUtf8(row.title));
        QCOMPARE(presentation.activity.value_or(QString()), QString::fromUtf8(row.activity));
    }

    void goodSampleBecomesTheSnapshot()
    {
        MonitoredModel m;
        m.answer(
            {{QStringLiteral("busy"), true}, {QStringLiteral("queueSize"), 2}, {QStringLiteral("pid"), 77}});
        m.refresh();
        StatusSnapshot expected;
        expected.currentTask = QStringLiteral("Working");
        expected.isWorking = expected.bridgeConnected = expected.cloudConnected = expected.handshakeComplete =
            true;
        expected.bridgeHeartbeatAt = expected.cloudHeartbeatAt =
            QDateTime(QDate(2026, 1, 1), QTime(9, 0, 0, 250), Qt::UTC);
        expected.agentVersion = QStringLiteral("1.2.3");
        expected.processID = 77;
        expected.queueSize = 2;
        expected.statusSequence = 1;
        QCOMPARE(m.model->statusSnapshot(), expected);
        QCOMPARE(m.model->overallState(), OverallState::online);
        QVERIFY(m.model->activities().isEmpty()); // the first sample has nothing to compare with
        QCOMPARE(m.model->headlineStatusTitle(), QStringLiteral("Working"));
        QCOMPARE(m.model->headlineStatusDetail(), QStringLiteral("Agent 已连接"));
        QCOMPARE(m.model->agentProcessDescription(), QStringLiteral("正在工作"));

        m.answer({{QStringLiteral("busy"), false}});
        m.refresh();
        QCOMPARE(m.model->activities().size(), 1);
        QCOMPARE(m.model->activities().first().summary, QStringLiteral("Task complete"));
        QCOMPARE(m.model->statusSnapshot().statusSequence, 2u);
    }

    void failedSamplesCountThenDisconnect()
    {
        MonitoredModel m;
        m.answer({{QStringLiteral("busy"), true}});
        m.refresh();
        const StatusSnapshot connected = m.model->statusSnapshot();

        m.agent.answerWith(FakeAgent::sample(), 500);
        m.refresh();
        m.refresh();
        QCOMPARE(m.model->statusSnapshot(), connected); // two failures: nothing visible
        QCOMPARE(m.model->overallState(), OverallState::online);

        // A skipped cycle does not reset the count: the next failure is the third.
        m.model->setIsSubmittingSetup(true);
        m.refresh();
        m.model->setIsSubmittingSetup(false);
        m.refresh();
        StatusSnapshot disconnected = connected;
        disconnected.bridgeConnected = disconnected.handshakeComplete = disconnected.isWorking = false;
        disconnected.currentTask.reset();
        QCOMPARE(m.model->statusSnapshot(), disconnected);
        QCOMPARE(m.model->overallState(), OverallState::error);
        QCOMPARE(m.model->agentProcessDescription(), QStringLiteral("未连接"));
        QCOMPARE(m.model->headlineStatusTitle(), QStringLiteral("需要处理"));
        QCOMPARE(m.model->lastError(), std::nullopt); // a failed sample is never a displayed error

        m.answer({{QStringLiteral("busy"), false}});
        m.refresh();
        QVERIFY(m.model->statusSnapshot().bridgeConnected);
        QCOMPARE(m.model->overallState(), OverallState::online);
        QVERIFY(m.model->activities().isEmpty()); // the outage forgot the previous sample
    }

    void guardSkipsTheSample_data()
    {
        QTest::addColumn<QByteArray>("stage");
        QTest::addColumn<bool>("configured");
        QTest::addColumn<bool>("submitting");
        QTest::newRow("daemon") << QByteArray("daemon") << true << false;
        QTest::newRow("permissions") << QByteArray("permissions") << true << false;
        QTest::newRow("submitting") << QByteArray() << true << true;
        QTest::newRow("not configured") << QByteArray() << false << false;
    }

    void guardSkipsTheSample()
    {
        QFETCH(QByteArray, stage);
        QFETCH(bool, configured);
        QFETCH(bool, submitting);
        MonitoredModel guarded(stage, false, configured);
        guarded.model->setIsSubmittingSetup(submitting);
        guarded.refresh();
        QCOMPARE(guarded.requests(), 0);
        QCOMPARE(guarded.model->statusSnapshot(), StatusSnapshot::empty());
    }

    void readyAgent_data()
    {
        QTest::addColumn<QByteArray>("stage");
        QTest::addColumn<bool>("ready");
        QTest::addColumn<bool>("finished");
        QTest::newRow("handshake, ready: finished") << QByteArray("handshake") << true << true;
        QTest::newRow("handshake, not ready") << QByteArray("handshake") << false << false;
        QTest::newRow("channel, ready: waits for the binding") << QByteArray("channel") << true << false;
    }

    void readyAgent()
    {
        QFETCH(QByteArray, stage);
        QFETCH(bool, ready);
        QFETCH(bool, finished);
        MonitoredModel m(stage);
        m.answer({{QStringLiteral("ready"), ready}});
        m.refresh();
        const auto progress = [&m](SetupPhase phase) {
            return m.model->setupProgress().at(int(phase)).state;
        };
        QCOMPARE(m.model->installStage().has_value(), !finished);
        QCOMPARE(m.fixture.exists(persisted::installStageFile), !finished);
        QCOMPARE(m.model->overallState(), finished ? OverallState::online : OverallState::starting);
        QCOMPARE(m.model->installationValidated(), finished);
        QCOMPARE(m.model->onboardingCompleted(), finished);
        QVERIFY(!finished || !m.model->pendingSetupResume());
        QCOMPARE(progress(SetupPhase::handshake) == ProgressState::complete, finished);
        QCOMPARE(progress(SetupPhase::online) == ProgressState::complete, finished);
    }

    void loopPacing_data()
    {
        QTest::addColumn<QByteArray>("stage");
        QTest::addColumn<int>("pause");
        QTest::newRow("finished installation") << QByteArray() << 2000;
        QTest::newRow("channel stage") << QByteArray("channel") << 500;
    }

    void loopPacing()
    {
        QFETCH(QByteArray, stage);
        QFETCH(int, pause);
        MonitoredModel m(stage, true);
        // The first cycle starts at once.
        QVERIFY(testing::spinUntil([&] { return m.requests() == 1; }));
        QVERIFY(testing::spinUntil([&] { return m.time.clock().sleeperCount() == 1; }));
        m.time.advance(std::chrono::milliseconds(pause - 1));
        QTest::qWait(50);
        QCOMPARE(m.requests(), 1);
        m.time.advance(1ms);
        QVERIFY(testing::spinUntil([&] { return m.requests() == 2; }));
        m.model->startStatusMonitoring(); // a second start changes nothing
        QVERIFY(testing::spinUntil([&] { return m.time.clock().sleeperCount() == 1; }));
        QCOMPARE(m.requests(), 2);
    }

    void loopEndsWithTheModel()
    {
        MonitoredModel m({}, true);
        QVERIFY(testing::spinUntil([&] { return m.time.clock().sleeperCount() == 1; }));
        m.model.reset();
        QCOMPARE(m.time.clock().sleeperCount(), 0);
        m.time.advance(10s);
        QCOMPARE(m.requests(), 1);
    }

    void currentTaskWithoutAgent_data()
    {
        QTest::addColumn<QByteArray>("stage");
        QTest::addColumn<bool>("submitting");
        QTest::addColumn<QString>("task");
        QTest::newRow("submitting") << QByteArray("setup") << true << "Tallowmere 正在完成设置";
        QTest::newRow("waiting for setup") << QByteArray("setup") << false << "Waiting for setup";
        QTest::newRow("installing") << QByteArray("daemon") << false << "等待 Agent 状态";
    }

    void currentTaskWithoutAgent()
    {
        QFETCH(QByteArray, stage);
        QFETCH(bool, submitting);
        QFETCH(QString, task);
        MonitoredModel m(stage);
        m.model->setIsSubmittingSetup(submitting);
        QCOMPARE(m.model->currentTask(), task);
    }

    void heartbeat_data()
    {
        QTest::addColumn<int>("ageMs"); // -1: no heartbeat
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << -1 << "尚未收到";
        QTest::newRow("1.9 seconds") << 1900 << "刚刚";
        QTest::newRow("2.0 seconds") << 2000 << "2 秒前";
        QTest::newRow("5.99 seconds") << 5990 << "5 秒前";
        QTest::newRow("in the future") << -5000 << "刚刚";
    }

    void heartbeat()
    {
        QFETCH(int, ageMs);
        QFETCH(QString, text);
        testing::ModelFixture fixture;
        auto model = fixture.build();
        const QDateTime beat(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC);
        if (ageMs != -1) {
            StatusSnapshot snapshot;
            snapshot.bridgeHeartbeatAt = beat;
            model->setStatusSnapshot(snapshot);
        }
        QCOMPARE(model->heartbeatDescription(beat.addMSecs(ageMs == -1 ? 0 : ageMs)), text);
    }
};

TALLOWMERE_TEST(MonitoringTest)
#include "tst_Monitoring.moc"
