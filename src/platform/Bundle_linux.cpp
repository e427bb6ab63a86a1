#include "platform/Bundle.h"

namespace platform {

std::optional<QString> bundleShortVersion() {
#ifdef TALLOWMERE_VERSION
    return QStringLiteral(TALLOWMERE_VERSION);
#else
    return std::nullopt;
#endif
}

} // namespace platform
