// Texts derived from the status snapshot, for the dashboard and the menu-bar menu.
#include "app/AppModel.h"

namespace tallowmere {

QString AppModel::currentTask() const
{
    if (m_statusSnapshot.currentTask)
        return *m_statusSnapshot.currentTask;
    if (m_isSubmittingSetup)
        return QStringLiteral("Tallowmere 正在完成设置");
    if (m_statusSnapshot.bridgeConnected)
        return QStringLiteral("Idle");
    if (m_installStage != InstallStage::setup)
        return QStringLiteral("等待 Agent 状态");
    return QStringLiteral("Waiting for setup");
}

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

} // namespace

QString AppModel::headlineStatusTitle() const
{
    if (m_installationValidated && m_statusSnapshot.bridgeConnected)
        return currentTask();
    return QString::fromUtf16(headlines[int(m_overallState)].title);
}

QString AppModel::headlineStatusDetail() const
{
    if (m_installationValidated && m_statusSnapshot.bridgeConnected)
        return QStringLiteral("Agent 已连接");
    return QString::fromUtf16(headlines[int(m_overallState)].detail);
}

QString AppModel::agentProcessDescription() const
{
    if (!m_statusSnapshot.bridgeConnected)
        return QStringLiteral("未连接");
    return m_statusSnapshot.isWorking ? QStringLiteral("正在工作") : QStringLiteral("在线");
}

QString AppModel::heartbeatDescription(const QDateTime &now) const
{
    if (!m_statusSnapshot.bridgeHeartbeatAt)
        return QStringLiteral("尚未收到");
    const qint64 seconds = m_statusSnapshot.bridgeHeartbeatAt->msecsTo(now) / 1000; // toward zero
    return seconds >= 2 ? QString::number(seconds) + QStringLiteral(" 秒前") : QStringLiteral("刚刚");
}

} // namespace tallowmere
