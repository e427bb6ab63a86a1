#pragma once

#include "status/AgentRuntimeStatus.h"

#include <QCoro/QCoroTask>
#include <QString>

#include <chrono>
#include <memory>

class QNetworkAccessManager;

namespace tallowmere {

// Reads one status sample from the running agent, over its endpoint on the loopback interface. The
// port and token files are read on every call, so a restarted agent is found at once.
class AgentStatusClient : public std::enable_shared_from_this<AgentStatusClient> {
public:
    static constexpr std::chrono::milliseconds requestLimit{2000};

    // A client for the profile directory (empty: the agent's default one).
    static std::shared_ptr<AgentStatusClient> create(const QString &profileDirectory = {});
    ~AgentStatusClient();

    const QString &profileDirectory() const { return m_profileDirectory; }

    // One sample. Fails with TallowmereNativeError ("AGENT_STATUS_CONFIG_INVALID" for unusable port or
    // token files, "AGENT_STATUS_UNAVAILABLE" for any answer but 200), FileError when a file cannot
    // be read, TransportError when the request does not complete, DecodingError for a bad body.
    QCoro::Task<AgentRuntimeStatus> fetch();

    // The port a port file's text names, if it is a valid one.
    static std::optional<quint16> parsePort(const QString &text);

private:
    explicit AgentStatusClient(QString profileDirectory);

    const QString m_profileDirectory;
    std::unique_ptr<QNetworkAccessManager> m_network;
};

} // namespace tallowmere
