#include "status/AgentStatusClient.h"

#include "cli/AgentPackage.h"
#include "cli/Errors.h"
#include "cli/TextFile.h"
#include "platform/HttpExchange.h"

#include <QRegularExpression>

namespace tallowmere {

namespace {

[[noreturn]] void configInvalid()
{
    throw TallowmereNativeError(QStringLiteral("AGENT_STATUS_CONFIG_INVALID"),
                                QStringLiteral("Agent 状态通道配置无效"));
}

[[noreturn]] void unavailable()
{
    throw TallowmereNativeError(QStringLiteral("AGENT_STATUS_UNAVAILABLE"),
                                QStringLiteral("Agent 状态通道不可用"));
}

// The file's text, trimmed; a file that cannot be read as UTF-8 text is a file error.
QString readTrimmed(const QString &path)
{
    return readTextFile(path).trimmed();
}

} // namespace

std::shared_ptr<AgentStatusClient> AgentStatusClient::create(const QString &profileDirectory)
{
    return std::shared_ptr<AgentStatusClient>(new AgentStatusClient(
        profileDirectory.isEmpty() ? agent::defaultProfileDirectory() : profileDirectory));
}

AgentStatusClient::AgentStatusClient(QString profileDirectory)
    : m_profileDirectory(std::move(profileDirectory))
{
}

std::optional<quint16> AgentStatusClient::parsePort(const QString &text)
{
    static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]+$"));
    if (!decimal.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok); // fails on overflow
    if (!ok || value < 1 || value > 65535)
        return std::nullopt;
    return quint16(value);
}

QCoro::Task<AgentRuntimeStatus> AgentStatusClient::fetch()
{
    // The client is not touched after the request is sent: it may be gone by the time the reply is in.
    const QString directory = m_profileDirectory + QLatin1Char('/');
    const QString portText = readTrimmed(directory + QLatin1String(agent::portFile));
    const QString token = readTrimmed(directory + QLatin1String(agent::tokenFile));
    if (portText.isEmpty())
        configInvalid();
    const std::optional<quint16> port = parsePort(portText);
    if (!port || token.isEmpty())
        configInvalid();

    platform::HttpRequest request;
    request.url =
        QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(*port).arg(QLatin1String(agent::statusPath)));
    request.headers = {{"Authorization", "Bearer " + token.toUtf8()}};
    request.deadline = requestLimit;
    request.bodyLimit = bodyLimit;
    const platform::HttpOutcome outcome = co_await platform::exchange(std::move(request));
    switch (outcome.kind) {
    case platform::HttpOutcome::Kind::refused: // a token with control characters, or no URL to be formed
        configInvalid();
    case platform::HttpOutcome::Kind::transportFailed:
        throw TransportError(outcome.error);
    case platform::HttpOutcome::Kind::bodyTooLarge:
        unavailable();
    case platform::HttpOutcome::Kind::replied:
        break;
    }
    if (outcome.status != 200)
        unavailable();
    co_return AgentRuntimeStatus::fromJson(outcome.body);
}

} // namespace tallowmere
