// The workspace-authorisation parser over the lines of the input, trimmed as the runner trims them.
// Whatever it yields must be acceptable on every rule, checked here on the link's own text; a block
// announcement must carry the sign-in data of the latest header, Email and Password lines; an event
// line must give what the stateless event reader gives, and leave the block's data alone.
#include "FuzzInput.h"

#include "cli/Addresses.h"
#include "cli/JITAuthorizationOutputParser.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextBoundaryFinder>

#include <algorithm>

using namespace fuzzing;
using namespace tallowmere;

namespace {

QString text(std::string_view view)
{
    return QString::fromLatin1(view.data(), qsizetype(view.size()));
}

qsizetype graphemes(const QString &s)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
    qsizetype count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

// White space as the announcement's patterns mean it, and the characters that end a line.
bool isPatternSpace(QChar c)
{
    return c == u'\t' || (c >= u'\n' && c <= u'\r') || c == QChar(0x85) || c.category() == QChar::Separator_Space ||
           c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph;
}

bool isTerminator(QChar c)
{
    return (c >= u'\n' && c <= u'\r') || c == QChar(0x85) || c == QChar(0x2028) || c == QChar(0x2029);
}

// "Email:" (or "Password:"), at least one blank, and then the rest of the line, which holds no line
// terminator.
std::optional<QString> labelled(const QString &line, QLatin1StringView label)
{
    if (!line.startsWith(label) || line.size() == label.size() || !isPatternSpace(line[label.size()]))
        return std::nullopt;
    qsizetype start = label.size();
    while (start < line.size() && isPatternSpace(line[start]))
        ++start;
    const QString rest = line.mid(start);
    if (rest.isEmpty() || std::any_of(rest.begin(), rest.end(), isTerminator))
        return std::nullopt;
    return rest;
}

bool isAscii(QChar c, int (*kind)(int))
{
    return c.unicode() < 0x80 && kind(c.unicode());
}

// RFC 3986's characters: unreserved, reserved, and "%" with two hexadecimal digits.
bool isUriText(const QString &s)
{
    static constexpr QLatin1StringView marks("-._~:/?#[]@!$&'()*+,;=");
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == u'%') {
            if (i + 2 >= s.size() || !isAscii(s[i + 1], isxdigit) || !isAscii(s[i + 2], isxdigit))
                return false;
            i += 2;
        } else if (!isAscii(s[i], isalnum) && !marks.contains(s[i])) {
            return false;
        }
    }
    return true;
}

// The query's items, read from the link's text: name to percent-decoded value; nothing when a name
// repeats.
std::optional<QHash<QString, QString>> queryOf(const QString &link)
{
    const qsizetype question = link.indexOf(u'?');
    if (question < 0)
        return QHash<QString, QString>();
    const qsizetype hash = link.indexOf(u'#', question);
    QHash<QString, QString> items;
    for (const QString &item : link.mid(question + 1, hash < 0 ? -1 : hash - question - 1).split(u'&')) {
        const qsizetype equals = item.indexOf(u'=');
        const QString name = QUrl::fromPercentEncoding(item.left(equals < 0 ? item.size() : equals).toUtf8());
        if (items.contains(name))
            return std::nullopt;
        items.insert(name, equals < 0 ? QString() : QUrl::fromPercentEncoding(item.mid(equals + 1).toUtf8()));
    }
    return items;
}

bool acceptableRedirect(const QString &redirect, const QString &provider)
{
    const QUrl url(redirect);
    if (!isUriText(redirect) || redirect.contains(u'?') || redirect.contains(u'#') || !url.userInfo().isEmpty() ||
        url.path(QUrl::FullyDecoded) != QStringLiteral("/api/profiles/%1-oauth/callback").arg(provider))
        return false;
    const QString scheme = url.scheme().toLower(), host = url.host().toLower();
    return (scheme == u"https" && host == text(addresses::onboardingServiceHost) &&
            (url.port() == -1 || url.port() == 443)) ||
           (scheme == u"http" && host == text(addresses::developmentRedirectHost) &&
            url.port() == addresses::developmentRedirectPort);
}

