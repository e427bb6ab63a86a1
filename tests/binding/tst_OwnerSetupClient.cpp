#include "binding/OwnerSetupClient.h"
#include "binding/OwnerSetupRules.h"
#include "cli/Errors.h"
#include "platform/StrictUrl.h"
#include "support/RawHttpServer.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>

using namespace tallowmere;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using testing::RawHttpServer;

namespace {

constexpr char apiKey[] = "sk-service-7f3a";

// An onboarding service on the loopback interface and a profile whose "config.json" points at it.
// In the texts below "{S}" stands for the service's origin.
struct Service {
    RawHttpServer server;
    QTemporaryDir profile;

    QString origin() const { return u"http://localhost:%1"_s.arg(server.port()); }
    QByteArray expand(const char *text) const { return QByteArray(text).replace("{S}", origin().toUtf8()); }
    void configure(QJsonObject config = {}) const
    {
        for (const auto &[key, value] :
             {std::pair(u"agentName"_s, QJsonValue(u"mac-1234"_s)),
              std::pair(u"onboardingServiceUrl"_s, QJsonValue(origin())),
              std::pair(u"tallowmereServiceApiKey"_s, QJsonValue(QLatin1String(apiKey)))})
            if (!config.contains(key))
                config.insert(key, value);
        testing::writeFile(profile.path() + u"/config.json"_s, QJsonDocument(config).toJson());
    }
    // Replies as "STATUS BODY", one per request.
    void answer(const QByteArrayList &replies)
    {
        server.answers.clear();
        for (const QByteArray &reply : replies) {
            const QByteArray text = expand(reply.constData());
            const qsizetype space = text.indexOf(' ');
            server.answers << RawHttpServer::reply(text.first(space).toInt(), text.sliced(space + 1));
        }
    }
    // Each request as "METHOD PATH TOKEN".
    QStringList requests() const
    {
        QStringList lines;
        for (qsizetype i = 0; i < server.requests.size(); ++i) {
            const QByteArray head = server.requests.at(i).first(server.requests.at(i).indexOf("\r\n"));
            lines << QString::fromUtf8(head.first(head.lastIndexOf(' ')) + ' ' +
                                       server.header(i, "Authorization").replace("Bearer ", ""));
        }
        return lines;
    }
    QString outcome(std::optional<QUrl> existing, bool force) const
    {
        try {
            const OwnerSetupSession s =
                testing::await(OwnerSetupClient(profile.path()).request(existing, force));
            const auto optional = [](const auto &value, auto show) {
                return value ? show(*value) : u"none"_s;
            };
            return u"required=%1 url=%2 expires=%3 live=%4 pending=%5"_s.arg(s.required)
                .arg(optional(s.url, [](const QUrl &u) { return u.toString(); }))
                .arg(optional(s.expiresAt, [](const QDateTime &d) { return d.toString(Qt::ISODate); }))
                .arg(s.hasLiveSession)
                .arg(optional(s.hasPendingBinding, [](bool b) { return b ? u"true"_s : u"false"_s; }))
                .replace(origin(), u"{S}"_s);
        } catch (const TallowmereNativeError &error) {
            return error.code() + u' ' + error.message();
        } catch (const DecodingError &) {
            return u"DecodingError"_s;
        } catch (const FileError &) {
            return u"FileError"_s;
        } catch (const TransportError &) {
            return u"TransportError"_s;
        }
    }
};

} // namespace

