// Leading the user through the four privacy permissions, one at a time, and re-checking them once the
// installation is finished.
#include "app/AppModel.h"
#include "status/StatusPresentation.h"

#include "cli/CLIService.h"
#include "permissions/PermissionVocabulary.h"
#include "platform/Clock.h"
#include "platform/Workspace.h"

#include <QPointer>

namespace tallowmere {

namespace {

using namespace std::chrono_literals;

// The check's answer; a failing check (the runner busy, a probe error) counts as not granted.
QCoro::Task<bool> checkSafely(const std::function<QCoro::Task<bool>(PermissionKind)> &check,
                              PermissionKind kind)
{
    try {
        co_return co_await check(kind);
    } catch (const std::exception &) {
        co_return false;
    }
}

} // namespace

void AppModel::setPermission(PermissionKind kind, PermissionNativeState state, bool verified)
{
    QList<PermissionItem> items = m_permissions;
    items[int(kind)].nativeState = state;
    items[int(kind)].verified = verified;
    setPermissions(items);
}

// The permission the user was sent to System Settings for, remembered across restarts.
void AppModel::setPermissionAwaitingReturn(std::optional<PermissionKind> kind)
{
    persistAwaitingPermission(kind);
    if (m_permissionAwaitingReturn == kind)
        return;
    m_permissionAwaitingReturn = kind;
    Q_EMIT permissionAwaitingReturnChanged();
}

std::optional<PermissionItem> AppModel::currentPermissionOnboardingItem() const
{
    if (m_installStage != InstallStage::permissions)
        return std::nullopt;
    for (const PermissionItem &item : m_permissions) {
        if (!item.verified)
            return item;
    }
    return std::nullopt;
}

std::optional<PermissionKind> AppModel::currentPermissionOnboardingKind() const
{
    const auto item = currentPermissionOnboardingItem();
    return item ? std::optional(item->kind()) : std::nullopt;
}

AppModel::ProgressCounts AppModel::onboardingPermissionProgress() const
{
    const auto verified = std::count_if(m_permissions.begin(), m_permissions.end(),
                                        [](const PermissionItem &item) { return item.verified; });
    return {int(verified), int(m_permissions.size())};
}

QString AppModel::permissionSummary() const
{
    const ProgressCounts counts = onboardingPermissionProgress();
    return presentation::permissionSummary(counts.completed, counts.total);
}

void AppModel::openSettings(std::optional<PermissionKind> kind)
{
    platform::openUrl(settingsPaneUrl(kind));
}

QCoro::Task<> AppModel::advancePermissionOnboarding()
{
    if (m_installStage != InstallStage::permissions || m_isCheckingPermission)
        co_return;
    setIsCheckingPermission(true);
    const std::optional<PermissionKind> kind = currentPermissionOnboardingKind();
    if (!kind) {
        finishPermissionStageIfReady();
        setIsCheckingPermission(false);
        co_return;
    }
    QPointer<AppModel> self(this);
    const bool granted = co_await checkSafely(m_operations.permissionCheck, *kind);
    if (!self)
        co_return;
    // Confirmed by hand while the check ran: the check does not take that back.
    if (m_permissions[int(*kind)].nativeState != PermissionNativeState::manuallyConfirmed) {
        setPermission(*kind, granted ? PermissionNativeState::granted : PermissionNativeState::notGranted,
                      granted);
        if (granted) {
            setPermissionAwaitingReturn(std::nullopt);
            persistCompletedPermissions();
            finishPermissionStageIfReady();
        }
    }
    setIsCheckingPermission(false);
}

QCoro::Task<> AppModel::continuePermissionOnboarding()
{
    const std::optional<PermissionKind> awaited = m_permissionAwaitingReturn;
    const std::optional<PermissionKind> current = currentPermissionOnboardingKind();
    if (awaited == current) // both none, or back from the pane the user was sent to
        co_await advancePermissionOnboarding();
    else if (current)
        setPermissionPromptKind(current);
}

QCoro::Task<> AppModel::confirmPermissionOnboarding(std::optional<PermissionKind> kind)
{
    if (m_installStage != InstallStage::permissions)
        co_return;
    const std::optional<PermissionKind> confirmed = kind ? kind : m_permissionPromptKind;
    if (!confirmed || confirmed != currentPermissionOnboardingKind())
        co_return;
    setPermissionPromptKind(std::nullopt);

    if (*confirmed == PermissionKind::accessibility || *confirmed == PermissionKind::automation) {
        QPointer<AppModel> self(this);
        const bool granted = co_await m_operations.permissionPrepare(*confirmed);
        if (!self)
            co_return;
        if (granted) {
            setPermission(*confirmed, PermissionNativeState::granted, true);
            persistCompletedPermissions();
            finishPermissionStageIfReady();
            co_return;
        }
        // Automation has only its consent prompt; the user may start the step again.
        if (*confirmed == PermissionKind::automation)
            co_return;
    }
    // Screen Recording and Full Disk Access, and Accessibility still missing: System Settings.
    setPermissionAwaitingReturn(confirmed);
    m_operations.openSystemSettings(confirmed);
    requestFocus(FocusTarget::forPermission(*confirmed));
}

QCoro::Task<> AppModel::manuallyConfirmFullDiskAccess()
{
    if (m_installStage != InstallStage::permissions ||
        m_permissions[int(PermissionKind::fullDiskAccess)].verified)
        co_return;
    setPermission(PermissionKind::fullDiskAccess, PermissionNativeState::manuallyConfirmed, true);
    setPermissionAwaitingReturn(std::nullopt);
    persistManualPermissions();
    persistCompletedPermissions();
    if (m_isCheckingPermission) {
        // The running check is no longer wanted: stop its child and let it end as not granted.
        m_cli->terminateRunningProcess();
        QPointer<AppModel> self(this);
        while (self && self->m_isCheckingPermission)
            co_await platform::clock().sleep(50ms, this);
        if (!self)
            co_return;
    }
    finishPermissionStageIfReady();
}

void AppModel::finishPermissionStageIfReady()
{
    // In the permission stage, with no permission left unverified.
    if (m_installStage != InstallStage::permissions || currentPermissionOnboardingItem())
        return;
    setPermissionPromptKind(std::nullopt);
    applyProgress(QStringLiteral("permissions"), QStringLiteral("complete"), std::nullopt);
    setInstallStage(InstallStage::setup);
    setPendingSetupResume(false);
    setOverallState(OverallState::waitingSetup);
    requestFocus(FocusTarget::setupCode());
}

QCoro::Task<> AppModel::refreshExistingPermissions()
{
    if (!m_configurationReady || m_installStage)
        co_return;
    QPointer<AppModel> self(this);
    for (PermissionKind kind : allCases<PermissionKind>()) {
        const bool granted = co_await checkSafely(m_operations.permissionCheck, kind);
        if (!self)
            co_return;
        if (granted)
            setPermission(kind, PermissionNativeState::granted, true);
        else if (m_permissions[int(kind)].nativeState != PermissionNativeState::manuallyConfirmed)
            setPermission(kind, PermissionNativeState::notGranted, false);
    }
    persistManualPermissions();
    persistCompletedPermissions();
}

QCoro::Task<> AppModel::recoverExistingConfigurationIfNeeded()
{
    QPointer<AppModel> self(this);
    co_await refreshExistingPermissions();
    if (!self || onboardingPermissionProgress().completed == onboardingPermissionProgress().total)
        co_return;
    // A permission was taken away: back into the permission stage.
    setInstallStage(InstallStage::permissions);
    setPendingSetupResume(true);
    setInstallationValidated(false);
    setOnboardingCompleted(false);
    setOverallState(OverallState::starting);
    restoreProgress(InstallStage::permissions);
}

QCoro::Task<> AppModel::recheckExistingPermissionsOnLaunchIfNeeded()
{
    if (!m_configurationReady || m_installStage || m_didRecheckExistingPermissions)
        co_return;
    m_didRecheckExistingPermissions = true;
    co_await recoverExistingConfigurationIfNeeded();
}

} // namespace tallowmere
