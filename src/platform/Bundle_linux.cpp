#include "platform/Bundle.h"

#include "platform/SimulatedMac.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace platform {

std::optional<QString> bundleShortVersion()
{
#ifdef TALLOWMERE_VERSION
    return QStringLiteral(TALLOWMERE_VERSION);
#else
    return std::nullopt;
#endif
}

std::optional<QString> bundleResourcePath(const QString &name, const QString &extension)
{
    // Inside the simulated Mac, it is the bundle; otherwise resources lie beside the executable.
    const QString directory = simulatedMacDirectory().value_or(QCoreApplication::applicationDirPath() +
                                                               QStringLiteral("/resources"));
    const QString path = directory + QLatin1Char('/') + name + QLatin1Char('.') + extension;
    return QFileInfo(path).isFile() ? std::optional(path) : std::nullopt;
}

} // namespace platform
