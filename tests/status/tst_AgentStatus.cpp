#include "app/OutsideWorld.h"
#include "app/PersistedState.h"
#include "cli/Errors.h"
#include "status/AgentStatusClient.h"
#include "status/StatusPresentation.h"
#include "support/FakeAgent.h"

#include <QFile>

using namespace tallowmere;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using testing::FakeAgent;
using testing::RawHttpServer;

namespace {

constexpr char ok[] = "ok", configInvalid[] = "AGENT_STATUS_CONFIG_INVALID", unavailable[] = "AGENT_STATUS_UNAVAILABLE";

// What a fetch ended with: "ok", the code of a TallowmereNativeError, or the kind of a passed-through error.
QString fetched(const QString &profileDirectory)
{
    const auto fine = [](const AgentRuntimeStatus &) { return QLatin1String(ok); };
    return testing::ending(AgentStatusClient::create(profileDirectory)->fetch(), fine).section(u' ', 0, 0);
}

// A sample whose `key` member is written as `written`, after decoys: the key inside a string, inside a
// nested object, and a duplicate. The member itself is written with an escaped first letter.
QByteArray integer(const QByteArray &key, const QByteArray &written)
{
    QByteArray body = R"({"sampledAt":"2026-01-01T09:00:00Z","lifecycle":"running","ready":true,"version":"1",)"
        R"("busy":false,"queueSize":0,"pid":1,"x":)" "\"\\\"KEY\\\":1\"" R"(,"y":{"KEY":2},"ESCAPED":WRITTEN})";
    return body.replace("ESCAPED", "\\u00" + QByteArray::number(key.at(0), 16) + key.mid(1)).replace("KEY", key)
        .replace("WRITTEN", written);
}

// cutShort: the client ends the reply before the agent has sent it all.
const struct ReplyRow {
    const char *name; RawHttpServer::Answer answer; const char *result; bool cutShort = false;
} replyRows[] = {
    {"200", RawHttpServer::reply(200, FakeAgent::sample()), ok}, {"204", RawHttpServer::reply(204), unavailable},
    {"500", RawHttpServer::reply(500, FakeAgent::sample()), unavailable},
    {"200, not a sample", RawHttpServer::reply(200, "<html>"), "decoding"},
    // No redirect is followed, not even within the agent's origin (the exchange keeps others away).
    {"relative redirect", RawHttpServer::redirect("/tui/status"), unavailable},
    {"body cut short", {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{"}, "transport"},
    {"512 MB body", {"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", 0ms, 512LL << 20}, unavailable, true},
    {"dripping past the request limit", {RawHttpServer::reply(200, FakeAgent::sample()).bytes, 100ms}, "transport", true},
};

// The port or the token file rewritten between two fetches (nullptr: removed), and how the second ends. %1 is
// the fake agent's port; nothing listens on ports 1 and 65535.
struct FileRow { const char *name, *file, *text, *result; };
constexpr char port[] = "tui-port", token[] = "tui-token";
const FileRow fileRows[] = {
    {"port and line break", port, "%1\n", ok}, {"leading plus", port, "+%1", ok}, {"blanks around", port, "  %1 \t\n", ok},
    {"no port file", port, nullptr, "file"}, {"port not UTF-8", port, "%1\xff", "file"}, {"1", port, "1", "transport"},
    {"65535", port, "65535", "transport"}, {"empty", port, "", configInvalid}, {"two numbers", port, "80 80", configInvalid},
    {"hex", port, "0x50", configInvalid}, {"0", port, "0", configInvalid}, {"+0", port, "+0", configInvalid},
    {"-0", port, "-0", configInvalid}, {"65536", port, "65536", configInvalid}, {"-1", port, "-1", configInvalid},
    {"letters", port, "abc", configInvalid}, {"beyond 64 bits", port, "99999999999999999999", configInvalid},
    {"token and line break", token, "tok-123\n", ok}, {"blank token", token, " \t ", configInvalid},
    {"header inside the token", token, "tok\r\nX-Injected: 1", configInvalid},
    {"control character inside the token", token, "tok\x01-123", configInvalid}, {"no token file", token, nullptr, "file"},
    {"token not UTF-8", token, "tok\xff\n", "file"},
};

struct Sample {
    bool busy = false;
    qint64 queue = 0;
    int compacting = -1; // -1: absent
    const char *coding = nullptr;

    AgentRuntimeStatus status() const
    {
        return {QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC), u"running"_s, true, u"1.0.0"_s, busy,
                compacting < 0 ? std::nullopt : std::optional(compacting == 1), queue, 1,
                coding ? std::optional(AgentRuntimeStatus::CodingSession{QLatin1String(coding), u"task"_s}) : std::nullopt};
    }
};

constexpr char coding[] = "in_progress";
const struct PresentationRow {
    const char *name; std::optional<Sample> previous; Sample current; const char *title, *activity; // activity nullptr: none
} presentationRows[] = {
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

// A stage (empty: finished), whether setup is being submitted, the current task, whether the sample is skipped.
const struct StageRow {
    const char *name, *stage; bool configured, submitting; const char *task; bool skips;
} stageRows[] = {
    {"daemon", "daemon", true, false, "等待 Agent 状态", true},
    {"permissions", "permissions", true, false, "等待 Agent 状态", true},
    {"submitting", "setup", true, true, "Tallowmere 正在完成设置", true},
    {"not configured", "", false, false, "等待 Agent 状态", true},
    {"waiting for setup", "setup", true, false, "Waiting for setup", false},
};
const struct ReadyRow { const char *name, *stage; bool ready, finished; } readyRows[] = {
    {"handshake, ready: finished", "handshake", true, true}, {"handshake, not ready", "handshake", false, false},
    {"channel, ready: waits for the binding", "channel", true, false}};
struct HeartbeatRow { const char *name; int ageMs; const char *text; }; // ageMs -1: no heartbeat
const HeartbeatRow heartbeatRows[] = {
    {"none", -1, "尚未收到"}, {"1.9 seconds", 1900, "刚刚"}, {"2.0 seconds", 2000, "2 秒前"},
    {"5.99 seconds", 5990, "5 秒前"}, {"in the future", -5000, "刚刚"},
};

// A model with a fake agent, every permission granted (none verified yet) and no update offered.
struct MonitoredModel : testing::OutsideWorld {
    FakeAgent agent;

    explicit MonitoredModel(const char *stage = "", bool autoResume = false, bool configured = true)
    {
        at(*stage ? stage : nullptr, configured, nullptr);
        agent.publish(fixture.profile);
        build(autoResume);
    }

    void refresh() { testing::await(model->refreshAgentStatus()); }
    void answer(const char *key, const QJsonValue &value) { agent.answerWith(FakeAgent::sample({{QLatin1String(key), value}})); }
    int requests() const { return int(agent.requests.size()); }
};


} // namespace

class AgentStatusClientTest : public QObject {
    Q_OBJECT

private slots:
    // Both files are read again on every fetch: nothing is cached.
    void files_data() { testing::addRows(fileRows); }
    void files()
    {
        const FileRow &row = testing::currentRow(fileRows);
        const bool good = row.result == ok;
        testing::ScratchHome home;
        FakeAgent agent;
        agent.publish(home.path(), "stale");
        QCOMPARE(fetched(home.path()), QLatin1String(ok));
        const QString path = home.path() + u'/' + QLatin1String(row.file);
        row.text ? testing::writeFile(path, QByteArray(row.text).replace("%1", QByteArray::number(agent.port())))
                 : void(QFile::remove(path));
        QCOMPARE(fetched(home.path()), QLatin1String(row.result));
        QCOMPARE(agent.requests.size(), good ? 2 : 1);
        QCOMPARE(agent.header(agent.requests.size() - 1, "Authorization"),
                 good && row.file == token ? "Bearer tok-123" : "Bearer stale");
    }

    void replies_data() { testing::addRows(replyRows); }
    void replies()
    {
        const ReplyRow &row = testing::currentRow(replyRows);
        testing::ScratchHome home;
        FakeAgent agent;
        agent.answers = {row.answer};
        agent.publish(home.path());
        QCOMPARE(fetched(home.path()), QLatin1String(row.result));
        QCOMPARE(agent.requests.size(), 1);
        if (row.cutShort)
            QVERIFY2(agent.sent < std::min<qint64>(row.answer.bytes.size() + row.answer.filler, 32 << 20),
                     qPrintable(QString::number(agent.sent)));
    }

    // A body decodes (and the member named before "=" is the value after it) or fails as described. Integers
    // are taken from the digits as written, not through a double.
    void decoding_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("result");
        const auto with = [](const char *key, const QJsonValue &value) { return FakeAgent::sample({{QLatin1String(key), value}}); };
        const auto without = [](const QStringList &keys) { return FakeAgent::sample({}, keys); };
        const auto at = [](const char *date) { return FakeAgent::sample({{u"sampledAt"_s, QLatin1String(date)}}); };
        QTest::newRow("complete") << FakeAgent::sample() << "pid=4242";
        QTest::newRow("optional keys absent") << without({u"compacting"_s, u"codingSession"_s}) << "";
        QTest::newRow("optional keys null") << with("compacting", QJsonValue::Null) << "";
        QTest::newRow("unknown keys ignored") << with("extra", 1) << "";
        QTest::newRow("no pid") << without({u"pid"_s}) << "pid: key not found";
        QTest::newRow("no sampledAt") << without({u"sampledAt"_s}) << "sampledAt: key not found";
        QTest::newRow("number for the date") << with("sampledAt", 1740816930) << "sampledAt: expected a string";
        QTest::newRow("number for ready") << with("ready", 1) << "ready: expected a truth value";
        QTest::newRow("text for busy") << with("busy", u"false"_s) << "busy: expected a truth value";
        QTest::newRow("number for compacting") << with("compacting", 0) << "compacting: expected a truth value";
        QTest::newRow("text for pid") << with("pid", u"1"_s) << "pid: expected an integer";
        QTest::newRow("coding session without summary")
            << with("codingSession", QJsonObject{{u"status"_s, u"x"_s}}) << "codingSession.taskSummary: key not found";
        QTest::newRow("text for coding session") << with("codingSession", u"x"_s) << "codingSession: expected an object";
        QTest::newRow("array") << QByteArray("[]") << "expected an object";
        QTest::newRow("not JSON") << QByteArray("<html>") << "not JSON: ";
        QTest::newRow("tenths") << at("2025-03-01T08:15:30.5Z") << "sampledAt=2025-03-01T08:15:30.500Z";
        QTest::newRow("milliseconds") << at("2025-03-01T08:15:30.2509Z") << "sampledAt=2025-03-01T08:15:30.250Z";
        QTest::newRow("offset") << at("2025-03-01T08:15:30+08:00") << "sampledAt=2025-03-01T00:15:30.000Z";
        QTest::newRow("negative offset, fraction") << at("2025-03-01T08:15:30.1-01:30") << "sampledAt=2025-03-01T09:45:30.100Z";
        for (const char *refused : {"2025-03-01 08:15:30", "2025-03-01T08:15:30", "2025-03-01T08:15Z", "2025-02-30T08:15:30Z",
                                    "2025-03-01T24:00:00Z", "2025-03-01T08:15:30.Z", "2025-03-01T08:15:30Z\n"})
            QTest::newRow(refused) << at(refused) << "sampledAt: Invalid ISO-8601 date";
        const char *const refusedInteger = "queueSize: expected an integer";
        QTest::newRow("largest") << integer("pid", "9223372036854775807") << "pid=9223372036854775807";
        QTest::newRow("smallest") << integer("pid", "-9223372036854775808") << "pid=-9223372036854775808";
        QTest::newRow("one above the largest") << integer("pid", "9223372036854775808") << "pid: expected an integer";
        QTest::newRow("one below the smallest") << integer("queueSize", "-9223372036854775809") << refusedInteger;
        QTest::newRow("below the smallest, written as real") << integer("queueSize", "-9223372036854775809.0") << refusedInteger;
        QTest::newRow("smallest with an exponent") << integer("queueSize", "-922337203685477580.8e1")
                                                   << "queueSize=-9223372036854775808";
        QTest::newRow("whole number written as real") << integer("queueSize", "3.0") << "queueSize=3";
        QTest::newRow("exponent") << integer("queueSize", "1.5E3") << "queueSize=1500";
        QTest::newRow("negative zero") << integer("queueSize", "-0") << "queueSize=0";
        QTest::newRow("fraction") << integer("queueSize", "1.5") << refusedInteger;
        QTest::newRow("fraction by exponent") << integer("queueSize", "15e-1") << refusedInteger;
        QTest::newRow("huge exponent") << integer("queueSize", "1e300") << refusedInteger;
        QTest::newRow("zero with a huge exponent") << integer("queueSize", "0e999999999999") << "queueSize=0";
    }
    void decoding()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, result);
        try {
            const AgentRuntimeStatus status = AgentRuntimeStatus::fromJson(body);
            const QString key = result.section(u'=', 0, 0);
            const QString value = key == u"pid"         ? QString::number(status.pid)
                                  : key == u"queueSize" ? QString::number(status.queueSize)
                                                        : status.sampledAt.toString(Qt::ISODateWithMs);
            QCOMPARE(result.contains(u'=') ? key + u'=' + value : QString(), result);
        } catch (const DecodingError &decoding) {
            QVERIFY2(!result.isEmpty() && QString::fromUtf8(decoding.what()).startsWith(result), decoding.what());
        }
    }
};

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
        const QJsonObject coding{{u"status"_s, u"in_progress"_s}, {u"taskSummary"_s, u"fix"_s}};
        m.agent.answerWith(FakeAgent::sample({{u"busy"_s, true}, {u"queueSize"_s, 2}, {u"pid"_s, 77},
                                              {u"codingSession"_s, coding}}));
        m.refresh();
        const QDateTime at(QDate(2026, 1, 1), QTime(9, 0, 0, 250), Qt::UTC);
        StatusSnapshot expected{u"Coding"_s, true, true, true, at, true, at, u"1.2.3"_s, std::nullopt, 77, 2, 1};
        QCOMPARE(m.model->statusSnapshot(), expected);
        QCOMPARE(m.model->overallState(), OverallState::online);
        QVERIFY(m.model->activities().isEmpty()); // the first sample has nothing to compare with
        QCOMPARE(m.model->headlineStatusTitle(), u"Coding"_s);
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

    void withoutSample_data() { testing::addRows(stageRows); }
    void withoutSample()
    {
        const StageRow &row = testing::currentRow(stageRows);
        MonitoredModel m(row.stage, false, row.configured);
        m.model->setIsSubmittingSetup(row.submitting);
        QCOMPARE(m.model->currentTask(), QString::fromUtf8(row.task));
        m.refresh();
        QCOMPARE(m.requests(), row.skips ? 0 : 1);
    }

    void readyAgent_data() { testing::addRows(readyRows); }
    void readyAgent()
    {
        const ReadyRow &row = testing::currentRow(readyRows);
        MonitoredModel m(row.stage);
        m.answer("ready", row.ready);
        m.refresh();
        QCOMPARE(m.model->installStage().has_value(), !row.finished);
        QCOMPARE(m.fixture.exists(persisted::installStageFile), !row.finished);
        QCOMPARE(m.model->overallState(), row.finished ? OverallState::online : OverallState::starting);
        QCOMPARE(m.model->installationValidated(), row.finished);
        QCOMPARE(m.model->onboardingCompleted(), row.finished);
        QVERIFY(!row.finished || !m.model->pendingSetupResume());
        // The last two phases, handshake and online: both complete, or neither.
        QCOMPARE(testing::progressLetters(m.model->setupProgress()).right(2).count(u'c'), row.finished ? 2 : 0);
    }

    // The first cycle starts at once, the next 2 seconds later.
    void loopPacing()
    {
        MonitoredModel m("", true);
        QVERIFY(testing::spinUntil([&] { return m.requests() == 1; }));
        QVERIFY(testing::spinUntil([&] { return m.time.clock().sleeperCount() == 1; }));
        m.time.advance(1999ms);
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
        const QDateTime beat(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC);
        StatusSnapshot snapshot;
        snapshot.bridgeHeartbeatAt = row.ageMs == -1 ? std::nullopt : std::optional(beat);
        QCOMPARE(presentation::heartbeat(snapshot, beat.addMSecs(row.ageMs)), QString::fromUtf8(row.text));
    }
};

TALLOWMERE_TEST(AgentStatusClientTest)
TALLOWMERE_TEST(MonitoringTest)
#include "tst_AgentStatus.moc"
