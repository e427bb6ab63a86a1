#include "app/PersistedState.h"

#include "app/AppModel.h"
#include "cli/Errors.h"
#include "cli/TextFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <cstdio>

namespace tallowmere::persisted {

namespace {

QString pathOf(const QString &directory, const char *name)
{
    return directory + QLatin1Char('/') + QLatin1String(name);
}

// The whole file as text; nothing when it is missing, unreadable or not valid UTF-8.
std::optional<QString> readText(const QString &directory, const char *name)
{
    try {
        return readTextFile(pathOf(directory, name));
    } catch (const FileError &) {
        return std::nullopt;
    }
}

template <typename E> std::optional<E> readSingleValue(const QString &directory, const char *name)
{
    const std::optional<QString> text = readText(directory, name);
    return text ? fromRawValue<E>(text->trimmed()) : std::nullopt;
}

bool isLineBreak(QChar c)
{
    switch (c.unicode()) {
    case 0x0A:   // line feed
    case 0x0B:   // vertical tab
    case 0x0C:   // form feed
    case 0x0D:   // carriage return
    case 0x85:   // next line
    case 0x2028: // line separator
    case 0x2029: // paragraph separator
        return true;
    default:
        return false;
    }
}

PermissionSet readPermissionSet(const QString &directory, const char *name)
{
    PermissionSet kinds;
    const std::optional<QString> text = readText(directory, name);
    if (!text)
        return kinds;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text->size(); ++i) {
        if (i < text->size() && !isLineBreak(text->at(i)))
            continue;
        if (const auto kind = fromRawValue<PermissionKind>(QStringView(*text).mid(start, i - start)))
            kinds.insert(*kind);
        start = i + 1;
    }
    return kinds;
}

} // namespace

std::optional<InstallStage> readInstallStage(const QString &profileDirectory)
{
    return readSingleValue<InstallStage>(profileDirectory, installStageFile);
}

PermissionSet readCompletedPermissions(const QString &profileDirectory)
{
    return readPermissionSet(profileDirectory, completedPermissionsFile);
}

PermissionSet readManualPermissions(const QString &profileDirectory)
{
    return readPermissionSet(profileDirectory, manualPermissionsFile);
}

std::optional<PermissionKind> readAwaitingPermission(const QString &profileDirectory)
{
    return readSingleValue<PermissionKind>(profileDirectory, awaitingPermissionFile);
}

QString permissionLines(const PermissionSet &kinds)
{
    if (kinds.empty())
        return QStringLiteral("\n");
    QString text;
    for (PermissionKind kind : kinds) // std::set keeps kind order
        text += rawValue(kind) + QLatin1Char('\n');
    return text;
}

bool writeStateFile(const QString &directory, const char *name, const QString &content)
{
    const QString target = pathOf(directory, name);
    // A temporary file in the same directory, created 0600, then renamed over the target: readers see
    // the old content or the new, never a part.
    QTemporaryFile temporary(target + QStringLiteral(".XXXXXX"));
    if (!temporary.open())
        return false;
    const QByteArray bytes = content.toUtf8();
    if (temporary.write(bytes) != bytes.size() || !temporary.flush())
        return false;
    temporary.close();
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(),
                    QFile::encodeName(target).constData()) != 0)
        return false;
    temporary.setAutoRemove(false);
    return QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void removeStateFile(const QString &directory, const char *name)
{
    QFile::remove(pathOf(directory, name));
}

} // namespace tallowmere::persisted

namespace tallowmere {

using namespace persisted;

void AppModel::persistInstallStage(std::optional<InstallStage> stage)
{
    if (!stage) {
        removeStateFile(m_profileDirectory, installStageFile);
        return;
    }
    QDir().mkpath(m_profileDirectory);
    writeStateFile(m_profileDirectory, installStageFile, rawValue(*stage) + QLatin1Char('\n'));
}

void AppModel::persistCompletedPermissions()
{
    PermissionSet verified;
    for (const PermissionItem &item : m_permissions) {
        if (item.verified)
            verified.insert(item.kind());
    }
    writeStateFile(m_profileDirectory, completedPermissionsFile, permissionLines(verified));
}

void AppModel::persistManualPermissions()
{
    PermissionSet manual;
    for (const PermissionItem &item : m_permissions) {
        if (item.nativeState == PermissionNativeState::manuallyConfirmed)
            manual.insert(item.kind());
    }
    if (manual.empty())
        removeStateFile(m_profileDirectory, manualPermissionsFile);
    else
        writeStateFile(m_profileDirectory, manualPermissionsFile, permissionLines(manual));
}

void AppModel::persistAwaitingPermission(std::optional<PermissionKind> kind)
{
    if (kind)
        writeStateFile(m_profileDirectory, awaitingPermissionFile, rawValue(*kind) + QLatin1Char('\n'));
    else
        removeStateFile(m_profileDirectory, awaitingPermissionFile);
}

} // namespace tallowmere
