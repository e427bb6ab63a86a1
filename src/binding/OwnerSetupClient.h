#pragma once

#include "binding/OwnerSetupSession.h"

#include <QCoro/QCoroTask>
#include <QString>

#include <chrono>

namespace tallowmere {

// Asks the onboarding service, on the agent's behalf, whether its owner still has to bind a channel,
// and for the link of a setup page when one is needed. The settings come from the profile's
// "config.json" on every request; the client keeps no state and never retries.
class OwnerSetupClient {
public:
    // Each request may take 60 seconds, but the session bounds every exchange to 10 as a whole.
    static constexpr std::chrono::milliseconds requestLimit{60000};
    static constexpr std::chrono::milliseconds sessionLimit{10000};
    // Far above any real reply; a larger one counts as a failed request.
    static constexpr qint64 replyLimit = 1024 * 1024;
    // The longest setup link taken from the service.
    static constexpr qsizetype setupLinkLimit = 2048;

    explicit OwnerSetupClient(QString profileDirectory);

    // The binding's state, reusing `existingURL` while its session is live unless `forceRefresh`.
    // Fails with TallowmereNativeError (OWNER_SETUP_CONFIG_INVALID, OWNER_SETUP_UNAVAILABLE,
    // OWNER_SETUP_RESPONSE_INVALID, OWNER_SETUP_STATE_CHANGED), FileError when "config.json" cannot be
    // read, DecodingError for a document that is not JSON and TransportError when no reply comes.
    // The client may be destroyed while a request runs.
    QCoro::Task<OwnerSetupSession> request(std::optional<QUrl> existingURL, bool forceRefresh) const;

private:
    const QString m_profileDirectory;
};

} // namespace tallowmere
