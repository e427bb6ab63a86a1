#include "cli/OutputLines.h"
#include "cli/Redactor.h"
#include "support/IcuOracle.h"
#include "support/TestSupport.h"

#include <QRegularExpression>

using namespace tallowmere;
using namespace Qt::StringLiterals;
using testing::utf8;

namespace {

// The redaction rules, on lines as the runner shows them.
const struct { const char *name, *line, *redacted; } rules[] = {
    {"control sequences vanish", "\x1b[31merror\x1b[0m: \x1b[1;4m\x1b[200~boom", "error: boom"},
    {"unfinished escape stays", "a\x1b[31", "a\x1b[31"},
    {"sharp s stands for ss", "Paßword: secret more", "Paßword: [REDACTED] more"},
    {"capital sharp s too", "PAẞWORD: secret", "PAẞWORD: [REDACTED]"},
    {"sharp s is not one s", "Paßsword: x", "Paßsword: x"},
    {"escape splitting a label", "Ema\x1b[0mil: a@b", "Email: [REDACTED]"},
    {"setup code", "code TMS2-0000-1111-2222 ok", "code [SETUP CODE REDACTED] ok"},
    {"code glued to a word stays", "xTMS2-0000-1111-2222", "xTMS2-0000-1111-2222"},
    {"code followed by a digit stays", "TMS2-0000-1111-22223", "TMS2-0000-1111-22223"},
    {"code right after Chinese stays", "安装码TMS2-0000-1111-2222", "安装码TMS2-0000-1111-2222"},
    {"code after a Chinese colon", "安装码：TMS2-0000-1111-2222", "安装码：[SETUP CODE REDACTED]"},
    // ICU's \b looks through marks, variation selectors and format characters.
    {"code after an emoji with its selector", "✅️TMS2-ABCD-EFGH-JKMN redeemed", "✅️[SETUP CODE REDACTED] redeemed"},
    {"code after a mark on punctuation", "-\u0301TMS2-ABCD-EFGH-JKMN", "-\u0301[SETUP CODE REDACTED]"},
    {"code after a joiner", "\u200DTMS2-ABCD-EFGH-JKMN", "\u200D[SETUP CODE REDACTED]"},
    {"code after a mark on a letter stays", "e\u0301TMS2-ABCD-EFGH-JKMN", "e\u0301TMS2-ABCD-EFGH-JKMN"},
    {"code before a zero-width space stays", "TMS2-ABCD-EFGH-JKMN\u200B", "TMS2-ABCD-EFGH-JKMN\u200B"},
    {"code before a mark stays", "TMS2-ABCD-EFGH-JKMN\u0301", "TMS2-ABCD-EFGH-JKMN\u0301"},
    {"code after a circled letter stays", "ⒶTMS2-ABCD-EFGH-JKMN", "ⒶTMS2-ABCD-EFGH-JKMN"},
    // A workspace event that the authorisation check refused still hides its sign-in data.
    {"refused event", R"({"type":"jitAuthorization","provider":"Google","email":"agent@corp.example",)"
     R"("password":"Hunter2 Secret","authUrl":"x"})",
     R"({"type":"jitAuthorization","provider":"Google","email":"[REDACTED]","password":"[REDACTED]",)"
     R"("authUrl":"x"})"},
    {"escaped names, nested and odd values", " {\"type\":\"jitAuthorization\", \"em\\u0061il\" : "
     "{\"a\":[\"x}\"]},\"x\":{\"password\":1},\"password\":\"a\\\"b\"}",
     " {\"type\":\"jitAuthorization\", \"em\\u0061il\" : \"[REDACTED]\",\"x\":{\"password\":\"[REDACTED]\"},"
     "\"password\":\"[REDACTED]\"}"},
    {"other event stays", R"({"type":"progress","email":"a"})", R"({"type":"progress","email":"a"})"},
    {"broken event stays", R"({"type":"jitAuthorization","email":"a")", R"({"type":"jitAuthorization","email":"a")"},
};

// Bytes that are not UTF-8 show as U+FFFD, one for each maximal ill-formed part.
const struct { const char *name, *bytes, *line; } lineRows[] = {
    {"trimmed", "\n daemon\t\n", "daemon"}, {"cut-off character then text", "dae\xE4mon", "dae\uFFFDmon"},
    {"stray continuation bytes", "\200\200daemon", "\uFFFD\uFFFDdaemon"},
    {"overlong encoding", "daemon\xE0\x80\xAF", "daemon\uFFFD\uFFFD\uFFFD"},
    {"surrogate half", "daemon\xED\xA0\x80", "daemon\uFFFD\uFFFD\uFFFD"},
    {"above U+10FFFF", "daemon\xF4\x90\x80\x80", "daemon\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"astral and a real U+FFFD", "\xF0\x9F\x98\x80!\uFFFD", "😀!\uFFFD"},
};

const QString googleLink =
    "https://accounts.google.com/o/oauth2/v2/auth?response_type=code&client_id=c1&state=s1&redirect_uri="
    "https%3A%2F%2Fonboarding.tallowmere.com%2Fapi%2Fprofiles%2Fgoogle-oauth%2Fcallback";
const QString zohoLink = "https://accounts.zoho.eu/oauth/v2/auth?response_type=code&client_id=c&state=s&"
                         "redirect_uri=http://localhost:3000/api/profiles/zoho-oauth/callback";
const QString header = "Workspace account created (Google):";
const QString validEvent = R"({"type":"jitAuthorization","provider":"google","email":"agent@corp.example",)"
                           R"("password":"s3cret pass","authUrl":")" + googleLink + "\"}";

// The event with one member's JSON text replaced.
QString eventWith(const QString &member, const QString &json)
{
    QString text = validEvent;
    const qsizetype start = text.indexOf('"' + member + '"');
    const qsizetype end = text.indexOf(QRegularExpression("(,\"|\\}$)"), start + 1);
    return text.replace(start, end - start, '"' + member + "\":" + json);
}

} // namespace

