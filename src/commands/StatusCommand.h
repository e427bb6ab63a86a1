#pragma once

#include "app/ModelEnums.h"
#include "status/AgentRuntimeStatus.h"
#include "status/StatusSnapshot.h"

#include <QCoro/QCoroTask>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace tallowmere::commands {

// One look at the agent, in the words the dashboard uses.
struct StatusReport {
    bool configured = false;
    std::optional<InstallStage> installStage;
    std::optional<AgentRuntimeStatus> sample; // none: the agent could not be asked or did not answer
    StatusSnapshot snapshot;
    OverallState overallState = OverallState::notInstalled;
    QString headline;
    QString detail;
    QString currentTask;
    QString process;
    QString heartbeat;
    QString permissionSummary;
    QString reason; // why the exit status is not 0

    // 0 ready, 1 answering but not ready or the installation unfinished, 2 unreachable or not configured.
    int exitStatus() const;
    QJsonObject json() const;
    QString text() const;
};

// Reads the profile's state and takes one status sample; touches nothing.
QCoro::Task<StatusReport> takeStatus(QString profileDirectory);
// The same for the default profile, run to its end in the current application's event loop.
StatusReport currentStatus();

// `status [--json]`: prints the report and returns the exit status.
int printStatus(bool json);

} // namespace tallowmere::commands