class OwnerSetupClientTest : public QObject {
    Q_OBJECT

private slots:
    void serviceUrlRule_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("http on localhost") << u"http://localhost:47800"_s << true;
        QTest::newRow("http on LOCALHOST") << u"HTTP://LOCALHOST/base"_s << true;
        QTest::newRow("https, any host") << u"https://onboarding.example.com/v1"_s << true;
        QTest::newRow("http on 127.0.0.1") << u"http://127.0.0.1:47800"_s << false;
        QTest::newRow("http elsewhere") << u"http://onboarding.example.com"_s << false;
        QTest::newRow("https with a query") << u"https://onboarding.example.com/?region=cn"_s << false;
        QTest::newRow("https with a fragment") << u"https://onboarding.example.com/#top"_s << false;
        QTest::newRow("https with a user") << u"https://ops@onboarding.example.com"_s << false;
        QTest::newRow("https with a password") << u"https://ops:pw@onboarding.example.com"_s << false;
        QTest::newRow("another scheme") << u"ftp://onboarding.example.com"_s << false;
    }
    void serviceUrlRule()
    {
        QFETCH(QString, url);
        QFETCH(bool, accepted);
        const std::optional<QUrl> parsed = strictUrl(url);
        QVERIFY(parsed);
        QCOMPARE(owner_setup::isServiceUrl(*parsed), accepted);
    }

    void setupLinkRule_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("plain") << u"https://svc.example/owner/mac-1234/setup#tok"_s << true;
        QTest::newRow("explicit 443") << u"https://svc.example:443/owner/mac-1234/setup#tok"_s << true;
        QTest::newRow("port 8443") << u"https://svc.example:8443/owner/mac-1234/setup#tok"_s << false;
        QTest::newRow("host case, query") << u"https://SVC.Example/p/mac-1234/setup?lang=zh#tok"_s << true;
        QTest::newRow("http") << u"http://svc.example/owner/mac-1234/setup#tok"_s << false;
        QTest::newRow("another host") << u"https://evil.example/owner/mac-1234/setup#tok"_s << false;
        QTest::newRow("user") << u"https://me@svc.example/owner/mac-1234/setup#tok"_s << false;
        QTest::newRow("empty fragment") << u"https://svc.example/owner/mac-1234/setup#"_s << false;
        QTest::newRow("no fragment") << u"https://svc.example/owner/mac-1234/setup"_s << false;
        QTest::newRow("another agent") << u"https://svc.example/owner/mac-9999/setup#tok"_s << false;
        QTest::newRow("not setup") << u"https://svc.example/owner/mac-1234/start#tok"_s << false;
        QTest::newRow("escaped slash") << u"https://svc.example/mac-1234%2Fsetup#tok"_s << false;
    }
    void setupLinkRule()
    {
        QFETCH(QString, link);
        QFETCH(bool, accepted);
        const std::optional<QUrl> parsed = strictUrl(link);
        QVERIFY(parsed);
        QCOMPARE(owner_setup::isSetupLink(*parsed, QUrl(u"https://svc.example"_s), u"mac-1234"_s), accepted);
    }

    void configuration_data()
    {
        QTest::addColumn<QByteArray>("config"); // nullptr: no file
        QTest::addColumn<QString>("outcome");
        const QString invalid = u"OWNER_SETUP_CONFIG_INVALID Channel 绑定配置无效"_s;
        QTest::newRow("no file") << QByteArray() << u"FileError"_s;
        QTest::newRow("not JSON") << QByteArray("{agentName") << u"DecodingError"_s;
        QTest::newRow("not an object") << QByteArray("[]") << invalid;
        QTest::newRow("no agent name") << QByteArray("{\"agentName\":\"\"}") << invalid;
        QTest::newRow("agent name ..") << QByteArray("{\"agentName\":\"..\"}") << invalid;
        QTest::newRow("http on 127.0.0.1")
            << QByteArray("{\"onboardingServiceUrl\":\"http://127.0.0.1:1\"}") << invalid;
        QTest::newRow("no API key") << QByteArray("{\"tallowmereServiceApiKey\":\"\"}") << invalid;
        QTest::newRow("API key with a line feed")
            << QByteArray("{\"tallowmereServiceApiKey\":\"k\\r\\nX-Injected: 1\"}") << invalid;
        QTest::newRow("API key not a string") << QByteArray("{\"tallowmereServiceApiKey\":7}") << invalid;
    }
    void configuration()
    {
        QFETCH(QByteArray, config);
        QFETCH(QString, outcome);
        Service service;
        if (QJsonDocument::fromJson(config).isObject())
            service.configure(QJsonDocument::fromJson(config).object());
        else if (!config.isEmpty())
            testing::writeFile(service.profile.path() + u"/config.json"_s, config);
        QCOMPARE(service.outcome(std::nullopt, false), outcome);
        QCOMPARE(service.server.requests.size(), 0);
    }

    void request_data()
    {
        QTest::addColumn<QString>("existing");
        QTest::addColumn<bool>("force");
        QTest::addColumn<QByteArrayList>("replies");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QStringList>("requests");
        const QString state = u"GET /api/agents/mac-1234/owner-provisioning "_s + QLatin1String(apiKey);
        const QString post = u"POST /api/agents/mac-1234/owner-provisioning "_s + QLatin1String(apiKey);
        const QString probe = u"GET /api/agents/mac-1234/setup held-token"_s;
        const QString held = u"{S}/owner/mac-1234/setup#held-token"_s;
        const char *live =
            "200 "
            "{\"onboardingComplete\":false,\"hasLiveSession\":true,\"expiresAt\":\"2026-03-01T08:15:30Z\"}";
        const char *notLive = "200 {\"onboardingComplete\":false,\"hasLiveSession\":false}";
        const char *created =
            "201 {\"setupUrl\":\"{S}/owner/mac-1234/setup#new\",\"expiresAt\":\"2026-03-01T09:00:00+01:00\"}";
        const QString newLink =
            u"required=1 url={S}/owner/mac-1234/setup#new expires=2026-03-01T08:00:00Z live=0 pending=none"_s;
        const QString unavailableState = u"OWNER_SETUP_UNAVAILABLE 暂时无法获取 Channel 绑定状态"_s;
        const QString unavailablePage = u"OWNER_SETUP_UNAVAILABLE 暂时无法获取 Channel 绑定页面"_s;
        const QString invalidPage = u"OWNER_SETUP_RESPONSE_INVALID Channel 绑定页面无效"_s;

        QTest::newRow("complete: nothing more asked")
            << held << false
            << QByteArrayList{"200 "
                              "{\"onboardingComplete\":true,\"hasLiveSession\":true,\"expiresAt\":\"2026-03-"
                              "01T08:15:30Z\"}"}
            << u"required=0 url=none expires=none live=0 pending=none"_s << QStringList{state};
        QTest::newRow("no live session: a new one (201)")
            << QString() << false << QByteArrayList{notLive, created} << newLink << QStringList{state, post};
        QTest::newRow("live, held link reused and probed")
            << held << false
            << QByteArrayList{live,
                              "200 {\"liveAttempts\":[{\"status\":\"accepted\"},{\"status\":\"pending\"}]}"}
            << u"required=1 url={S}/owner/mac-1234/setup#held-token expires=2026-03-01T08:15:30Z live=0 pending=true"_s
            << QStringList{state, probe};
        QTest::newRow("live, held link of another agent")
            << u"{S}/owner/mac-9999/setup#held-token"_s << false << QByteArrayList{live}
            << u"required=1 url=none expires=2026-03-01T08:15:30Z live=1 pending=none"_s
            << QStringList{state};
        QTest::newRow("live, held link without token")
            << u"{S}/owner/mac-1234/setup#"_s << false << QByteArrayList{live}
            << u"required=1 url=none expires=2026-03-01T08:15:30Z live=1 pending=none"_s
            << QStringList{state};
        QTest::newRow("live, nothing held")
            << QString() << false << QByteArrayList{live}
            << u"required=1 url=none expires=2026-03-01T08:15:30Z live=1 pending=none"_s
            << QStringList{state};
        QTest::newRow("live, forced: a new one")
            << held << true << QByteArrayList{live, created} << newLink << QStringList{state, post};
        QTest::newRow("hasLiveSession not a boolean")
            << held << false
            << QByteArrayList{"200 {\"onboardingComplete\":false,\"hasLiveSession\":\"true\"}", created}
            << newLink << QStringList{state, post};
        QTest::newRow("fractional-second expiry")
            << QString() << false
            << QByteArrayList{notLive, "200 "
                                       "{\"setupUrl\":\"{S}/owner/mac-1234/"
                                       "setup#new\",\"expiresAt\":\"2026-03-01T08:00:00.5Z\"}"}
            << u"required=1 url={S}/owner/mac-1234/setup#new expires=none live=0 pending=none"_s
            << QStringList{state, post};
        QTest::newRow("409") << QString() << false << QByteArrayList{notLive, "409 {}"}
                             << u"OWNER_SETUP_STATE_CHANGED Channel 绑定状态已更新，正在重新检查"_s
                             << QStringList{state, post};
        QTest::newRow("POST 500") << QString() << false << QByteArrayList{notLive, "500 {}"}
                                  << unavailablePage << QStringList{state, post};
        QTest::newRow("POST not an object") << QString() << false << QByteArrayList{notLive, "201 []"}
                                            << unavailablePage << QStringList{state, post};
        QTest::newRow("POST empty object") << QString() << false << QByteArrayList{notLive, "201 {}"}
                                           << invalidPage << QStringList{state, post};
        QTest::newRow("POST garbage") << QString() << false << QByteArrayList{notLive, "201 <html>"}
                                      << u"DecodingError"_s << QStringList{state, post};
        QTest::newRow("link of another origin")
            << QString() << false
            << QByteArrayList{notLive, "201 {\"setupUrl\":\"https://evil.example/owner/mac-1234/setup#t\"}"}
            << invalidPage << QStringList{state, post};
        QTest::newRow("GET 500") << held << false << QByteArrayList{"500 {}"} << unavailableState
                                 << QStringList{state};
        QTest::newRow("GET 204") << held << false << QByteArrayList{"204 "} << unavailableState
                                 << QStringList{state};
        QTest::newRow("GET without onboardingComplete")
            << held << false << QByteArrayList{"200 {\"hasLiveSession\":true}"} << unavailableState
            << QStringList{state};
        QTest::newRow("GET garbage") << held << false << QByteArrayList{"200 not json"} << u"DecodingError"_s
                                     << QStringList{state};
    }
    void request()
    {
        QFETCH(QString, existing);
        QFETCH(bool, force);
        QFETCH(QByteArrayList, replies);
        QFETCH(QString, outcome);
        QFETCH(QStringList, requests);
        Service service;
        service.configure();
        service.answer(replies);
        const std::optional<QUrl> held =
            existing.isEmpty() ? std::nullopt
                               : std::optional(QUrl(QString::fromUtf8(service.expand(existing.toUtf8()))));
        QCOMPARE(service.outcome(held, force), outcome);
        QCOMPARE(service.requests(), requests);
        // The POST carries neither a body nor a content type.
        for (const QByteArray &request : std::as_const(service.server.requests))
            QVERIFY(!request.contains("Content-Type") && request.endsWith("\r\n\r\n"));
    }

    // The link's length limit, right at its edge.
    void setupLinkLength_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("2048") << 2048 << true;
        QTest::newRow("2049") << 2049 << false;
    }
    void setupLinkLength()
    {
        QFETCH(int, length);
        QFETCH(bool, accepted);
        Service service;
        service.configure();
        const QString prefix = service.origin() + u"/owner/mac-1234/setup#"_s;
        const QString link = prefix + QString(length - prefix.size(), u't');
        service.server.answers = {
            RawHttpServer::reply(200, "{\"onboardingComplete\":false}"),
            RawHttpServer::reply(201, QJsonDocument(QJsonObject{{u"setupUrl"_s, link}}).toJson())};
        const QString outcome = service.outcome(std::nullopt, false);
        QVERIFY2(outcome.startsWith(accepted ? u"required=1 url={S}"_s : u"OWNER_SETUP_RESPONSE_INVALID"_s),
                 qPrintable(outcome));
    }

    // The probe answers none for anything unexpected, and false for an empty list; it never fails.
    void probeNone_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("pending");
        QTest::newRow("401") << QByteArray("401 {}") << u"none"_s;
        QTest::newRow("garbage") << QByteArray("200 <html>") << u"none"_s;
        QTest::newRow("no liveAttempts") << QByteArray("200 {}") << u"none"_s;
        QTest::newRow("liveAttempts not an array") << QByteArray("200 {\"liveAttempts\":{}}") << u"none"_s;
        QTest::newRow("an attempt not an object")
            << QByteArray("200 {\"liveAttempts\":[\"pending\"]}") << u"none"_s;
        QTest::newRow("empty") << QByteArray("200 {\"liveAttempts\":[]}") << u"false"_s;
        QTest::newRow("status PENDING")
            << QByteArray("200 {\"liveAttempts\":[{\"status\":\"PENDING\"}]}") << u"false"_s;
    }
    void probeNone()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, pending);
        Service service;
        service.configure();
        service.answer({"200 {\"onboardingComplete\":false,\"hasLiveSession\":true}", reply});
        const QUrl held(service.origin() + u"/owner/mac-1234/setup#tok"_s);
        QCOMPARE(service.outcome(held, false).section(u"pending="_s, 1), pending);
        QCOMPARE(service.server.requests.size(), 2);
    }

    // Each segment is one path component under the service's own path, whatever the agent name holds.
    void pathSegments()
    {
        Service service;
        const QString url = service.origin() + u"/base"_s;
        service.configure({{u"agentName"_s, u"m a/../c?#"_s}, {u"onboardingServiceUrl"_s, url}});
        service.answer({"200 {\"onboardingComplete\":true}"});
        service.outcome(std::nullopt, false);
        QCOMPARE(service.requests(),
                 QStringList{u"GET /base/api/agents/m%20a%2F..%2Fc%3F%23/owner-provisioning "_s +
                             QLatin1String(apiKey)});
    }

    // The token follows a redirect within its origin, never out of it; a redirect elsewhere is a reply
    // that is not 200.
    void redirects()
    {
        Service service;
        RawHttpServer elsewhere; // 127.0.0.1: another origin than localhost
        service.configure();
        service.server.answers = {
            RawHttpServer::reply(302, {}, "Location: " + elsewhere.url(u"/steal"_s).toEncoded() + "\r\n")};
        QCOMPARE(service.outcome(std::nullopt, false),
                 u"OWNER_SETUP_UNAVAILABLE 暂时无法获取 Channel 绑定状态"_s);
        QCOMPARE(elsewhere.requests.size(), 0);

        service.server.requests.clear();
        service.server.answers = {RawHttpServer::reply(307, {}, "Location: /moved\r\n"),
                                  RawHttpServer::reply(200, "{\"onboardingComplete\":true}")};
        QCOMPARE(service.outcome(std::nullopt, false),
                 u"required=0 url=none expires=none live=0 pending=none"_s);
        QCOMPARE(service.requests().value(1), u"GET /moved "_s + QLatin1String(apiKey));
    }

    // A reply over the limit is a failed request of its kind, not a buffer that grows.
    void oversizedReply()
    {
        Service service;
        service.configure();
        RawHttpServer::Answer huge = RawHttpServer::reply(200, "{\"onboardingComplete\":false, \"pad\":\"");
        huge.bytes.replace("Content-Length", "X-Length");
        huge.filler = 8 * OwnerSetupClient::replyLimit;
        service.server.answers = {huge};
        QCOMPARE(service.outcome(std::nullopt, false),
                 u"OWNER_SETUP_UNAVAILABLE 暂时无法获取 Channel 绑定状态"_s);
    }

    // A server that sends a byte now and then cannot hold a request past the session's limit.
    void drippingServer()
    {
        Service service;
        service.configure();
        RawHttpServer::Answer drip =
            RawHttpServer::reply(200, QByteArray(200, ' ') + "{\"onboardingComplete\":true}");
        drip.drip = 200ms;
        service.server.answers = {drip};
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(service.outcome(std::nullopt, false), u"TransportError"_s);
        QVERIFY2(elapsed.elapsed() >= 9500 && elapsed.elapsed() < 12000,
                 qPrintable(QString::number(elapsed.elapsed())));
    }
};

TALLOWMERE_TEST(OwnerSetupClientTest)
#include "tst_OwnerSetupClient.moc"
