// The install pipeline: runtime preparation, the setup code's redemption, the daemon and its start wait,
// and the entry into the channel stage.
#include "app/AppModel.h"

#include "app/CommandStep.h"
#include "cli/CLIService.h"
#include "platform/Clock.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>

namespace tallowmere {

namespace {

using namespace std::chrono_literals;

constexpr int startChecks = 30;
constexpr std::chrono::milliseconds startCheckPause = 500ms;
const QString workspaceCodeStart = QStringLiteral("TMI1-");

std::optional<int> integerMember(const QJsonObject &object, const char *name)
{
    const QJsonValue value = object.value(QLatin1String(name));
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (number != std::floor(number) || number < INT_MIN || number > INT_MAX)
        return std::nullopt;
    return int(number);
}

std::optional<QString> textMember(const QJsonObject &object, const char *name)
{
    const QJsonValue value = object.value(QLatin1String(name));
    return value.isString() ? std::optional(value.toString()) : std::nullopt;
}

} // namespace

void AppModel::consumeSetupOutput(QStringView line)
{
    const QJsonObject event = QJsonDocument::fromJson(line.toUtf8()).object();
    const std::optional<QString> type = textMember(event, "type");
    if (type == QLatin1String("packageProgress")) {
        updatePackageInstallProgress(integerMember(event, "completed"), integerMember(event, "total"));
    } else if (type == QLatin1String("progress")) {
        const std::optional<QString> phase = textMember(event, "phase");
        const std::optional<QString> status = textMember(event, "status");
        if (phase && status)
            applyProgress(*phase, *status, textMember(event, "detail"));
    }
}

OutputHandler AppModel::setupOutputHandler()
{
    return [self = QPointer<AppModel>(this)](QStringView line) {
        if (self)
            self->consumeSetupOutput(line);
    };
}

QCoro::Task<> AppModel::prepareEnvironmentIfNeeded()
{
    if (m_installStage != InstallStage::runtime || m_isPreparingEnvironment)
        co_return;
    QPointer<AppModel> self(this);
    setIsPreparingEnvironment(true);
    setPendingSetupResume(true);
    setOverallState(OverallState::starting);
    beginProgress();

    const StepCodes codes{QStringLiteral("RUNTIME_PREPARE_EXIT_"), true, QStringLiteral("RUNTIME_PREPARE_FAILED"),
                          true};
    const std::optional<StepFailure> failure =
        co_await commandFailure(m_operations.environmentPrepare(setupOutputHandler()), codes);
    if (!self)
        co_return;
    if (failure) {
        fail(failure->code, failure->message);
        setIsPreparingEnvironment(false);
        co_return;
    }
    applyProgress(QStringLiteral("runtime"), QStringLiteral("complete"), std::nullopt);
    applyProgress(QStringLiteral("preflight"), QStringLiteral("complete"), std::nullopt);
    applyProgress(QStringLiteral("permissions"), QStringLiteral("running"), std::nullopt);
    setInstallStage(InstallStage::permissions);
    setPendingSetupResume(true);
    finishPermissionStageIfReady();
    setIsPreparingEnvironment(false);
}

QCoro::Task<> AppModel::submitSetupCode()
{
    if (!canSubmitSetup()) {
        setLastError(DisplayError::from(QStringLiteral("SETUP_CODE_FORMAT"), std::nullopt));
        requestFocus(FocusTarget::setupCode());
        co_return;
    }
    QPointer<AppModel> self(this);
    const QUuid identity = QUuid::createUuid();
    m_setupTaskID = identity;
    setIsSubmittingSetup(true);
    setLastError(std::nullopt);
    setSetupAuthorization(std::nullopt);
    setSetupAuthorizationOpenFailed(false);
    applyProgress(QStringLiteral("redeem"), QStringLiteral("running"), QStringLiteral("正在验证安装码"));

    const QString code = normalizedSetupCode();
    const std::optional<QString> agentName =
        code.startsWith(workspaceCodeStart) ? std::optional(m_setupAgentName.trimmed().toLower()) : std::nullopt;
    setSetupCode(QString()); // the code is not kept once submitted

    const AuthorizationHandler onAuthorization = [self](const JITWorkspaceAuthorization &authorization) {
        if (!self)
            return;
        self->setSetupAuthorization(authorization);
        self->setSetupAuthorizationOpenFailed(false);
    };
    // The exit code and the failed code are the setup's own; the runner's error shows without its message.
    const StepCodes codes{QStringLiteral("SETUP_EXIT_"), true, QStringLiteral("SETUP_FAILED"), false};
    const std::optional<StepFailure> failure =
        co_await commandFailure(m_cli->setup(code, agentName, setupOutputHandler(), onAuthorization), codes);
    if (!self || m_setupTaskID != identity)
        co_return; // a later submission took over
    m_setupTaskID.reset();
    if (failure)
        fail(failure->code, failure->message);
    else
        co_await completeSetup();
}

QCoro::Task<> AppModel::completeSetup()
{
    setSetupAuthorization(std::nullopt);
    setConfigurationReady(true);
    setIsSubmittingSetup(false);
    setPendingSetupResume(true);
    setOverallState(OverallState::starting);
    for (const char *phase : {"redeem", "configure", "verify"})
        applyProgress(QLatin1String(phase), QStringLiteral("complete"), std::nullopt);
    applyProgress(QStringLiteral("starting"), QStringLiteral("running"), QStringLiteral("正在安装并启动 Agent"));
    setInstallStage(InstallStage::daemon);
    co_await finishDaemonInstallationIfNeeded();
}

QCoro::Task<> AppModel::finishDaemonInstallationIfNeeded()
{
    if (m_installStage != InstallStage::daemon || m_daemonInstallInFlight)
        co_return;
    QPointer<AppModel> self(this);
    applyProgress(QStringLiteral("starting"), QStringLiteral("running"), QStringLiteral("正在安装并启动 Agent"));
    m_daemonInstallInFlight = true;

    const OutputHandler ignored = [](QStringView) {};
    const StepCodes codes{QStringLiteral("DAEMON_INSTALL_EXIT_"), true, QStringLiteral("DAEMON_INSTALL_FAILED"),
                          true};
    const std::optional<StepFailure> failure = co_await commandFailure(m_operations.daemonInstall(ignored), codes);
    if (!self)
        co_return;
    if (failure) {
        fail(failure->code, failure->message);
        m_daemonInstallInFlight = false;
        co_return;
    }
    applyProgress(QStringLiteral("starting"), QStringLiteral("running"), QStringLiteral("等待 Agent 启动"));
    for (int checks = 0;;) {
        const bool started = co_await m_operations.agentStarted();
        if (!self)
            co_return;
        if (started) {
            co_await enterChannelStage();
            if (self)
                m_daemonInstallInFlight = false;
            co_return;
        }
        co_await platform::clock().sleep(startCheckPause, this);
        if (!self)
            co_return;
        if (++checks == startChecks) {
            fail(QStringLiteral("AGENT_START_TIMEOUT"), QStringLiteral("Agent 已安装，但未能在 15 秒内启动。"));
            m_daemonInstallInFlight = false;
            co_return;
        }
    }
}

QCoro::Task<> AppModel::enterChannelStage()
{
    if (m_installStage != InstallStage::daemon)
        co_return;
    setLastError(std::nullopt);
    setOverallState(OverallState::starting);
    applyProgress(QStringLiteral("starting"), QStringLiteral("complete"), std::nullopt);
    applyProgress(QStringLiteral("channel"), QStringLiteral("running"), QStringLiteral("等待绑定 Channel"));
    setInstallStage(InstallStage::channel);
    startStatusMonitoring();
    co_await refreshOwnerSetup(false);
}

QCoro::Task<> AppModel::openSetupAuthorization()
{
    if (!m_setupAuthorization || m_isOpeningSetupAuthorization)
        co_return;
    QPointer<AppModel> self(this);
    setIsOpeningSetupAuthorization(true);
    setSetupAuthorizationOpenFailed(false);
    const bool opened = co_await m_operations.setupAuthorizationOpen(m_setupAuthorization->authURL);
    if (!self)
        co_return;
    setIsOpeningSetupAuthorization(false);
    setSetupAuthorizationOpenFailed(!opened);
}

} // namespace tallowmere
