#include "platform/SimulatedMac.h"

namespace platform {

std::optional<QString> simulatedMacDirectory()
{
    const QString directory = qEnvironmentVariable("TALLOWMERE_SIM_DIR");
    return directory.isEmpty() ? std::nullopt : std::optional(directory);
}

} // namespace platform