// Every rule an authorisation must pass, `link` being the text it was made from.
void checkAcceptable(const JITWorkspaceAuthorization &a, const QString &link)
{
    const QString shown = a.provider + u' ' + link;
    require(a.provider == u"google" || a.provider == u"zoho", "the provider is google or zoho", shown);
    require(a.email.contains(u'@') && graphemes(a.email) >= 1 && graphemes(a.email) <= 320,
            "the e-mail address has 1 to 320 characters and an @", a.email);
    require(graphemes(a.password) >= 1 && graphemes(a.password) <= 1024, "the password has 1 to 1024 characters",
            a.password);
    require(link.size() <= 2048 && isUriText(link), "the link is at most 2048 characters of RFC 3986 text", link);

    QStringList hosts{text(addresses::googleAccountsHost)};
    QStringList paths{QStringLiteral("/o/oauth2/v2/auth"), QStringLiteral("/o/oauth2/auth")};
    if (a.provider == u"zoho") {
        hosts.clear();
        for (std::string_view host : addresses::zohoAccountsHosts)
            hosts << text(host);
        paths = {QStringLiteral("/oauth/v2/auth")};
    }
    const QUrl &url = a.authURL;
    require(url.scheme().toLower() == u"https" && url.userInfo().isEmpty() && (url.port() == -1 || url.port() == 443),
            "the link is https, without user or other port", shown);
    require(hosts.contains(url.host().toLower()) && paths.contains(url.path(QUrl::FullyDecoded)),
            "the link is one of the provider's own authorisation pages", shown);

    const std::optional<QHash<QString, QString>> query = queryOf(link);
    require(query.has_value(), "no query item is given twice", shown);
    require(query->value(QStringLiteral("response_type")) == u"code" &&
                !query->value(QStringLiteral("client_id")).isEmpty() &&
                !query->value(QStringLiteral("state")).isEmpty(),
            "the link asks for a code, with a client and a state", shown);
    require(query->contains(QStringLiteral("redirect_uri")) &&
                acceptableRedirect(query->value(QStringLiteral("redirect_uri")), a.provider),
            "the code goes back to the onboarding service", shown);
    require(JITAuthorizationOutputParser::validatedAuthorizationURL(url.toString(QUrl::FullyEncoded), a.provider) ==
                url,
            "the accepted link, written out, is accepted as the same link", shown);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    JITAuthorizationOutputParser parser;
    // The block's sign-in data as the announcement's line forms give it.
    std::optional<QString> provider, email, password;
    for (const QString &raw : utf8(data, size).split(u'\n')) {
        const QString line = raw.trimmed();
        const std::optional<JITWorkspaceAuthorization> yielded = parser.consume(line);
        const std::optional<JITWorkspaceAuthorization> event = JITAuthorizationOutputParser::jsonEvent(line);
        if (event) {
            require(yielded == event, "an event line yields what the event reader gives", line);
            checkAcceptable(*event, QJsonDocument::fromJson(line.toUtf8()).object().value(u"authUrl").toString());
            continue;
        }
        if (line == u"Workspace account created (Google):" || line == u"Workspace account created (Zoho):")
            provider = line.mid(27).chopped(2).toLower();
        else if (const auto value = labelled(line, QLatin1StringView("Email:")))
            email = value;
        else if (const auto value = labelled(line, QLatin1StringView("Password:")))
            password = value;
        if (!yielded)
            continue;
        require(line.startsWith(u"https://"), "only a link line completes a block", line);
        require(provider && email && password, "a block yields only after its header, Email and Password lines",
                line);
        require(yielded->provider == *provider && yielded->email == *email && yielded->password == *password,
                "a block yields the latest header's provider, e-mail address and password", line);
        require(yielded->authURL == JITAuthorizationOutputParser::validatedAuthorizationURL(line, *provider),
                "a block's link is the link line", line);
        checkAcceptable(*yielded, line);
    }
    return 0;
}
