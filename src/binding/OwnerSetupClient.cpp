#include "binding/OwnerSetupClient.h"

#include "binding/OwnerSetupReplies.h"
#include "binding/OwnerSetupRules.h"
#include "cli/AgentPackage.h"
#include "cli/Errors.h"
#include "cli/TextFile.h"
#include "platform/HttpExchange.h"
#include "platform/StrictUrl.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace tallowmere {

namespace {

using platform::HttpOutcome;

const QString stateMessage = QStringLiteral("暂时无法获取 Channel 绑定状态");
const QString pageMessage = QStringLiteral("暂时无法获取 Channel 绑定页面");

[[noreturn]] void fail(const char *code, const QString &message)
{
    throw TallowmereNativeError(QLatin1String(code), message);
}

struct Settings {
    QString agentName;
    QUrl serviceUrl;
    QByteArray apiKey;
};

QJsonDocument parseJson(const QByteArray &bytes, const char *what)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        throw DecodingError(
            QStringLiteral("%1 is not JSON: %2").arg(QLatin1String(what), error.errorString()));
    return document;
}

Settings readSettings(const QString &profileDirectory)
{
    const QString path = profileDirectory + QLatin1Char('/') + QLatin1String(agent::configFile);
    const QJsonDocument document = parseJson(readTextFile(path).toUtf8(), agent::configFile);
    const QJsonObject config = document.object();
    const QString agentName = config.value(QLatin1String("agentName")).toString();
    const std::optional<QUrl> serviceUrl =
        strictUrl(config.value(QLatin1String("onboardingServiceUrl")).toString());
    const QByteArray apiKey = config.value(QLatin1String("tallowmereServiceApiKey")).toString().toUtf8();
    // A dot segment would move the request's path; a line break in the key would add a header.
    const bool usable = document.isObject() && !agentName.isEmpty() && agentName != QLatin1String(".") &&
                        agentName != QLatin1String("..") && serviceUrl &&
                        owner_setup::isServiceUrl(*serviceUrl) && !apiKey.isEmpty() &&
                        platform::isSafeHeaderValue(apiKey);
    if (!usable)
        fail("OWNER_SETUP_CONFIG_INVALID", QStringLiteral("Channel 绑定配置无效"));
    return {agentName, *serviceUrl, apiKey};
}

// The service URL with each segment appended as one path component of its own.
QUrl endpoint(QUrl serviceUrl, const QStringList &segments)
{
    QString path = serviceUrl.path(QUrl::FullyEncoded);
    for (const QString &segment : segments) {
        if (!path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('/');
        path += QString::fromLatin1(QUrl::toPercentEncoding(segment));
    }
    serviceUrl.setPath(path, QUrl::StrictMode);
    return serviceUrl;
}

platform::HttpRequest httpRequest(const QByteArray &method, const QUrl &url, const QByteArray &token)
{
    platform::HttpRequest request;
    request.method = method;
    request.url = url;
    request.headers = {{"Authorization", "Bearer " + token}};
    request.deadline = std::min(OwnerSetupClient::requestLimit, OwnerSetupClient::sessionLimit);
    request.bodyLimit = OwnerSetupClient::replyLimit;
    // The token may follow a redirect only as far as its own origin.
    request.followSameOriginRedirects = true;
    return request;
}

void throwIfNoReply(const HttpOutcome &outcome)
{
    if (outcome.kind == HttpOutcome::Kind::transportFailed || outcome.kind == HttpOutcome::Kind::refused)
        throw TransportError(outcome.error);
}

} // namespace

