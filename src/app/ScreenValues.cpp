// The values the screens show that the model derives from its fields, and the signals that tell the
// screens when one of them may have changed.
#include "app/AppModel.h"

#include "app/SetupCode.h"
#include "permissions/PermissionVocabulary.h"

namespace tallowmere {

namespace {

template <typename T> QVariant variantOf(const std::optional<T> &value)
{
    return value ? QVariant::fromValue(*value) : QVariant();
}

} // namespace

void AppModel::connectScreenValueNotifications()
{
    for (auto changed :
         {&AppModel::setupCodeChanged, &AppModel::setupAgentNameChanged, &AppModel::installStageChanged,
          &AppModel::configurationReadyChanged, &AppModel::isSubmittingSetupChanged})
        connect(this, changed, this, &AppModel::setupEntryChanged);
    for (auto changed : {&AppModel::isPreparingEnvironmentChanged, &AppModel::setupProgressDetailChanged})
        connect(this, changed, this, &AppModel::packageProgressShownChanged);
    for (auto changed : {&AppModel::permissionsChanged, &AppModel::installStageChanged})
        connect(this, changed, this, &AppModel::onboardingStepChanged);
    for (auto changed : {&AppModel::setupAuthorizationChanged, &AppModel::installStageChanged,
                         &AppModel::onboardingStepChanged, &AppModel::setupProgressDetailChanged,
                         &AppModel::setupProgressChanged})
        connect(this, changed, this, &AppModel::currentSetupStageChanged);
    for (auto changed : {&AppModel::channelOwnershipVerifiedChanged,
                         &AppModel::channelBindingCompletedChanged, &AppModel::isOpeningOwnerSetupChanged,
                         &AppModel::ownerSetupOpenFailedChanged, &AppModel::channelBindingChanged})
        connect(this, changed, this, &AppModel::channelSheetTextsChanged);
}

QString AppModel::formattedSetupCodeInput(const QString &text) const
{
    return formattedTallowmereSetupCodeInput(text);
}

QVariant AppModel::setupCodeValidationMessageVariant() const
{
    return variantOf(setupCodeValidationMessage());
}

QVariant AppModel::setupAgentNameValidationMessageVariant() const
{
    return variantOf(setupAgentNameValidationMessage());
}

QVariant AppModel::permissionAwaitingReturnVariant() const
{
    return variantOf(m_permissionAwaitingReturn);
}

QVariant AppModel::currentPermissionOnboardingItemVariant() const
{
    return variantOf(currentPermissionOnboardingItem());
}

QVariant AppModel::currentPermissionOnboardingKindVariant() const
{
    return variantOf(currentPermissionOnboardingKind());
}

QString AppModel::permissionTitle(PermissionKind kind) const
{
    return vocabulary(kind).title;
}

QString AppModel::permissionPurpose(PermissionKind kind) const
{
    return vocabulary(kind).purpose;
}

QString AppModel::permissionSymbol(PermissionKind kind) const
{
    return vocabulary(kind).symbol;
}

// Where the installation stands, in a few words: the first rule that applies.
QString AppModel::currentSetupStage() const
{
    if (m_setupAuthorization)
        return QStringLiteral("等待 Workspace 授权");
    if (m_installStage == InstallStage::channel)
        return QStringLiteral("等待 Channel 绑定");
    if (const auto kind = currentPermissionOnboardingKind())
        return QStringLiteral("配置") + vocabulary(*kind).title;
    if (m_setupProgressDetail)
        return *m_setupProgressDetail;
    for (const SetupProgressItem &item : m_setupProgress) {
        if (item.state == ProgressState::running)
            return item.title();
    }
    for (const SetupProgressItem &item : m_setupProgress) {
        if (item.state == ProgressState::failed)
            return item.title() + QStringLiteral("需要处理");
    }
    return m_installStage == InstallStage::setup ? QStringLiteral("Waiting for setup")
                                                 : QStringLiteral("准备安装");
}

QString AppModel::overallStateTitle() const
{
    switch (m_overallState) {
    case OverallState::notInstalled:
        return QStringLiteral("等待安装");
    case OverallState::starting:
        return QStringLiteral("正在安装");
    case OverallState::waitingSetup:
        return QStringLiteral("等待 setup");
    case OverallState::online:
        return QStringLiteral("在线");
    case OverallState::error:
        return QStringLiteral("需要处理");
    }
    return {};
}

QString AppModel::overallStateDetail() const
{
    switch (m_overallState) {
    case OverallState::notInstalled:
        return QStringLiteral("Tallowmere 尚未安装。");
    case OverallState::starting:
        return QStringLiteral("Tallowmere 正在准备运行环境。");
    case OverallState::waitingSetup:
        return QStringLiteral("输入 JIT Code 或 Setup Code 完成设备注册。");
    case OverallState::online:
        return QStringLiteral("Agent 已安装并启动。");
    case OverallState::error:
        return QStringLiteral("Tallowmere 尚未就绪，请查看详情。");
    }
    return {};
}

// The binding sheet's red retry line: a failed opening, unless a new attempt is running.
bool AppModel::showsOwnerSetupRetry() const
{
    return m_ownerSetupOpenFailed && !m_isOpeningOwnerSetup;
}

// The binding sheet's explanatory line: the first rule that applies.
QString AppModel::channelSessionDetail() const
{
    if (m_channelOwnershipVerified || m_channelBindingCompleted)
        return QStringLiteral("Ownership verified，正在完成连接并进入面板…");
    if (m_isOpeningOwnerSetup)
        return QStringLiteral("正在打开系统浏览器。打开后可随时返回本窗口查看进度。");
    if (m_ownerSetupOpenFailed)
        return QStringLiteral("浏览器没有打开时，请复制链接后在浏览器中完成绑定。");
    if (ownerSetupOpenedByAgent())
        return QStringLiteral(
            "绑定页面已打开，请在系统浏览器中完成操作。Tallowmere 会在后台等待，绑定成功后自动继续。");
    return QStringLiteral("请在系统浏览器中选择 Channel。Tallowmere 会在后台等待，绑定成功后自动继续。");
}

// What a screen reader says of the sheet's header.
QString AppModel::channelSessionSummary() const
{
    QStringList parts{QStringLiteral("绑定 Channel"), channelSessionDetail()};
    if (showsOwnerSetupRetry())
        parts << QStringLiteral("没有成功打开默认浏览器，请复制链接后手动打开，或再次点击重试。");
    return parts.join(QStringLiteral("，"));
}

} // namespace tallowmere
