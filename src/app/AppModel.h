#pragma once

#include "app/ActivityEvent.h"
#include "app/DisplayError.h"
#include "app/FocusTarget.h"
#include "app/ModelEnums.h"
#include "app/PermissionItem.h"
#include "app/PublishedProperty.h"
#include "app/SetupProgress.h"
#include "binding/OwnerSetupSession.h"
#include "cli/CLIResult.h"
#include "cli/JITWorkspaceAuthorization.h"
#include "status/AgentRuntimeStatus.h"
#include "status/StatusPresentation.h"
#include "status/StatusSnapshot.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QUrl>
#include <QUuid>

#include <functional>

namespace tallowmere {

class AgentStatusClient;
class CLIService;

// The one observable object of the application. Every screen reads it and every control calls one of
// its operations. It reaches the outside world only through the injected operations below, so it can
// be driven with substitutes. Operations are defined in the source of the concern that owns them.
class AppModel : public QObject {
    Q_OBJECT

    // Published fields, in declaration order. Each change notifies observers.
    TM_PUBLISHED(QString, setupCode, setSetupCode)
    TM_PUBLISHED(QString, setupAgentName, setSetupAgentName)
    TM_PUBLISHED_OPTIONAL(tallowmere::JITWorkspaceAuthorization, setupAuthorization, setSetupAuthorization)
    TM_PUBLISHED(bool, onboardingCompleted, setOnboardingCompleted, false)
    TM_PUBLISHED(bool, installationValidated, setInstallationValidated, false)
    TM_PUBLISHED(bool, configurationReady, setConfigurationReady, false)
    TM_PUBLISHED(QList<tallowmere::SetupProgressItem>, setupProgress, setSetupProgress, initialProgress())
    TM_PUBLISHED_OPTIONAL(QString, setupProgressDetail, setSetupProgressDetail)
    TM_PUBLISHED_OPTIONAL(tallowmere::PackageInstallProgress, packageInstallProgress,
                          setPackageInstallProgress)
    TM_PUBLISHED(QList<tallowmere::PermissionItem>, permissions, setPermissions, initialPermissions())
    TM_PUBLISHED(tallowmere::StatusSnapshot, statusSnapshot, setStatusSnapshot, StatusSnapshot::empty())
    TM_PUBLISHED_OPTIONAL(tallowmere::DisplayError, lastError, setLastError)
    TM_PUBLISHED(QList<tallowmere::ActivityEvent>, activities, setActivities)
    TM_PUBLISHED(tallowmere::OverallState, overallState, setOverallState, OverallState::notInstalled)
    TM_PUBLISHED(bool, isSubmittingSetup, setIsSubmittingSetup, false)
    TM_PUBLISHED(bool, isPreparingEnvironment, setIsPreparingEnvironment, false)
    TM_PUBLISHED(bool, isOpeningSetupAuthorization, setIsOpeningSetupAuthorization, false)
    TM_PUBLISHED(bool, setupAuthorizationOpenFailed, setSetupAuthorizationOpenFailed, false)
    TM_PUBLISHED(tallowmere::FocusTarget, focusTarget, setFocusTarget, FocusTarget::setupCode())
    TM_PUBLISHED(int, focusRevision, setFocusRevision, 0)
    TM_PUBLISHED(int, announcementRevision, setAnnouncementRevision, 0)
    TM_PUBLISHED(QString, announcement, setAnnouncement)
    TM_PUBLISHED(bool, pendingSetupResume, setPendingSetupResume, false)
    TM_PUBLISHED(bool, ownerSetupPending, setOwnerSetupPending, false)
    TM_PUBLISHED(bool, isOpeningOwnerSetup, setIsOpeningOwnerSetup, false)
    TM_PUBLISHED(bool, ownerSetupOpenFailed, setOwnerSetupOpenFailed, false)
    TM_PUBLISHED(bool, ownerSetupDidOpen, setOwnerSetupDidOpen, false)
    TM_PUBLISHED(bool, ownerSetupLinkCopied, setOwnerSetupLinkCopied, false)
    TM_PUBLISHED_OPTIONAL(QString, ownerSetupError, setOwnerSetupError)
    TM_PUBLISHED(bool, isLoadingOwnerSetup, setIsLoadingOwnerSetup, false)
    TM_PUBLISHED(bool, ownerSetupRequestInFlight, setOwnerSetupRequestInFlight, false) // a link request
    TM_PUBLISHED(bool, channelBindingCompleted, setChannelBindingCompleted, false)
    TM_PUBLISHED(bool, channelOwnershipVerified, setChannelOwnershipVerified, false)
    TM_PUBLISHED_OPTIONAL(tallowmere::PermissionKind, permissionPromptKind, setPermissionPromptKind)
    TM_PUBLISHED(bool, isCheckingPermission, setIsCheckingPermission, false)
    TM_PUBLISHED(bool, isUpdatingAgent, setIsUpdatingAgent, false)
    TM_PUBLISHED_OPTIONAL(QString, availableAgentVersion, setAvailableAgentVersion)
    TM_PUBLISHED_OPTIONAL(QString, dismissedAgentVersion, setDismissedAgentVersion) // written by the banner
    TM_PUBLISHED(QString, appVersion, setAppVersion)

