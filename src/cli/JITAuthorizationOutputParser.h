#pragma once

#include "cli/JITWorkspaceAuthorization.h"

#include <optional>

namespace tallowmere {

// Watches the setup command's output for a workspace account announcement, in either of its forms: a
// plain-text block (header, "Email:", "Password:", then the authorisation link) or one JSON
// "jitAuthorization" event line. Sign-in data and link are checked strictly; only the providers' own
// authorisation pages that send the code back to the onboarding service are accepted.
class JITAuthorizationOutputParser {
public:
    // Feeds one (trimmed, unredacted) output line; gives an authorisation when the line completes one.
    std::optional<JITWorkspaceAuthorization> consume(const QString &line);

    // Whether a (trimmed, ASCII) line can be part of an announcement at all.
    static bool mayConsume(QLatin1StringView line);

    static std::optional<JITWorkspaceAuthorization> jsonEvent(const QString &line);
    static std::optional<QUrl> validatedAuthorizationURL(const QString &text, const QString &provider);

private:
    // Pending sign-in data of the block form; replaced by later lines, never cleared.
    std::optional<QString> m_provider;
    std::optional<QString> m_email;
    std::optional<QString> m_password;
};

} // namespace tallowmere
