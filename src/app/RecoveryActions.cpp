// What each recovery action does, and the runner of one-off shell actions.
#include "app/AppModel.h"

#include "app/CommandStep.h"
#include "cli/Addresses.h"
#include "cli/CLIService.h"
#include "platform/Workspace.h"

#include <QPointer>

namespace tallowmere {

QCoro::Task<> AppModel::perform(RecoveryAction action)
{
    QPointer<AppModel> self(this);
    switch (action.action) {
    case RecoveryAction::Case::openSystemSettings:
        if (action.permission)
            setPermissionPromptKind(action.permission); // the explanation comes before the pane
        else
            m_operations.openSystemSettings(std::nullopt);
        co_return;
    case RecoveryAction::Case::none:
        co_return;
    case RecoveryAction::Case::enterInstallCode:
        requestFocus(FocusTarget::setupCode());
        co_return;
    case RecoveryAction::Case::retryInstall:
        if (m_installStage)
            co_await resumeInstalledConfiguration();
        else if (m_configurationReady)
            co_await recoverExistingConfigurationIfNeeded();
        else
            requestFocus(FocusTarget::setupCode());
        co_return;
    case RecoveryAction::Case::restartAgent: {
        const bool restarted = co_await reinstallDaemon(QStringLiteral("AGENT_RESTART_FAILED"));
        if (!self || !restarted)
            co_return;
        setLastError(std::nullopt);
        co_await refreshAgentStatus();
        co_return;
    }
    case RecoveryAction::Case::openLogs:
        platform::openUrl(QUrl::fromLocalFile(m_cli->ensureLogsDirectory()));
        co_return;
    case RecoveryAction::Case::checkForUpdates:
        platform::openUrl(QUrl(QString::fromLatin1(addresses::releasesPage)));
        co_return;
    case RecoveryAction::Case::recheckPermissions:
        co_await refreshExistingPermissions();
        co_return;
    }
}

QCoro::Task<bool> AppModel::reinstallDaemon(QString failureCode)
{
    QPointer<AppModel> self(this);
    const OutputHandler ignored = [](QStringView) {};
    const StepCodes codes{failureCode, false, failureCode, true};
    const std::optional<StepFailure> failure = co_await commandFailure(m_operations.daemonInstall(ignored), codes);
    if (failure && self)
        fail(failure->code, failure->message);
    co_return !failure;
}

QCoro::Task<bool> AppModel::runCLIAction(QString script, QString failureCode)
{
    QPointer<AppModel> self(this);
    const QStringList arguments{QStringLiteral("-c"), script};
    const StepCodes codes{failureCode, false, failureCode, true};
    const std::optional<StepFailure> failure =
        co_await commandFailure(m_cli->execute(arguments, std::nullopt, {}, {}), codes);
    if (failure && self)
        fail(failure->code, failure->message);
    co_return !failure;
}

} // namespace tallowmere
