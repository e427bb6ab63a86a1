#include "status/StatusPresentation.h"

namespace tallowmere::presentation {

namespace {

struct Headline {
    const char16_t *title;
    const char16_t *detail;
};

// The headline of each overall state, in the order of its cases.
constexpr Headline headlines[] = {
    {u"等待安装", u"Tallowmere 尚未安装。"},
    {u"正在安装", u"Tallowmere 正在准备运行环境。"},
    {u"等待 setup", u"输入 JIT Code 或 Setup Code 完成设备注册。"},
    {u"在线", u"Agent 已安装并启动。"},
    {u"需要处理", u"Tallowmere 尚未就绪，请查看详情。"},
};

bool connectedAndValidated(const StatusInputs &inputs)
{
    return inputs.installationValidated && inputs.snapshot.bridgeConnected;
}

} // namespace

QString currentTask(const StatusInputs &inputs)
{
    if (inputs.snapshot.currentTask)
        return *inputs.snapshot.currentTask;
    if (inputs.isSubmittingSetup)
        return QStringLiteral("Tallowmere 正在完成设置");
    if (inputs.snapshot.bridgeConnected)
        return QStringLiteral("Idle");
    if (inputs.installStage != InstallStage::setup)
        return QStringLiteral("等待 Agent 状态");
    return QStringLiteral("Waiting for setup");
}

QString headlineTitle(const StatusInputs &inputs)
{
    if (connectedAndValidated(inputs))
        return currentTask(inputs);
    return QString::fromUtf16(headlines[int(inputs.overallState)].title);
}

QString headlineDetail(const StatusInputs &inputs)
{
    if (connectedAndValidated(inputs))
        return QStringLiteral("Agent 已连接");
    return QString::fromUtf16(headlines[int(inputs.overallState)].detail);
}

QString processDescription(const StatusSnapshot &snapshot)
{
    if (!snapshot.bridgeConnected)
        return QStringLiteral("未连接");
    return snapshot.isWorking ? QStringLiteral("正在工作") : QStringLiteral("在线");
}

QString heartbeat(const StatusSnapshot &snapshot, const QDateTime &now)
{
    if (!snapshot.bridgeHeartbeatAt)
        return QStringLiteral("尚未收到");
    const qint64 seconds = snapshot.bridgeHeartbeatAt->msecsTo(now) / 1000; // toward zero
    return seconds >= 2 ? QString::number(seconds) + QStringLiteral(" 秒前") : QStringLiteral("刚刚");
}

QString permissionSummary(int verified, int total)
{
    if (verified == total)
        return QStringLiteral("系统权限已配置");
    return QString::number(total - verified) + QStringLiteral(" 项权限需要处理");
}

StatusSnapshot snapshotOf(const AgentRuntimeStatus &sample, const QString &title, std::uint64_t sequence)
{
    return StatusSnapshot{title,           sample.busy,    true,         sample.ready,
                          sample.sampledAt, true,          sample.sampledAt, sample.version,
                          std::nullopt,    sample.pid,     sample.queueSize, sequence};
}

OverallState overallStateOf(const AgentRuntimeStatus &sample, std::optional<InstallStage> stage)
{
    return sample.ready && stage != InstallStage::channel ? OverallState::online : OverallState::starting;
}

} // namespace tallowmere::presentation
