#include "cli/Errors.h"
#include "status/AgentStatusClient.h"
#include "status/FakeAgent.h"

#include <QElapsedTimer>
#include <QTcpServer>

using namespace tallowmere;
using testing::FakeAgent;

namespace {

// What a fetch ended with: "ok", the code of a TallowmereNativeError, or the kind of a passed-through error.
QString outcome(AgentStatusClient &client, AgentRuntimeStatus *status = nullptr,
                QString *description = nullptr)
{
    try {
        const AgentRuntimeStatus sample = testing::await(client.fetch());
        if (status)
            *status = sample;
        return QStringLiteral("ok");
    } catch (const TallowmereNativeError &error) {
        return error.code();
    } catch (const FileError &) {
        return QStringLiteral("file");
    } catch (const TransportError &) {
        return QStringLiteral("transport");
    } catch (const DecodingError &error) {
        if (description)
            *description = QString::fromUtf8(error.what());
        return QStringLiteral("decoding");
    }
}

} // namespace

class AgentStatusClientTest : public QObject {
    Q_OBJECT

private slots:
    void portFile_data()
    {
        QTest::addColumn<QString>("text"); // %1 is the fake agent's port
        QTest::addColumn<QString>("result");

        QTest::newRow("port and line break") << "%1\n"
                                             << "ok";
        QTest::newRow("leading plus") << "+%1"
                                      << "ok";
        QTest::newRow("blanks around") << "  %1 \t\n"
                                       << "ok";
        QTest::newRow("inner blank") << "80 80"
                                     << "AGENT_STATUS_CONFIG_INVALID";
        QTest::newRow("hexadecimal") << "0x50"
                                     << "AGENT_STATUS_CONFIG_INVALID";
        QTest::newRow("zero") << "0"
                              << "AGENT_STATUS_CONFIG_INVALID";
        QTest::newRow("65536") << "65536"
                               << "AGENT_STATUS_CONFIG_INVALID";
        QTest::newRow("negative") << "-1"
                                  << "AGENT_STATUS_CONFIG_INVALID";
        QTest::newRow("letters") << "abc"
                                 << "AGENT_STATUS_CONFIG_INVALID";
        QTest::newRow("empty") << ""
                               << "AGENT_STATUS_CONFIG_INVALID";
        QTest::newRow("overflowing") << "99999999999999999999"
                                     << "AGENT_STATUS_CONFIG_INVALID";
    }

    void portFile()
    {
        QFETCH(QString, text);
        QFETCH(QString, result);
        testing::ScratchHome home;
        FakeAgent agent;
        agent.publish(home.path());
        testing::writeFile(home.path() + QStringLiteral("/tui-port"), text.arg(agent.port).toUtf8());
        const auto client = AgentStatusClient::create(home.path());
        QCOMPARE(outcome(*client), result);
        QCOMPARE(agent.requests, result == QLatin1String("ok") ? 1 : 0);
    }

