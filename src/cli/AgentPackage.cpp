#include "cli/AgentPackage.h"

#include "platform/Home.h"

namespace tallowmere::agent {

QString defaultProfileDirectory()
{
    return platform::homeDirectory() + QLatin1Char('/') + QLatin1String(profileDirectory);
}

} // namespace tallowmere::agent
