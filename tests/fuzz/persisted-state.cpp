// The persisted-state readers on any file content: the stage and the awaited permission are the one
// raw value the trimmed text spells, the permission sets hold exactly the lines that spell one, and
// text that is not UTF-8 reads as none. What the writer writes reads back as it was.
#include "FuzzInput.h"

#include "app/PersistedState.h"

#include <QFile>
#include <QRegularExpression>

using namespace fuzzing;
using namespace tallowmere;
using namespace tallowmere::persisted;
using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    static const QStringList stages = {u"runtime"_s, u"permissions"_s, u"setup"_s, u"daemon"_s, u"channel"_s, u"handshake"_s};
    static const QStringList permissions = {u"screenRecording"_s, u"accessibility"_s, u"automation"_s, u"fullDiskAccess"_s};
    static const QRegularExpression lineBreak(QStringLiteral("[\\n\\x0B\\f\\r\\x{85}\\x{2028}\\x{2029}]"));
    const QString profile = scratchDirectory();
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const char *name : {installStageFile, completedPermissionsFile, manualPermissionsFile, awaitingPermissionFile}) {
        QFile file(profile + QLatin1Char('/') + QLatin1String(name));
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size(),
                "the harness writes the state file");
    }

    // Not UTF-8: no text, so no value.
    const QString text = bytes.isValidUtf8() ? QString::fromUtf8(bytes).trimmed() : QString();
    const QString shown = QString::fromLatin1(bytes.toHex(' '));
    const qsizetype stage = stages.indexOf(text), awaiting = permissions.indexOf(text);
    require(readInstallStage(profile) == (stage < 0 ? std::nullopt : std::optional(InstallStage(stage))),
            "the stage is the raw value the trimmed UTF-8 text spells", shown);
    require(readAwaitingPermission(profile) == (awaiting < 0 ? std::nullopt : std::optional(PermissionKind(awaiting))),
            "the awaited permission is the raw value the trimmed UTF-8 text spells", shown);
    PermissionSet lines;
    for (const QString &line : bytes.isValidUtf8() ? QString::fromUtf8(bytes).split(lineBreak) : QStringList()) {
        if (const qsizetype index = permissions.indexOf(line); index >= 0)
            lines.insert(PermissionKind(index));
    }
    require(readCompletedPermissions(profile) == lines && readManualPermissions(profile) == lines,
            "the permission sets are the lines of UTF-8 text that spell a raw value", shown);

    // The writer's form reads back as the set it was made of.
    PermissionSet written;
    for (int kind = 0; kind < 4; ++kind) {
        if (size > 0 && (data[0] >> kind & 1))
            written.insert(PermissionKind(kind));
    }
    require(writeStateFile(profile, completedPermissionsFile, permissionLines(written)), "the state file is written");
    require(readCompletedPermissions(profile) == written, "a written permission set reads back",
            permissionLines(written));
    return 0;
}
