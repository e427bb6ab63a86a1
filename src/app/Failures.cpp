// The failure routine and the activity feed.
#include "app/AppModel.h"

#include "cli/AgentPackage.h"
#include "cli/TextCut.h"
#include "platform/Clock.h"

#include <QFile>

namespace tallowmere {

namespace {
constexpr qsizetype feedLimit = 20;
constexpr qsizetype shownErrorLength = 240;
} // namespace

void AppModel::fail(const QString &code, const std::optional<QString> &message)
{
    setIsSubmittingSetup(false);
    setSetupAuthorization(std::nullopt);
    setOverallState(OverallState::error);
    const DisplayError error = DisplayError::from(code, message);
    setLastError(error);
    if (error.recovery.action == RecoveryAction::Case::enterInstallCode) {
        // The setup tool must not resume with a code that can no longer be redeemed.
        QFile::remove(m_profileDirectory + QLatin1Char('/') + QLatin1String(agent::setupStateFile));
        requestFocus(FocusTarget::setupCode());
    }
    QList<SetupProgressItem> progress = m_setupProgress;
    for (SetupProgressItem &item : progress) {
        if (item.state == ProgressState::running)
            item.state = ProgressState::failed;
    }
    setSetupProgress(progress);
}

std::optional<QString> AppModel::safeErrorMessage(const std::optional<QString> &line)
{
    if (!line)
        return std::nullopt;
    const QString text = line->trimmed();
    if (text.isEmpty() || text.contains(QLatin1String("REDACTED")) ||
        text.startsWith(QLatin1String("TMAPP_")))
        return std::nullopt;
    return leadingCharacters(text, shownErrorLength);
}

void AppModel::appendActivity(const QString &summary)
{
    QList<ActivityEvent> feed = m_activities;
    feed.prepend({QUuid::createUuid(), platform::clock().now(), ActivityEvent::Source::agent, summary});
    if (feed.size() > feedLimit)
        feed.removeLast();
    setActivities(feed);
}

} // namespace tallowmere
