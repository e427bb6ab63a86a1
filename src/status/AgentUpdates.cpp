// The agent update offer: the registry check after a good status sample, the banner, and the update.
#include "app/AppModel.h"

#include "cli/CLIService.h"
#include "status/AgentVersion.h"

#include <QPointer>

namespace tallowmere {

namespace {
const QString updateFailed = QStringLiteral("AGENT_UPDATE_FAILED");
} // namespace

QCoro::Task<> AppModel::checkAgentUpdate(QString currentVersion)
{
    if (!m_configurationReady || !AgentVersion::sanitized(currentVersion))
        co_return;
    // The registry is asked once per running version (activation and an update clear the mark).
    if (m_agentVersionChecked == currentVersion || m_agentUpdateCheckInFlight)
        co_return;
    m_agentVersionChecked = currentVersion;
    m_agentUpdateCheckInFlight = true;
    QPointer<AppModel> self(this);
    std::optional<QString> published;
    try {
        published = co_await m_operations.agentUpdateVersion();
    } catch (const std::exception &) {
        // An operation that throws all the same offers nothing, like one that finds nothing.
    }
    if (!self)
        co_return;
    setAvailableAgentVersion(published && AgentVersion::isNewer(*published, currentVersion) ? published
                                                                                            : std::nullopt);
    m_agentUpdateCheckInFlight = false;
}

bool AppModel::showsAgentUpdateBanner() const
{
    return m_availableAgentVersion && m_availableAgentVersion != m_dismissedAgentVersion;
}

QString AppModel::agentUpdateBannerText() const
{
    if (!m_availableAgentVersion)
        return {};
    return QStringLiteral("Agent ") + *m_availableAgentVersion + QStringLiteral(" 可更新");
}

QCoro::Task<> AppModel::updateAgent()
{
    if (!m_configurationReady || m_isUpdatingAgent)
        co_return;
    setIsUpdatingAgent(true);
    const std::optional<QString> target = m_availableAgentVersion;
    QPointer<AppModel> self(this);

    const bool installed = co_await runCLIAction(m_cli->agentUpdateCommand(), updateFailed);
    if (!self)
        co_return;
    if (!installed) {
        setIsUpdatingAgent(false);
        co_return;
    }

    // The daemon is installed again so that it runs the new package.
    const bool restarted = co_await reinstallDaemon(updateFailed);
    if (!self)
        co_return;
    if (!restarted) {
        setIsUpdatingAgent(false);
        co_return;
    }

    setDismissedAgentVersion(target);
    setAvailableAgentVersion(std::nullopt);
    m_agentVersionChecked.reset();
    co_await refreshAgentStatus();
    if (self)
        setIsUpdatingAgent(false);
}

} // namespace tallowmere
