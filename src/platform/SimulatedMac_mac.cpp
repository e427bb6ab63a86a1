#include "platform/SimulatedMac.h"

namespace platform {

std::optional<QString> simulatedMacDirectory()
{
    return std::nullopt;
}

} // namespace platform
