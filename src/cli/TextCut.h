#pragma once

#include <QString>

namespace tallowmere {

// Text lengths as a person counts them: in user-perceived characters (grapheme clusters), so that a
// cut never splits an emoji or a combining sequence.
QString leadingCharacters(const QString &text, qsizetype count);
qsizetype characterCount(const QString &text);

} // namespace tallowmere
