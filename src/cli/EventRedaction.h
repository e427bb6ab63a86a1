#pragma once

#include <QString>

namespace tallowmere {

// A "jitAuthorization" event line (a JSON object whose "type" is that text) with the value of every
// member named "email" or "password" replaced by "[REDACTED]", the rest of the line as it was. Such
// a line reaches the redactor only when it failed the workspace-authorisation check, and its
// sign-in data must not be shown or logged even then. Any other line comes back unchanged.
QString redactAuthorizationEvent(const QString &line);

} // namespace tallowmere
