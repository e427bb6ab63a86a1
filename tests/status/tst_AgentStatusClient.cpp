#include "cli/Errors.h"
#include "status/AgentStatusClient.h"
#include "status/FakeAgent.h"

using namespace tallowmere;
using testing::FakeAgent;
using testing::RawHttpServer;
using namespace std::chrono_literals;

namespace {

constexpr char ok[] = "ok";
constexpr char configInvalid[] = "AGENT_STATUS_CONFIG_INVALID";
constexpr char unavailable[] = "AGENT_STATUS_UNAVAILABLE";

// What a fetch ended with: "ok", the code of a TallowmereNativeError, or the kind of a passed-through error.
QString fetched(const QString &profileDirectory)
{
    try {
        testing::await(AgentStatusClient::create(profileDirectory)->fetch());
        return QLatin1String(ok);
    } catch (const TallowmereNativeError &error) {
        return error.code();
    } catch (const FileError &) {
        return QStringLiteral("file");
    } catch (const TransportError &) {
        return QStringLiteral("transport");
    } catch (const DecodingError &) {
        return QStringLiteral("decoding");
    }
}

// Empty when the body decodes, the decoding error's description otherwise.
QString decodingError(const QByteArray &body)
{
    try {
        AgentRuntimeStatus::fromJson(body);
        return {};
    } catch (const DecodingError &error) {
        return QString::fromUtf8(error.what());
    }
}

// A sample whose `key` member is written as `written`, after decoys: the key inside a string, inside a
// nested object, and a duplicate. The member itself is written with an escaped first letter.
QByteArray sampleWithInteger(const QByteArray &key, const QByteArray &written)
{
    QByteArray body =
        R"({"sampledAt":"2026-01-01T09:00:00Z","lifecycle":"running","ready":true,"version":"1",)"
        R"("busy":false,"queueSize":0,"pid":1,"x":"\"KEY\":1","y":{"KEY":2},"ESCAPED":WRITTEN})";
    return body.replace("ESCAPED", "\\u00" + QByteArray::number(key.at(0), 16) + key.mid(1))
        .replace("KEY", key)
        .replace("WRITTEN", written);
}

struct IntegerRow {
    const char *name, *key, *written;
    std::optional<qint64> value; // none: refused
};
constexpr qint64 largest = std::numeric_limits<qint64>::max(), smallest = std::numeric_limits<qint64>::min();
const IntegerRow integerRows[] = {
    {"largest", "pid", "9223372036854775807", largest},
    {"smallest", "pid", "-9223372036854775808", smallest},
    {"one above the largest", "pid", "9223372036854775808", {}},
    {"one below the smallest", "pid", "-9223372036854775809", {}},
    {"queue size one below the smallest", "queueSize", "-9223372036854775809", {}},
    {"below the smallest, written as real", "queueSize", "-9223372036854775809.0", {}},
    {"smallest with an exponent", "queueSize", "-922337203685477580.8e1", smallest},
    {"whole number written as real", "queueSize", "3.0", 3},
    {"exponent", "queueSize", "1.5E3", 1500},
    {"negative zero", "queueSize", "-0", 0},
    {"fraction", "queueSize", "1.5", {}},
    {"fraction by exponent", "queueSize", "15e-1", {}},
    {"huge exponent", "queueSize", "1e300", {}},
    {"zero with a huge exponent", "queueSize", "0e999999999999", 0},
};

