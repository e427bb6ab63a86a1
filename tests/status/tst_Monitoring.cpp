#include "app/ModelFixture.h"
#include "app/PersistedState.h"
#include "status/FakeAgent.h"

using namespace tallowmere;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using testing::FakeAgent;

namespace {

struct Sample {
    bool busy = false;
    qint64 queue = 0;
    int compacting = -1; // -1: absent
    const char *coding = nullptr;

    AgentRuntimeStatus status() const
    {
        AgentRuntimeStatus status{QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC), u"running"_s, true, u"1.0.0"_s, busy};
        if (compacting >= 0)
            status.compacting = compacting == 1;
        status.queueSize = queue;
        if (coding)
            status.codingSession = AgentRuntimeStatus::CodingSession{QLatin1String(coding), u"task"_s};
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
    {"compacting", {}, {true, 3, 1}, "Thinking", nullptr}, {"busy", {}, {true, 3, 0}, "Working", nullptr},
    {"queued", {}, {false, 1}, "Receiving messages", nullptr}, {"idle", {}, {false, 0, 0}, "Idle", nullptr},
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

// An installation stage (empty: finished), whether setup is being submitted, and what comes of it.
struct StageRow { const char *name, *stage; bool configured, submitting; const char *task; };
const StageRow guardRows[] = {
    {"daemon", "daemon", true, false}, {"permissions", "permissions", true, false},
    {"submitting", "", true, true}, {"not configured", "", false, false},
};
const StageRow taskRows[] = {
    {"submitting", "setup", true, true, "Tallowmere 正在完成设置"},
    {"waiting for setup", "setup", true, false, "Waiting for setup"},
    {"installing", "daemon", true, false, "等待 Agent 状态"},
};
struct ReadyRow { const char *name, *stage; bool ready, finished; };
const ReadyRow readyRows[] = {
    {"handshake, ready: finished", "handshake", true, true}, {"handshake, not ready", "handshake", false, false},
    {"channel, ready: waits for the binding", "channel", true, false},
};
struct PacingRow { const char *name, *stage; int pause; };
const PacingRow pacingRows[] = {{"finished installation", "", 2000}, {"channel stage", "channel", 500}};
struct HeartbeatRow { const char *name; int ageMs; const char *text; }; // ageMs -1: no heartbeat
const HeartbeatRow heartbeatRows[] = {
    {"none", -1, "尚未收到"}, {"1.9 seconds", 1900, "刚刚"}, {"2.0 seconds", 2000, "2 秒前"},
    {"5.99 seconds", 5990, "5 秒前"}, {"in the future", -5000, "刚刚"},
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

// A model over a profile where a fake agent answers, every permission is granted and the registry offers
// no update.
struct MonitoredModel {
    testing::VirtualTime time;
    testing::ModelFixture fixture;
    FakeAgent agent;
    std::unique_ptr<AppModel> model;

    explicit MonitoredModel(const char *stage = "", bool autoResume = false, bool configured = true)
    {
        if (configured)
            fixture.configure();
        if (*stage)
            fixture.write(QLatin1String(persisted::installStageFile), QByteArray(stage) + '\n');
        agent.publish(fixture.profile);
        model = fixture.build({.permissionCheck = granted, .agentUpdateVersion = noUpdate}, {}, autoResume);
    }

    void refresh() { testing::await(model->refreshAgentStatus()); }
    void answer(const char *key, const QJsonValue &value) { agent.answerWith(FakeAgent::sample({{QLatin1String(key), value}})); }
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
        const auto previous = row.previous ? std::optional(row.previous->status()) : std::nullopt;
        const auto presentation = AppModel::runtimePresentation(row.current.status(), previous);
        QCOMPARE(presentation.title, QString::fromUtf8(row.title));
        QCOMPARE(presentation.activity.value_or(QString()), QString::fromUtf8(row.activity));
    }

    void samplesThenOutageThenRecovery()
    {
        MonitoredModel m;
        m.agent.answerWith(FakeAgent::sample({{u"busy"_s, true}, {u"queueSize"_s, 2}, {u"pid"_s, 77}}));
        m.refresh();
        StatusSnapshot expected;
        expected.currentTask = u"Working"_s;
        expected.isWorking = expected.bridgeConnected = expected.cloudConnected = expected.handshakeComplete = true;
        expected.bridgeHeartbeatAt = expected.cloudHeartbeatAt = QDateTime(QDate(2026, 1, 1), QTime(9, 0, 0, 250), Qt::UTC);
        expected.agentVersion = u"1.2.3"_s;
        expected.processID = 77;
        expected.queueSize = 2;
        expected.statusSequence = 1;
        QCOMPARE(m.model->statusSnapshot(), expected);
        QCOMPARE(m.model->overallState(), OverallState::online);
        QVERIFY(m.model->activities().isEmpty()); // the first sample has nothing to compare with
        QCOMPARE(m.model->headlineStatusTitle(), u"Working"_s);
        QCOMPARE(m.model->headlineStatusDetail(), u"Agent 已连接"_s);
        QCOMPARE(m.model->agentProcessDescription(), u"正在工作"_s);

        m.agent.answerWith(FakeAgent::sample(), 500);
        m.refresh();
        m.refresh();
        QCOMPARE(m.model->statusSnapshot(), expected); // two failures: nothing visible
        QCOMPARE(m.model->overallState(), OverallState::online);
        // A skipped cycle does not reset the count: the next failure is the third.
        m.model->setIsSubmittingSetup(true);
        m.refresh();
        m.model->setIsSubmittingSetup(false);
        m.refresh();
        expected.bridgeConnected = expected.handshakeComplete = expected.isWorking = false;
        expected.currentTask.reset();
        QCOMPARE(m.model->statusSnapshot(), expected);
        QCOMPARE(m.model->overallState(), OverallState::error);
        QCOMPARE(m.model->agentProcessDescription(), u"未连接"_s);
        QCOMPARE(m.model->headlineStatusTitle(), u"需要处理"_s);
        QCOMPARE(m.model->lastError(), std::nullopt); // a failed sample is never a displayed error

        m.answer("busy", false);
        m.refresh();
        QVERIFY(m.model->statusSnapshot().bridgeConnected);
        QCOMPARE(m.model->overallState(), OverallState::online);
        QVERIFY(m.model->activities().isEmpty()); // the outage forgot the busy sample: no "Task complete"
        m.answer("busy", true);
        m.refresh();
        QCOMPARE(m.model->activities().size(), 1);
        QCOMPARE(m.model->activities().first().summary, u"Started working"_s);
        QCOMPARE(m.model->statusSnapshot().statusSequence, 3u);
    }

    void guardSkipsTheSample_data() { testing::addRows(guardRows); }
    void guardSkipsTheSample()
    {
        const StageRow &row = testing::currentRow(guardRows);
        MonitoredModel guarded(row.stage, false, row.configured);
        guarded.model->setIsSubmittingSetup(row.submitting);
        guarded.refresh();
        QCOMPARE(guarded.requests(), 0);
        QCOMPARE(guarded.model->statusSnapshot(), StatusSnapshot::empty());
    }

    void currentTaskWithoutAgent_data() { testing::addRows(taskRows); }
    void currentTaskWithoutAgent()
    {
        const StageRow &row = testing::currentRow(taskRows);
        MonitoredModel m(row.stage);
        m.model->setIsSubmittingSetup(row.submitting);
        QCOMPARE(m.model->currentTask(), QString::fromUtf8(row.task));
    }

    void readyAgent_data() { testing::addRows(readyRows); }
    void readyAgent()
    {
        const ReadyRow &row = testing::currentRow(readyRows);
        const bool finished = row.finished;
        MonitoredModel m(row.stage);
        m.answer("ready", row.ready);
        m.refresh();
        const auto complete = [&m](SetupPhase phase) {
            return m.model->setupProgress().at(int(phase)).state == ProgressState::complete;
        };
        QCOMPARE(m.model->installStage().has_value(), !finished);
        QCOMPARE(m.fixture.exists(persisted::installStageFile), !finished);
        QCOMPARE(m.model->overallState(), finished ? OverallState::online : OverallState::starting);
        QCOMPARE(m.model->installationValidated(), finished);
        QCOMPARE(m.model->onboardingCompleted(), finished);
        QVERIFY(!finished || !m.model->pendingSetupResume());
        QCOMPARE(complete(SetupPhase::handshake), finished);
        QCOMPARE(complete(SetupPhase::online), finished);
    }

    void loopPacing_data() { testing::addRows(pacingRows); }
    void loopPacing()
    {
        const PacingRow &row = testing::currentRow(pacingRows);
        MonitoredModel m(row.stage, true);
        // The first cycle starts at once.
        QVERIFY(testing::spinUntil([&] { return m.requests() == 1; }));
        QVERIFY(testing::spinUntil([&] { return m.time.clock().sleeperCount() == 1; }));
        m.time.advance(std::chrono::milliseconds(row.pause - 1));
        QTest::qWait(50);
        QCOMPARE(m.requests(), 1);
        m.time.advance(1ms);
        QVERIFY(testing::spinUntil([&] { return m.requests() == 2; }));
        m.model->startStatusMonitoring(); // a second start changes nothing
        QVERIFY(testing::spinUntil([&] { return m.time.clock().sleeperCount() == 1; }));
        QCOMPARE(m.requests(), 2);
        m.model.reset(); // the loop ends with the model
        QCOMPARE(m.time.clock().sleeperCount(), 0);
        m.time.advance(10s);
        QCOMPARE(m.requests(), 2);
    }

    void heartbeat_data() { testing::addRows(heartbeatRows); }
    void heartbeat()
    {
        const HeartbeatRow &row = testing::currentRow(heartbeatRows);
        testing::ModelFixture fixture;
        auto model = fixture.build();
        const QDateTime beat(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC);
        if (row.ageMs != -1) {
            StatusSnapshot snapshot;
            snapshot.bridgeHeartbeatAt = beat;
            model->setStatusSnapshot(snapshot);
        }
        QCOMPARE(model->heartbeatDescription(beat.addMSecs(row.ageMs == -1 ? 0 : row.ageMs)), QString::fromUtf8(row.text));
    }
};

TALLOWMERE_TEST(MonitoringTest)
#include "tst_Monitoring.moc"
