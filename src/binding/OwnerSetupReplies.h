#pragma once

#include "binding/OwnerSetupSession.h"
#include "platform/HttpExchange.h"

#include <QJsonObject>

#include <optional>

// How OwnerSetupClient reads the onboarding service's replies (defined with the client). Each throws what
// OwnerSetupClient::request documents for its step: TransportError when no reply came, DecodingError for a
// body that is not JSON, TallowmereNativeError for any other reply it cannot use.
namespace tallowmere::owner_setup {

// The state request's reply: a 200 with an object holding "onboardingComplete" as a boolean.
QJsonObject stateReply(const platform::HttpOutcome &outcome);

// The new session's reply: any 2xx with an object whose "setupUrl" is a setup link of this service for
// this agent (isSetupLink), and its "expiresAt" when that is a date (readDate).
OwnerSetupLink newSessionReply(const platform::HttpOutcome &outcome, const QUrl &serviceUrl,
                               const QString &agentName);

// The pending-attempts reply: whether any live attempt is pending; none for anything unexpected. Never
// throws.
std::optional<bool> pendingReply(const platform::HttpOutcome &outcome);

} // namespace tallowmere::owner_setup
