#pragma once

#include "status/AgentRuntimeStatus.h"

#include <QCoro/QCoroTask>
#include <QString>

#include <chrono>
#include <memory>

namespace tallowmere {

// Reads one status sample from the running agent, over its endpoint on the loopback interface. The
// port and token files are read on every call, so a restarted agent is found at once.
class AgentStatusClient {
public:
    // The whole request, however slowly the agent answers.
    static constexpr std::chrono::milliseconds requestLimit{2000};
    // The largest body taken: a sample is a few hundred bytes.
    static constexpr qint64 bodyLimit = 256 * 1024;

    // A client for the profile directory (empty: the agent's default one).
    static std::shared_ptr<AgentStatusClient> create(const QString &profileDirectory = {});

    const QString &profileDirectory() const { return m_profileDirectory; }

    // One sample. Fails with TallowmereNativeError ("AGENT_STATUS_CONFIG_INVALID" for unusable port or
    // token files, "AGENT_STATUS_UNAVAILABLE" for any answer but 200 with a body within the limit; a
    // redirect is never followed), FileError when a file cannot be read, TransportError when the
    // request does not complete, DecodingError for a bad body.
    QCoro::Task<AgentRuntimeStatus> fetch();

    // The port a port file's text names, if it is a valid one.
    static std::optional<quint16> parsePort(const QString &text);

private:
    explicit AgentStatusClient(QString profileDirectory);

    const QString m_profileDirectory;
};

} // namespace tallowmere
