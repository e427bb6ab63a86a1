#include "status/NpmConfiguration.h"

#include "cli/AgentPackage.h"
#include "cli/Errors.h"
#include "cli/TextFile.h"
#include "platform/Home.h"

#include <QCoro/QCoroFuture>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QPromise>
#include <QRegularExpression>
#include <QThread>

namespace tallowmere::npm {

namespace {

constexpr qint64 answerLimit = 4096;

QString runtimeNpmrc(const QString &home)
{
    return home + QLatin1String(agent::runtimeDirectory) + QStringLiteral("/pnpm-config/npmrc");
}

std::optional<QString> nonEmpty(const QString &value)
{
    return value.isEmpty() ? std::nullopt : std::optional(value);
}

// npm reads its variables whatever the case of their names.
std::optional<QString> registryVariable()
{
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &name : environment.keys()) {
        if (name.compare(QLatin1String("npm_config_registry"), Qt::CaseInsensitive) == 0)
            return nonEmpty(environment.value(name));
    }
    return std::nullopt;
}

// A missing or unreadable file sets nothing, as for npm.
std::optional<QString> settingOfFile(const QString &path, QStringView key)
{
    try {
        return setting(readTextFile(path), key);
    } catch (const FileError &) {
        return std::nullopt;
    }
}

QString unquoted(QString value)
{
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        return value.sliced(1, value.size() - 2);
    return value;
}

QString withVariables(QString value)
{
    static const QRegularExpression variable(QStringLiteral("\\$\\{([^${}]+)\\}"));
    QString expanded;
    qsizetype from = 0;
    for (const QRegularExpressionMatch &match : variable.globalMatch(value)) {
        expanded += QStringView(value).sliced(from, match.capturedStart() - from);
        expanded += qEnvironmentVariable(match.captured(1).toLocal8Bit().constData());
        from = match.capturedEnd();
    }
    expanded += QStringView(value).sliced(from);
    return expanded;
}

// Blocking: runs on a worker thread. The runtime's npm with the runtime's own configuration, as the
// agent's update script sets it up; none when it cannot say within the limit.
std::optional<QString> askNpm(const QString &npm, const QString &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &name : environment.keys()) {
        if (name.startsWith(QLatin1String("npm_config_"), Qt::CaseInsensitive))
            environment.remove(name);
    }
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("PATH"),
                       QFileInfo(npm).absolutePath() + QStringLiteral(":/usr/bin:/bin"));
    environment.insert(QStringLiteral("NPM_CONFIG_USERCONFIG"), runtimeNpmrc(home));
    environment.insert(QStringLiteral("NPM_CONFIG_GLOBALCONFIG"), QStringLiteral("/dev/null"));

    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(npm, {QStringLiteral("config"), QStringLiteral("get"), QStringLiteral("registry")});
    const QDeadlineTimer deadline(defaultRegistryLimit);
    if (!process.waitForStarted(int(deadline.remainingTime())) ||
        !process.waitForFinished(int(deadline.remainingTime()))) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    const QString answer = QString::fromUtf8(process.read(answerLimit));
    return nonEmpty(answer.section(QLatin1Char('\n'), 0, 0).trimmed());
}

// The npm beside the node that the runtime's `node` link names, as in a Node.js distribution.
QCoro::Task<std::optional<QString>> npmDefault(QString home)
{
    const QFileInfo node(home + QLatin1String(agent::runtimeDirectory) + QStringLiteral("/node"));
    const QString target = node.canonicalFilePath();
    if (target.isEmpty())
        co_return std::nullopt;
    const QString npm = QFileInfo(target).absolutePath() + QStringLiteral("/npm");
    if (!QFileInfo(npm).isExecutable())
        co_return std::nullopt;

    // Asked once per npm and process; only the main thread reaches this table.
    static QHash<QString, std::optional<QString>> answers;
    if (const auto known = answers.constFind(npm); known != answers.cend())
        co_return *known;
    const auto promise = std::make_shared<QPromise<std::optional<QString>>>();
    QFuture<std::optional<QString>> answer = promise->future();
    QThread *worker = QThread::create([promise, npm, home] {
        promise->start();
        promise->addResult(askNpm(npm, home));
        promise->finish();
    });
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
    const std::optional<QString> registry = co_await answer;
    answers.insert(npm, registry);
    co_return registry;
}

} // namespace

std::optional<QString> setting(const QString &npmrc, QStringView key)
{
    std::optional<QString> value;
    bool topLevel = true;
    for (const QString &rawLine : npmrc.split(QLatin1Char('\n'))) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            topLevel = false; // a section's keys are not top-level settings
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!topLevel || equals < 0 || QStringView(line).first(equals).trimmed() != key)
            continue;
        value = withVariables(unquoted(line.sliced(equals + 1).trimmed()));
    }
    return value;
}

QCoro::Task<std::optional<QString>> configuredRegistry()
{
    if (const std::optional<QString> variable = registryVariable())
        co_return variable;
    const QString home = platform::homeDirectory();
    if (std::optional<QString> runtime = settingOfFile(runtimeNpmrc(home), u"registry"))
        co_return runtime;
    if (std::optional<QString> user = settingOfFile(home + QStringLiteral("/.npmrc"), u"registry"))
        co_return user;
    co_return co_await npmDefault(home);
}

} // namespace tallowmere::npm
