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

namespace {

const QStringList stageNames = {QStringLiteral("runtime"), QStringLiteral("permissions"),
                                QStringLiteral("setup"),   QStringLiteral("daemon"),
                                QStringLiteral("channel"), QStringLiteral("handshake")};
const QStringList permissionNames = {QStringLiteral("screenRecording"), QStringLiteral("accessibility"),
                                     QStringLiteral("automation"), QStringLiteral("fullDiskAccess")};

// The text of a file's bytes, or nothing when they are not UTF-8.
std::optional<QString> textOf(const QByteArray &bytes)
{
    return bytes.isValidUtf8() ? std::optional(QString::fromUtf8(bytes)) : std::nullopt;
}

// White space and newlines: tab, line feed to carriage return, next line and the separators.
bool isBlank(QChar c)
{
    return c == u'\t' || (c >= u'\n' && c <= u'\r') || c == QChar(0x85) ||
           c.category() == QChar::Separator_Space || c.category() == QChar::Separator_Line ||
           c.category() == QChar::Separator_Paragraph;
}

// The index into `names` of the one name the trimmed text spells, or -1.
int singleValue(const QByteArray &bytes, const QStringList &names)
{
    const std::optional<QString> text = textOf(bytes);
    if (!text)
        return -1;
    qsizetype begin = 0, end = text->size();
    while (begin < end && isBlank(text->at(begin)))
        ++begin;
    while (end > begin && isBlank(text->at(end - 1)))
        --end;
    return int(names.indexOf(text->mid(begin, end - begin)));
}

// The permissions named by whole lines, split at every kind of line break.
PermissionSet permissionLinesOf(const QByteArray &bytes)
{
    static const QRegularExpression lineBreak(QStringLiteral("[\\n\\x0B\\f\\r\\x{85}\\x{2028}\\x{2029}]"));
    PermissionSet kinds;
    if (const std::optional<QString> text = textOf(bytes)) {
        for (const QString &line : text->split(lineBreak)) {
            if (const qsizetype index = permissionNames.indexOf(line); index >= 0)
                kinds.insert(PermissionKind(index));
        }
    }
    return kinds;
}

QString describe(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    const QString profile = scratchDirectory();
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const char *name :
         {installStageFile, completedPermissionsFile, manualPermissionsFile, awaitingPermissionFile}) {
        QFile file(profile + QLatin1Char('/') + QLatin1String(name));
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size(),
                "the harness writes the state file");
    }

    const int stage = singleValue(bytes, stageNames);
    require(readInstallStage(profile) == (stage < 0 ? std::nullopt : std::optional(InstallStage(stage))),
            "the stage is the raw value the trimmed UTF-8 text spells", describe(bytes));
    const int awaiting = singleValue(bytes, permissionNames);
    require(readAwaitingPermission(profile) ==
                (awaiting < 0 ? std::nullopt : std::optional(PermissionKind(awaiting))),
            "the awaited permission is the raw value the trimmed UTF-8 text spells", describe(bytes));
    const PermissionSet lines = permissionLinesOf(bytes);
    require(readCompletedPermissions(profile) == lines && readManualPermissions(profile) == lines,
            "the permission sets are the lines of UTF-8 text that spell a raw value", describe(bytes));

    // The writer's form reads back as the set it was made of.
    PermissionSet written;
    for (int kind = 0; kind < 4; ++kind) {
        if (size > 0 && (data[0] >> kind & 1))
            written.insert(PermissionKind(kind));
    }
    require(writeStateFile(profile, completedPermissionsFile, permissionLines(written)),
            "the state file is written");
    require(readCompletedPermissions(profile) == written, "a written permission set reads back",
            permissionLines(written));
    return 0;
}
