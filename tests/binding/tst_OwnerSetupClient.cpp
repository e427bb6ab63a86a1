#include "binding/OwnerSetupClient.h"
#include "binding/OwnerSetupRules.h"
#include "platform/StrictUrl.h"
#include "support/RawHttpServer.h"
#include "support/TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <map>

using namespace tallowmere;
using namespace Qt::StringLiterals;
using testing::RawHttpServer;
using testing::utf8;

namespace {

constexpr char apiKey[] = "sk-service-7f3a";

const std::map<QByteArray, QByteArray> namedReplies{
    {"live", R"(200 {"onboardingComplete":false,"hasLiveSession":true,"expiresAt":"2026-03-01T08:15:30Z"})"},
    {"notLive", R"(200 {"onboardingComplete":false,"hasLiveSession":false})"},
    {"created", R"(201 {"setupUrl":"{S}/owner/mac-1234/setup#new","expiresAt":"2026-03-01T09:00:00+01:00"})"}};

// An onboarding service on the loopback interface and a profile whose "config.json" points at it.
// In the texts below "{S}" stands for the service's origin and "{LINK:n}" for a setup link of n characters.
struct Service {
    RawHttpServer server;
    QTemporaryDir profile;

    QString origin() const { return u"http://localhost:%1"_s.arg(server.port()); }
    QByteArray expand(const QByteArray &text) const
    {
        QByteArray expanded = QByteArray(text).replace("{S}", origin().toUtf8());
        const qsizetype at = expanded.indexOf("{LINK:");
        if (at >= 0) {
            const qsizetype end = expanded.indexOf('}', at);
            const QByteArray prefix = origin().toUtf8() + "/owner/mac-1234/setup#";
            const int length = expanded.mid(at + 6, end - at - 6).toInt();
            expanded.replace(at, end - at + 1, prefix + QByteArray(length - prefix.size(), 't'));
        }
        return expanded;
    }
    // The configuration merged over a valid one; the file's text if not an object; nothing if empty.
    void configure(const QByteArray &text) const
    {
        QJsonObject config{{u"agentName"_s, u"mac-1234"_s},
                           {u"onboardingServiceUrl"_s, origin()},
                           {u"tallowmereServiceApiKey"_s, QLatin1String(apiKey)}};
        const QJsonDocument document = QJsonDocument::fromJson(expand(text));
        const QJsonObject changes = document.object();
        for (auto it = changes.begin(); it != changes.end(); ++it)
            config.insert(it.key(), it.value());
        if (!text.isEmpty())
            testing::writeFile(profile.path() + u"/config.json"_s,
                               document.isObject() ? QJsonDocument(config).toJson() : text);
    }
    // One reply per request, separated by "|": "STATUS BODY", or "live", "notLive" or "created".
    void answer(const char *replies)
    {
        server.answers.clear();
        for (const QByteArray &reply : QByteArray(replies).split('|')) {
            const QByteArray text = expand(namedReplies.count(reply) ? namedReplies.at(reply) : reply);
            const qsizetype space = text.indexOf(' ');
            if (space > 0)
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
        const auto shown = [this](const OwnerSetupSession &s) {
            return u"required=%1 url=%2 expires=%3 live=%4 pending=%5"_s.arg(s.required)
                .arg(s.url ? s.url->toString() : "none", s.expiresAt ? s.expiresAt->toString(Qt::ISODate) : "none")
                .arg(s.hasLiveSession)
                .arg(s.hasPendingBinding ? QVariant(*s.hasPendingBinding).toString() : u"none"_s)
                .replace(origin(), u"{S}"_s);
        };
        return testing::ending(OwnerSetupClient(profile.path()).request(existing, force), shown);
    }
};

// Service URLs (against no agent) and setup links (against https://svc.example and mac-1234).
const struct RuleRow { const char *name; bool link; const char *url; bool accepted; } ruleRows[] = {
    {"service: http on localhost", false, "http://localhost:47800", true},
    {"service: https, any host", false, "https://onboarding.example.com/v1", true},
    {"service: query", false, "https://onboarding.example.com/?region=cn", false},
    {"service: fragment", false, "https://onboarding.example.com/#top", false},
    {"service: empty user information", false, "https://:@onboarding.example.com", false},
    {"service: another scheme", false, "ftp://onboarding.example.com", false},
    {"link: plain", true, "https://svc.example/owner/mac-1234/setup#tok", true},
    {"link: port 8443", true, "https://svc.example:8443/owner/mac-1234/setup#tok", false},
    {"link: host case, query", true, "https://SVC.Example/p/mac-1234/setup?lang=zh#tok", true},
    {"link: http", true, "http://svc.example/owner/mac-1234/setup#tok", false},
    {"link: empty user information", true, "https://@svc.example/owner/mac-1234/setup#tok", false},
    {"link: empty fragment", true, "https://svc.example/owner/mac-1234/setup#", false},
    {"link: another agent", true, "https://svc.example/owner/mac-9999/setup#tok", false},
    {"link: not setup", true, "https://svc.example/owner/mac-1234/start#tok", false},
    {"link: escaped slash", true, "https://svc.example/mac-1234%2Fsetup#tok", false},
};

constexpr char held[] = "{S}/owner/mac-1234/setup#held-token";
constexpr char newLink[] =
    "required=1 url={S}/owner/mac-1234/setup#new expires=2026-03-01T08:00:00Z live=0 pending=none";
constexpr char probed[] =
    "required=1 url={S}/owner/mac-1234/setup#held-token expires=2026-03-01T08:15:30Z live=0 pending=";
constexpr char liveOnly[] = "required=1 url=none expires=2026-03-01T08:15:30Z live=1 pending=none";
constexpr char unavailablePage[] = "OWNER_SETUP_UNAVAILABLE 暂时无法获取 Channel 绑定页面";
constexpr char invalidPage[] = "OWNER_SETUP_RESPONSE_INVALID Channel 绑定页面无效";
constexpr char invalid[] = "OWNER_SETUP_CONFIG_INVALID Channel 绑定配置无效";

// The configuration (see Service::configure), the link held (nullptr: none), the replies (see
// Service::answer), the requests made (S: the state, P: the POST of a new page, G: the probe of the held
// link), the outcome and, after it, the probe's answer.
const struct RequestRow {
    const char *name, *config, *existing; bool force; const char *replies, *requests, *outcome, *probe;
} requestRows[] = {
    {"no config file", "", nullptr, false, "", "", "file"},
    {"config not JSON", "{agentName", nullptr, false, "", "", "decoding"},
    {"config not an object", "[]", nullptr, false, "", "", invalid},
    {"no agent name", R"({"agentName":""})", nullptr, false, "", "", invalid},
    {"agent name ..", R"({"agentName":".."})", nullptr, false, "", "", invalid},
    {"http on 127.0.0.1", R"({"onboardingServiceUrl":"http:\/\/127.0.0.1:1"})", nullptr, false, "", "", invalid},
    {"no API key", R"({"tallowmereServiceApiKey":""})", nullptr, false, "", "", invalid},
    {"API key with a line feed", R"({"tallowmereServiceApiKey":"k\r\nX-Injected: 1"})", nullptr, false, "", "",
     invalid},
    {"live, held link reused and probed", "{}", held, false,
     R"(live|200 {"liveAttempts":[{"status":"accepted"},{"status":"pending"}]})", "SG", probed, "true"},
    {"probe 401", "{}", held, false, "live|401 {}", "SG", probed, "none"},
    {"probe, liveAttempts not an array", "{}", held, false, R"(live|200 {"liveAttempts":{}})", "SG", probed, "none"},
    {"probe, an attempt not an object", "{}", held, false, R"(live|200 {"liveAttempts":["pending"]})", "SG", probed,
     "none"},
    {"probe, status PENDING", "{}", held, false, R"(live|200 {"liveAttempts":[{"status":"PENDING"}]})", "SG", probed,
     "false"},
    {"live, held link of another agent", "{}", "{S}/owner/mac-9999/setup#held-token", false, "live", "S", liveOnly},
    {"live, nothing held", "{}", nullptr, false, "live", "S", liveOnly},
    {"live, forced: a new one", "{}", held, true, "live|created", "SP", newLink},
    {"hasLiveSession not a boolean", "{}", held, false,
     R"(200 {"onboardingComplete":false,"hasLiveSession":"true"}|created)", "SP", newLink},
    {"fractional-second expiry", "{}", nullptr, false,
     R"(notLive|200 {"setupUrl":"{S}/owner/mac-1234/setup#new","expiresAt":"2026-03-01T08:00:00.5Z"})", "SP",
     "required=1 url={S}/owner/mac-1234/setup#new expires=none live=0 pending=none"},
    {"POST 409", "{}", nullptr, false, "notLive|409 {}", "SP",
     "OWNER_SETUP_STATE_CHANGED Channel 绑定状态已更新，正在重新检查"},
    {"POST 500", "{}", nullptr, false, "notLive|500 {}", "SP", unavailablePage},
    {"POST not an object", "{}", nullptr, false, "notLive|201 []", "SP", unavailablePage},
    {"POST empty object", "{}", nullptr, false, "notLive|201 {}", "SP", invalidPage},
    {"POST garbage", "{}", nullptr, false, "notLive|201 <html>", "SP", "decoding"},
    {"link of another origin", "{}", nullptr, false,
     "notLive|201 {\"setupUrl\":\"https://evil.example/owner/mac-1234/setup#t\"}", "SP", invalidPage},
    {"link of 2048 characters", "{}", nullptr, false, R"(notLive|201 {"setupUrl":"{LINK:2048}"})", "SP",
     "required=1 url={LINK:2048} expires=none live=0 pending=none"},
    {"link of 2049 characters", "{}", nullptr, false, R"(notLive|201 {"setupUrl":"{LINK:2049}"})", "SP", invalidPage},
    {"GET 204", "{}", held, false, "204 ", "S", "OWNER_SETUP_UNAVAILABLE 暂时无法获取 Channel 绑定状态"},
    {"GET without onboardingComplete", "{}", held, false, R"(200 {"hasLiveSession":true})", "S",
     "OWNER_SETUP_UNAVAILABLE 暂时无法获取 Channel 绑定状态"},
};

} // namespace

class OwnerSetupClientTest : public QObject {
    Q_OBJECT

private slots:
    void rules_data() { testing::addRows(ruleRows); }
    void rules()
    {
        const RuleRow &row = testing::currentRow(ruleRows);
        const std::optional<QUrl> url = strictUrl(utf8(row.url));
        QVERIFY(url);
        QCOMPARE(row.link ? owner_setup::isSetupLink(*url, QUrl(u"https://svc.example"_s), u"mac-1234"_s)
                          : owner_setup::isServiceUrl(*url),
                 row.accepted);
    }

    void request_data() { testing::addRows(requestRows); }
    void request()
    {
        const RequestRow &row = testing::currentRow(requestRows);
        Service service;
        service.configure(row.config);
        service.answer(row.replies);
        const auto existing = row.existing ? std::optional(QUrl(utf8(service.expand(row.existing)))) : std::nullopt;
        const QString outcome = service.outcome(existing, row.force);
        QString expected = QString::fromUtf8(service.expand(row.outcome)).replace(service.origin(), u"{S}"_s);
        if (row.probe)
            expected += utf8(row.probe);
        QCOMPARE(outcome, expected);
        QStringList requests;
        for (const char *request = row.requests; *request; ++request)
            requests << (*request == 'G' ? u"GET /api/agents/mac-1234/setup held-token"_s
                                         : (*request == 'S' ? u"GET"_s : u"POST"_s) +
                                               u" /api/agents/mac-1234/owner-provisioning "_s + utf8(apiKey));
        QCOMPARE(service.requests(), requests);
        for (const QByteArray &request : std::as_const(service.server.requests))
            QVERIFY(!request.contains("Content-Type") && request.endsWith("\r\n\r\n"));
    }

    // The agent name is one path component under the service's own path, whatever it holds; a redirect
    // within the service's origin is followed, with the token.
    void pathAndRedirect()
    {
        Service service;
        service.configure("{\"agentName\":\"m a/../c?#\",\"onboardingServiceUrl\":\"{S}/base\"}");
        service.server.answers = {RawHttpServer::redirect("/moved", 307),
                                  RawHttpServer::reply(200, R"({"onboardingComplete":true})")};
        QCOMPARE(service.outcome(), u"required=0 url=none expires=none live=0 pending=none"_s);
        const QString key = utf8(apiKey);
        QCOMPARE(service.requests(),
                 (QStringList{u"GET /base/api/agents/m%20a%2F..%2Fc%3F%23/owner-provisioning "_s + key,
                              u"GET /moved "_s + key}));
    }
};

TALLOWMERE_TEST(OwnerSetupClientTest)
#include "tst_OwnerSetupClient.moc"
