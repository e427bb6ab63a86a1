#include "app/DisplayError.h"

namespace tallowmere {

std::optional<QString> RecoveryAction::title() const
{
    switch (action) {
    case Case::openSystemSettings:
        return QStringLiteral("打开系统设置");
    case Case::none:
        return std::nullopt;
    case Case::enterInstallCode:
        return QStringLiteral("输入新安装码");
    case Case::retryInstall:
        return QStringLiteral("重试");
    case Case::restartAgent:
        return QStringLiteral("重启 Agent");
    case Case::openLogs:
        return QStringLiteral("打开日志目录");
    case Case::checkForUpdates:
        return QStringLiteral("检查 App 更新");
    case Case::recheckPermissions:
        return QStringLiteral("检查权限");
    }
    return std::nullopt;
}

DisplayError DisplayError::from(const QString &code, const std::optional<QString> &message)
{
    const auto mentions = [&message](QLatin1String word) {
        return message && message->contains(word, Qt::CaseInsensitive);
    };
    const QString notSetUp = QStringLiteral("Tallowmere 尚未完成设置。");

    if (code == QLatin1String("SETUP_CODE_UNAVAILABLE") || mentions(QLatin1String("code_unavailable")) ||
        mentions(QLatin1String("no longer available"))) {
        return {QStringLiteral("SETUP_CODE_UNAVAILABLE"),
                QStringLiteral("安装码已失效或不可用，请获取新的安装码后重试。"), notSetUp,
                RecoveryAction::of(RecoveryAction::Case::enterInstallCode)};
    }
    if (mentions(QLatin1String("bootstrap_failed"))) {
        return {QStringLiteral("SETUP_BOOTSTRAP_FAILED"),
                QStringLiteral("安装服务暂时未能完成配置，请稍后重试。"), notSetUp,
                RecoveryAction::of(RecoveryAction::Case::retryInstall)};
    }
    if (code.startsWith(QLatin1String("RUNTIME_"))) {
        return {code, message.value_or(QStringLiteral("运行环境准备未完成，请重试。")),
                QStringLiteral("Tallowmere 尚未进入权限配置阶段。"),
                RecoveryAction::of(RecoveryAction::Case::retryInstall)};
    }
    if (code.startsWith(QLatin1String("DAEMON_")) || code == QLatin1String("AGENT_START_TIMEOUT")) {
        return {code, message.value_or(QStringLiteral("Agent 启动未完成，请重试。")),
                QStringLiteral("Tallowmere 尚未进入 Channel 绑定阶段。"),
                RecoveryAction::of(RecoveryAction::Case::retryInstall)};
    }
    return {code, message.value_or(QStringLiteral("操作失败：") + code),
            QStringLiteral("安装或运行尚未完成。请查看 App 中的安装详情。"),
            RecoveryAction::of(RecoveryAction::Case::openLogs)};
}

} // namespace tallowmere