    // The install stage is a plain field; it notifies too, so that views can follow it.
    Q_PROPERTY(QVariant installStage READ installStageVariant NOTIFY installStageChanged)
    Q_PROPERTY(tallowmere::LoginItemState loginItemState READ loginItemState CONSTANT)
    Q_PROPERTY(tallowmere::ChromeState chromeState READ chromeState CONSTANT)
    // Texts derived from the fields above; they notify whenever one of their inputs changes.
    Q_PROPERTY(QString headlineStatusTitle READ headlineStatusTitle NOTIFY statusTextsChanged)
    Q_PROPERTY(QString headlineStatusDetail READ headlineStatusDetail NOTIFY statusTextsChanged)
    Q_PROPERTY(QString agentProcessDescription READ agentProcessDescription NOTIFY statusTextsChanged)
    Q_PROPERTY(QString currentTask READ currentTask NOTIFY statusTextsChanged)
    Q_PROPERTY(QString permissionSummary READ permissionSummary NOTIFY permissionsChanged)
    // Values the screens show, derived from the fields above (app/ScreenValues.cpp). Each notifies
    // whenever one of its inputs changes.
    Q_PROPERTY(QString normalizedSetupCode READ normalizedSetupCode NOTIFY setupEntryChanged)
    Q_PROPERTY(QVariant setupCodeValidationMessage READ setupCodeValidationMessageVariant NOTIFY setupEntryChanged)
    Q_PROPERTY(QVariant setupAgentNameValidationMessage READ setupAgentNameValidationMessageVariant
                   NOTIFY setupEntryChanged)
    Q_PROPERTY(bool canSubmitSetup READ canSubmitSetup NOTIFY setupEntryChanged)
    Q_PROPERTY(int setupProgressCompleted READ setupProgressCompleted NOTIFY setupProgressChanged)
    Q_PROPERTY(int setupProgressTotal READ setupProgressTotal NOTIFY setupProgressChanged)
    Q_PROPERTY(double setupProgressFraction READ setupProgressFraction NOTIFY setupProgressChanged)
    Q_PROPERTY(bool showsPackageInstallProgress READ showsPackageInstallProgress NOTIFY packageProgressShownChanged)
    Q_PROPERTY(QString currentSetupStage READ currentSetupStage NOTIFY currentSetupStageChanged)
    Q_PROPERTY(QVariant permissionAwaitingReturn READ permissionAwaitingReturnVariant
                   NOTIFY permissionAwaitingReturnChanged)
    Q_PROPERTY(QVariant currentPermissionOnboardingItem READ currentPermissionOnboardingItemVariant
                   NOTIFY onboardingStepChanged)
    Q_PROPERTY(QVariant currentPermissionOnboardingKind READ currentPermissionOnboardingKindVariant
                   NOTIFY onboardingStepChanged)
    Q_PROPERTY(int onboardingPermissionsCompleted READ onboardingPermissionsCompleted NOTIFY permissionsChanged)
    Q_PROPERTY(int onboardingPermissionsTotal READ onboardingPermissionsTotal NOTIFY permissionsChanged)
    Q_PROPERTY(QString overallStateTitle READ overallStateTitle NOTIFY overallStateChanged)
    Q_PROPERTY(QString overallStateDetail READ overallStateDetail NOTIFY overallStateChanged)
    Q_PROPERTY(bool showsOwnerSetupRetry READ showsOwnerSetupRetry NOTIFY channelSheetTextsChanged)
    Q_PROPERTY(QString channelSessionDetail READ channelSessionDetail NOTIFY channelSheetTextsChanged)
    Q_PROPERTY(QString channelSessionSummary READ channelSessionSummary NOTIFY channelSheetTextsChanged)
    Q_PROPERTY(bool showsAgentUpdateBanner READ showsAgentUpdateBanner NOTIFY agentUpdateOfferChanged)
    Q_PROPERTY(QString agentUpdateBannerText READ agentUpdateBannerText NOTIFY agentUpdateOfferChanged)
    // The channel binding's derived values (binding/ChannelBinding.cpp).
    Q_PROPERTY(bool canOpenOwnerSetup READ canOpenOwnerSetup NOTIFY channelBindingChanged)
    Q_PROPERTY(bool ownerSetupOpenedByAgent READ ownerSetupOpenedByAgent NOTIFY channelBindingChanged)
    Q_PROPERTY(QString ownerSetupOpenButtonTitle READ ownerSetupOpenButtonTitle NOTIFY channelBindingChanged)
    Q_PROPERTY(QString channelBindingSummary READ channelBindingSummary NOTIFY channelBindingChanged)

public:
    // The outside world. Every member may be left empty; an empty one takes its default binding.
    struct Operations {
        std::function<QCoro::Task<bool>(PermissionKind)> permissionCheck;                 // may throw
        std::function<QCoro::Task<bool>(PermissionKind)> permissionPrepare;               // never throws
        std::function<QCoro::Task<CLIResult>(OutputHandler onOutput)> environmentPrepare; // may throw
        std::function<QCoro::Task<CLIResult>(OutputHandler onOutput)> daemonInstall;      // may throw
        std::function<QCoro::Task<bool>()> agentStarted;
        std::function<void(std::optional<PermissionKind>)> openSystemSettings;
        std::function<QCoro::Task<OwnerSetupSession>(std::optional<QUrl> existingURL, bool forceRefresh)>
            ownerSetupRequest; // may throw
        std::function<QCoro::Task<bool>(QUrl)> ownerSetupOpen;
        std::function<bool(QUrl)> ownerSetupCopy;
        std::function<void(std::optional<QUrl> url, std::optional<QDateTime> expiresAt)> ownerSetupLinkSave;
        std::function<QCoro::Task<bool>(QUrl)> setupAuthorizationOpen;
        std::function<QCoro::Task<std::optional<QString>>()> agentUpdateVersion;
        // Construction only: the stored binding link, if any.
        std::function<std::optional<OwnerSetupLink>()> ownerSetupLinkLoad;
    };

