#pragma once

#include <QString>

#include <utility>
#include <vector>

namespace tallowmere {

// The macOS tools the embedded scripts call. The defaults are the system's; only the simulated Mac
// substitutes its own.
struct ScriptTools {
    QString launchctl = QStringLiteral("/bin/launchctl");
    QString plutil = QStringLiteral("/usr/bin/plutil");
    QString mktemp = QStringLiteral("/usr/bin/mktemp");
    QString base64 = QStringLiteral("/usr/bin/base64");
    QString osascript = QStringLiteral("/usr/bin/osascript");
    QString mv = QStringLiteral("/bin/mv");

    static ScriptTools inDirectory(const QString &directory); // every tool from one folder
};

// The embedded scripts, rendered from their templates (compiled-in resources, placeholders @NAME@).
namespace scripts {

inline constexpr int daemonInstallAttempts = 600;
inline constexpr int permissionCheckAttempts = 50;
inline constexpr int permissionPrepareAttempts = 300;

QString daemonInstall(const ScriptTools &tools, int attempts = daemonInstallAttempts);
QString agentUpdate(const ScriptTools &tools);
// Screen Recording, Automation and Full Disk Access: the probe module's check run as a launchd job.
QString permissionProbe(const ScriptTools &tools, const QString &probeName, int attempts);
// Accessibility: the add-on's trust check for Node.js and a pointer move through cliclick.
QString accessibilityProbe(const ScriptTools &tools, int attempts, bool requestPrompt);

// Replaces each @NAME@ of a template. Values go inside double quotes in the templates, so characters
// that are special there are refused.
QString render(const QString &templateName, const ScriptTools &tools,
               const std::vector<std::pair<QString, QString>> &values = {});

} // namespace scripts
} // namespace tallowmere
