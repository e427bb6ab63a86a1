// Start-up and resume: picking the installation up where the persisted state says it stands, at launch
// and each time the window becomes active.
#include "app/AppModel.h"

#include "app/TaskLauncher.h"

#include <QPointer>

namespace tallowmere {

namespace {

// Holds the model weakly: once it is gone, nothing more happens.
QCoro::Task<> startUp(QPointer<AppModel> model)
{
    if (!model->configurationReady()) {
        co_await model->resumeInstalledConfiguration();
    } else if (model->installStage()) {
        co_await model->resumeInstalledConfiguration();
        if (model && model->permissionAwaitingReturn())
            co_await model->advancePermissionOnboarding();
    } else {
        co_await model->recheckExistingPermissionsOnLaunchIfNeeded();
    }
}

} // namespace

void AppModel::launchStartUp()
{
    startStatusMonitoring();
    launch(startUp(this), "start-up");
}

QCoro::Task<> AppModel::resumeInstalledConfiguration()
{
    if (!m_installStage)
        co_return;
    setLastError(std::nullopt);
    switch (*m_installStage) {
    case InstallStage::runtime:
        co_await prepareEnvironmentIfNeeded();
        co_return;
    case InstallStage::permissions:
        setOverallState(OverallState::starting);
        setPendingSetupResume(true);
        finishPermissionStageIfReady();
        co_return;
    case InstallStage::setup:
        setOverallState(OverallState::waitingSetup);
        setPendingSetupResume(false);
        requestFocus(FocusTarget::setupCode());
        co_return;
    case InstallStage::daemon:
    case InstallStage::channel:
    case InstallStage::handshake:
        break;
    }
    if (!m_configurationReady)
        co_return;
    setOverallState(OverallState::starting);
    setPendingSetupResume(true);
    if (m_installStage == InstallStage::daemon) {
        co_await finishDaemonInstallationIfNeeded();
    } else if (m_installStage == InstallStage::channel) {
        co_await refreshOwnerSetup(false);
    } else {
        startStatusMonitoring();
        co_await refreshAgentStatus();
    }
}

QCoro::Task<> AppModel::sceneDidBecomeActive()
{
    QPointer<AppModel> self(this);
    m_agentVersionChecked.reset(); // the update check runs again after the next good sample
    co_await recheckExistingPermissionsOnLaunchIfNeeded();
    if (!self)
        co_return;
    // Back from the System Settings pane the onboarding sent the user to.
    if (m_installStage == InstallStage::permissions &&
        m_permissionAwaitingReturn == currentPermissionOnboardingKind()) {
        co_await advancePermissionOnboarding();
        if (!self)
            co_return;
    }
    if (m_installStage == InstallStage::channel) {
        co_await refreshOwnerSetup(false);
        if (!self)
            co_return;
    }
    co_await refreshAgentStatus();
}

} // namespace tallowmere
