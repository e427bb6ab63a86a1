#pragma once

#include <QDateTime>
#include <QUrl>

#include <optional>

namespace tallowmere {

// The onboarding service's answer about the agent's channel binding.
struct OwnerSetupSession {
    bool required = false;
    std::optional<QUrl> url;
    std::optional<QDateTime> expiresAt;
    bool hasLiveSession = false;
    std::optional<bool> hasPendingBinding;
    bool operator==(const OwnerSetupSession &) const = default;
};

// The binding link kept across restarts.
struct OwnerSetupLink {
    QUrl url;
    std::optional<QDateTime> expiresAt;
    bool operator==(const OwnerSetupLink &) const = default;
};

} // namespace tallowmere
