#include "cli/JITAuthorizationOutputParser.h"
#include "support/TestSupport.h"

#include <QRegularExpression>

using tallowmere::JITAuthorizationOutputParser;
using testing::utf8;

namespace {

const QString googleLink =
    "https://accounts.google.com/o/oauth2/v2/auth?response_type=code&client_id=c1&state=s1&redirect_uri="
    "https%3A%2F%2Fonboarding.tallowmere.com%2Fapi%2Fprofiles%2Fgoogle-oauth%2Fcallback";
const QString zohoLink = "https://accounts.zoho.eu/oauth/v2/auth?response_type=code&client_id=c&state=s&"
                         "redirect_uri=http://localhost:3000/api/profiles/zoho-oauth/callback";
const QString header = "Workspace account created (Google):";
const QString validEvent = R"({"type":"jitAuthorization","provider":"google","email":"agent@corp.example",)"
                           R"("password":"s3cret pass","authUrl":")" +
                           googleLink + "\"}";

// The event with one member's JSON text replaced (or removed, for an empty text).
QString eventWith(const QString &member, const QString &json)
{
    QString text = validEvent;
    const qsizetype start = text.indexOf('"' + member + '"');
    const qsizetype end = text.indexOf(QRegularExpression("(,\"|\\}$)"), start + 1);
    if (json.isEmpty())
        return text.remove(start - 1, end - start + 1); // with the comma before it
    return text.replace(start, end - start, '"' + member + "\":" + json);
}

} // namespace

