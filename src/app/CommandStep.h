#pragma once

#include "cli/CLIResult.h"

#include <QCoro/QCoroTask>
#include <QString>

#include <optional>

namespace tallowmere {

// How a command step failed, as the failure routine takes it.
struct StepFailure {
    QString code;
    std::optional<QString> message;
};

// What a failed step is called.
struct StepCodes {
    QString exit;                   // for a non-zero status; with `appendStatus`, the status follows it
    bool appendStatus = true;
    QString failed;                 // for an exception that is not the runner's own error
    bool keepThrownMessage = true;  // the runner's own error shows its message
};

// Awaits the step; none when it ended with status 0. A non-zero status gives the exit code with the safe
// form of the last error line, the runner's own error its code (and message, if kept), anything else the
// failed code.
QCoro::Task<std::optional<StepFailure>> commandFailure(QCoro::Task<CLIResult> step, StepCodes codes);

} // namespace tallowmere
