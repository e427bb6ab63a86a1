#include "platform/HttpExchange.h"
#include "support/RawHttpServer.h"
#include "support/TestSupport.h"

using platform::HttpOutcome;
using platform::HttpRequest;
using testing::RawHttpServer;
using namespace std::chrono_literals;
using Kind = HttpOutcome::Kind;

namespace {

HttpOutcome exchange(HttpRequest request)
{
    return testing::await(platform::exchange(std::move(request)));
}

// The redirects before the last answer (a 200), their status and Location (%1 the server's port, %2 another
// server's); the outcome, its status, and the requests that reached the server.
const struct RedirectRow {
    const char *name;
    int redirects, status;
    const char *location;
    Kind kind;
    int replyStatus, requests;
} redirectRows[] = {
    {"five relative", 5, 302, "/next", Kind::replied, 200, 6},
    {"six relative", 6, 307, "/next", Kind::transportFailed, 0, 6},
    {"absolute, same origin", 1, 301, "http://127.0.0.1:%1/next", Kind::replied, 200, 2},
    {"to another port", 1, 302, "http://127.0.0.1:%2/next", Kind::replied, 302, 1},
    {"to another host name", 1, 302, "http://localhost:%1/next", Kind::replied, 302, 1},
    {"to another scheme", 1, 308, "https://127.0.0.1:%1/next", Kind::replied, 308, 1},
    {"unusable", 1, 302, "http://[::1", Kind::replied, 302, 1},
};

const QByteArray unannounced = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
const struct LimitRow {
    const char *name;
    RawHttpServer::Answer answer; // to a limit of 1000 bytes
    Kind kind;
} limitRows[] = {
    // The announced length is believed at once: what does arrive stays within the limit.
    {"announced over the limit",
     {"HTTP/1.1 200 OK\r\nContent-Length: 1001\r\n\r\nshort", 2ms},
     Kind::bodyTooLarge},
    {"unannounced, at the limit", {unannounced + QByteArray(1000, 'x')}, Kind::replied},
    {"unannounced, one byte over", {unannounced + QByteArray(1001, 'x')}, Kind::bodyTooLarge},
};

const struct RefusedRow {
    const char *name, *url, *value;
} refusedRows[] = {{"line feed", "http://127.0.0.1:9/", "s3cret\nX: 1"},
                   {"delete", "http://127.0.0.1:9/", "s3cret\x7f"},
                   {"not http", "file:///etc/passwd", "s3cret"}};

} // namespace

class HttpExchangeTest : public QObject {
    Q_OBJECT

private slots:
    void redirects_data() { testing::addRows(redirectRows); }

    void redirects()
    {
        const RedirectRow &row = testing::currentRow(redirectRows);
        RawHttpServer server;
        RawHttpServer elsewhere;
        const QByteArray location = QByteArray(row.location)
                                        .replace("%1", QByteArray::number(server.port()))
                                        .replace("%2", QByteArray::number(elsewhere.port()));
        server.answers = QList<RawHttpServer::Answer>(
            row.redirects, RawHttpServer::redirect(location, row.status, "Set-Cookie: session=1\r\n"));
        server.answers.append(RawHttpServer::reply(200, "done"));
        const HttpOutcome outcome = exchange({.url = server.url(QStringLiteral("/start")),
                                              .headers = {{"Authorization", "Bearer t"}},
                                              .followSameOriginRedirects = true});
        QCOMPARE(int(outcome.kind), int(row.kind));
        QCOMPARE(outcome.status, row.replyStatus);
        QCOMPARE(outcome.redirected, row.replyStatus == 200);
        QCOMPARE(int(server.requests.size()), row.requests);
        QVERIFY(elsewhere.requests.isEmpty());
        for (qsizetype i = 0; i < server.requests.size(); ++i) {
            QCOMPARE(server.header(i, "Authorization"), QByteArray("Bearer t"));
            QCOMPARE(server.header(i, "Cookie"), QByteArray()); // nothing kept from the answer before
        }
    }

    void seeOtherTurnsIntoAPlainGet()
    {
        RawHttpServer server;
        server.answers = {RawHttpServer::redirect("/result", 303), RawHttpServer::reply(200, "done")};
        const HttpOutcome outcome = exchange({.method = "POST",
                                              .url = server.url(QStringLiteral("/form")),
                                              .body = "a=1",
                                              .followSameOriginRedirects = true});
        QCOMPARE(outcome.body, QByteArray("done"));
        QVERIFY(server.requests.at(0).startsWith("POST /form ") && server.requests.at(0).endsWith("a=1"));
        QVERIFY(server.requests.at(1).startsWith("GET /result ") &&
                server.requests.at(1).endsWith("\r\n\r\n"));
    }

    void bodyLimit_data() { testing::addRows(limitRows); }

    void bodyLimit()
    {
        const LimitRow &row = testing::currentRow(limitRows);
        RawHttpServer server;
        server.answers = {row.answer};
        const HttpOutcome outcome = exchange({.url = server.url(QStringLiteral("/")), .bodyLimit = 1000});
        QCOMPARE(int(outcome.kind), int(row.kind));
        QCOMPARE(outcome.body.size(), row.kind == Kind::replied ? 1000 : 0);
    }

    void deadlineCoversEveryRedirect()
    {
        RawHttpServer server;
        server.answers = {{RawHttpServer::redirect("/next").bytes, 2ms}};
        const HttpOutcome outcome = exchange(
            {.url = server.url(QStringLiteral("/")), .deadline = 400ms, .followSameOriginRedirects = true});
        QCOMPARE(int(outcome.kind), int(Kind::transportFailed));
        QCOMPARE(outcome.error, QStringLiteral("deadline passed"));
        QVERIFY(server.requests.size() > 1);
    }

    // A header value with control characters, or a URL that is not http, is not sent; the error names
    // neither.
    void refused_data() { testing::addRows(refusedRows); }
    void refused()
    {
        const RefusedRow &row = testing::currentRow(refusedRows);
        const HttpOutcome outcome =
            exchange({.url = QUrl(QLatin1String(row.url)), .headers = {{"X-Value", row.value}}});
        QCOMPARE(int(outcome.kind), int(Kind::refused));
        QVERIFY(!outcome.error.contains(QLatin1String("s3cret")));
    }

    void credentialsAreNeverSent()
    {
        RawHttpServer server;
        server.answers = {RawHttpServer::reply(401, {}, "WWW-Authenticate: Basic realm=\"r\"\r\n"),
                          RawHttpServer::reply(200)};
        QUrl url = server.url(QStringLiteral("/"));
        url.setUserInfo(QStringLiteral("user:s3cret"));
        const HttpOutcome outcome = exchange({.url = url});
        QCOMPARE(outcome.status, 401);
        QCOMPARE(server.requests.size(), 1);
        QCOMPARE(server.header(0, "Authorization"), QByteArray());
    }

    void defaultPortsAndHostCaseKeepTheOrigin()
    {
        const auto same = [](const char *a, const char *b) {
            const QUrl x{QLatin1String(a)}, y{QLatin1String(b)};
            return platform::hasSameOrigin(x, y) && platform::hasSameOrigin(y, x);
        };
        QVERIFY(same("http://Example.com/a", "http://example.com:80/b"));
        QVERIFY(same("https://h:443/", "https://h/"));
        QVERIFY(!same("https://h:80/", "http://h/"));
    }
};

TALLOWMERE_TEST(HttpExchangeTest)
#include "tst_HttpExchange.moc"
