#include "platform/Home.h"

#include <QDir>

namespace platform {

namespace {
QString &homeOverride()
{
    static QString path;
    return path;
}
} // namespace

QString homeDirectory()
{
    const QString &path = homeOverride();
    return path.isEmpty() ? QDir::homePath() : path;
}

void setHomeDirectoryOverride(const QString &path)
{
    homeOverride() = path;
}

} // namespace platform
