#include "cli/JITAuthorizationOutputParser.h"

#include "cli/Addresses.h"
#include "cli/TextCut.h"
#include "platform/StrictUrl.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>

namespace tallowmere {

namespace {

constexpr qsizetype maxEmailLength = 320;
constexpr qsizetype maxPasswordLength = 1024;
constexpr qsizetype maxLinkLength = 2048;

// The block's line forms. Whitespace, "." and "$" behave as in ICU: \s is tab, line feed, vertical
// tab, form feed, carriage return, next line and the separators; "." and "$" stop at any line
// terminator but a final one.
#define TM_SPACE "[\\t\\n\\x0B\\f\\r\\x{85}\\p{Z}]"
#define TM_NOT_TERMINATOR "[^\\n\\x0B\\f\\r\\x{85}\\x{2028}\\x{2029}]"
#define TM_LINE_END "(?:\\r\\n|[\\n\\x0B\\f\\r\\x{85}\\x{2028}\\x{2029}])?\\z"

const QRegularExpression &headerPattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("^Workspace account created \\((Google|Zoho)\\):" TM_LINE_END));
    return pattern;
}

const QRegularExpression &labelledPattern(bool email)
{
    static const QRegularExpression emailPattern(
        QStringLiteral("^Email:" TM_SPACE "+(" TM_NOT_TERMINATOR "+)" TM_LINE_END));
    static const QRegularExpression passwordPattern(
        QStringLiteral("^Password:" TM_SPACE "+(" TM_NOT_TERMINATOR "+)" TM_LINE_END));
    return email ? emailPattern : passwordPattern;
}

std::optional<QString> capture(const QRegularExpression &pattern, const QString &line)
{
    const QRegularExpressionMatch match = pattern.match(line);
    return match.hasMatch() ? std::optional(match.captured(1)) : std::nullopt;
}

bool acceptableEmail(const QString &email)
{
    return !email.isEmpty() && email.contains(QLatin1Char('@')) && characterCount(email) <= maxEmailLength;
}

bool acceptablePassword(const QString &password)
{
    return !password.isEmpty() && characterCount(password) <= maxPasswordLength;
}

struct Provider {
    QStringList paths;
    QStringList hosts;
    QString callbackPath;
};

std::optional<Provider> providerNamed(const QString &name)
{
    const auto text = [](std::string_view view) {
        return QString::fromLatin1(view.data(), qsizetype(view.size()));
    };
    if (name == QLatin1String("google")) {
        return Provider{{QStringLiteral("/o/oauth2/v2/auth"), QStringLiteral("/o/oauth2/auth")},
                        {text(addresses::googleAccountsHost)},
                        QStringLiteral("/api/profiles/google-oauth/callback")};
    }
    if (name == QLatin1String("zoho")) {
        QStringList hosts;
        for (std::string_view host : addresses::zohoAccountsHosts)
            hosts << text(host);
        return Provider{
            {QStringLiteral("/oauth/v2/auth")}, hosts, QStringLiteral("/api/profiles/zoho-oauth/callback")};
    }
    return std::nullopt;
}

// The query as name/value pairs, each percent-decoded; an item without "=" has the empty value.
QList<std::pair<QString, QString>> queryItems(const QUrl &url)
{
    QList<std::pair<QString, QString>> items;
    if (!url.hasQuery())
        return items;
    const QString query = url.query(QUrl::FullyEncoded);
    if (query.isEmpty())
        return items;
    for (const QString &item : query.split(QLatin1Char('&'))) {
        const qsizetype equals = item.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? item : item.left(equals);
        const QString value = equals < 0 ? QString() : item.mid(equals + 1);
        items.append({QUrl::fromPercentEncoding(name.toUtf8()), QUrl::fromPercentEncoding(value.toUtf8())});
    }
    return items;
}

bool acceptableRedirect(const QString &text, const Provider &provider)
{
    const std::optional<QUrl> redirect = strictUrl(text);
    if (!redirect || carriesUserInfo(*redirect) ||
        redirect->hasQuery() || redirect->hasFragment() ||
        redirect->path(QUrl::FullyDecoded) != provider.callbackPath)
        return false;
    const QString scheme = redirect->scheme().toLower();
    const QString host = redirect->host().toLower();
    const auto is = [](const QString &value, std::string_view expected) {
        return value == QLatin1String(expected.data(), qsizetype(expected.size()));
    };
    if (scheme == QLatin1String("https"))
        return is(host, addresses::onboardingServiceHost) &&
               (redirect->port() == -1 || redirect->port() == 443);
    return scheme == QLatin1String("http") && is(host, addresses::developmentRedirectHost) &&
           redirect->port() == addresses::developmentRedirectPort;
}

} // namespace

