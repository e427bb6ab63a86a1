#include "binding/OwnerSetupRules.h"

#include "platform/HttpExchange.h"
#include "platform/StrictUrl.h"

#include <QRegularExpression>

namespace tallowmere::owner_setup {

bool isServiceUrl(const QUrl &url)
{
    if (!url.isValid() || url.scheme().isEmpty() || carriesUserInfo(url) ||
        url.hasQuery() || url.hasFragment())
        return false;
    const QString scheme = url.scheme().toLower();
    const QString host = url.host().toLower();
    return (scheme == QLatin1String("https") && !host.isEmpty()) ||
           (scheme == QLatin1String("http") && host == QLatin1String("localhost"));
}

bool isSetupLink(const QUrl &link, const QUrl &serviceUrl, const QString &agentName)
{
    if (!platform::hasSameOrigin(link, serviceUrl) || carriesUserInfo(link) ||
        link.fragment(QUrl::FullyEncoded).isEmpty())
        return false;
    // Split before decoding, so that an escaped slash stays inside its segment.
    const QList<QByteArray> segments = link.path(QUrl::FullyEncoded).toUtf8().split('/');
    return segments.size() >= 3 && segments.last() == "setup" &&
           QUrl::fromPercentEncoding(segments.at(segments.size() - 2)) == agentName;
}

std::optional<QDateTime> readDate(const QJsonValue &value)
{
    static const QRegularExpression internetDateTime(
        QStringLiteral("\\A\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}(?:Z|[+-]\\d{2}:\\d{2})\\z"));
    if (!value.isString() || !internetDateTime.match(value.toString()).hasMatch())
        return std::nullopt;
    const QDateTime date = QDateTime::fromString(value.toString(), Qt::ISODate);
    return date.isValid() ? std::optional(date.toUTC()) : std::nullopt;
}

} // namespace tallowmere::owner_setup
