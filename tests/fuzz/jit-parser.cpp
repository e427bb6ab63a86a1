// The workspace-authorisation parser over the input's trimmed lines. What it yields keeps to the limits, with
// a link to the provider's own page that sends the code back to the onboarding service; a block carries the
// latest header's, Email and Password lines' data; an event line gives what the event reader gives.
#include "FuzzInput.h"

#include "cli/Addresses.h"
#include "cli/JITAuthorizationOutputParser.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextBoundaryFinder>
#include <QUrlQuery>

#include <algorithm>

using namespace fuzzing;
using namespace tallowmere;
using namespace Qt::StringLiterals;

namespace {

QString text(std::string_view view) { return QString::fromLatin1(view.data(), qsizetype(view.size())); }

qsizetype graphemes(const QString &s)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
    qsizetype count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

bool isTerminator(QChar c) { return (c >= u'\n' && c <= u'\r') || c == u'\x85' || c == u'\u2028' || c == u'\u2029'; }

// "Email:" (or "Password:"), at least one blank (as QChar::isSpace means it), then the rest of the line,
// which holds no line terminator.
std::optional<QString> labelled(const QString &line, QLatin1StringView label)
{
    const QString rest = line.mid(label.size()).trimmed();
    if (!line.startsWith(label) || line.size() == label.size() || !line[label.size()].isSpace() ||
        rest.isEmpty() || std::any_of(rest.begin(), rest.end(), isTerminator))
        return std::nullopt;
    return rest;
}

void checkAcceptable(const JITWorkspaceAuthorization &a, const QString &link)
{
    const QString shown = a.provider + u' ' + a.email + u' ' + a.password + u' ' + link;
    require((a.provider == u"google" || a.provider == u"zoho") && a.email.contains(u'@') && graphemes(a.email) <= 320 &&
                graphemes(a.password) >= 1 && graphemes(a.password) <= 1024 && link.size() <= 2048,
            "google or zoho; an address with an @, a password, a link, each within its limit", shown);
    QStringList hosts{text(addresses::googleAccountsHost)}, paths{u"/o/oauth2/v2/auth"_s, u"/o/oauth2/auth"_s};
    if (a.provider == u"zoho") {
        hosts.clear();
        for (std::string_view host : addresses::zohoAccountsHosts)
            hosts << text(host);
        paths = {u"/oauth/v2/auth"_s};
    }
    const QUrl &url = a.authURL;
    require(url.scheme().toLower() == u"https" && url.userInfo().isEmpty() && (url.port() == -1 || url.port() == 443) &&
                hosts.contains(url.host().toLower()) && paths.contains(url.path(QUrl::FullyDecoded)),
            "the link is the provider's own authorisation page, over https, without user or other port", shown);
    const QUrlQuery query(url);
    require(query.queryItemValue(u"response_type"_s) == u"code" && !query.queryItemValue(u"client_id"_s).isEmpty() &&
                query.allQueryItemValues(u"state"_s).size() == 1 && !query.queryItemValue(u"state"_s).isEmpty(),
            "the link asks for a code, with a client and one state", shown);
    const QUrl redirect(query.queryItemValue(u"redirect_uri"_s, QUrl::FullyDecoded));
    const bool secure = redirect.scheme().toLower() == u"https";
    require(redirect.userInfo().isEmpty() && !redirect.hasQuery() && !redirect.hasFragment() &&
                redirect.path() == QStringLiteral("/api/profiles/%1-oauth/callback").arg(a.provider) &&
                redirect.host() == text(secure ? addresses::onboardingServiceHost : addresses::developmentRedirectHost) &&
                (secure ? redirect.port() == -1 || redirect.port() == 443
                        : redirect.scheme() == u"http" && redirect.port() == addresses::developmentRedirectPort),
            "the code goes back to the onboarding service", shown);
    require(JITAuthorizationOutputParser::validatedAuthorizationURL(url.toString(QUrl::FullyEncoded), a.provider) == url,
            "the accepted link, written out, is accepted as the same link", shown);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    JITAuthorizationOutputParser parser;
    std::optional<QString> provider, email, password; // the block's sign-in data as its line forms give it
    for (const QString &raw : utf8(data, size).split(u'\n')) {
        const QString line = raw.trimmed();
        const std::optional<JITWorkspaceAuthorization> yielded = parser.consume(line);
        if (const auto event = JITAuthorizationOutputParser::jsonEvent(line)) {
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
        require(line.startsWith(u"https://") && provider && email && password,
                "only a link line after a header, Email and Password lines completes a block", line);
        require(yielded->provider == *provider && yielded->email == *email && yielded->password == *password &&
                    yielded->authURL == JITAuthorizationOutputParser::validatedAuthorizationURL(line, *provider),
                "a block yields the latest header's provider, e-mail address and password, and its link", line);
        checkAcceptable(*yielded, line);
    }
    return 0;
}
