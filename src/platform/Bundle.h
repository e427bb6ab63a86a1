#pragma once

#include <QString>
#include <optional>

namespace platform {

// The application's short version ("CFBundleShortVersionString" in the macOS bundle, the project
// version elsewhere), or nothing when the bundle has none.
std::optional<QString> bundleShortVersion();

} // namespace platform
