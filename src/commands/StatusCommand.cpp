#include "commands/StatusCommand.h"

#include "app/AppModel.h"
#include "app/PersistedState.h"
#include "cli/AgentPackage.h"
#include "cli/Errors.h"
#include "status/AgentStatusClient.h"
#include "status/StatusPresentation.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>

#include <cstdio>

namespace tallowmere::commands {

namespace {

QString failureReason(const std::exception &error)
{
    if (const auto *native = dynamic_cast<const TallowmereNativeError *>(&error))
        return native->message();
    if (dynamic_cast<const FileError *>(&error))
        return QStringLiteral("Agent 尚未发布状态通道（没有端口或令牌文件）");
    if (dynamic_cast<const TransportError *>(&error))
        return QStringLiteral("无法连接 Agent 状态通道：") + QString::fromUtf8(error.what());
    return QStringLiteral("Agent 状态无法解析：") + QString::fromUtf8(error.what());
}

QJsonValue optional(const std::optional<QString> &text)
{
    return text ? QJsonValue(*text) : QJsonValue();
}

} // namespace

QCoro::Task<StatusReport> takeStatus(QString profileDirectory)
{
    StatusReport report;
    report.configured =
        QFileInfo::exists(profileDirectory + QLatin1Char('/') + QLatin1String(agent::configFile));
    report.installStage = persisted::readInstallStage(profileDirectory);
    const int verified = int(persisted::readCompletedPermissions(profileDirectory).size());
    report.permissionSummary =
        presentation::permissionSummary(verified, int(allCases<PermissionKind>().size()));
    if (!report.configured) {
        report.reason = QStringLiteral("这台 Mac 上还没有配置 Tallowmere Agent");
    } else {
        report.overallState = OverallState::error;
        try {
            report.sample = co_await AgentStatusClient::create(profileDirectory)->fetch();
        } catch (const std::exception &error) {
            report.reason = failureReason(error);
        }
    }
    if (report.sample) {
        const QString title = AppModel::runtimePresentation(*report.sample, std::nullopt).title;
        report.snapshot = presentation::snapshotOf(*report.sample, title, 1);
        report.overallState = presentation::overallStateOf(*report.sample, report.installStage);
        if (!report.sample->ready)
            report.reason = QStringLiteral("Agent 已响应，但尚未就绪");
        else if (report.installStage)
            report.reason =
                QStringLiteral("安装尚未完成（") + rawValue(*report.installStage) + QStringLiteral("）");
    }
    const presentation::StatusInputs inputs{report.overallState, report.configured && !report.installStage,
                                            false, report.installStage, report.snapshot};
    report.headline = presentation::headlineTitle(inputs);
    report.detail = presentation::headlineDetail(inputs);
    report.currentTask = presentation::currentTask(inputs);
    report.process = presentation::processDescription(report.snapshot);
    report.heartbeat = presentation::heartbeat(report.snapshot, QDateTime::currentDateTimeUtc());
    co_return report;
}

int StatusReport::exitStatus() const
{
    if (!sample)
        return 2;
    return sample->ready && !installStage ? 0 : 1;
}

QJsonObject StatusReport::json() const
{
    return {
        {QStringLiteral("overallState"), rawValue(overallState)},
        {QStringLiteral("headline"), headline},
        {QStringLiteral("detail"), detail},
        {QStringLiteral("currentTask"), currentTask},
        {QStringLiteral("process"), process},
        {QStringLiteral("processID"), sample ? QJsonValue(sample->pid) : QJsonValue()},
        {QStringLiteral("heartbeat"), heartbeat},
        {QStringLiteral("heartbeatAt"),
         sample ? QJsonValue(sample->sampledAt.toString(Qt::ISODateWithMs)) : QJsonValue()},
        {QStringLiteral("agentVersion"), optional(snapshot.agentVersion)},
        {QStringLiteral("ready"), sample ? QJsonValue(sample->ready) : QJsonValue()},
        {QStringLiteral("queueSize"), sample ? QJsonValue(sample->queueSize) : QJsonValue()},
        {QStringLiteral("installStage"), installStage ? QJsonValue(rawValue(*installStage)) : QJsonValue()},
        {QStringLiteral("configured"), configured},
        {QStringLiteral("reachable"), sample.has_value()},
        {QStringLiteral("permissionSummary"), permissionSummary},
        {QStringLiteral("reason"), reason.isEmpty() ? QJsonValue() : QJsonValue(reason)},
    };
}

QString StatusReport::text() const
{
    const QString stage = installStage ? rawValue(*installStage)
                                       : (configured ? QStringLiteral("已完成") : QStringLiteral("尚未安装"));
    const QStringList lines{headline + QStringLiteral(" — ") + detail,
                            QStringLiteral("当前任务：") + currentTask,
                            QStringLiteral("Agent：") + process +
                                (sample ? QStringLiteral("（进程 %1）").arg(sample->pid) : QString()),
                            QStringLiteral("最近响应：") + heartbeat,
                            QStringLiteral("Agent 版本：") + snapshot.agentVersion.value_or(QStringLiteral("--")),
                            QStringLiteral("安装阶段：") + stage,
                            QStringLiteral("权限：") + permissionSummary};
    return lines.join(u'\n') + u'\n';
}

StatusReport currentStatus()
{
    StatusReport report;
    bool done = false;
    QCoro::connect(takeStatus(agent::defaultProfileDirectory()), QCoreApplication::instance(),
                   [&](StatusReport taken) {
                       report = std::move(taken);
                       done = true;
                       QCoreApplication::quit();
                   });
    if (!done)
        QCoreApplication::exec();
    return report;
}

int printStatus(bool json)
{
    const StatusReport report = currentStatus();
    const QByteArray output =
        json ? QJsonDocument(report.json()).toJson(QJsonDocument::Compact) + '\n' : report.text().toUtf8();
    std::fwrite(output.constData(), 1, size_t(output.size()), stdout);
    if (report.exitStatus() != 0)
        std::fprintf(stderr, "tallowmere-mac: %s\n", qPrintable(report.reason));
    return report.exitStatus();
}

} // namespace tallowmere::commands
