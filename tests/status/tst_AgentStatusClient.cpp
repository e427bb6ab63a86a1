#include "cli/Errors.h"
#include "status/AgentStatusClient.h"
#include "status/FakeAgent.h"

using namespace tallowmere;
using namespace Qt::StringLiterals;
using testing::FakeAgent;
using testing::RawHttpServer;
using namespace std::chrono_literals;

namespace {

constexpr char ok[] = "ok", configInvalid[] = "AGENT_STATUS_CONFIG_INVALID", unavailable[] = "AGENT_STATUS_UNAVAILABLE";

// What a fetch ended with: "ok", the code of a TallowmereNativeError, or the kind of a passed-through error.
QString fetched(const QString &profileDirectory)
{
    try {
        testing::await(AgentStatusClient::create(profileDirectory)->fetch());
        return QLatin1String(ok);
    } catch (const TallowmereNativeError &error) {
        return error.code();
    } catch (const FileError &) {
        return u"file"_s;
    } catch (const TransportError &) {
        return u"transport"_s;
    } catch (const DecodingError &) {
        return u"decoding"_s;
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
    {"largest", "pid", "9223372036854775807", largest}, {"smallest", "pid", "-9223372036854775808", smallest},
    {"one above the largest", "pid", "9223372036854775808", {}},
    {"one below the smallest", "queueSize", "-9223372036854775809", {}},
    {"below the smallest, written as real", "queueSize", "-9223372036854775809.0", {}},
    {"smallest with an exponent", "queueSize", "-922337203685477580.8e1", smallest},
    {"whole number written as real", "queueSize", "3.0", 3}, {"exponent", "queueSize", "1.5E3", 1500},
    {"negative zero", "queueSize", "-0", 0}, {"fraction", "queueSize", "1.5", {}},
    {"fraction by exponent", "queueSize", "15e-1", {}}, {"huge exponent", "queueSize", "1e300", {}},
    {"zero with a huge exponent", "queueSize", "0e999999999999", 0},
};

struct ReplyRow {
    const char *name;
    RawHttpServer::Answer answer; // %1 is the agent's port, %2 another server's on 127.0.0.2
    const char *result;
    bool cutShort = false; // the client ends the reply before the agent has sent it all
};
const ReplyRow replyRows[] = {
    {"200", RawHttpServer::reply(200, FakeAgent::sample()), ok}, {"204", RawHttpServer::reply(204), unavailable},
    {"500", RawHttpServer::reply(500, FakeAgent::sample()), unavailable},
    {"200, not a sample", RawHttpServer::reply(200, "<html>"), "decoding"},
    {"redirect to another host", RawHttpServer::redirect("http://127.0.0.2:%2/tui/status"), unavailable},
    {"redirect to another host name", RawHttpServer::redirect("http://localhost:%1/tui/status"), unavailable},
    {"relative redirect", RawHttpServer::redirect("/tui/status"), unavailable},
    {"unusable redirect", RawHttpServer::redirect("http://[::1"), unavailable},
    {"body cut short", {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{"}, "transport"},
    {"512 MB body", {"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", 0ms, 512LL << 20}, unavailable, true},
    {"dripping past the request limit", {RawHttpServer::reply(200, FakeAgent::sample()).bytes, 100ms}, "transport", true},
};

struct TextRow {
    const char *name, *text, *result;
};
// %1 is the fake agent's port
const TextRow portRows[] = {
    {"port and line break", "%1\n", ok}, {"leading plus", "+%1", ok}, {"blanks around", "  %1 \t\n", ok},
    {"empty", "", configInvalid},        {"two numbers", "80 80", configInvalid}, {"hex", "0x50", configInvalid},
    {"0", "0", configInvalid},           {"65536", "65536", configInvalid},      {"-1", "-1", configInvalid},
    {"letters", "abc", configInvalid},   {"beyond 64 bits", "99999999999999999999", configInvalid},
};
const TextRow tokenRows[] = {
    {"line break after", "tok-123\n", ok}, {"blank", " \t ", configInvalid},
    {"header inside", "tok\r\nX-Injected: 1", configInvalid},
    {"control character inside", "tok\x01-123", configInvalid},
};

} // namespace

class AgentStatusClientTest : public QObject {
    Q_OBJECT

private slots:
    void portFile_data() { testing::addRows(portRows); }
    void portFile()
    {
        const TextRow &row = testing::currentRow(portRows);
        testing::ScratchHome home;
        FakeAgent agent;
        agent.publish(home.path());
        testing::writeFile(home.path() + u"/tui-port"_s, QByteArray(row.text).replace("%1", QByteArray::number(agent.port())));
        QCOMPARE(fetched(home.path()), QLatin1String(row.result));
        QCOMPARE(agent.requests.size(), row.result == ok ? 1 : 0);
    }

    void portRange()
    {
        for (const auto &[text, port] : {std::pair{"1", 1}, {"65535", 65535}, {"+0", 0}, {"-0", 0}})
            QCOMPARE(int(AgentStatusClient::parsePort(QLatin1String(text)).value_or(0)), port);
    }

    void tokenFile_data() { testing::addRows(tokenRows); }
    void tokenFile()
    {
        const TextRow &row = testing::currentRow(tokenRows);
        const bool good = row.result == ok;
        testing::ScratchHome home;
        FakeAgent agent;
        agent.publish(home.path(), "stale");
        QCOMPARE(fetched(home.path()), QLatin1String(ok));
        // Read again on the next call: nothing is cached.
        testing::writeFile(home.path() + u"/tui-token"_s, row.text);
        QCOMPARE(fetched(home.path()), QLatin1String(row.result));
        QCOMPARE(agent.requests.size(), good ? 2 : 1);
        QCOMPARE(agent.header(agent.requests.size() - 1, "Authorization"), good ? "Bearer tok-123" : "Bearer stale");
    }

    void missingOrBrokenFilesAreFileErrors()
    {
        testing::ScratchHome home;
        QCOMPARE(fetched(home.path()), u"file"_s);
        testing::writeFile(home.path() + u"/tui-port"_s, "8080\n");
        QCOMPARE(fetched(home.path()), u"file"_s); // the token is still missing
        testing::writeFile(home.path() + u"/tui-token"_s, "tok\xff\n");
        QCOMPARE(fetched(home.path()), u"file"_s); // not UTF-8
    }

    void replies_data() { testing::addRows(replyRows); }
    void replies()
    {
        const ReplyRow &row = testing::currentRow(replyRows);
        testing::ScratchHome home;
        FakeAgent agent;
        RawHttpServer elsewhere(QHostAddress(u"127.0.0.2"_s));
        elsewhere.answers = {RawHttpServer::reply(200, FakeAgent::sample())};
        RawHttpServer::Answer answer = row.answer;
        answer.bytes.replace("%1", QByteArray::number(agent.port())).replace("%2", QByteArray::number(elsewhere.port()));
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
        const auto with = [](const char *key, const QJsonValue &value) { return FakeAgent::sample({{QLatin1String(key), value}}); };
        const auto without = [](const QStringList &keys) { return FakeAgent::sample({}, keys); };
        QTest::newRow("complete") << FakeAgent::sample() << true;
        QTest::newRow("optional keys absent") << without({u"compacting"_s, u"codingSession"_s}) << true;
        QTest::newRow("optional keys null") << with("compacting", QJsonValue::Null) << true;
        QTest::newRow("unknown keys ignored") << with("extra", 1) << true;
        QTest::newRow("no pid") << without({u"pid"_s}) << false;
        QTest::newRow("no sampledAt") << without({u"sampledAt"_s}) << false;
        QTest::newRow("number for ready") << with("ready", 1) << false;
        QTest::newRow("text for busy") << with("busy", u"false"_s) << false;
        QTest::newRow("number for compacting") << with("compacting", 0) << false;
        QTest::newRow("text for pid") << with("pid", u"1"_s) << false;
        QTest::newRow("coding session without summary") << with("codingSession", QJsonObject{{u"status"_s, u"x"_s}}) << false;
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
        const auto at = [](int h, int m, int s, int ms = 0) { return QDateTime(QDate(2025, 3, 1), QTime(h, m, s, ms), Qt::UTC); };
        QTest::newRow("Z") << "2025-03-01T08:15:30Z" << at(8, 15, 30);
        QTest::newRow("tenths") << "2025-03-01T08:15:30.5Z" << at(8, 15, 30, 500);
        QTest::newRow("milliseconds") << "2025-03-01T08:15:30.250Z" << at(8, 15, 30, 250);
        QTest::newRow("offset") << "2025-03-01T08:15:30+08:00" << at(0, 15, 30);
        QTest::newRow("negative offset with fraction") << "2025-03-01T08:15:30.1-01:30" << at(9, 45, 30, 100);
        for (const char *refused : {"2025-03-01 08:15:30", "2025-03-01T08:15:30", "2025-03-01T08:15Z", "2025-02-30T08:15:30Z",
                                    "2025-03-01T24:00:00Z", "2025-03-01T08:15:30.Z", "2025-03-01T08:15:30Z\n"})
            QTest::newRow(refused) << refused << QDateTime();
    }
    void dates()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, date);
        QCOMPARE(AgentRuntimeStatus::parseDate(text).value_or(QDateTime()), date);
    }

    void undecodableDateSaysSo()
    {
        const QString description = decodingError(FakeAgent::sample({{u"sampledAt"_s, u"2025-03-01 08:15:30"_s}}));
        QVERIFY2(description.contains(u"Invalid ISO-8601 date"_s), qPrintable(description));
        QVERIFY(!decodingError(FakeAgent::sample({{u"sampledAt"_s, 1740816930}})).isEmpty());
    }

    void decodedSample()
    {
        const AgentRuntimeStatus expected{QDateTime(QDate(2026, 1, 1), QTime(9, 0, 0, 250), Qt::UTC), u"running"_s, false,
                                          u"1.2.3"_s, true, std::nullopt, 2, 4242,
                                          AgentRuntimeStatus::CodingSession{u"in_progress"_s, u"fix"_s}};
        QCOMPARE(AgentRuntimeStatus::fromJson(
                     R"({"sampledAt":"2026-01-01T09:00:00.250Z","lifecycle":"running","ready":false,"version":"1.2.3",)"
                     R"("busy":true,"compacting":null,"queueSize":2,"pid":4242,"codingSession":{"status":"in_progress","taskSummary":"fix"}})"),
                 expected);
    }
};

TALLOWMERE_TEST(AgentStatusClientTest)
#include "tst_AgentStatusClient.moc"
