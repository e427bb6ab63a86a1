#pragma once

#include "app/ModelEnums.h"

#include <QString>

#include <optional>
#include <set>

// The installation's memory across restarts: four small UTF-8 files in the profile directory.
// Writes replace files atomically with permissions 0600; every read or write error is swallowed, so a
// broken file behaves like a missing one.
namespace tallowmere::persisted {

inline constexpr char installStageFile[] = "mac-app-install-stage";
inline constexpr char completedPermissionsFile[] = "mac-app-permissions-completed";
inline constexpr char manualPermissionsFile[] = "mac-app-permissions-manual";
inline constexpr char awaitingPermissionFile[] = "mac-app-permission-awaiting";

using PermissionSet = std::set<PermissionKind>;

std::optional<InstallStage> readInstallStage(const QString &profileDirectory);
PermissionSet readCompletedPermissions(const QString &profileDirectory);
PermissionSet readManualPermissions(const QString &profileDirectory);
std::optional<PermissionKind> readAwaitingPermission(const QString &profileDirectory);

// One raw value per line, each ended by a line feed; a lone line feed for none.
QString permissionLines(const PermissionSet &kinds);

// Replaces `name` in `directory` with `content`; false when any step failed.
bool writeStateFile(const QString &directory, const char *name, const QString &content);
void removeStateFile(const QString &directory, const char *name);

} // namespace tallowmere::persisted
