#include "app/ModelFixture.h"
#include "app/PersistedState.h"
#include "status/FakeAgent.h"

using namespace tallowmere;
using namespace std::chrono_literals;
using testing::FakeAgent;

Q_DECLARE_METATYPE(tallowmere::AgentRuntimeStatus)

namespace {

AgentRuntimeStatus sample(bool busy = false, qint64 queue = 0, std::optional<bool> compacting = std::nullopt,
                          const QString &coding = {})
{
    AgentRuntimeStatus status;
    status.sampledAt = QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC);
    status.lifecycle = QStringLiteral("running");
    status.ready = true;
    status.version = QStringLiteral("1.0.0");
    status.busy = busy;
    status.compacting = compacting;
    status.queueSize = queue;
    status.pid = 1;
    if (!coding.isEmpty())
        status.codingSession = AgentRuntimeStatus::CodingSession{coding, QStringLiteral("task")};
    return status;
}

// A configured model over a profile where a fake agent answers.
struct MonitoredModel {
    testing::VirtualTime time;
    testing::ModelFixture fixture;
    FakeAgent agent;
    std::unique_ptr<AppModel> model;

    explicit MonitoredModel(const QByteArray &stage = {}, bool autoResume = false)
    {
        fixture.configure();
        if (!stage.isEmpty())
            fixture.write(QLatin1String(persisted::installStageFile), stage + '\n');
        agent.publish(fixture.profile);
        model = fixture.build({}, {}, autoResume);
    }

    void refresh() { testing::await(model->refreshAgentStatus()); }
    void answer(const QJsonObject &changes) { agent.body = FakeAgent::sample(changes); }
    void failNext() { agent.status = QHttpServerResponse::StatusCode::InternalServerError; }
    void recover() { agent.status = QHttpServerResponse::StatusCode::Ok; }
};

} // namespace

class MonitoringTest : public QObject {
    Q_OBJECT

private slots:
    void titles_data()
    {
        QTest::addColumn<bool>("busy");
        QTest::addColumn<int>("queue");
        QTest::addColumn<int>("compacting"); // -1 absent
        QTest::addColumn<QString>("coding");
        QTest::addColumn<QString>("title");

        QTest::newRow("coding beats the rest") << true << 3 << 1 << "in_progress"
                                               << "Coding";
        QTest::newRow("finished coding session") << false << 0 << -1 << "done"
                                                 << "Idle";
        QTest::newRow("compacting") << true << 3 << 1 << ""
                                    << "Thinking";
        QTest::newRow("busy") << true << 3 << 0 << ""
                              << "Working";
        QTest::newRow("queued") << false << 1 << -1 << ""
                                << "Receiving messages";
        QTest::newRow("idle") << false << 0 << 0 << ""
                              << "Idle";
    }

    void titles()
    {
        QFETCH(bool, busy);
        QFETCH(int, queue);
        QFETCH(int, compacting);
        QFETCH(QString, coding);
        QFETCH(QString, title);
        const auto status =
            sample(busy, queue, compacting < 0 ? std::nullopt : std::optional<bool>(compacting == 1), coding);
        const auto presentation = AppModel::runtimePresentation(status, std::nullopt);
        QCOMPARE(presentation.title, title);
        QCOMPARE(presentation.activity, std::nullopt); // no previous sample, no activity
    }

    void activities_data()
    {
        QTest::addColumn<AgentRuntimeStatus>("previous");
        QTest::addColumn<AgentRuntimeStatus>("current");
        QTest::addColumn<QString>("activity"); // empty: none

        QTest::newRow("first message") << sample(false, 0) << sample(false, 1) << "Received a new message";
        QTest::newRow("more messages")
            << sample(false, 1) << sample(false, 4) << "Received new messages — 4 waiting";
        QTest::newRow("queue growth wins")
            << sample(false, 0) << sample(true, 2, true, QStringLiteral("in_progress"))
            << "Received new messages — 2 waiting";
        QTest::newRow("started coding")
            << sample(true) << sample(true, 0, std::nullopt, QStringLiteral("in_progress"))
            << "Started coding";
        QTest::newRow("still coding, now compacting")
            << sample(true, 0, false, QStringLiteral("in_progress"))
            << sample(true, 0, true, QStringLiteral("in_progress")) << "Organizing context";
        QTest::newRow("compacting from absent")
            << sample(true) << sample(true, 0, true) << "Organizing context";
        QTest::newRow("still compacting") << sample(true, 0, true) << sample(true, 0, true) << "";
        QTest::newRow("task complete") << sample(true, 0) << sample(false, 0) << "Task complete";
        QTest::newRow("task complete, more waiting")
            << sample(true, 2) << sample(false, 2) << "Task complete — waiting for the next message";
        QTest::newRow("started working") << sample(false) << sample(true) << "Started working";
        QTest::newRow("queue shrinks") << sample(false, 3) << sample(false, 1) << "";
        QTest::newRow("nothing new") << sample(false) << sample(false) << "";
    }

