// The install progress list: ten phases, a detail line under the running one and a package counter.
#include "app/AppModel.h"

#include "cli/TextCut.h"

namespace tallowmere {

namespace {

constexpr qsizetype detailLength = 80;

struct StageProgress {
    SetupPhase current;  // phases before it are complete, phases after it pending
    bool currentRunning; // the setup stage waits for the user: nothing runs
};

StageProgress progressOf(InstallStage stage)
{
    switch (stage) {
    case InstallStage::runtime:
        return {SetupPhase::runtime, true};
    case InstallStage::permissions:
        return {SetupPhase::permissions, true};
    case InstallStage::setup:
        return {SetupPhase::redeem, false};
    case InstallStage::daemon:
        return {SetupPhase::starting, true};
    case InstallStage::channel:
        return {SetupPhase::channel, true};
    case InstallStage::handshake:
        return {SetupPhase::handshake, true};
    }
    return {SetupPhase::runtime, true};
}

} // namespace

QList<SetupProgressItem> AppModel::initialProgress()
{
    QList<SetupProgressItem> items;
    for (SetupPhase phase : allCases<SetupPhase>())
        items.append({phase, ProgressState::pending});
    return items;
}

void AppModel::beginProgress()
{
    QList<SetupProgressItem> items = initialProgress();
    items.first().state = ProgressState::running;
    setSetupProgress(items);
    setSetupProgressDetail(std::nullopt);
    setPackageInstallProgress(std::nullopt);
    setOverallState(OverallState::starting);
}

void AppModel::restoreProgress(InstallStage stage)
{
    const StageProgress row = progressOf(stage);
    QList<SetupProgressItem> items = initialProgress();
    for (SetupProgressItem &item : items) {
        if (item.phase < row.current)
            item.state = ProgressState::complete;
        else if (item.phase == row.current && row.currentRunning)
            item.state = ProgressState::running;
    }
    setSetupProgress(items);
}

void AppModel::applyProgress(const QString &phase, const QString &status,
                             const std::optional<QString> &detail)
{
    const std::optional<SetupPhase> target = fromRawValue<SetupPhase>(phase);
    if (!target)
        return;
    const bool running = status == QLatin1String("running");
    QList<SetupProgressItem> items = m_setupProgress;
    for (SetupProgressItem &item : items) {
        if (item.phase == *target)
            item.state =
                status == QLatin1String("complete") ? ProgressState::complete : ProgressState::running;
        else if (running && item.phase < *target)
            item.state = ProgressState::complete;
    }
    setSetupProgress(items);
    setSetupProgressDetail(running && detail ? std::optional(leadingCharacters(*detail, detailLength))
                                             : std::nullopt);
}

void AppModel::updatePackageInstallProgress(std::optional<int> completed, std::optional<int> total)
{
    if (!total) {
        if (!m_packageInstallProgress)
            return;
        total = m_packageInstallProgress->total;
    }
    if (*total <= 0)
        return;
    const int current = m_packageInstallProgress ? m_packageInstallProgress->completed : 0;
    setPackageInstallProgress(
        PackageInstallProgress{std::min(std::max(completed.value_or(0), current), *total), *total});
}

AppModel::ProgressCounts AppModel::setupProgressCounts() const
{
    const auto completed =
        std::count_if(m_setupProgress.begin(), m_setupProgress.end(),
                      [](const SetupProgressItem &item) { return item.state == ProgressState::complete; });
    return {int(completed), int(m_setupProgress.size())};
}

double AppModel::setupProgressFraction() const
{
    const ProgressCounts counts = setupProgressCounts();
    return counts.total == 0 ? 0.0 : double(counts.completed) / double(counts.total);
}

bool AppModel::showsPackageInstallProgress() const
{
    return m_isPreparingEnvironment && m_setupProgressDetail == QStringLiteral("安装 Tallowmere");
}

} // namespace tallowmere