    void portRange_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port"); // 0: refused
        QTest::newRow("1") << "1" << 1;
        QTest::newRow("65535") << "65535" << 65535;
        QTest::newRow("+0") << "+0" << 0;
        QTest::newRow("-0") << "-0" << 0;
    }

    void portRange()
    {
        QFETCH(QString, text);
        QFETCH(int, port);
        QCOMPARE(int(AgentStatusClient::parsePort(text).value_or(0)), port);
    }

    void tokenIsSentWithoutItsLineBreak()
    {
        testing::ScratchHome home;
        FakeAgent agent;
        agent.publish(home.path(), "tok-123");
        const auto client = AgentStatusClient::create(home.path());
        QCOMPARE(outcome(*client), QStringLiteral("ok"));
        QCOMPARE(agent.lastAuthorization, QByteArray("Bearer tok-123"));
        // A new token is read on the next call: nothing is cached.
        agent.publish(home.path(), "tok-456");
        QCOMPARE(outcome(*client), QStringLiteral("ok"));
        QCOMPARE(agent.lastAuthorization, QByteArray("Bearer tok-456"));
    }

    void blankTokenIsAConfigurationError()
    {
        testing::ScratchHome home;
        FakeAgent agent;
        agent.publish(home.path(), " \t ");
        const auto client = AgentStatusClient::create(home.path());
        QCOMPARE(outcome(*client), QStringLiteral("AGENT_STATUS_CONFIG_INVALID"));
        QCOMPARE(agent.requests, 0);
    }

    void missingOrBrokenFilesAreFileErrors()
    {
        testing::ScratchHome home;
        const auto client = AgentStatusClient::create(home.path());
        QCOMPARE(outcome(*client), QStringLiteral("file"));
        testing::writeFile(home.path() + QStringLiteral("/tui-port"), "8080\n");
        QCOMPARE(outcome(*client), QStringLiteral("file")); // the token is still missing
        testing::writeFile(home.path() + QStringLiteral("/tui-token"), "tok\xff\n");
        QCOMPARE(outcome(*client), QStringLiteral("file")); // not UTF-8
    }

    void onlyStatus200Counts_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("result");
        QTest::newRow("200") << 200 << "ok";
        QTest::newRow("401") << 401 << "AGENT_STATUS_UNAVAILABLE";
        QTest::newRow("204") << 204 << "AGENT_STATUS_UNAVAILABLE";
        QTest::newRow("500") << 500 << "AGENT_STATUS_UNAVAILABLE";
    }

    void onlyStatus200Counts()
    {
        QFETCH(int, status);
        QFETCH(QString, result);
        testing::ScratchHome home;
        FakeAgent agent;
        agent.publish(home.path());
        agent.status = QHttpServerResponse::StatusCode(status);
        const auto client = AgentStatusClient::create(home.path());
        QCOMPARE(outcome(*client), result);
    }

    void nobodyListening()
    {
        testing::ScratchHome home;
        quint16 freePort = 0;
        {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost, 0);
            freePort = probe.serverPort();
        }
        testing::writeFile(home.path() + QStringLiteral("/tui-port"), QByteArray::number(freePort));
        testing::writeFile(home.path() + QStringLiteral("/tui-token"), "t");
        const auto client = AgentStatusClient::create(home.path());
        QCOMPARE(outcome(*client), QStringLiteral("transport"));
    }

    void aSilentAgentCostsTwoSeconds()
    {
        testing::ScratchHome home;
        QTcpServer silent; // accepts and never answers
        silent.listen(QHostAddress::LocalHost, 0);
        testing::writeFile(home.path() + QStringLiteral("/tui-port"),
                           QByteArray::number(silent.serverPort()));
        testing::writeFile(home.path() + QStringLiteral("/tui-token"), "t");
        const auto client = AgentStatusClient::create(home.path());
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(outcome(*client), QStringLiteral("transport"));
        QVERIFY2(elapsed.elapsed() >= 1900 && elapsed.elapsed() < 5000,
                 qPrintable(QString::number(elapsed.elapsed())));
    }

    void decoding_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("result");

        QTest::newRow("complete") << FakeAgent::sample() << "ok";
        QTest::newRow("optional keys absent")
            << FakeAgent::sample({}, {QStringLiteral("compacting"), QStringLiteral("codingSession")}) << "ok";
        QTest::newRow("optional keys null")
            << FakeAgent::sample({{QStringLiteral("compacting"), QJsonValue::Null}}) << "ok";
        QTest::newRow("unknown keys ignored") << FakeAgent::sample({{QStringLiteral("extra"), 1}}) << "ok";
        QTest::newRow("whole-number queue written as real")
            << QByteArray(FakeAgent::sample()).replace("\"queueSize\":0", "\"queueSize\":3.0") << "ok";
        QTest::newRow("no pid") << FakeAgent::sample({}, {QStringLiteral("pid")}) << "decoding";
        QTest::newRow("no sampledAt") << FakeAgent::sample({}, {QStringLiteral("sampledAt")}) << "decoding";
        QTest::newRow("number for ready") << FakeAgent::sample({{QStringLiteral("ready"), 1}}) << "decoding";
        QTest::newRow("fraction for queue size")
            << FakeAgent::sample({{QStringLiteral("queueSize"), 1.5}}) << "decoding";
        QTest::newRow("text for busy")
            << FakeAgent::sample({{QStringLiteral("busy"), QStringLiteral("false")}}) << "decoding";
        QTest::newRow("number for compacting")
            << FakeAgent::sample({{QStringLiteral("compacting"), 0}}) << "decoding";
        QTest::newRow("coding session without summary")
            << FakeAgent::sample({{QStringLiteral("codingSession"),
                                   QJsonObject{{QStringLiteral("status"), QStringLiteral("x")}}}})
            << "decoding";
        QTest::newRow("array") << QByteArray("[]") << "decoding";
        QTest::newRow("not JSON") << QByteArray("<html>") << "decoding";
    }

    void decoding()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, result);
        testing::ScratchHome home;
        FakeAgent agent;
        agent.publish(home.path());
        agent.body = body;
        const auto client = AgentStatusClient::create(home.path());
        QCOMPARE(outcome(*client), result);
    }

    void decodedSample()
    {
        testing::ScratchHome home;
        FakeAgent agent;
        agent.publish(home.path());
        agent.body =
            FakeAgent::sample({{QStringLiteral("busy"), true},
                               {QStringLiteral("compacting"), QJsonValue::Null},
                               {QStringLiteral("queueSize"), 2},
                               {QStringLiteral("codingSession"),
                                QJsonObject{{QStringLiteral("status"), QStringLiteral("in_progress")},
                                            {QStringLiteral("taskSummary"), QStringLiteral("fix")}}}});
        const auto client = AgentStatusClient::create(home.path());
        AgentRuntimeStatus status;
        QCOMPARE(outcome(*client, &status), QStringLiteral("ok"));
        QCOMPARE(status.sampledAt, QDateTime(QDate(2026, 1, 1), QTime(9, 0, 0, 250), Qt::UTC));
        QCOMPARE(status.lifecycle, QStringLiteral("running"));
        QVERIFY(status.ready);
        QVERIFY(status.busy);
        QCOMPARE(status.compacting, std::nullopt);
        QCOMPARE(status.queueSize, 2);
        QCOMPARE(status.pid, 4242);
        QCOMPARE(status.codingSession,
                 (AgentRuntimeStatus::CodingSession{QStringLiteral("in_progress"), QStringLiteral("fix")}));
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
        testing::ScratchHome home;
        FakeAgent agent;
        agent.publish(home.path());
        agent.body =
            FakeAgent::sample({{QStringLiteral("sampledAt"), QStringLiteral("2025-03-01 08:15:30")}});
        const auto client = AgentStatusClient::create(home.path());
        QString description;
        QCOMPARE(outcome(*client, nullptr, &description), QStringLiteral("decoding"));
        QVERIFY2(description.contains(QStringLiteral("Invalid ISO-8601 date")), qPrintable(description));
        agent.body = FakeAgent::sample({{QStringLiteral("sampledAt"), 1740816930}});
        QCOMPARE(outcome(*client), QStringLiteral("decoding"));
    }
};

TALLOWMERE_TEST(AgentStatusClientTest)
#include "tst_AgentStatusClient.moc"
