// Construction of the model from the persisted state of its profile directory.
#include "app/AppModel.h"

#include "app/PersistedState.h"
#include "cli/AgentPackage.h"
#include "cli/CLIService.h"
#include "platform/Bundle.h"
#include "status/AgentStatusClient.h"

#include <QFileInfo>

namespace tallowmere {

namespace {

// The model stores the link-save operation as one taking the whole link (or none).
std::function<void(std::optional<OwnerSetupLink>)>
wrapLinkSave(std::function<void(std::optional<QUrl>, std::optional<QDateTime>)> save)
{
    if (!save)
        return {};
    return [save = std::move(save)](const std::optional<OwnerSetupLink> &link) {
        if (link)
            save(link->url, link->expiresAt);
        else
            save(std::nullopt, std::nullopt);
    };
}

} // namespace

QList<PermissionItem> AppModel::initialPermissions()
{
    QList<PermissionItem> items;
    for (PermissionKind kind : allCases<PermissionKind>())
        items.append({PermissionRule{kind}, PermissionNativeState::unknown, false});
    return items;
}

AppModel::AppModel(Dependencies dependencies, bool autoResume, QObject *parent)
    : QObject(parent)
    , m_profileDirectory(dependencies.profileDirectory.isEmpty() ? agent::defaultProfileDirectory()
                                                                 : dependencies.profileDirectory)
    , m_cli(dependencies.cli ? dependencies.cli : std::make_shared<CLIService>())
    , m_agentStatus(AgentStatusClient::create(m_profileDirectory))
    , m_operations(withDefaults(std::move(dependencies.operations)))
    , m_ownerSetupLinkSave(wrapLinkSave(m_operations.ownerSetupLinkSave))
{
    for (auto changed : {&AppModel::installationValidatedChanged, &AppModel::statusSnapshotChanged,
                         &AppModel::overallStateChanged, &AppModel::isSubmittingSetupChanged,
                         &AppModel::installStageChanged})
        connect(this, changed, this, &AppModel::statusTextsChanged);
    connectScreenValueNotifications();
    connectChannelBindingValues();
    for (auto changed : {&AppModel::availableAgentVersionChanged, &AppModel::dismissedAgentVersionChanged})
        connect(this, changed, this, &AppModel::agentUpdateOfferChanged);

    m_appVersion = platform::bundleShortVersion().value_or(QStringLiteral("--"));

    m_installStage = persisted::readInstallStage(m_profileDirectory);

    if (m_installStage == InstallStage::channel && m_operations.ownerSetupLinkLoad) {
        if (const std::optional<OwnerSetupLink> link = m_operations.ownerSetupLinkLoad()) {
            m_ownerSetupURL = link->url;
            m_ownerSetupExpiresAt = link->expiresAt;
        }
    }

    const persisted::PermissionSet completed = persisted::readCompletedPermissions(m_profileDirectory);
    const persisted::PermissionSet manual = persisted::readManualPermissions(m_profileDirectory);
    for (PermissionItem &item : m_permissions) {
        if (!completed.contains(item.kind()))
            continue;
        item.nativeState = manual.contains(item.kind()) ? PermissionNativeState::manuallyConfirmed
                                                        : PermissionNativeState::granted;
        item.verified = true;
    }

    m_permissionAwaitingReturn = persisted::readAwaitingPermission(m_profileDirectory);

    const bool configured =
        QFileInfo::exists(m_profileDirectory + QLatin1Char('/') + QLatin1String(agent::configFile));
    if (!configured) {
        if (!m_installStage || m_installStage == InstallStage::setup)
            setInstallStage(InstallStage::runtime);
        restoreProgress(*m_installStage);
        m_overallState = OverallState::starting;
        m_pendingSetupResume = true;
    } else {
        m_configurationReady = true;
        m_overallState = OverallState::starting;
        if (!m_installStage) {
            m_installationValidated = true;
            m_onboardingCompleted = true;
            for (SetupProgressItem &item : m_setupProgress)
                item.state = ProgressState::complete;
        } else {
            m_pendingSetupResume = true;
            restoreProgress(*m_installStage);
        }
    }

    if (autoResume)
        launchStartUp();
}

AppModel::~AppModel() = default;

void AppModel::requestFocus(const FocusTarget &target)
{
    setFocusTarget(target);
    setFocusRevision(m_focusRevision + 1);
}

QVariant AppModel::installStageVariant() const
{
    return m_installStage ? QVariant::fromValue(*m_installStage) : QVariant();
}

void AppModel::setInstallStage(std::optional<InstallStage> stage)
{
    const bool changed = m_installStage != stage;
    m_installStage = stage;
    persistInstallStage(stage);
    if (changed)
        Q_EMIT installStageChanged();
}

} // namespace tallowmere