struct ReplyRow {
    const char *name;
    RawHttpServer::Answer answer; // %1 is the agent's port, %2 another server's on 127.0.0.2
    const char *result;
    bool cutShort = false; // the client ends the reply before the agent has sent it all
};
const ReplyRow replyRows[] = {
    {"200", RawHttpServer::reply(200, FakeAgent::sample()), ok},
    {"401", RawHttpServer::reply(401), unavailable},
    {"204", RawHttpServer::reply(204), unavailable},
    {"500", RawHttpServer::reply(500, FakeAgent::sample()), unavailable},
    {"200, not a sample", RawHttpServer::reply(200, "<html>"), "decoding"},
    {"redirect to another host", RawHttpServer::redirect("http://127.0.0.2:%2/tui/status"), unavailable},
    {"redirect to another host name", RawHttpServer::redirect("http://localhost:%1/tui/status"), unavailable},
    {"relative redirect", RawHttpServer::redirect("/tui/status"), unavailable},
    {"unusable redirect", RawHttpServer::redirect("http://[::1"), unavailable},
    {"body cut short", {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{"}, "transport"},
    {"512 MB body", {"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", 0ms, 512LL << 20}, unavailable, true},
    {"dripping past the request limit",
     {RawHttpServer::reply(200, FakeAgent::sample()).bytes, 100ms},
     "transport",
     true},
};

} // namespace

class AgentStatusClientTest : public QObject {
    Q_OBJECT

private slots:
    void portFile_data()
    {
        QTest::addColumn<QString>("text"); // %1 is the fake agent's port
        QTest::addColumn<QString>("result");
        QTest::newRow("port and line break") << "%1\n" << ok;
        QTest::newRow("leading plus") << "+%1" << ok;
        QTest::newRow("blanks around") << "  %1 \t\n" << ok;
        QTest::newRow("empty") << "" << configInvalid;
        for (const char *refused : {"80 80", "0x50", "0", "65536", "-1", "abc", "99999999999999999999"})
            QTest::newRow(refused) << refused << configInvalid;
    }

    void portFile()
    {
        QFETCH(QString, text);
        QFETCH(QString, result);
        testing::ScratchHome home;
        FakeAgent agent;
        agent.publish(home.path());
        testing::writeFile(home.path() + QStringLiteral("/tui-port"),
                           text.toUtf8().replace("%1", QByteArray::number(agent.port())));
        QCOMPARE(fetched(home.path()), result);
        QCOMPARE(agent.requests.size(), result == QLatin1String(ok) ? 1 : 0);
    }

    void portRange()
    {
        for (const auto &[text, port] : {std::pair{"1", 1}, {"65535", 65535}, {"+0", 0}, {"-0", 0}})
            QCOMPARE(int(AgentStatusClient::parsePort(QLatin1String(text)).value_or(0)), port);
    }

    void tokenFile_data()
    {
        QTest::addColumn<QByteArray>("token");
        QTest::addColumn<QString>("result");
        QTest::newRow("line break after") << QByteArray("tok-123\n") << ok;
        QTest::newRow("blank") << QByteArray(" \t ") << configInvalid;
        QTest::newRow("header inside") << QByteArray("tok\r\nX-Injected: 1") << configInvalid;
        QTest::newRow("control character inside") << QByteArray("tok\x01-123") << configInvalid;
    }

    void tokenFile()
    {
        QFETCH(QByteArray, token);
        QFETCH(QString, result);
        testing::ScratchHome home;
        FakeAgent agent;
        agent.publish(home.path(), "stale");
        QCOMPARE(fetched(home.path()), QLatin1String(ok));
        // Read again on the next call: nothing is cached.
        testing::writeFile(home.path() + QStringLiteral("/tui-token"), token);
        QCOMPARE(fetched(home.path()), result);
        QCOMPARE(agent.requests.size(), result == QLatin1String(ok) ? 2 : 1);
        QCOMPARE(agent.header(agent.requests.size() - 1, "Authorization"),
                 result == QLatin1String(ok) ? QByteArray("Bearer tok-123") : QByteArray("Bearer stale"));
    }

    void missingOrBrokenFilesAreFileErrors()
    {
        testing::ScratchHome home;
        QCOMPARE(fetched(home.path()), QStringLiteral("file"));
        testing::writeFile(home.path() + QStringLiteral("/tui-port"), "8080\n");
        QCOMPARE(fetched(home.path()), QStringLiteral("file")); // the token is still missing
        testing::writeFile(home.path() + QStringLiteral("/tui-token"), "tok\xff\n");
        QCOMPARE(fetched(home.path()), QStringLiteral("file")); // not UTF-8
    }

    void replies_data() { testing::addRows(replyRows); }

    void replies()
    {
        const ReplyRow &row = testing::currentRow(replyRows);
        testing::ScratchHome home;
        FakeAgent agent;
        RawHttpServer elsewhere(QHostAddress(QStringLiteral("127.0.0.2")));
        elsewhere.answers = {RawHttpServer::reply(200, FakeAgent::sample())};
        RawHttpServer::Answer answer = row.answer;
        answer.bytes.replace("%1", QByteArray::number(agent.port()))
            .replace("%2", QByteArray::number(elsewhere.port()));
        agent.answers = {answer};
        agent.publish(home.path());
        QCOMPARE(fetched(home.path()), QLatin1String(row.result));
        QCOMPARE(agent.requests.size(), 1);
        QVERIFY(elsewhere.requests.isEmpty()); // neither the request nor its token left the agent
        if (row.cutShort)
            QVERIFY2(agent.sent < std::min<qint64>(answer.bytes.size() + answer.filler, 32 << 20),
                     qPrintable(QString::number(agent.sent)));
    }

    void decoding_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("decodes");
        const auto sample = [](const char *key, const QJsonValue &value) {
            return FakeAgent::sample({{QLatin1String(key), value}});
        };
        QTest::newRow("complete") << FakeAgent::sample() << true;
        QTest::newRow("optional keys absent")
            << FakeAgent::sample({}, {QStringLiteral("compacting"), QStringLiteral("codingSession")}) << true;
        QTest::newRow("optional keys null") << sample("compacting", QJsonValue::Null) << true;
        QTest::newRow("unknown keys ignored") << sample("extra", 1) << true;
        QTest::newRow("no pid") << FakeAgent::sample({}, {QStringLiteral("pid")}) << false;
        QTest::newRow("no sampledAt") << FakeAgent::sample({}, {QStringLiteral("sampledAt")}) << false;
        QTest::newRow("number for ready") << sample("ready", 1) << false;
        QTest::newRow("text for busy") << sample("busy", QStringLiteral("false")) << false;
        QTest::newRow("number for compacting") << sample("compacting", 0) << false;
        QTest::newRow("text for pid") << sample("pid", QStringLiteral("1")) << false;
        QTest::newRow("coding session without summary")
            << sample("codingSession", QJsonObject{{QStringLiteral("status"), QStringLiteral("x")}}) << false;
        QTest::newRow("array") << QByteArray("[]") << false;
        QTest::newRow("not JSON") << QByteArray("<html>") << false;
    }

    void decoding()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, decodes);
        QCOMPARE(decodingError(body).isEmpty(), decodes);
    }

    // Integers are taken from the digits as written, not through a double.
    void integers_data() { testing::addRows(integerRows); }

    void integers()
    {
        const IntegerRow &row = testing::currentRow(integerRows);
        const QByteArray body = sampleWithInteger(row.key, row.written);
        QVERIFY(QJsonDocument::fromJson(body).isObject());
        if (!row.value) {
            QVERIFY_THROWS_EXCEPTION(DecodingError, AgentRuntimeStatus::fromJson(body));
            return;
        }
        const AgentRuntimeStatus status = AgentRuntimeStatus::fromJson(body);
        QCOMPARE(qstrcmp(row.key, "pid") == 0 ? status.pid : status.queueSize, *row.value);
    }

    void dates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("date"); // invalid: refused
        const QDate day(2025, 3, 1);
        QTest::newRow("Z") << "2025-03-01T08:15:30Z" << QDateTime(day, QTime(8, 15, 30), Qt::UTC);
        QTest::newRow("tenths") << "2025-03-01T08:15:30.5Z" << QDateTime(day, QTime(8, 15, 30, 500), Qt::UTC);
        QTest::newRow("milliseconds")
            << "2025-03-01T08:15:30.250Z" << QDateTime(day, QTime(8, 15, 30, 250), Qt::UTC);
        QTest::newRow("offset") << "2025-03-01T08:15:30+08:00" << QDateTime(day, QTime(0, 15, 30), Qt::UTC);
        QTest::newRow("negative offset with fraction")
            << "2025-03-01T08:15:30.1-01:30" << QDateTime(day, QTime(9, 45, 30, 100), Qt::UTC);
        QTest::newRow("blank instead of T, no zone") << "2025-03-01 08:15:30" << QDateTime();
        QTest::newRow("no zone") << "2025-03-01T08:15:30" << QDateTime();
        QTest::newRow("no seconds") << "2025-03-01T08:15Z" << QDateTime();
        QTest::newRow("day 30 of February") << "2025-02-30T08:15:30Z" << QDateTime();
        QTest::newRow("hour 24") << "2025-03-01T24:00:00Z" << QDateTime();
        QTest::newRow("empty fraction") << "2025-03-01T08:15:30.Z" << QDateTime();
        QTest::newRow("trailing line feed") << "2025-03-01T08:15:30Z\n" << QDateTime();
    }

    void dates()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, date);
        QCOMPARE(AgentRuntimeStatus::parseDate(text).value_or(QDateTime()), date);
    }

    void undecodableDateSaysSo()
    {
        const auto sample = [](const QJsonValue &date) {
            return FakeAgent::sample({{QStringLiteral("sampledAt"), date}});
        };
        const QString description = decodingError(sample(QStringLiteral("2025-03-01 08:15:30")));
        QVERIFY2(description.contains(QStringLiteral("Invalid ISO-8601 date")), qPrintable(description));
        QVERIFY(!decodingError(sample(1740816930)).isEmpty());
    }

    void decodedSample()
    {
        const AgentRuntimeStatus expected{
            QDateTime(QDate(2026, 1, 1), QTime(9, 0, 0, 250), Qt::UTC),
            QStringLiteral("running"),
            false,
            QStringLiteral("1.2.3"),
            true,
            std::nullopt,
            2,
            4242,
            AgentRuntimeStatus::CodingSession{QStringLiteral("in_progress"), QStringLiteral("fix")}};
        QCOMPARE(AgentRuntimeStatus::fromJson(
                     R"({"sampledAt":"2026-01-01T09:00:00.250Z","lifecycle":"running","ready":false,)"
                     R"("version":"1.2.3","busy":true,"compacting":null,"queueSize":2,"pid":4242,)"
                     R"("codingSession":{"status":"in_progress","taskSummary":"fix"}})"),
                 expected);
    }
};

TALLOWMERE_TEST(AgentStatusClientTest)
#include "tst_AgentStatusClient.moc"
