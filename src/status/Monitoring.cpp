// The monitoring loop: one status sample every few seconds, turned into the snapshot, the overall state
// and the activity feed.
#include "app/AppModel.h"

#include "app/TaskLauncher.h"
#include "platform/Clock.h"
#include "status/AgentStatusClient.h"
#include "status/StatusPresentation.h"

#include <QPointer>

namespace tallowmere {

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds channelPause = 500ms;
constexpr std::chrono::milliseconds pause = 2s;
constexpr int failuresBeforeDisconnected = 3;

// Holds the model weakly: the loop ends once the model is gone.
QCoro::Task<> monitor(QPointer<AppModel> model)
{
    while (model) {
        if (model->installStage() == InstallStage::permissions)
            co_await model->advancePermissionOnboarding();
        if (model && model->installStage() == InstallStage::channel)
            co_await model->refreshOwnerSetup(false);
        if (model)
            co_await model->refreshAgentStatus();
        if (!model)
            break;
        co_await platform::clock().sleep(
            model->installStage() == InstallStage::channel ? channelPause : pause, model);
    }
}

bool codingInProgress(const std::optional<AgentRuntimeStatus::CodingSession> &session)
{
    return session && session->status == QLatin1String("in_progress");
}

} // namespace

void AppModel::startStatusMonitoring()
{
    if (m_statusTask)
        return;
    m_statusTask.emplace(launch(monitor(this), "status monitoring"));
}

QCoro::Task<> AppModel::refreshAgentStatus()
{
    if (!m_configurationReady || m_isSubmittingSetup || m_installStage == InstallStage::permissions ||
        m_installStage == InstallStage::daemon)
        co_return;
    QPointer<AppModel> self(this);
    std::optional<AgentRuntimeStatus> sample;
    try {
        sample = co_await m_agentStatus->fetch();
    } catch (const std::exception &) {
        // A failed sample is never shown as an error; it only counts.
    }
    if (!self)
        co_return;

    if (!sample) {
        if (++m_consecutiveStatusFailures < failuresBeforeDisconnected)
            co_return;
        StatusSnapshot snapshot = m_statusSnapshot;
        snapshot.bridgeConnected = false;
        snapshot.handshakeComplete = false;
        snapshot.isWorking = false;
        snapshot.currentTask.reset();
        setStatusSnapshot(snapshot);
        m_previousRuntimeStatus.reset();
        setOverallState(OverallState::error);
        co_return;
    }

    m_consecutiveStatusFailures = 0;
    ++m_statusSampleSequence; // wraps on overflow
    const RuntimePresentation presentation = runtimePresentation(*sample, m_previousRuntimeStatus);
    m_previousRuntimeStatus = sample;
    if (presentation.activity)
        appendActivity(*presentation.activity);
    setStatusSnapshot(presentation::snapshotOf(*sample, presentation.title, m_statusSampleSequence));
    // Each good sample is also where the agent update check starts.
    co_await checkAgentUpdate(sample->version);
    if (!self)
        co_return;

    setOverallState(presentation::overallStateOf(*sample, m_installStage));
    if (m_overallState != OverallState::online)
        co_return;
    applyProgress(QStringLiteral("handshake"), QStringLiteral("complete"), std::nullopt);
    applyProgress(QStringLiteral("online"), QStringLiteral("complete"), std::nullopt);
    if (m_installStage == InstallStage::handshake) {
        // The agent reports the handshake: the installation is finished.
        setInstallStage(std::nullopt);
        setPendingSetupResume(false);
        setInstallationValidated(true);
        setOnboardingCompleted(true);
    }
}

AppModel::RuntimePresentation AppModel::runtimePresentation(const AgentRuntimeStatus &status,
                                                            const std::optional<AgentRuntimeStatus> &previous)
{
    RuntimePresentation presentation;
    if (codingInProgress(status.codingSession))
        presentation.title = QStringLiteral("Coding");
    else if (status.compacting == true)
        presentation.title = QStringLiteral("Thinking");
    else if (status.busy)
        presentation.title = QStringLiteral("Working");
    else if (status.queueSize >= 1)
        presentation.title = QStringLiteral("Receiving messages");
    else
        presentation.title = QStringLiteral("Idle");

    if (!previous)
        return presentation;
    if (status.queueSize > previous->queueSize) {
        presentation.activity =
            status.queueSize == 1
                ? QStringLiteral("Received a new message")
                : QStringLiteral("Received new messages — %1 waiting").arg(status.queueSize);
    } else if (presentation.title == QLatin1String("Coding") && !codingInProgress(previous->codingSession)) {
        presentation.activity = QStringLiteral("Started coding");
    } else if (status.compacting == true && previous->compacting != true) {
        presentation.activity = QStringLiteral("Organizing context");
    } else if (!status.busy && previous->busy) {
        presentation.activity = status.queueSize < 1
                                    ? QStringLiteral("Task complete")
                                    : QStringLiteral("Task complete — waiting for the next message");
    } else if (status.busy && !previous->busy) {
        presentation.activity = QStringLiteral("Started working");
    }
    return presentation;
}

} // namespace tallowmere
