#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace tallowmere {

// The URL that `text` spells, when it is an absolute URI in RFC 3986's own characters: letters,
// digits, the reserved and unreserved marks and %HH escapes only, with a host that is a plain ASCII
// name or an IP literal. QUrl alone accepts more (in strict mode too): it re-encodes other characters
// and maps internationalised and full-width hosts to ASCII, so a link could pass as one it is not.
std::optional<QUrl> strictUrl(const QString &text);

// Whether `url` carries user information, an empty one too ("https://:@host"), which QUrl reports as
// an empty user name and password while the link still spells it.
bool carriesUserInfo(const QUrl &url);

} // namespace tallowmere