    void activities()
    {
        QFETCH(AgentRuntimeStatus, previous);
        QFETCH(AgentRuntimeStatus, current);
        QFETCH(QString, activity);
        QCOMPARE(AppModel::runtimePresentation(current, previous).activity.value_or(QString()), activity);
    }

    void goodSampleBecomesTheSnapshot()
    {
        MonitoredModel m;
        m.answer(
            {{QStringLiteral("busy"), true}, {QStringLiteral("queueSize"), 2}, {QStringLiteral("pid"), 77}});
        m.refresh();
        const StatusSnapshot snapshot = m.model->statusSnapshot();
        QCOMPARE(snapshot.currentTask, QStringLiteral("Working"));
        QVERIFY(snapshot.isWorking && snapshot.bridgeConnected && snapshot.cloudConnected &&
                snapshot.handshakeComplete);
        QCOMPARE(snapshot.bridgeHeartbeatAt, QDateTime(QDate(2026, 1, 1), QTime(9, 0, 0, 250), Qt::UTC));
        QCOMPARE(snapshot.cloudHeartbeatAt, snapshot.bridgeHeartbeatAt);
        QCOMPARE(snapshot.agentVersion, QStringLiteral("1.2.3"));
        QCOMPARE(snapshot.processID, 77);
        QCOMPARE(snapshot.queueSize, 2);
        QCOMPARE(snapshot.statusSequence, 1u);
        QCOMPARE(snapshot.lastErrorCode, std::nullopt);
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

        m.failNext();
        m.refresh();
        m.refresh();
        QCOMPARE(m.model->statusSnapshot(), connected); // two failures: nothing visible
        QCOMPARE(m.model->overallState(), OverallState::online);

        m.refresh();
        StatusSnapshot disconnected = connected;
        disconnected.bridgeConnected = disconnected.handshakeComplete = disconnected.isWorking = false;
        disconnected.currentTask.reset();
        QCOMPARE(m.model->statusSnapshot(), disconnected);
        QCOMPARE(m.model->overallState(), OverallState::error);
        QCOMPARE(m.model->agentProcessDescription(), QStringLiteral("未连接"));
        QCOMPARE(m.model->headlineStatusTitle(), QStringLiteral("需要处理"));
        QCOMPARE(m.model->lastError(), std::nullopt); // a failed sample is never a displayed error

        m.recover();
        m.answer({{QStringLiteral("busy"), false}});
        m.refresh();
        QVERIFY(m.model->statusSnapshot().bridgeConnected);
        QCOMPARE(m.model->overallState(), OverallState::online);
        QVERIFY(m.model->activities().isEmpty()); // the outage forgot the previous sample
    }

    void guardSkipsWithoutCounting_data()
    {
        QTest::addColumn<QByteArray>("stage");
        QTest::addColumn<bool>("submitting");
        QTest::newRow("daemon") << QByteArray("daemon") << false;
        QTest::newRow("permissions") << QByteArray("permissions") << false;
        QTest::newRow("submitting") << QByteArray() << true;
    }

    void guardSkipsWithoutCounting()
    {
        QFETCH(QByteArray, stage);
        QFETCH(bool, submitting);
        MonitoredModel m;
        m.failNext();
        m.refresh();
        m.refresh(); // two failures so far
        const int requests = m.agent.requests;

        // The same situation, but now in a stage (or state) where no sample is taken.
        testing::ModelFixture other;
        other.configure();
        if (!stage.isEmpty())
            other.write(QLatin1String(persisted::installStageFile), stage + '\n');
        m.agent.publish(other.profile);
        auto guarded = other.build();
        guarded->setIsSubmittingSetup(submitting);
        for (int i = 0; i < 5; ++i)
            testing::await(guarded->refreshAgentStatus());
        QCOMPARE(m.agent.requests, requests);
        QCOMPARE(guarded->statusSnapshot(), StatusSnapshot::empty());

        // Skipped cycles do not reset the count either: the next failure is the third.
        m.model->setIsSubmittingSetup(true);
        m.refresh();
        m.model->setIsSubmittingSetup(false);
        QCOMPARE(m.model->overallState(), OverallState::starting);
        m.refresh();
        QCOMPARE(m.model->overallState(), OverallState::error);
    }