std::optional<QUrl> JITAuthorizationOutputParser::validatedAuthorizationURL(const QString &text,
                                                                            const QString &provider)
{
    // The strict reading refuses white space and line breaks along with every other stray character.
    const std::optional<QUrl> link = text.size() <= maxLinkLength ? strictUrl(text) : std::nullopt;
    if (!link)
        return std::nullopt;
    const QUrl &url = *link;
    if (url.scheme().toLower() != QLatin1String("https") || (url.port() != -1 && url.port() != 443) ||
        carriesUserInfo(url) || url.host().isEmpty())
        return std::nullopt;

    const std::optional<Provider> rules = providerNamed(provider);
    if (!rules || !rules->paths.contains(url.path(QUrl::FullyDecoded)) ||
        !rules->hosts.contains(url.host().toLower()))
        return std::nullopt;

    QHash<QString, QString> query;
    for (const auto &[name, value] : queryItems(url)) {
        if (query.contains(name))
            return std::nullopt;
        query.insert(name, value);
    }
    if (query.isEmpty() || query.value(QStringLiteral("response_type")) != QLatin1String("code") ||
        query.value(QStringLiteral("client_id")).isEmpty() ||
        query.value(QStringLiteral("state")).isEmpty() || !query.contains(QStringLiteral("redirect_uri")) ||
        !acceptableRedirect(query.value(QStringLiteral("redirect_uri")), *rules))
        return std::nullopt;
    return url;
}

std::optional<JITWorkspaceAuthorization> JITAuthorizationOutputParser::jsonEvent(const QString &line)
{
    // Only an object can be an event: skip the parser for every other line.
    const qsizetype first =
        std::find_if_not(line.begin(), line.end(), [](QChar c) { return c.isSpace(); }) - line.begin();
    if (first == line.size() || line.at(first) != QLatin1Char('{'))
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8());
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject event = document.object();
    static const QStringList members = {QStringLiteral("type"), QStringLiteral("provider"),
                                        QStringLiteral("email"), QStringLiteral("password"),
                                        QStringLiteral("authUrl")};
    if (event.size() != members.size() ||
        !std::all_of(members.begin(), members.end(),
                     [&event](const QString &m) { return event.value(m).isString(); }) ||
        event.value(QLatin1String("type")) != QLatin1String("jitAuthorization"))
        return std::nullopt;
    const QString provider = event.value(QLatin1String("provider")).toString();
    const QString email = event.value(QLatin1String("email")).toString();
    const QString password = event.value(QLatin1String("password")).toString();
    if (!acceptableEmail(email) || !acceptablePassword(password))
        return std::nullopt;
    const std::optional<QUrl> url =
        validatedAuthorizationURL(event.value(QLatin1String("authUrl")).toString(), provider);
    if (!url)
        return std::nullopt;
    return JITWorkspaceAuthorization{provider, email, password, *url};
}

bool JITAuthorizationOutputParser::mayConsume(QLatin1StringView line)
{
    if (line.isEmpty())
        return false;
    switch (line.front().unicode()) {
    case '{':
        return true;
    case 'W':
        return line.startsWith(QLatin1String("Workspace account created ("));
    case 'E':
        return line.startsWith(QLatin1String("Email:"));
    case 'P':
        return line.startsWith(QLatin1String("Password:"));
    case 'h':
        return line.startsWith(QLatin1String("https://"));
    default:
        return false;
    }
}

std::optional<JITWorkspaceAuthorization> JITAuthorizationOutputParser::consume(const QString &line)
{
    if (line.isEmpty())
        return std::nullopt;
    // Each form starts with its own character (an event may also start with blanks).
    switch (line.front().unicode()) {
    case u'W':
        if (line.startsWith(QLatin1String("Workspace account created ("))) {
            if (const auto name = capture(headerPattern(), line))
                m_provider = name->toLower();
        }
        return std::nullopt;
    case u'E':
        if (line.startsWith(QLatin1String("Email:"))) {
            if (const auto email = capture(labelledPattern(true), line))
                m_email = *email;
        }
        return std::nullopt;
    case u'P':
        if (line.startsWith(QLatin1String("Password:"))) {
            if (const auto password = capture(labelledPattern(false), line))
                m_password = *password;
        }
        return std::nullopt;
    case u'h':
        break;
    default:
        return jsonEvent(line);
    }
    if (!line.startsWith(QLatin1String("https://")) || !m_provider || !m_email || !m_password ||
        !m_email->contains(QLatin1Char('@')) || characterCount(*m_email) > maxEmailLength ||
        characterCount(*m_password) > maxPasswordLength)
        return std::nullopt;
    const std::optional<QUrl> url = validatedAuthorizationURL(line, *m_provider);
    if (!url)
        return std::nullopt;
    return JITWorkspaceAuthorization{*m_provider, *m_email, *m_password, *url};
}

} // namespace tallowmere
