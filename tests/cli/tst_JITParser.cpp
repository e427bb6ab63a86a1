#include "cli/JITAuthorizationOutputParser.h"
#include "support/TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace tallowmere;

namespace {

const QString googleRedirect =
    QStringLiteral("https%3A%2F%2Fonboarding.tallowmere.com%2Fapi%2Fprofiles%2Fgoogle-oauth%2Fcallback");

QString link(const QString &hostAndPath = QStringLiteral("accounts.google.com/o/oauth2/v2/auth"),
             const QString &query = QStringLiteral("response_type=code&client_id=c1&state=s1&redirect_uri=") +
                                    googleRedirect)
{
    return QStringLiteral("https://") + hostAndPath + QLatin1Char('?') + query;
}

QString jsonEvent(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QJsonObject validEvent()
{
    return {{QStringLiteral("type"), QStringLiteral("jitAuthorization")},
            {QStringLiteral("provider"), QStringLiteral("google")},
            {QStringLiteral("email"), QStringLiteral("agent@corp.example")},
            {QStringLiteral("password"), QStringLiteral("s3cret pass")},
            {QStringLiteral("authUrl"), link()}};
}

} // namespace

class JITParserTest : public QObject {
    Q_OBJECT

private slots:
    void blockYieldsOnTheLinkLine()
    {
        JITAuthorizationOutputParser parser;
        QCOMPARE(parser.consume(QStringLiteral("Workspace account created (Google):")), std::nullopt);
        QCOMPARE(parser.consume(QStringLiteral("progress 3/4")), std::nullopt);
        QCOMPARE(parser.consume(QStringLiteral("Email:  agent one@corp.example")), std::nullopt);
        QCOMPARE(parser.consume(QStringLiteral("Password:\tp@ss word")), std::nullopt);
        const auto authorization = parser.consume(link());
        QVERIFY(authorization);
        QCOMPARE(authorization->provider, QStringLiteral("google"));
        QCOMPARE(authorization->email, QStringLiteral("agent one@corp.example"));
        QCOMPARE(authorization->password, QStringLiteral("p@ss word"));
        QCOMPARE(authorization->authURL, QUrl(link()));
        // The sign-in data stays: a later link yields again.
        QVERIFY(parser.consume(link()));
    }

    void anyBlankSeparatesTheLabel()
    {
        JITAuthorizationOutputParser parser;
        parser.consume(QStringLiteral("Workspace account created (Google):"));
        parser.consume(QStringLiteral("Email:\va@b"));
        parser.consume(QString::fromUtf8("Password:\u3000pw"));
        const auto authorization = parser.consume(link());
        QVERIFY(authorization);
        QCOMPARE(authorization->email, QStringLiteral("a@b"));
        QCOMPARE(authorization->password, QStringLiteral("pw"));
    }

    void linkBeforeThePasswordYieldsNothing()
    {
        JITAuthorizationOutputParser parser;
        parser.consume(QStringLiteral("Workspace account created (Zoho):"));
        parser.consume(QStringLiteral("Email: a@b"));
        const QString zoho = link(QStringLiteral("accounts.zoho.eu/oauth/v2/auth"),
                                  QStringLiteral("response_type=code&client_id=c&state=s&redirect_uri=http://"
                                                 "localhost:3000/api/profiles/zoho-oauth/callback"));
        QCOMPARE(parser.consume(zoho), std::nullopt);
        parser.consume(QStringLiteral("Password: x"));
        const auto authorization = parser.consume(zoho);
        QVERIFY(authorization);
        QCOMPARE(authorization->provider, QStringLiteral("zoho"));
    }

    void blockLinesNotRecognised_data()
    {
        QTest::addColumn<QStringList>("lines");
        const QString header = QStringLiteral("Workspace account created (Google):");
        QTest::newRow("provider in lower case")
            << QStringList{QStringLiteral("Workspace account created (google):"),
                           QStringLiteral("Email: a@b"), QStringLiteral("Password: p")};
        QTest::newRow("no blank after Email:")
            << QStringList{header, QStringLiteral("Email:a@b"), QStringLiteral("Password: p")};
        QTest::newRow("no blank after Password:")
            << QStringList{header, QStringLiteral("Email: a@b"), QStringLiteral("Password:p")};
        QTest::newRow("header with trailing text") << QStringList{
            header + QStringLiteral(" x"), QStringLiteral("Email: a@b"), QStringLiteral("Password: p")};
        QTest::newRow("address without @")
            << QStringList{header, QStringLiteral("Email: agent"), QStringLiteral("Password: p")};
        QTest::newRow("address of 321 characters") << QStringList{
            header, QStringLiteral("Email: ") + QString(319, QLatin1Char('a')) + QStringLiteral("@b"),
            QStringLiteral("Password: p")};
        QTest::newRow("password of 1025 characters")
            << QStringList{header, QStringLiteral("Email: a@b"),
                           QStringLiteral("Password: ") + QString(1025, QLatin1Char('p'))};
        QTest::newRow("address broken by a carriage return")
            << QStringList{header, QStringLiteral("Email: a@b\rc"), QStringLiteral("Password: p")};
    }

