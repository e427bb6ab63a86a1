#include "status/AgentUpdateProbe.h"

#include "platform/HttpExchange.h"
#include "platform/StrictUrl.h"
#include "status/AgentVersion.h"
#include "status/NpmConfiguration.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>

namespace tallowmere {

namespace {

bool isLoopback(const QString &host)
{
    return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           QHostAddress(host).isLoopback();
}

} // namespace

std::optional<QUrl> AgentUpdateProbe::endpoint(const QString &registry)
{
    std::optional<QUrl> url = strictUrl(registry);
    // Credentials never travel in the address; a query or fragment makes no base.
    if (!url || url->host().isEmpty() || !url->userInfo().isEmpty() || url->hasQuery() || url->hasFragment())
        return std::nullopt;
    const bool secure = url->scheme() == QLatin1String("https");
    if (!secure && !(url->scheme() == QLatin1String("http") && isLoopback(url->host())))
        return std::nullopt;
    QString base = url->path(QUrl::FullyEncoded);
    while (base.endsWith(u'/'))
        base.chop(1);
    url->setPath(base + QLatin1String(path));
    return url;
}

QCoro::Task<std::optional<QUrl>> AgentUpdateProbe::endpoint()
{
    const std::optional<QString> registry = co_await npm::configuredRegistry();
    co_return registry ? endpoint(*registry) : std::nullopt;
}

std::optional<QString> AgentUpdateProbe::version(const QByteArray &body)
{
    if (body.size() > bodyLimit)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonValue version = document.object().value(QLatin1String("version"));
    if (!version.isString())
        return std::nullopt;
    return AgentVersion::sanitized(version.toString());
}

QCoro::Task<std::optional<QString>> AgentUpdateProbe::fetchBetaVersion()
{
    try {
        const std::optional<QUrl> url = co_await endpoint();
        if (!url)
            co_return std::nullopt;
        platform::HttpRequest request;
        request.url = *url;
        request.headers = {{"Accept", "application/json"}};
        request.deadline = limit;
        request.bodyLimit = bodyLimit;
        const platform::HttpOutcome outcome = co_await platform::exchange(request);
        // A reply from anywhere but the document's own address (after a redirect) is not the document.
        if (outcome.kind != platform::HttpOutcome::Kind::replied || outcome.status != 200 ||
            outcome.redirected || outcome.finalUrl != *url)
            co_return std::nullopt;
        co_return version(outcome.body);
    } catch (const std::exception &) {
        co_return std::nullopt; // nothing the probe meets is worth more than "no update"
    }
}

} // namespace tallowmere