class JITParserTest : public QObject {
    Q_OBJECT

private slots:
    // Lines fed in order to one parser, and the authorisations they yield ("provider|email|password").
    void consume_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("yielded");
        const auto row = [](const char *name, const QStringList &lines, const QStringList &yielded = {}) {
            QTest::newRow(name) << lines << yielded;
        };
        const auto block = [](const QString &email, const QString &password) {
            return QStringList{header, "Email: " + email, "Password: " + password, googleLink};
        };
        const QString signedIn = "google|agent@corp.example|s3cret pass";
        const QString zohoHeader = "Workspace account created (Zoho):";
        row("block, sign-in data kept for a later link",
            {header, "progress 3/4", "Email:  agent one@corp.example", "Password:\tp@ss word", googleLink,
             googleLink},
            {"google|agent one@corp.example|p@ss word", "google|agent one@corp.example|p@ss word"});
        row("any blank after a label", {header, "Email:\va@b", "Password:\u3000pw", googleLink},
            {"google|a@b|pw"});
        row("link before the password", {zohoHeader, "Email: a@b", zohoLink, "Password: x", zohoLink},
            {"zoho|a@b|x"});
        row("longest sign-in data", block(QString(318, 'a') + "@b", utf8("😀").repeated(1024)),
            {"google|" + QString(318, 'a') + "@b|" + utf8("😀").repeated(1024)});
        row("provider in lower case",
            {"Workspace account created (google):", "Email: a@b", "Password: p", googleLink});
        row("header with trailing text", {header + " x", "Email: a@b", "Password: p", googleLink});
        row("no blank after Email:", {header, "Email:a@b", "Password: p", googleLink});
        row("no blank after Password:", {header, "Email: a@b", "Password:p", googleLink});
        row("address without @", block("agent", "p"));
        row("address of 321 characters", block(QString(319, 'a') + "@b", "p"));
        row("password of 1025 characters", block("a@b", QString(1025, 'p')));
        row("address broken by a carriage return", block("a@b\rc", "p"));
        row("event", {validEvent}, {signedIn});
        row("event leaves the block alone", {zohoHeader, validEvent, "Email: z@z", "Password: z", googleLink},
            {signedIn});
        row("event with another member", {eventWith("authUrl", '"' + googleLink + "\",\"note\":\"x\"")});
        row("event without password", {eventWith("password", {})});
        row("event for Google", {eventWith("provider", R"("Google")")});
        row("event with empty password", {eventWith("password", R"("")")});
        row("event with a number", {eventWith("email", "5")});
        row("event of another type", {eventWith("type", R"("progress")")});
        row("event to a foreign host", {QString(validEvent).replace("accounts.google.com", "evil.example")});
        row("array", {R"(["jitAuthorization"])"});
        row("truncated event", {validEvent.chopped(1)});
    }

    void consume()
    {
        QFETCH(QStringList, lines);
        QFETCH(QStringList, yielded);
        JITAuthorizationOutputParser parser;
        QStringList authorizations;
        for (const QString &line : lines) {
            if (const auto authorization = parser.consume(line)) {
                authorizations << authorization->provider + '|' + authorization->email + '|' +
                                      authorization->password;
                QCOMPARE(authorization->authURL.toString(QUrl::FullyEncoded),
                         line.contains("zoho") ? zohoLink : googleLink);
            }
        }
        QCOMPARE(authorizations, yielded);
    }

    // The canonical link of the provider with one piece of text replaced.
    void linkCheck_data()
    {
        QTest::addColumn<QString>("provider");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        const auto row = [](const char *name, const QString &provider, const QString &from, const QString &to,
                            bool accepted) {
            const QString link = provider == "zoho" ? zohoLink : googleLink;
            QTest::newRow(name) << provider << (from.isEmpty() ? link : QString(link).replace(from, to))
                                << accepted;
        };
        row("google", "google", {}, {}, true);
        row("google legacy path", "google", "/v2/auth", "/auth", true);
        row("host in capitals", "google", "accounts.google.com", "ACCOUNTS.GOOGLE.COM", true);
        row("explicit port 443", "google", "google.com/", "google.com:443/", true);
        row("port 8443", "google", "google.com/", "google.com:8443/", false);
        row("user part", "google", "https://", "https://me@", false);
        row("plain http", "google", "https://accounts", "http://accounts", false);
        row("zoho", "zoho", {}, {}, true);
        row("zoho regional host", "zoho", "zoho.eu", "zoho.com.au", true);
        row("zoho with google's path", "zoho", "/oauth/v2/auth", "/o/oauth2/auth", false);
        row("unknown provider", "github", {}, {}, false);
        row("second state", "google", "state=s1", "state=s1&state=s2", false);
        row("response type token", "google", "type=code", "type=token", false);
        row("empty client id", "google", "client_id=c1", "client_id=", false);
        row("state without value", "google", "state=s1", "state", false);
        row("no redirect", "google", "redirect_uri", "redirect", false);
        row("2048 characters", "google", "s1", "s1&x=" + QString(2048 - googleLink.size() - 3, 'a'), true);
        row("2049 characters", "google", "s1", "s1&x=" + QString(2049 - googleLink.size() - 3, 'a'), false);
        row("redirect with query", "google", "callback", "callback%3Fa%3D1", false);
        row("redirect with fragment", "google", "callback", "callback%23f", false);
        row("redirect to the other callback", "google", "google-oauth", "zoho-oauth", false);
        row("redirect over http", "google", "https%3A%2F%2Fonboarding", "http%3A%2F%2Fonboarding", false);
        row("redirect to another host", "google", "tallowmere.com", "tallowmere.com.evil.example", false);
        row("redirect to localhost:3000", "google", "https%3A%2F%2Fonboarding.tallowmere.com",
            "http://localhost:3000", true);
        row("redirect to localhost without port", "google", "https%3A%2F%2Fonboarding.tallowmere.com",
            "http://localhost", false);
        // Only the characters of RFC 3986: Qt would re-encode or map the others.
        row("replacement character", "google", "client_id=c1", "client_id=c\uFFFD", false);
        row("full-width letter in the host", "google", "https://accounts", "https://\uFF41ccounts", false);
        row("full-width letter in the redirect host", "google", "tallowmere.com", "tallowmere.co%EF%BD%8D",
            false);
        row("line feed", "google", "s1", "s1\n", false);
        row("bad escape", "google", "c1", "c%G1", false);
        row("escaped full-width host letter", "google", "https://accounts", "https://%EF%BD%81ccounts",
            false);
        row("two fragment marks", "google", "callback", "callback#a#b", false);
        row("escapes and marks", "google", "client_id=c1&state=s1",
            "client_id=c%EF%BF%BD&state=a!$'()*+,;=:@/?~._-", true);
        row("fragment", "google", "callback", "callback#frag", true);
    }

    void linkCheck()
    {
        QFETCH(QString, provider);
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QCOMPARE(bool(JITAuthorizationOutputParser::validatedAuthorizationURL(text, provider)), accepted);
    }
};

TALLOWMERE_TEST(JITParserTest)
#include "tst_JITParser.moc"