    struct Dependencies {
        QString profileDirectory;        // empty: the agent's default profile directory
        std::shared_ptr<CLIService> cli; // empty: a runner of the user's own
        Operations operations;
    };

    // With `autoResume`, construction starts the work that picks the installation up where it stands.
    AppModel(Dependencies dependencies, bool autoResume, QObject *parent = nullptr);
    ~AppModel() override;

    // Plain fields.
    LoginItemState loginItemState() const { return LoginItemState::unavailable; }
    ChromeState chromeState() const { return ChromeState::trusted; }
    const QString &profileDirectory() const { return m_profileDirectory; }
    CLIService &cli() const { return *m_cli; }
    AgentStatusClient &agentStatus() const { return *m_agentStatus; }
    std::optional<InstallStage> installStage() const { return m_installStage; }
    std::optional<PermissionKind> permissionAwaitingReturn() const { return m_permissionAwaitingReturn; }
    const std::optional<QUrl> &ownerSetupURL() const { return m_ownerSetupURL; }
    const std::optional<QDateTime> &ownerSetupExpiresAt() const { return m_ownerSetupExpiresAt; }

    // Setup code and agent name rules.
    QString normalizedSetupCode() const;
    std::optional<QString> setupCodeValidationMessage() const;
    std::optional<QString> setupAgentNameValidationMessage() const;
    bool canSubmitSetup() const;