class OutputLinesTest : public QObject {
    Q_OBJECT

private slots:
    // However the pipe cuts the bytes, the same lines come out; an over-long line is cut at the limit.
    void chunkBoundariesDoNotMatter()
    {
        const qsizetype limit = OutputLineProcessor::lineBufferLimit;
        const QByteArray output = "\xe5\xae\x89\xe8\xa3\x85 done\r\n\n\n  \n" + QByteArray(limit - 1, 'z') +
                                  "\xc3\xa9" + QByteArray(40000, 'y') +
                                  "\nEmail: a@b\n{\"type\":\"progress\"}\n" + QByteArray(limit, 'x') +
                                  "\ntail \xf0\x9f\x98";
        const QStringList lines = {utf8("安装 done"), QString(),
                                   QString(limit - 1, 'z') + QChar(QChar::ReplacementCharacter), "Email: [REDACTED]",
                                   "{\"type\":\"progress\"}", QString(limit, 'x'),
                                   "tail " + QString(QChar(QChar::ReplacementCharacter))};
        for (qsizetype chunk : {1, 2, 3, 7, 64, 100000}) {
            OutputLineProcessor processor(nullptr);
            OutputBatch batch;
            for (qsizetype i = 0; i < output.size(); i += chunk)
                processor.feed(output.constData() + i, std::min(chunk, output.size() - i), batch);
            processor.finish(batch);
            QStringList shown;
            batch.forEach([&shown](QStringView line) { shown << line.toString(); }, [](const auto &) {});
            QCOMPARE(shown, lines);
        }
    }

    void takeLine_data() { testing::addRows(lineRows); }
    void takeLine()
    {
        const auto &row = testing::currentRow(lineRows);
        QByteArray bytes(row.bytes);
        QCOMPARE(tallowmere::takeLine(bytes), std::optional(utf8(row.line)));
        QVERIFY(bytes.isEmpty());
    }

