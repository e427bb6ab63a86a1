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
const QString unavailableState = u"OWNER_SETUP_UNAVAILABLE 暂时无法获取 Channel 绑定状态"_s;

// An onboarding service on the loopback interface and a profile whose "config.json" points at it.
// In the texts below "{S}" stands for the service's origin.
struct Service {
    RawHttpServer server;
    QTemporaryDir profile;

    QString origin() const { return u"http://localhost:%1"_s.arg(server.port()); }
    QByteArray expand(const QByteArray &text) const
    {
        return QByteArray(text).replace("{S}", origin().toUtf8());
    }
    void configure(QJsonObject config = {}) const
    {
        const QJsonObject defaults{{u"agentName"_s, u"mac-1234"_s},
                                   {u"onboardingServiceUrl"_s, origin()},
                                   {u"tallowmereServiceApiKey"_s, QLatin1String(apiKey)}};
        for (auto it = defaults.begin(); it != defaults.end(); ++it)
            if (!config.contains(it.key()))
                config.insert(it.key(), it.value());
        testing::writeFile(profile.path() + u"/config.json"_s, QJsonDocument(config).toJson());
    }
    // Replies as "STATUS BODY", one per request.
    void answer(const QByteArrayList &replies)
    {
        server.answers.clear();
        for (const QByteArray &reply : replies) {
            const QByteArray text = expand(reply);
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
    QString outcome(std::optional<QUrl> existing = std::nullopt, bool force = false) const
    {
        try {
            const OwnerSetupSession s =
                testing::await(OwnerSetupClient(profile.path()).request(existing, force));
            const auto show = [](const auto &value, auto text) { return value ? text(*value) : u"none"_s; };
            return u"required=%1 url=%2 expires=%3 live=%4 pending=%5"_s.arg(s.required)
                .arg(show(s.url, [](const QUrl &u) { return u.toString(); }))
                .arg(show(s.expiresAt, [](const QDateTime &d) { return d.toString(Qt::ISODate); }))
                .arg(s.hasLiveSession)
                .arg(show(s.hasPendingBinding, [](bool b) { return b ? u"true"_s : u"false"_s; }))
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
    // Service URLs (against no agent) and setup links (against https://svc.example and mac-1234).
    void rules_data()
    {
        QTest::addColumn<bool>("link");
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("accepted");
        const auto row = [](const char *name, bool link, const QString &url, bool accepted) {
            QTest::newRow(name) << link << url << accepted;
        };
        row("service: http on localhost", false, u"http://localhost:47800"_s, true);
        row("service: http on LOCALHOST", false, u"HTTP://LOCALHOST/base"_s, true);
        row("service: https, any host", false, u"https://onboarding.example.com/v1"_s, true);
        row("service: http on 127.0.0.1", false, u"http://127.0.0.1:47800"_s, false);
        row("service: query", false, u"https://onboarding.example.com/?region=cn"_s, false);
        row("service: fragment", false, u"https://onboarding.example.com/#top"_s, false);
        row("service: user", false, u"https://ops@onboarding.example.com"_s, false);
        row("service: another scheme", false, u"ftp://onboarding.example.com"_s, false);
        row("link: plain", true, u"https://svc.example/owner/mac-1234/setup#tok"_s, true);
        row("link: explicit 443", true, u"https://svc.example:443/owner/mac-1234/setup#tok"_s, true);
        row("link: port 8443", true, u"https://svc.example:8443/owner/mac-1234/setup#tok"_s, false);
        row("link: host case, query", true, u"https://SVC.Example/p/mac-1234/setup?lang=zh#tok"_s, true);
        row("link: http", true, u"http://svc.example/owner/mac-1234/setup#tok"_s, false);
        row("link: user", true, u"https://me@svc.example/owner/mac-1234/setup#tok"_s, false);
        row("link: empty fragment", true, u"https://svc.example/owner/mac-1234/setup#"_s, false);
        row("link: another agent", true, u"https://svc.example/owner/mac-9999/setup#tok"_s, false);
        row("link: not setup", true, u"https://svc.example/owner/mac-1234/start#tok"_s, false);
        row("link: escaped slash", true, u"https://svc.example/mac-1234%2Fsetup#tok"_s, false);
    }
    void rules()
    {
        QFETCH(bool, link);
        QFETCH(QString, url);
        QFETCH(bool, accepted);
        const std::optional<QUrl> parsed = strictUrl(url);
        QVERIFY(parsed);
        QCOMPARE(link ? owner_setup::isSetupLink(*parsed, QUrl(u"https://svc.example"_s), u"mac-1234"_s)
                      : owner_setup::isServiceUrl(*parsed),
                 accepted);
    }

    // Each row: the configuration merged over a valid one (or the file's text if not an object, nothing if
    // empty), the link held, the replies, the outcome, and the requests made (S: the state, P: the POST of a
    // new page, G: the probe of the held link).
    void request_data()
    {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QString>("existing"); // empty: none held
        QTest::addColumn<bool>("force");
        QTest::addColumn<QByteArrayList>("replies");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("requests");
        const QString held = u"{S}/owner/mac-1234/setup#held-token"_s;
        const QByteArray live =
            "200 "
            "{\"onboardingComplete\":false,\"hasLiveSession\":true,\"expiresAt\":\"2026-03-01T08:15:30Z\"}";
        const QByteArray notLive = "200 {\"onboardingComplete\":false,\"hasLiveSession\":false}";
        const QByteArray created =
            "201 {\"setupUrl\":\"{S}/owner/mac-1234/setup#new\",\"expiresAt\":\"2026-03-01T09:00:00+01:00\"}";
        const QString newLink =
            u"required=1 url={S}/owner/mac-1234/setup#new expires=2026-03-01T08:00:00Z live=0 "
            u"pending=none"_s;
        const QString probed =
            u"required=1 url={S}/owner/mac-1234/setup#held-token expires=2026-03-01T08:15:30Z "
            u"live=0 pending="_s;
        const QString liveOnly = u"required=1 url=none expires=2026-03-01T08:15:30Z live=1 pending=none"_s;
        const QString unavailablePage = u"OWNER_SETUP_UNAVAILABLE 暂时无法获取 Channel 绑定页面"_s;
        const QString invalidPage = u"OWNER_SETUP_RESPONSE_INVALID Channel 绑定页面无效"_s;
        const QString invalid = u"OWNER_SETUP_CONFIG_INVALID Channel 绑定配置无效"_s;
        const auto row = [](const char *name, const QByteArray &config, const QString &existing, bool force,
                            const QByteArrayList &replies, const char *requests, const QString &outcome) {
            QTest::newRow(name) << config << existing << force << replies << outcome
                                << QString::fromLatin1(requests);
        };
        row("no config file", {}, {}, false, {}, "", u"FileError"_s);
        row("config not JSON", "{agentName", {}, false, {}, "", u"DecodingError"_s);
        row("config not an object", "[]", {}, false, {}, "", invalid);
        row("no agent name", "{\"agentName\":\"\"}", {}, false, {}, "", invalid);
        row("agent name ..", "{\"agentName\":\"..\"}", {}, false, {}, "", invalid);
        row("http on 127.0.0.1", "{\"onboardingServiceUrl\":\"http://127.0.0.1:1\"}", {}, false, {}, "",
            invalid);
        row("no API key", "{\"tallowmereServiceApiKey\":\"\"}", {}, false, {}, "", invalid);
        row("API key with a line feed", "{\"tallowmereServiceApiKey\":\"k\\r\\nX-Injected: 1\"}", {}, false,
            {}, "", invalid);
        row("complete: nothing more asked", "{}", held, false,
            {"200 "
             "{\"onboardingComplete\":true,\"hasLiveSession\":true,\"expiresAt\":\"2026-03-01T08:15:30Z\"}"},
            "S", u"required=0 url=none expires=none live=0 pending=none"_s);
        row("no live session: a new one (201)", "{}", {}, false, {notLive, created}, "SP", newLink);
        row("live, held link reused and probed", "{}", held, false,
            {live, "200 {\"liveAttempts\":[{\"status\":\"accepted\"},{\"status\":\"pending\"}]}"}, "SG",
            probed + u"true"_s);
        row("probe 401", "{}", held, false, {live, "401 {}"}, "SG", probed + u"none"_s);
        row("probe, liveAttempts not an array", "{}", held, false, {live, "200 {\"liveAttempts\":{}}"}, "SG",
            probed + u"none"_s);
        row("probe, an attempt not an object", "{}", held, false,
            {live, "200 {\"liveAttempts\":[\"pending\"]}"}, "SG", probed + u"none"_s);
        row("probe, no attempts", "{}", held, false, {live, "200 {\"liveAttempts\":[]}"}, "SG",
            probed + u"false"_s);
        row("probe, status PENDING", "{}", held, false,
            {live, "200 {\"liveAttempts\":[{\"status\":\"PENDING\"}]}"}, "SG", probed + u"false"_s);
        row("live, held link of another agent", "{}", u"{S}/owner/mac-9999/setup#held-token"_s, false, {live},
            "S", liveOnly);
        row("live, nothing held", "{}", {}, false, {live}, "S", liveOnly);
        row("live, forced: a new one", "{}", held, true, {live, created}, "SP", newLink);
        row("hasLiveSession not a boolean", "{}", held, false,
            {"200 {\"onboardingComplete\":false,\"hasLiveSession\":\"true\"}", created}, "SP", newLink);
        row("fractional-second expiry", "{}", {}, false,
            {notLive,
             "200 {\"setupUrl\":\"{S}/owner/mac-1234/setup#new\",\"expiresAt\":\"2026-03-01T08:00:00.5Z\"}"},
            "SP", u"required=1 url={S}/owner/mac-1234/setup#new expires=none live=0 pending=none"_s);
        row("409", "{}", {}, false, {notLive, "409 {}"}, "SP",
            u"OWNER_SETUP_STATE_CHANGED Channel 绑定状态已更新，正在重新检查"_s);
        row("POST 500", "{}", {}, false, {notLive, "500 {}"}, "SP", unavailablePage);
        row("POST not an object", "{}", {}, false, {notLive, "201 []"}, "SP", unavailablePage);
        row("POST empty object", "{}", {}, false, {notLive, "201 {}"}, "SP", invalidPage);
        row("POST garbage", "{}", {}, false, {notLive, "201 <html>"}, "SP", u"DecodingError"_s);
        row("link of another origin", "{}", {}, false,
            {notLive, "201 {\"setupUrl\":\"https://evil.example/owner/mac-1234/setup#t\"}"}, "SP",
            invalidPage);
        row("GET 204", "{}", held, false, {"204 "}, "S", unavailableState);
        row("GET without onboardingComplete", "{}", held, false, {"200 {\"hasLiveSession\":true}"}, "S",
            unavailableState);
        row("GET garbage", "{}", held, false, {"200 not json"}, "S", u"DecodingError"_s);
    }
    void request()
    {
        QFETCH(QByteArray, config);
        QFETCH(QString, existing);
        QFETCH(bool, force);
        QFETCH(QByteArrayList, replies);
        QFETCH(QString, outcome);
        QFETCH(QString, requests);
        Service service;
        if (QJsonDocument::fromJson(config).isObject())
            service.configure(QJsonDocument::fromJson(config).object());
        else if (!config.isEmpty())
            testing::writeFile(service.profile.path() + u"/config.json"_s, config);
        service.answer(replies);
        const std::optional<QUrl> held =
            existing.isEmpty() ? std::nullopt
                               : std::optional(QUrl(QString::fromUtf8(service.expand(existing.toUtf8()))));
        QCOMPARE(service.outcome(held, force), outcome);
        const QString key = QLatin1String(apiKey);
        QStringList expected;
        for (const QChar request : requests)
            expected << (request == u'G' ? u"GET /api/agents/mac-1234/setup held-token"_s
                                         : (request == u'S' ? u"GET"_s : u"POST"_s) +
                                               u" /api/agents/mac-1234/owner-provisioning "_s + key);
        QCOMPARE(service.requests(), expected);
        // The POST carries neither a body nor a content type.
        for (const QByteArray &request : std::as_const(service.server.requests))
            QVERIFY(!request.contains("Content-Type") && request.endsWith("\r\n\r\n"));
    }

    // The link's length limit, right at its edge.
    void setupLinkLength_data()
    {
        QTest::addColumn<int>("length");
        QTest::newRow("2048") << 2048;
        QTest::newRow("2049") << 2049;
    }
    void setupLinkLength()
    {
        QFETCH(int, length);
        Service service;
        service.configure();
        const QString prefix = service.origin() + u"/owner/mac-1234/setup#"_s;
        const QString link = prefix + QString(length - prefix.size(), u't');
        service.server.answers = {
            RawHttpServer::reply(200, "{\"onboardingComplete\":false}"),
            RawHttpServer::reply(201, QJsonDocument(QJsonObject{{u"setupUrl"_s, link}}).toJson())};
        const QString outcome = service.outcome();
        QVERIFY2(
            outcome.startsWith(length <= 2048 ? u"required=1 url={S}"_s : u"OWNER_SETUP_RESPONSE_INVALID"_s),
            qPrintable(outcome));
    }

    // Each segment is one path component under the service's own path, whatever the agent name holds.
    void pathSegments()
    {
        Service service;
        service.configure(
            {{u"agentName"_s, u"m a/../c?#"_s}, {u"onboardingServiceUrl"_s, service.origin() + u"/base"_s}});
        service.answer({"200 {\"onboardingComplete\":true}"});
        service.outcome();
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
        QCOMPARE(service.outcome(), unavailableState);
        QCOMPARE(elsewhere.requests.size(), 0);

        service.server.requests.clear();
        service.server.answers = {RawHttpServer::reply(307, {}, "Location: /moved\r\n"),
                                  RawHttpServer::reply(200, "{\"onboardingComplete\":true}")};
        QCOMPARE(service.outcome(), u"required=0 url=none expires=none live=0 pending=none"_s);
        QCOMPARE(service.requests().value(1), u"GET /moved "_s + QLatin1String(apiKey));
    }

    // A reply over the limit is a failed request of its kind, not a buffer that grows; a server that
    // sends a byte now and then cannot hold a request past the session's limit.
    void oversizedReply()
    {
        Service service;
        service.configure();
        RawHttpServer::Answer huge = RawHttpServer::reply(200, "{\"onboardingComplete\":false, \"pad\":\"");
        huge.bytes.replace("Content-Length", "X-Length");
        huge.filler = 8 * OwnerSetupClient::replyLimit;
        service.server.answers = {huge};
        QCOMPARE(service.outcome(), unavailableState);
    }
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
        QCOMPARE(service.outcome(), u"TransportError"_s);
        QVERIFY2(elapsed.elapsed() >= 9500 && elapsed.elapsed() < 12000,
                 qPrintable(QString::number(elapsed.elapsed())));
    }
};

TALLOWMERE_TEST(OwnerSetupClientTest)
#include "tst_OwnerSetupClient.moc"
