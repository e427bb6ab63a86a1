#pragma once

#include <QString>

// What the application relies on of the agent package, its setup tool and the running agent: file
// names, command lines and exported names. Named here once.
namespace tallowmere::agent {

// The agent's profile directory, relative to the home directory.
inline constexpr char profileDirectory[] = ".tallowmere/profiles/default";
// In the profile directory: the agent's configuration (its presence marks a configured agent) and the
// setup tool's own state.
inline constexpr char configFile[] = "config.json";
inline constexpr char setupStateFile[] = "setup-state.json";

QString defaultProfileDirectory(); // home + profileDirectory

} // namespace tallowmere::agent
