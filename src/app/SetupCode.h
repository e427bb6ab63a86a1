#pragma once

#include <QString>

#include <optional>

namespace tallowmere {

// Grouping applied to every value typed into the setup-code field: upper case, only code characters
// (and "I", so that the workspace prefix can be typed), at most 16 of them, in groups of four.
QString formattedTallowmereSetupCodeInput(const QString &text);

// The canonical TMS2-XXXX-XXXX-XXXX / TMI1-XXXX-XXXX-XXXX form, or nothing for an invalid code.
std::optional<QString> canonicalTallowmereSetupCode(const QString &text);

} // namespace tallowmere
