// The operations a model uses when it is given none: the runner, the status client and the system.
#include "app/AppModel.h"

#include "binding/OwnerSetupClient.h"
#include "binding/OwnerSetupLinkStore.h"
#include "cli/CLIService.h"
#include "platform/Pasteboard.h"
#include "platform/Workspace.h"
#include "status/AgentStatusClient.h"
#include "status/AgentUpdateProbe.h"

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

// The default browser, through the platform.
QCoro::Task<bool> opened(QUrl url)
{
    co_return platform::openUrl(url);
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
    if (!operations.setupAuthorizationOpen)
        operations.setupAuthorizationOpen = [](QUrl url) { return opened(url); };
    if (!operations.agentUpdateVersion)
        operations.agentUpdateVersion = &AgentUpdateProbe::fetchBetaVersion;
    if (!operations.ownerSetupRequest)
        operations.ownerSetupRequest = [client = std::make_shared<OwnerSetupClient>(m_profileDirectory)](
                                           std::optional<QUrl> existingURL, bool forceRefresh) {
            return client->request(std::move(existingURL), forceRefresh);
        };
    if (!operations.ownerSetupOpen)
        operations.ownerSetupOpen = [](QUrl url) { return opened(url); };
    if (!operations.ownerSetupCopy)
        operations.ownerSetupCopy = [](QUrl url) {
            return platform::copyPlainText(url.toString(QUrl::FullyEncoded));
        };
    const OwnerSetupLinkStore linkStore = OwnerSetupLinkStore::forProfile(m_profileDirectory);
    if (!operations.ownerSetupLinkSave)
        operations.ownerSetupLinkSave = [linkStore](std::optional<QUrl> url,
                                                    std::optional<QDateTime> expiresAt) {
            linkStore.save(url ? std::optional(OwnerSetupLink{*url, expiresAt}) : std::nullopt);
        };
    if (!operations.ownerSetupLinkLoad)
        operations.ownerSetupLinkLoad = [linkStore] { return linkStore.load(); };
    return operations;
}

} // namespace tallowmere