    void blockLinesNotRecognised()
    {
        QFETCH(QStringList, lines);
        JITAuthorizationOutputParser parser;
        for (const QString &line : lines)
            QCOMPARE(parser.consume(line), std::nullopt);
        QCOMPARE(parser.consume(link()), std::nullopt);
    }

    void longestAcceptedSignInData()
    {
        JITAuthorizationOutputParser parser;
        parser.consume(QStringLiteral("Workspace account created (Google):"));
        parser.consume(QStringLiteral("Email: ") + QString(318, QLatin1Char('a')) + QStringLiteral("@b"));
        parser.consume(QStringLiteral("Password: ") + QString::fromUtf8("😀").repeated(1024));
        QVERIFY(parser.consume(link()));
    }

    void jsonEventForms_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("accepted");

        QTest::newRow("valid") << jsonEvent(validEvent()) << true;
        QJsonObject extra = validEvent();
        extra.insert(QStringLiteral("note"), QStringLiteral("x"));
        QTest::newRow("additional member") << jsonEvent(extra) << false;
        QJsonObject missing = validEvent();
        missing.remove(QStringLiteral("password"));
        QTest::newRow("missing member") << jsonEvent(missing) << false;
        QJsonObject capital = validEvent();
        capital.insert(QStringLiteral("provider"), QStringLiteral("Google"));
        QTest::newRow("provider Google") << jsonEvent(capital) << false;
        QJsonObject emptyPassword = validEvent();
        emptyPassword.insert(QStringLiteral("password"), QString());
        QTest::newRow("empty password") << jsonEvent(emptyPassword) << false;
        QJsonObject numberEmail = validEvent();
        numberEmail.insert(QStringLiteral("email"), 5);
        QTest::newRow("address not a text") << jsonEvent(numberEmail) << false;
        QJsonObject otherType = validEvent();
        otherType.insert(QStringLiteral("type"), QStringLiteral("progress"));
        QTest::newRow("other type") << jsonEvent(otherType) << false;
        QJsonObject badLink = validEvent();
        badLink.insert(QStringLiteral("authUrl"), link(QStringLiteral("evil.example/o/oauth2/v2/auth")));
        QTest::newRow("foreign host") << jsonEvent(badLink) << false;
        QTest::newRow("array") << QStringLiteral("[\"jitAuthorization\"]") << false;
        QTest::newRow("truncated") << jsonEvent(validEvent()).chopped(1) << false;
    }

    void jsonEventForms()
    {
        QFETCH(QString, line);
        QFETCH(bool, accepted);
        JITAuthorizationOutputParser parser;
        const auto authorization = parser.consume(line);
        QCOMPARE(bool(authorization), accepted);
        if (accepted) {
            QCOMPARE(authorization->email, QStringLiteral("agent@corp.example"));
            QCOMPARE(authorization->password, QStringLiteral("s3cret pass"));
        }
    }

    void jsonEventLeavesTheBlockAlone()
    {
        JITAuthorizationOutputParser parser;
        parser.consume(QStringLiteral("Workspace account created (Zoho):"));
        QVERIFY(parser.consume(jsonEvent(validEvent())));
        parser.consume(QStringLiteral("Email: z@z"));
        parser.consume(QStringLiteral("Password: z"));
        // The pending provider is still Zoho: a Google link does not complete the block.
        QCOMPARE(parser.consume(link()), std::nullopt);
    }

