#include "permissions/PermissionVocabulary.h"

namespace tallowmere {

const PermissionVocabulary &vocabulary(PermissionKind kind)
{
    static const PermissionVocabulary words[] = {
        {QStringLiteral("屏幕录制"), QStringLiteral("用于读取屏幕内容并完成视觉操作。"),
         QStringLiteral("rectangle.inset.filled.and.person.filled"), QStringLiteral("Privacy_ScreenCapture")},
        {QStringLiteral("辅助功能"), QStringLiteral("用于控制键盘和鼠标。"), QStringLiteral("accessibility"),
         QStringLiteral("Privacy_Accessibility")},
        {QStringLiteral("自动化"), QStringLiteral("用于通过 System Events 操作其他应用。"),
         QStringLiteral("gearshape.2"), QStringLiteral("Privacy_Automation")},
        {QStringLiteral("完全磁盘访问"), QStringLiteral("用于访问完成任务所需的本地文件。"),
         QStringLiteral("internaldrive"), QStringLiteral("Privacy_AllFiles")},
    };
    return words[int(kind)];
}

QUrl settingsPaneUrl(std::optional<PermissionKind> kind)
{
    return QUrl(QStringLiteral("x-apple.systempreferences:com.apple.preference.security?") +
                vocabulary(kind.value_or(PermissionKind::accessibility)).settingsAnchor);
}

} // namespace tallowmere
