#pragma once

#include <QString>

#include <optional>

namespace platform {

// Where the simulated Mac lives, when the application runs inside one (never on a Mac): its fake
// macOS tools stand in for the system's and it provides the bundle's resources.
std::optional<QString> simulatedMacDirectory();

} // namespace platform