namespace owner_setup {

QJsonObject stateReply(const HttpOutcome &outcome)
{
    throwIfNoReply(outcome);
    if (outcome.kind != HttpOutcome::Kind::replied || outcome.status != 200)
        fail("OWNER_SETUP_UNAVAILABLE", stateMessage);
    const QJsonDocument document = parseJson(outcome.body, "the owner setup state");
    if (!document.isObject() || !document.object().value(QLatin1String("onboardingComplete")).isBool())
        fail("OWNER_SETUP_UNAVAILABLE", stateMessage);
    return document.object();
}

OwnerSetupLink newSessionReply(const HttpOutcome &outcome, const QUrl &serviceUrl, const QString &agentName)
{
    throwIfNoReply(outcome);
    if (outcome.kind == HttpOutcome::Kind::replied && outcome.status == 409)
        fail("OWNER_SETUP_STATE_CHANGED", QStringLiteral("Channel 绑定状态已更新，正在重新检查"));
    if (outcome.kind != HttpOutcome::Kind::replied || outcome.status < 200 || outcome.status > 299)
        fail("OWNER_SETUP_UNAVAILABLE", pageMessage);
    const QJsonDocument document = parseJson(outcome.body, "the owner setup page");
    if (!document.isObject())
        fail("OWNER_SETUP_UNAVAILABLE", pageMessage);
    const QJsonValue setupUrl = document.object().value(QLatin1String("setupUrl"));
    const std::optional<QUrl> link =
        setupUrl.isString() && setupUrl.toString().size() <= OwnerSetupClient::setupLinkLimit
            ? strictUrl(setupUrl.toString())
            : std::nullopt;
    if (!link || !isSetupLink(*link, serviceUrl, agentName))
        fail("OWNER_SETUP_RESPONSE_INVALID", QStringLiteral("Channel 绑定页面无效"));
    return {*link, readDate(document.object().value(QLatin1String("expiresAt")))};
}

std::optional<bool> pendingReply(const HttpOutcome &outcome)
{
    if (outcome.kind != HttpOutcome::Kind::replied || outcome.status != 200)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(outcome.body);
    const QJsonValue attempts = document.object().value(QLatin1String("liveAttempts"));
    if (!attempts.isArray())
        return std::nullopt;
    bool pending = false;
    for (const QJsonValue &attempt : attempts.toArray()) {
        if (!attempt.isObject())
            return std::nullopt;
        pending = pending || attempt.toObject().value(QLatin1String("status")) == QLatin1String("pending");
    }
    return pending;
}

} // namespace owner_setup

namespace {

// Whether the page behind a held link has a pending binding attempt; the probe never fails.
QCoro::Task<std::optional<bool>> probePendingBinding(QUrl link, Settings settings)
{
    const QByteArray token = link.fragment(QUrl::FullyEncoded).toUtf8().trimmed();
    if (token.isEmpty())
        co_return std::nullopt;
    const QList<QByteArray> segments = link.path(QUrl::FullyEncoded).toUtf8().split('/');
    const QString agentSegment = QUrl::fromPercentEncoding(segments.value(segments.size() - 2));
    const QUrl url = endpoint(settings.serviceUrl, {QStringLiteral("api"), QStringLiteral("agents"),
                                                    agentSegment, QStringLiteral("setup")});
    co_return owner_setup::pendingReply(co_await platform::exchange(httpRequest("GET", url, token)));
}

} // namespace

OwnerSetupClient::OwnerSetupClient(QString profileDirectory)
    : m_profileDirectory(std::move(profileDirectory))
{
}

QCoro::Task<OwnerSetupSession> OwnerSetupClient::request(std::optional<QUrl> existingURL,
                                                         bool forceRefresh) const
{
    // Everything the client holds is read before the first suspension.
    const Settings settings = readSettings(m_profileDirectory);
    const QUrl provisioning =
        endpoint(settings.serviceUrl, {QStringLiteral("api"), QStringLiteral("agents"), settings.agentName,
                                       QStringLiteral("owner-provisioning")});

    const QJsonObject state = owner_setup::stateReply(
        co_await platform::exchange(httpRequest("GET", provisioning, settings.apiKey)));
    if (state.value(QLatin1String("onboardingComplete")).toBool())
        co_return OwnerSetupSession{};

    const bool live = state.value(QLatin1String("hasLiveSession")) == QJsonValue(true) && !forceRefresh;
    const std::optional<QDateTime> expiresAt = owner_setup::readDate(state.value(QLatin1String("expiresAt")));
    if (live && existingURL &&
        owner_setup::isSetupLink(*existingURL, settings.serviceUrl, settings.agentName)) {
        const std::optional<bool> pending = co_await probePendingBinding(*existingURL, settings);
        co_return OwnerSetupSession{true, existingURL, expiresAt, false, pending};
    }
    if (live)
        co_return OwnerSetupSession{true, std::nullopt, expiresAt, true, std::nullopt};

    const OwnerSetupLink page = owner_setup::newSessionReply(
        co_await platform::exchange(httpRequest("POST", provisioning, settings.apiKey)), settings.serviceUrl,
        settings.agentName);
    co_return OwnerSetupSession{true, page.url, page.expiresAt, false, std::nullopt};
}

} // namespace tallowmere
