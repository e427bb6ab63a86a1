#include "commands/Diagnostics.h"

#include "app/PersistedState.h"
#include "cli/AgentPackage.h"
#include "cli/Redactor.h"
#include "commands/StatusCommand.h"
#include "commands/TarGz.h"
#include "platform/Bundle.h"
#include "platform/Home.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>

#include <cstdio>

namespace tallowmere::commands {

namespace {

// Replaces what `pattern` captures in group 2 by the mark, keeping group 1 and any quotes around the value.
QString replaceValues(const QString &text, const QRegularExpression &pattern, QLatin1String mark)
{
    QString out;
    qsizetype copied = 0;
    for (auto it = pattern.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString value = match.captured(2);
        const bool quoted = value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'');
        out += QStringView(text).mid(copied, match.capturedStart(2) - copied);
        out += quoted ? value.front() + QString(mark) + value.front() : QString(mark);
        copied = match.capturedEnd(2);
    }
    if (copied == 0)
        return text;
    out += QStringView(text).mid(copied);
    return out;
}

struct Source {
    QString name; // in the archive
    QString path; // on this Mac
};

QList<Source> sources()
{
    const QString home = platform::homeDirectory() + QStringLiteral("/.tallowmere/");
    const QString profile = agent::defaultProfileDirectory() + QLatin1Char('/');
    QList<Source> files{
        {QStringLiteral("logs/mac-app-install.log"), profile + QStringLiteral("logs/mac-app-install.log")},
        {QStringLiteral("logs/mac-app-install.log.previous"),
         profile + QStringLiteral("logs/mac-app-install.log.previous")}};
    for (const char *state : {persisted::installStageFile, persisted::completedPermissionsFile,
                              persisted::manualPermissionsFile, persisted::awaitingPermissionFile})
        files.append({QStringLiteral("state/") + QLatin1String(state), profile + QLatin1String(state)});
    files.append({QStringLiteral("daemon/start.sh"), home + QStringLiteral("start.sh")});
    files.append({QStringLiteral("daemon/pm2-ecosystem.config.cjs"),
                  home + QStringLiteral("pm2-ecosystem.config.cjs")});
    return files;
}

QByteArray redacted(const QByteArray &content)
{
    QStringList lines = QString::fromUtf8(content).split(u'\n');
    for (QString &line : lines)
        line = redactForDiagnostics(line);
    return lines.join(u'\n').toUtf8();
}

} // namespace

QString redactForDiagnostics(const QString &line)
{
    static const QRegularExpression setting(QStringLiteral(
        "(?i)([\"']?[\\w.-]*(?:token|secret|password|passwd|pwd|api[_-]?key|auth|credential|cookie|"
        "session|private[_-]?key)[\\w.-]*[\"']?\\s*[:=]\\s*)"
        "(\"[^\"]*\"|'[^']*'|(?:bearer\\s+|basic\\s+)?[^\\s,;}'\"]+)"));
    static const QRegularExpression bearer(QStringLiteral("(?i)(bearer\\s+)([^\\s'\"]+)"));
    static const QRegularExpression email(
        QStringLiteral("()([\\w.%+-]+@[A-Za-z0-9-]+(?:\\.[A-Za-z0-9-]+)+)"));
    static const QRegularExpression queryOrFragment(
        QStringLiteral("([A-Za-z][A-Za-z0-9+.-]*:[^\\s?#\"'<>]*)([?#][^\\s\"'<>]*)"));
    // Queries and fragments go first, whole: the runner's rules would split one at a setup code.
    QString text = replaceValues(line, queryOrFragment, QLatin1String("[REDACTED]"));
    text = sanitize(text);
    text = replaceValues(text, setting, QLatin1String("[REDACTED]"));
    text = replaceValues(text, bearer, QLatin1String("[REDACTED]"));
    return replaceValues(text, email, QLatin1String("[EMAIL REDACTED]"));
}

int writeDiagnostics(const std::optional<QString> &file)
{
    const QString path =
        QFileInfo(
            file.value_or(QStringLiteral("tallowmere-diagnostics-%1.tar.gz")
                              .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")))))
            .absoluteFilePath();

    const StatusReport report = currentStatus();

    TarGz archive;
    QStringList manifest{
        QStringLiteral("Tallowmere diagnostics, written %1. Every secret in these files is redacted.")
            .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate)),
        QString()};
    for (const Source &source : sources()) {
        QFile in(source.path);
        if (!in.open(QIODevice::ReadOnly)) {
            manifest << source.name + QStringLiteral("  (missing)");
            continue;
        }
        const QByteArray content = redacted(in.readAll());
        archive.add(source.name, content);
        manifest << QStringLiteral("%1  %2 bytes").arg(source.name).arg(content.size());
    }
    const QByteArray status = redacted(QJsonDocument(report.json()).toJson());
    const QByteArray versions =
        redacted(QStringLiteral("app %1\nagent %2\n")
                     .arg(platform::bundleShortVersion().value_or(QStringLiteral("--")),
                          report.snapshot.agentVersion.value_or(QStringLiteral("--")))
                     .toUtf8());
    archive.add(QStringLiteral("status.json"), status);
    archive.add(QStringLiteral("versions.txt"), versions);
    manifest << QStringLiteral("status.json  %1 bytes").arg(status.size())
             << QStringLiteral("versions.txt  %1 bytes").arg(versions.size());
    archive.add(QStringLiteral("manifest.txt"), manifest.join(u'\n').toUtf8() + '\n');

    QSaveFile out(path);
    const QByteArray bytes = archive.finish();
    // Owner-only from the first byte: the archive describes this Mac's installation.
    if (bytes.isEmpty() || !out.open(QIODevice::WriteOnly) ||
        !out.setPermissions(QFile::ReadOwner | QFile::WriteOwner) || out.write(bytes) != bytes.size() ||
        !out.commit()) {
        std::fprintf(stderr, "tallowmere-mac: 无法写入 %s\n", qPrintable(path));
        return 1;
    }
    std::printf("已写入诊断包：%s\n%s\n", qPrintable(path), qPrintable(manifest.mid(2).join(u'\n')));
    return 0;
}

} // namespace tallowmere::commands