    // Each error word, in any case, makes a line an error line.
    void errorCandidates_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("candidate"); // empty: none
        for (const char *word : {"ERROR", "Failed", "failURE", "Fatal", "DENIED", "not Found", "Unavailable", "INVALID",
                                 "Timed Out", "CLIENT_upgrade_required", "code_UNAVAILABLE", "Exit Code", "失败", "无法",
                                 "未完成", "不完整", "不可用", "无效", "超时"})
            QTest::newRow(word) << u"  x "_s + utf8(word) + u"y "_s << u"x "_s + utf8(word) + u"y"_s;
        QTest::newRow("no word") << "exi t code, time out, err, fail, 失 败" << "";
        QTest::newRow("timed  out needs one blank") << "timed  out" << "";
        QTest::newRow("cut to 240 characters")
            << "error " + QString("é\u0301").repeated(300) << "error " + QString("é\u0301").repeated(234);
    }

    void errorCandidates()
    {
        QFETCH(QString, line);
        QFETCH(QString, candidate);
        QCOMPARE(errorCandidate(line).value_or(QString()), candidate);
    }

    void rules_data() { testing::addRows(::rules); }
    void rules()
    {
        const auto &row = testing::currentRow(::rules);
        const QString line = utf8(row.line);
        QCOMPARE(sanitize(line), utf8(row.redacted));
        if (!line.trimmed().startsWith(u'{')) // events are not the regular expressions' business
            QCOMPARE(testing::icuSanitize(line), utf8(row.redacted));
    }

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
            {header, "progress 3/4", "Email:  agent one@corp.example", "Password:\tp@ss word", googleLink, googleLink},
            {"google|agent one@corp.example|p@ss word", "google|agent one@corp.example|p@ss word"});
        row("any blank after a label", {header, "Email:\va@b", "Password:\u3000pw", googleLink}, {"google|a@b|pw"});
        row("link before the password", {zohoHeader, "Email: a@b", zohoLink, "Password: x", zohoLink}, {"zoho|a@b|x"});
        row("longest sign-in data", block(QString(318, 'a') + "@b", utf8("😀").repeated(1024)),
            {"google|" + QString(318, 'a') + "@b|" + utf8("😀").repeated(1024)});
        row("provider in lower case", {"Workspace account created (google):", "Email: a@b", "Password: p", googleLink});
        row("header with trailing text", {header + " x", "Email: a@b", "Password: p", googleLink});
        row("no blank after Email:", {header, "Email:a@b", "Password: p", googleLink});
        row("no blank after Password:", {header, "Email: a@b", "Password:p", googleLink});
        row("address without @", block("agent", "p"));
        row("address broken by a carriage return", block("a@b\rc", "p"));
        row("address of 321 characters", block(QString(319, 'a') + "@b", "p"));
        row("password of 1025 characters", block("a@b", QString(1025, 'p')));
        row("event", {validEvent}, {signedIn});
        row("event leaves the block alone", {zohoHeader, validEvent, "Email: z@z", "Password: z", googleLink},
            {signedIn});
        row("event with another member", {eventWith("authUrl", '"' + googleLink + "\",\"note\":\"x\"")});
        row("event with empty password", {eventWith("password", R"("")")});
        row("event for Google", {eventWith("provider", R"("Google")")});
        row("event of another type", {eventWith("type", R"("progress")")});
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

    // The canonical link of the provider (Google unless named) with one piece of text replaced.
    void linkCheck_data()
    {
        QTest::addColumn<QString>("provider");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        const auto row = [](const char *name, const QString &from, const QString &to, bool accepted,
                            const QString &provider = u"google"_s) {
            const QString link = provider == "zoho" ? zohoLink : googleLink;
            QTest::newRow(name) << provider << (from.isEmpty() ? link : QString(link).replace(from, to)) << accepted;
        };
        const QString onboardingHost = "onboarding.tallowmere.com", onboarding = "https%3A%2F%2F" + onboardingHost;
        row("google", {}, {}, true);
        row("google legacy path", "/v2/auth", "/auth", true);
        row("host in capitals", "accounts.google.com", "ACCOUNTS.GOOGLE.COM", true);
        row("explicit port 443", "google.com/", "google.com:443/", true);
        row("port 8443", "google.com/", "google.com:8443/", false);
        row("empty user part", "https://", "https://:@", false);
        row("redirect with an empty user part", onboardingHost, ":@" + onboardingHost, false);
        row("plain http", "https://accounts", "http://accounts", false);
        row("zoho", {}, {}, true, "zoho");
        row("zoho regional host", "zoho.eu", "zoho.com.au", true, "zoho");
        row("zoho with google's path", "/oauth/v2/auth", "/o/oauth2/auth", false, "zoho");
        row("unknown provider", {}, {}, false, "github");
        row("second state", "state=s1", "state=s1&state=s2", false);
        row("response type token", "type=code", "type=token", false);
        row("empty client id", "client_id=c1", "client_id=", false);
        row("state without value", "state=s1", "state", false);
        row("no redirect", "redirect_uri", "redirect", false);
        row("2048 characters", "s1", "s1&x=" + QString(2048 - googleLink.size() - 3, 'a'), true);
        row("2049 characters", "s1", "s1&x=" + QString(2049 - googleLink.size() - 3, 'a'), false);
        row("redirect with query", "callback", "callback%3Fa%3D1", false);
        row("redirect with fragment", "callback", "callback%23f", false);
        row("redirect to the other callback", "google-oauth", "zoho-oauth", false);
        row("redirect over http", "https%3A%2F%2Fonboarding", "http%3A%2F%2Fonboarding", false);
        row("redirect to another host", "tallowmere.com", "tallowmere.com.evil.example", false);
        row("redirect to localhost:3000", onboarding, "http://localhost:3000", true);
        row("redirect to localhost without port", onboarding, "http://localhost", false);
        // Only the characters of RFC 3986: Qt would re-encode or map the others.
        row("replacement character", "client_id=c1", "client_id=c\uFFFD", false);
        row("full-width letter in the host", "https://accounts", "https://\uFF41ccounts", false);
        row("full-width letter in the redirect host", "tallowmere.com", "tallowmere.co%EF%BD%8D", false);
        row("line feed", "s1", "s1\n", false);
        row("bad escape", "c1", "c%G1", false);
        row("escaped full-width host letter", "https://accounts", "https://%EF%BD%81ccounts", false);
        row("two fragment marks", "callback", "callback#a#b", false);
        row("fragment", "callback", "callback#frag", true);
        row("escapes and marks", "client_id=c1&state=s1", "client_id=c%EF%BF%BD&state=a!$'()*+,;=:@/?~._-",
            true);
    }

    void linkCheck()
    {
        QFETCH(QString, provider);
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QCOMPARE(bool(JITAuthorizationOutputParser::validatedAuthorizationURL(text, provider)), accepted);
    }
};

TALLOWMERE_TEST(OutputLinesTest)
#include "tst_OutputLines.moc"
