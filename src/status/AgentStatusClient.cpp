#include "status/AgentStatusClient.h"

#include "cli/AgentPackage.h"
#include "cli/Errors.h"
#include "cli/TextFile.h"

#include <QCoro/QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTimer>

namespace tallowmere {

namespace {

[[noreturn]] void configInvalid()
{
    throw TallowmereNativeError(QStringLiteral("AGENT_STATUS_CONFIG_INVALID"),
                                QStringLiteral("Agent 状态通道配置无效"));
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
    , m_network(std::make_unique<QNetworkAccessManager>())
{
    // Nothing kept between requests, and never a proxy for the loopback interface.
    m_network->setCookieJar(nullptr);
    m_network->setProxy(QNetworkProxy::NoProxy);
    m_network->setTransferTimeout(int(requestLimit.count()));
}

AgentStatusClient::~AgentStatusClient() = default;

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
    // Keeps the client, and with it the network access, alive until this request is over.
    const std::shared_ptr<AgentStatusClient> self = shared_from_this();

    const QString directory = m_profileDirectory + QLatin1Char('/');
    const QString portText = readTrimmed(directory + QLatin1String(agent::portFile));
    const QString token = readTrimmed(directory + QLatin1String(agent::tokenFile));
    if (portText.isEmpty())
        configInvalid();
    const std::optional<quint16> port = parsePort(portText);
    if (!port || token.isEmpty())
        configInvalid();
    const QUrl url(QStringLiteral("http://127.0.0.1:%1%2").arg(*port).arg(QLatin1String(agent::statusPath)));
    if (!url.isValid())
        configInvalid();

    QNetworkRequest request(url);
    request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    // Deleted later: the reply is still inside its own signal when this resumes.
    const auto deleteLater = [](QNetworkReply *finished) { finished->deleteLater(); };
    std::unique_ptr<QNetworkReply, decltype(deleteLater)> reply(m_network->get(request), deleteLater);
    // The whole exchange, not only each wait for data, is bounded.
    QTimer::singleShot(requestLimit, reply.get(), &QNetworkReply::abort);
    co_await reply.get();

    // Errors below the content range (connection, time-out, proxy) and protocol errors are the
    // transport's, also when they cut a reply short after its status line.
    const QNetworkReply::NetworkError error = reply->error();
    const bool transportFailed =
        (error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied) ||
        (error >= QNetworkReply::ProtocolUnknownError && error < QNetworkReply::InternalServerError);
    const QVariant statusCode = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (transportFailed || !statusCode.isValid())
        throw TransportError(reply->errorString());
    if (statusCode.toInt() != 200)
        throw TallowmereNativeError(QStringLiteral("AGENT_STATUS_UNAVAILABLE"),
                                    QStringLiteral("Agent 状态通道不可用"));
    co_return AgentRuntimeStatus::fromJson(reply->readAll());
}

} // namespace tallowmere