    // Persisted setup state.
    void persistInstallStage(std::optional<InstallStage> stage);
    void persistCompletedPermissions();
    void persistManualPermissions();
    void persistAwaitingPermission(std::optional<PermissionKind> kind);

    // Failures and the activity feed.
    void fail(const QString &code, const std::optional<QString> &message);
    static std::optional<QString> safeErrorMessage(const std::optional<QString> &line);
    void appendActivity(const QString &summary);

    // Progress list.
    void beginProgress();
    void restoreProgress(InstallStage stage);
    void applyProgress(const QString &phase, const QString &status, const std::optional<QString> &detail);
    void updatePackageInstallProgress(std::optional<int> completed, std::optional<int> total);
    struct ProgressCounts {
        int completed = 0;
        int total = 0;
    };
    ProgressCounts setupProgressCounts() const;
    double setupProgressFraction() const;
    bool showsPackageInstallProgress() const;

    // The install pipeline.
    QCoro::Task<> submitSetupCode();
    void consumeSetupOutput(QStringView line);
    QCoro::Task<> openSetupAuthorization();
    QCoro::Task<> prepareEnvironmentIfNeeded();
    QCoro::Task<> completeSetup();
    QCoro::Task<> finishDaemonInstallationIfNeeded();
    QCoro::Task<> enterChannelStage();

    // Start-up and resume.
    QCoro::Task<> resumeInstalledConfiguration();
    QCoro::Task<> sceneDidBecomeActive();

    // Recovery actions, and one-off shell actions through the runner.
    QCoro::Task<> perform(RecoveryAction action);
    QCoro::Task<bool> runCLIAction(QString script, QString failureCode);

    // Permission onboarding, and the re-check of a finished installation.
    QCoro::Task<> advancePermissionOnboarding();
    QCoro::Task<> continuePermissionOnboarding();
    QCoro::Task<> confirmPermissionOnboarding(std::optional<PermissionKind> kind);
    QCoro::Task<> manuallyConfirmFullDiskAccess();
    void finishPermissionStageIfReady();
    QCoro::Task<> refreshExistingPermissions();
    QCoro::Task<> recoverExistingConfigurationIfNeeded();
    QCoro::Task<> recheckExistingPermissionsOnLaunchIfNeeded();
    void openSettings(std::optional<PermissionKind> kind);
    std::optional<PermissionItem> currentPermissionOnboardingItem() const;
    std::optional<PermissionKind> currentPermissionOnboardingKind() const;
    ProgressCounts onboardingPermissionProgress() const;
    QString permissionSummary() const;

    // Status monitoring and its texts.
    void startStatusMonitoring();
    QCoro::Task<> refreshAgentStatus();
    struct RuntimePresentation {
        QString title;
        std::optional<QString> activity;
        bool operator==(const RuntimePresentation &) const = default;
    };
    static RuntimePresentation runtimePresentation(const AgentRuntimeStatus &status,
                                                   const std::optional<AgentRuntimeStatus> &previous);
    QString currentTask() const;
    QString headlineStatusTitle() const;
    QString headlineStatusDetail() const;
    QString agentProcessDescription() const;
    Q_INVOKABLE QString heartbeatDescription(const QDateTime &now) const;

    // Channel binding (binding/ChannelBinding.cpp).
    QCoro::Task<> refreshOwnerSetup(bool forceRefresh);
    Q_INVOKABLE void noteChannelBindingSessionAppeared(int delayMilliseconds);
    Q_INVOKABLE void openOwnerSetup();
    Q_INVOKABLE void copyOwnerSetupLink();
    bool canOpenOwnerSetup() const;
    bool ownerSetupOpenedByAgent() const;
    QString ownerSetupOpenButtonTitle() const;
    QString channelBindingSummary() const;