    void unconfiguredModelTakesNoSample()
    {
        testing::ModelFixture fixture;
        FakeAgent agent;
        agent.publish(fixture.profile);
        auto model = fixture.build();
        testing::await(model->refreshAgentStatus());
        QCOMPARE(agent.requests, 0);
    }

    void readyAgentFinishesTheHandshake()
    {
        MonitoredModel m("handshake");
        m.refresh();
        QCOMPARE(m.model->installStage(), std::nullopt);
        QVERIFY(!QFileInfo::exists(m.fixture.file(QLatin1String(persisted::installStageFile))));
        QVERIFY(m.model->installationValidated());
        QVERIFY(m.model->onboardingCompleted());
        QVERIFY(!m.model->pendingSetupResume());
        QCOMPARE(m.model->setupProgress().at(int(SetupPhase::handshake)).state, ProgressState::complete);
        QCOMPARE(m.model->setupProgress().at(int(SetupPhase::online)).state, ProgressState::complete);
        QCOMPARE(m.model->overallState(), OverallState::online);
    }

    void readyAgentInTheChannelStageWaits()
    {
        MonitoredModel m("channel");
        m.refresh();
        QCOMPARE(m.model->installStage(), InstallStage::channel);
        QCOMPARE(m.model->overallState(), OverallState::starting);
        QCOMPARE(m.model->setupProgress().at(int(SetupPhase::handshake)).state, ProgressState::pending);
        QVERIFY(!m.model->installationValidated());
    }

    void agentNotReadyYet()
    {
        MonitoredModel m("handshake");
        m.answer({{QStringLiteral("ready"), false}});
        m.refresh();
        QCOMPARE(m.model->installStage(), InstallStage::handshake);
        QCOMPARE(m.model->overallState(), OverallState::starting);
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
        QVERIFY(testing::spinUntil([&] { return m.agent.requests == 1; }));
        QVERIFY(testing::spinUntil([&] { return m.time.clock().sleeperCount() == 1; }));
        m.time.advance(std::chrono::milliseconds(pause - 1));
        QTest::qWait(50);
        QCOMPARE(m.agent.requests, 1);
        m.time.advance(1ms);
        QVERIFY(testing::spinUntil([&] { return m.agent.requests == 2; }));
        m.model->startStatusMonitoring(); // a second start changes nothing
        QVERIFY(testing::spinUntil([&] { return m.time.clock().sleeperCount() == 1; }));
        QCOMPARE(m.agent.requests, 2);
    }

    void loopEndsWithTheModel()
    {
        MonitoredModel m({}, true);
        QVERIFY(testing::spinUntil([&] { return m.time.clock().sleeperCount() == 1; }));
        m.model.reset();
        QCOMPARE(m.time.clock().sleeperCount(), 0);
        m.time.advance(10s);
        QCOMPARE(m.agent.requests, 1);
    }

    void noMonitoringWithoutAutoResume()
    {
        MonitoredModel m;
        QTest::qWait(50);
        QCOMPARE(m.agent.requests, 0);
        QCOMPARE(m.time.clock().sleeperCount(), 0);
    }

    void currentTaskWithoutAgent_data()
    {
        QTest::addColumn<QByteArray>("stage");
        QTest::addColumn<bool>("configured");
        QTest::addColumn<bool>("submitting");
        QTest::addColumn<QString>("task");
        QTest::newRow("submitting") << QByteArray("setup") << true << true << "Tallowmere 正在完成设置";
        QTest::newRow("waiting for setup") << QByteArray("setup") << true << false << "Waiting for setup";
        QTest::newRow("installing") << QByteArray("daemon") << true << false << "等待 Agent 状态";
    }

    void currentTaskWithoutAgent()
    {
        QFETCH(QByteArray, stage);
        QFETCH(bool, configured);
        QFETCH(bool, submitting);
        QFETCH(QString, task);
        testing::ModelFixture fixture;
        if (configured)
            fixture.configure();
        fixture.write(QLatin1String(persisted::installStageFile), stage);
        auto model = fixture.build();
        model->setIsSubmittingSetup(submitting);
        QCOMPARE(model->currentTask(), task);
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
