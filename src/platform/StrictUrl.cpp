#include "platform/StrictUrl.h"

#include <algorithm>

namespace tallowmere {

namespace {

bool isAlpha(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isHexDigit(QChar c)
{
    return isDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool isUnreservedOrSubDelimiter(QChar c)
{
    return isAlpha(c) || isDigit(c) || QStringView(u"-._~!$&'()*+,;=").contains(c);
}

// Whether `part` holds only unreserved characters, sub-delimiters, the `extra` characters and %HH
// escapes.
bool consistsOf(QStringView part, QStringView extra)
{
    for (qsizetype i = 0; i < part.size(); ++i) {
        const QChar c = part[i];
        if (c == u'%') {
            if (i + 2 >= part.size() || !isHexDigit(part[i + 1]) || !isHexDigit(part[i + 2]))
                return false;
            i += 2;
        } else if (!isUnreservedOrSubDelimiter(c) && !extra.contains(c)) {
            return false;
        }
    }
    return true;
}

// authority = [ userinfo "@" ] host [ ":" port ], the host a registered name or an IP literal. QUrl
// checks the literal's address, and refuses escapes in a host name, which it would otherwise decode
// and map to another name.
bool isAuthority(QStringView authority)
{
    const qsizetype at = authority.indexOf(u'@');
    if (at >= 0 && !consistsOf(authority.first(at), u":"))
        return false;
    QStringView hostAndPort = authority.sliced(at + 1);
    QStringView port;
    if (hostAndPort.startsWith(u'[')) {
        const qsizetype close = hostAndPort.indexOf(u']');
        if (close < 0 || !consistsOf(hostAndPort.sliced(1, close - 1), u":"))
            return false;
        port = hostAndPort.sliced(close + 1);
        if (!port.isEmpty() && !port.startsWith(u':'))
            return false;
    } else {
        const qsizetype colon = hostAndPort.indexOf(u':');
        if (!consistsOf(colon < 0 ? hostAndPort : hostAndPort.first(colon), {}))
            return false;
        port = colon < 0 ? QStringView() : hostAndPort.sliced(colon);
    }
    return std::all_of(port.begin() + (port.isEmpty() ? 0 : 1), port.end(), isDigit);
}

} // namespace

std::optional<QUrl> strictUrl(const QString &text)
{
    // URI = scheme ":" hier-part [ "?" query ] [ "#" fragment ]
    const qsizetype colon = text.indexOf(u':');
    if (colon < 1 || !isAlpha(text[0]) || !std::all_of(text.begin(), text.begin() + colon, [](QChar c) {
            return isAlpha(c) || isDigit(c) || c == u'+' || c == u'-' || c == u'.';
        }))
        return std::nullopt;
    QStringView rest = QStringView(text).sliced(colon + 1);
    const qsizetype hash = rest.indexOf(u'#');
    if (hash >= 0 && !consistsOf(rest.sliced(hash + 1), u":@/?"))
        return std::nullopt;
    rest = rest.first(hash < 0 ? rest.size() : hash);
    const qsizetype question = rest.indexOf(u'?');
    if (question >= 0 && !consistsOf(rest.sliced(question + 1), u":@/?"))
        return std::nullopt;
    QStringView path = rest.first(question < 0 ? rest.size() : question);
    if (path.startsWith(u"//")) {
        const qsizetype slash = path.indexOf(u'/', 2);
        if (!isAuthority(path.sliced(2, (slash < 0 ? path.size() : slash) - 2)))
            return std::nullopt;
        path = slash < 0 ? QStringView() : path.sliced(slash);
    }
    if (!consistsOf(path, u":@/"))
        return std::nullopt;
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

bool carriesUserInfo(const QUrl &url)
{
    return url.authority(QUrl::FullyEncoded).contains(u'@');
}

} // namespace tallowmere
