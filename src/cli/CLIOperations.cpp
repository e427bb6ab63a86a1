// The runner's operations: the CLI resource script's two modes, the permission probes and the daemon
// installation.
#include "cli/AgentPackage.h"
#include "cli/CLIService.h"
#include "cli/Errors.h"

namespace tallowmere {

namespace {

void ignoreOutput(QStringView) {}
void ignoreAuthorization(const JITWorkspaceAuthorization &) {}

} // namespace

QString CLIService::resourceScript() const
{
    if (!m_configuration.resourceScript)
        throw TallowmereNativeError(QStringLiteral("INSTALL_COMPONENT_MISSING"),
                                    QStringLiteral("安装组件不完整，请重新安装 Tallowmere"));
    return *m_configuration.resourceScript;
}

QCoro::Task<CLIResult> CLIService::prepareEnvironment(OutputHandler onOutput)
{
    QStringList arguments{resourceScript(), QLatin1String(agent::prepareOption)};
    co_return co_await execute(std::move(arguments), std::nullopt, std::move(onOutput), ignoreAuthorization);
}

QCoro::Task<CLIResult> CLIService::setup(QString code, std::optional<QString> agentName,
                                         OutputHandler onOutput, AuthorizationHandler onAuthorization)
{
    QStringList arguments{resourceScript(), QLatin1String(agent::setupOnlyOption)};
    if (agentName)
        arguments << *agentName;
    // The code goes on standard input only: never into an argument vector or the environment.
    co_return co_await execute(std::move(arguments), code + QLatin1Char('\n'), std::move(onOutput),
                               std::move(onAuthorization));
}

QString CLIService::permissionCommand(PermissionKind kind, int attempts, bool requestPrompt) const
{
    const ScriptTools &tools = m_configuration.tools;
    switch (kind) {
    case PermissionKind::screenRecording:
        return scripts::permissionProbe(tools, QLatin1String(agent::screenRecordingProbe), attempts);
    case PermissionKind::automation:
        return scripts::permissionProbe(tools, QLatin1String(agent::automationProbe), attempts);
    case PermissionKind::fullDiskAccess:
        return scripts::permissionProbe(tools, QLatin1String(agent::fullDiskAccessProbe), attempts);
    case PermissionKind::accessibility:
        return scripts::accessibilityProbe(tools, attempts, requestPrompt);
    }
    return {};
}

QCoro::Task<bool> CLIService::permissionGranted(PermissionKind kind)
{
    QStringList arguments{QStringLiteral("-c"),
                          permissionCommand(kind, scripts::permissionCheckAttempts, false)};
    const CLIResult result =
        co_await execute(std::move(arguments), std::nullopt, ignoreOutput, ignoreAuthorization);
    co_return result.status == 0;
}

QCoro::Task<bool> CLIService::preparePermission(PermissionKind kind)
{
    // Screen Recording and Full Disk Access have no prompt: only System Settings grants them.
    if (kind == PermissionKind::screenRecording || kind == PermissionKind::fullDiskAccess)
        co_return false;
    QStringList arguments{QStringLiteral("-c"),
                          permissionCommand(kind, scripts::permissionPrepareAttempts, true)};
    try {
        const CLIResult result =
            co_await execute(std::move(arguments), std::nullopt, ignoreOutput, ignoreAuthorization);
        co_return result.status == 0;
    } catch (const std::exception &) {
        co_return false;
    }
}

QString CLIService::daemonInstallCommand() const
{
    return scripts::daemonInstall(m_configuration.tools);
}

QString CLIService::agentUpdateCommand() const
{
    return scripts::agentUpdate(m_configuration.tools);
}

QCoro::Task<CLIResult> CLIService::installDaemon(OutputHandler onOutput)
{
    QStringList arguments{QStringLiteral("-c"), daemonInstallCommand()};
    co_return co_await execute(std::move(arguments), std::nullopt, std::move(onOutput), ignoreAuthorization);
}

} // namespace tallowmere
