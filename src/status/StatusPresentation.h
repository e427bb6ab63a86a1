#pragma once

#include "app/ModelEnums.h"
#include "status/AgentRuntimeStatus.h"
#include "status/StatusSnapshot.h"

#include <QDateTime>
#include <QString>

#include <optional>

// How the agent's state is put into words: one place for the dashboard, the menu-bar menu and the
// command line.
namespace tallowmere::presentation {

struct StatusInputs {
    OverallState overallState = OverallState::notInstalled;
    bool installationValidated = false;
    bool isSubmittingSetup = false;
    std::optional<InstallStage> installStage;
    StatusSnapshot snapshot;
};

QString currentTask(const StatusInputs &inputs);
QString headlineTitle(const StatusInputs &inputs);
QString headlineDetail(const StatusInputs &inputs);
QString processDescription(const StatusSnapshot &snapshot);
QString heartbeat(const StatusSnapshot &snapshot, const QDateTime &now);
QString permissionSummary(int verified, int total);

// The snapshot a good sample gives, with the title its runtime state is shown by.
StatusSnapshot snapshotOf(const AgentRuntimeStatus &sample, const QString &title, std::uint64_t sequence);
// The overall state after a good sample, in the given install stage.
OverallState overallStateOf(const AgentRuntimeStatus &sample, std::optional<InstallStage> stage);

} // namespace tallowmere::presentation
