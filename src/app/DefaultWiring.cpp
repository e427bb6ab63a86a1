// The operations a model uses when it is given none: the runner, the status client and the system.
#include "app/AppModel.h"

#include "cli/CLIService.h"
#include "status/AgentStatusClient.h"

namespace tallowmere {

namespace {

// Whether the agent answers at all: any decoded sample will do.
QCoro::Task<bool> agentAnswers(std::shared_ptr<AgentStatusClient> status)
{
    try {
        co_await status->fetch();
        co_return true;
    } catch (const std::exception &) {
        co_return false;
    }
}

} // namespace

AppModel::Operations AppModel::withDefaults(Operations operations)
{
    const std::shared_ptr<CLIService> cli = m_cli;
    if (!operations.permissionCheck)
        operations.permissionCheck = [cli](PermissionKind kind) { return cli->permissionGranted(kind); };
    if (!operations.permissionPrepare)
        operations.permissionPrepare = [cli](PermissionKind kind) { return cli->preparePermission(kind); };
    if (!operations.environmentPrepare)
        operations.environmentPrepare = [cli](OutputHandler onOutput) {
            return cli->prepareEnvironment(std::move(onOutput));
        };
    if (!operations.daemonInstall)
        operations.daemonInstall = [cli](OutputHandler onOutput) {
            return cli->installDaemon(std::move(onOutput));
        };
    if (!operations.agentStarted)
        operations.agentStarted = [status = m_agentStatus] { return agentAnswers(status); };
    if (!operations.openSystemSettings)
        operations.openSystemSettings = [this](std::optional<PermissionKind> kind) { openSettings(kind); };
    // The channel binding, the link store and the agent update bind their operations when they arrive.
    return operations;
}

} // namespace tallowmere