    void linkCheck_data()
    {
        QTest::addColumn<QString>("provider");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");

        const QString base = QStringLiteral("response_type=code&client_id=c1&state=s1&redirect_uri=");
        QTest::newRow("google v2") << "google" << link() << true;
        QTest::newRow("google legacy path")
            << "google" << link(QStringLiteral("accounts.google.com/o/oauth2/auth")) << true;
        QTest::newRow("host in capitals")
            << "google" << link(QStringLiteral("ACCOUNTS.GOOGLE.COM/o/oauth2/v2/auth")) << true;
        QTest::newRow("explicit port 443")
            << "google" << link(QStringLiteral("accounts.google.com:443/o/oauth2/v2/auth")) << true;
        QTest::newRow("zoho with google's path")
            << "zoho" << link(QStringLiteral("accounts.zoho.com/o/oauth2/auth")) << false;
        QTest::newRow("zoho on a regional host")
            << "zoho"
            << link(QStringLiteral("accounts.zoho.com.au/oauth/v2/auth"),
                    base +
                        QStringLiteral("https://onboarding.tallowmere.com/api/profiles/zoho-oauth/callback"))
            << true;
        QTest::newRow("unknown provider") << "github" << link() << false;
        QTest::newRow("second state") << "google"
                                      << link(QStringLiteral("accounts.google.com/o/oauth2/v2/auth"),
                                              base + googleRedirect + QStringLiteral("&state=s2"))
                                      << false;
        QTest::newRow("response type token")
            << "google"
            << link(QStringLiteral("accounts.google.com/o/oauth2/v2/auth"),
                    QStringLiteral("response_type=token&client_id=c1&state=s1&redirect_uri=") +
                        googleRedirect)
            << false;
        QTest::newRow("empty client id")
            << "google"
            << link(QStringLiteral("accounts.google.com/o/oauth2/v2/auth"),
                    QStringLiteral("response_type=code&client_id=&state=s1&redirect_uri=") + googleRedirect)
            << false;
        QTest::newRow("state without value")
            << "google"
            << link(QStringLiteral("accounts.google.com/o/oauth2/v2/auth"),
                    QStringLiteral("response_type=code&client_id=c&state&redirect_uri=") + googleRedirect)
            << false;
        QTest::newRow("no redirect") << "google"
                                     << link(QStringLiteral("accounts.google.com/o/oauth2/v2/auth"),
                                             QStringLiteral("response_type=code&client_id=c&state=s"))
                                     << false;
        QTest::newRow("port 8443") << "google"
                                   << link(QStringLiteral("accounts.google.com:8443/o/oauth2/v2/auth"))
                                   << false;
        QTest::newRow("user part") << "google"
                                   << link(QStringLiteral("me@accounts.google.com/o/oauth2/v2/auth"))
                                   << false;
        QTest::newRow("plain http") << "google"
                                    << QString(link()).replace(QStringLiteral("https://"),
                                                               QStringLiteral("http://"))
                                    << false;
        QTest::newRow("2049 characters")
            << "google"
            << link() + QStringLiteral("&x=") + QString(2049 - link().size() - 3, QLatin1Char('a')) << false;
        QTest::newRow("2048 characters")
            << "google"
            << link() + QStringLiteral("&x=") + QString(2048 - link().size() - 3, QLatin1Char('a')) << true;
        QTest::newRow("blank inside") << "google" << link() + QStringLiteral(" x") << false;
        QTest::newRow("redirect with query")
            << "google"
            << link(QStringLiteral("accounts.google.com/o/oauth2/v2/auth"),
                    base + QStringLiteral("https%3A%2F%2Fonboarding.tallowmere.com%2Fapi%2Fprofiles%2Fgoogle-"
                                          "oauth%2Fcallback%3Fa%3D1"))
            << false;
        QTest::newRow("redirect with fragment")
            << "google"
            << link(QStringLiteral("accounts.google.com/o/oauth2/v2/auth"),
                    base + QStringLiteral("https%3A%2F%2Fonboarding.tallowmere.com%2Fapi%2Fprofiles%2Fgoogle-"
                                          "oauth%2Fcallback%23f"))
            << false;
        QTest::newRow("redirect to the other provider's callback")
            << "google"
            << link(QStringLiteral("accounts.google.com/o/oauth2/v2/auth"),
                    base +
                        QStringLiteral("https://onboarding.tallowmere.com/api/profiles/zoho-oauth/callback"))
            << false;
        QTest::newRow("redirect over http to the service")
            << "google"
            << link(QStringLiteral("accounts.google.com/o/oauth2/v2/auth"),
                    base +
                        QStringLiteral("http://onboarding.tallowmere.com/api/profiles/google-oauth/callback"))
            << false;
        QTest::newRow("redirect to localhost:3000")
            << "google"
            << link(QStringLiteral("accounts.google.com/o/oauth2/v2/auth"),
                    base + QStringLiteral("http://localhost:3000/api/profiles/google-oauth/callback"))
            << true;
        QTest::newRow("redirect to localhost without port")
            << "google"
            << link(QStringLiteral("accounts.google.com/o/oauth2/v2/auth"),
                    base + QStringLiteral("http://localhost/api/profiles/google-oauth/callback"))
            << false;
        QTest::newRow("redirect to another host")
            << "google"
            << link(QStringLiteral("accounts.google.com/o/oauth2/v2/auth"),
                    base + QStringLiteral("https://onboarding.tallowmere.com.evil.example/api/profiles/"
                                          "google-oauth/callback"))
            << false;
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
