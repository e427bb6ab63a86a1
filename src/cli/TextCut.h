#pragma once

#include <QString>

namespace tallowmere {

// The first `count` user-perceived characters of `text` (grapheme clusters, so that a cut never
// splits an emoji or a combining sequence).
QString leadingCharacters(const QString &text, qsizetype count);

} // namespace tallowmere
