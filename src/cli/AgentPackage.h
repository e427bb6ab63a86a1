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

// The private Node.js runtime that runtime preparation lays out, relative to the home directory.
inline constexpr char runtimeDirectory[] = "/.tallowmere/mac-app-runtime";

// The CLI resource script in the application bundle, and its two modes. The setup code travels on
// its standard input, followed by one line feed; the agent name, when there is one, is a third
// argument.
inline constexpr char cliResourceScriptName[] = "tallowmere-cli-session";
inline constexpr char cliResourceScriptExtension[] = "sh";
inline constexpr char prepareOption[] = "--prepare";
inline constexpr char setupOnlyOption[] = "--setup-only";

// The running agent's status endpoint on the loopback interface, and the files in the profile
// directory that give its port and bearer token.
inline constexpr char statusPath[] = "/tui/status";
inline constexpr char portFile[] = "tui-port";
inline constexpr char tokenFile[] = "tui-token";

// The permission probe module's exported checks.
inline constexpr char screenRecordingProbe[] = "checkScreenRecordingPermission";
inline constexpr char automationProbe[] = "checkAutomationPermission";
inline constexpr char fullDiskAccessProbe[] = "checkFullDiskAccessPermission";

} // namespace tallowmere::agent
