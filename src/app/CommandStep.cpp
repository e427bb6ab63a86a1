#include "app/CommandStep.h"

#include "app/AppModel.h"
#include "cli/Errors.h"

namespace tallowmere {

QCoro::Task<std::optional<StepFailure>> commandFailure(QCoro::Task<CLIResult> step, StepCodes codes)
{
    try {
        const CLIResult result = co_await std::move(step);
        if (result.status == 0)
            co_return std::nullopt;
        const QString code = codes.appendStatus ? codes.exit + QString::number(result.status) : codes.exit;
        co_return StepFailure{code, AppModel::safeErrorMessage(result.lastErrorLine)};
    } catch (const TallowmereNativeError &error) {
        co_return StepFailure{error.code(),
                              codes.keepThrownMessage ? std::optional(error.message()) : std::nullopt};
    } catch (const std::exception &) {
        co_return StepFailure{codes.failed, std::nullopt};
    }
}

} // namespace tallowmere
