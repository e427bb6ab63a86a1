#pragma once

#include <QString>
#include <optional>

namespace platform {

// The application's short version ("CFBundleShortVersionString" in the macOS bundle, the project
// version elsewhere), or nothing when the bundle has none.
std::optional<QString> bundleShortVersion();

// The path of a resource shipped with the application (`name`.`extension`), if it is there.
std::optional<QString> bundleResourcePath(const QString &name, const QString &extension);

} // namespace platform