    // Agent updates (status/AgentUpdates.cpp).
    QCoro::Task<> checkAgentUpdate(QString currentVersion);
    QCoro::Task<> updateAgent();
    bool showsAgentUpdateBanner() const;
    QString agentUpdateBannerText() const;
    const std::optional<QString> &agentVersionChecked() const { return m_agentVersionChecked; }

    // Values the screens show (app/ScreenValues.cpp).
    Q_INVOKABLE QString formattedSetupCodeInput(const QString &text) const;
    Q_INVOKABLE QString permissionTitle(tallowmere::PermissionKind kind) const;
    Q_INVOKABLE QString permissionPurpose(tallowmere::PermissionKind kind) const;
    Q_INVOKABLE QString permissionSymbol(tallowmere::PermissionKind kind) const;
    QString currentSetupStage() const;
    QString overallStateTitle() const;
    QString overallStateDetail() const;
    bool showsOwnerSetupRetry() const;
    QString channelSessionDetail() const;
    QString channelSessionSummary() const;

Q_SIGNALS:
    void installStageChanged();
    void statusTextsChanged();
    void setupEntryChanged();
    void packageProgressShownChanged();
    void currentSetupStageChanged();
    void permissionAwaitingReturnChanged();
    void onboardingStepChanged();
    void channelSheetTextsChanged();
    void agentUpdateOfferChanged();
    void channelBindingChanged();

private:
    presentation::StatusInputs statusInputs() const;
    void launchStartUp();
    // Runs the daemon installation again; a failure is recorded under `failureCode`.
    QCoro::Task<bool> reinstallDaemon(QString failureCode);
    OutputHandler setupOutputHandler();
    void connectScreenValueNotifications();
    QVariant setupCodeValidationMessageVariant() const;
    QVariant setupAgentNameValidationMessageVariant() const;
    int setupProgressCompleted() const { return setupProgressCounts().completed; }
    int setupProgressTotal() const { return setupProgressCounts().total; }
    QVariant permissionAwaitingReturnVariant() const;
    QVariant currentPermissionOnboardingItemVariant() const;
    QVariant currentPermissionOnboardingKindVariant() const;
    int onboardingPermissionsCompleted() const { return onboardingPermissionProgress().completed; }
    int onboardingPermissionsTotal() const { return onboardingPermissionProgress().total; }
    void setPermissionAwaitingReturn(std::optional<PermissionKind> kind);
    static QList<SetupProgressItem> initialProgress();
    static QList<PermissionItem> initialPermissions();
    QVariant installStageVariant() const;
    void setInstallStage(std::optional<InstallStage> stage);
    void setPermission(PermissionKind kind, PermissionNativeState state, bool verified);
    void requestFocus(const FocusTarget &target);
    Operations withDefaults(Operations operations);
    void connectChannelBindingValues();
    void holdOwnerSetupLink(std::optional<QUrl> url, std::optional<QDateTime> expiresAt, bool hasLiveSession);
    QCoro::Task<> applyOwnerSetupSession(const OwnerSetupSession &session, bool forceRefresh);

    const QString m_profileDirectory;
    const std::shared_ptr<CLIService> m_cli;
    const std::shared_ptr<AgentStatusClient> m_agentStatus;

    // Injected operations, resolved at construction.
    const Operations m_operations;
    const std::function<void(std::optional<OwnerSetupLink>)> m_ownerSetupLinkSave;

    std::optional<InstallStage> m_installStage;
    std::optional<QUuid> m_setupTaskID;
    std::optional<QCoro::Task<>> m_statusTask;
    int m_consecutiveStatusFailures = 0;
    std::uint64_t m_statusSampleSequence = 0;
    std::optional<AgentRuntimeStatus> m_previousRuntimeStatus;
    std::optional<PermissionKind> m_permissionAwaitingReturn;
    bool m_daemonInstallInFlight = false;
    std::optional<QUrl> m_ownerSetupURL;
    std::optional<QDateTime> m_ownerSetupExpiresAt;
    bool m_ownerSetupHasLiveSession = false;
    bool m_ownerSetupSawPendingBinding = false;
    std::optional<QString> m_agentVersionChecked;
    bool m_agentUpdateCheckInFlight = false;
    bool m_didRecheckExistingPermissions = false;
};

} // namespace tallowmere
