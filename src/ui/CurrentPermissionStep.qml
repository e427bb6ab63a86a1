import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tallowmere
import Tallowmere.Model

// The permission the onboarding is at: what it is for, what to do in System Settings, and the button
// that starts (or re-checks) it. Full Disk Access may also be confirmed by hand once the user has been
// sent to System Settings for it.
ColumnLayout {
    id: step

    required property AppModel model
    required property ModelActions actions
    readonly property var kind: model.currentPermissionOnboardingKind
    // Both absent counts as equal.
    readonly property bool awaitingReturn: model.permissionAwaitingReturn === kind
    readonly property alias stepButton: stepButton
    readonly property string settingsHint: "点击后会先显示授权说明，再打开对应的系统设置。返回 App 并验证通过后，才会进入下一项。"
    readonly property var instructions: ({
            [Model.PermissionKind.screenRecording]: "请在系统设置中为“node”开启屏幕录制。",
            [Model.PermissionKind.accessibility]: "请在系统设置中为“node”和“cliclick”都开启辅助功能。",
            [Model.PermissionKind.automation]: "当系统提示“node”控制“System Events”时，请点击“允许”。",
            [Model.PermissionKind.fullDiskAccess]: "请在系统设置中为“node”开启完全磁盘访问。"
        })
    readonly property var hints: ({
            [Model.PermissionKind.screenRecording]: settingsHint,
            [Model.PermissionKind.accessibility]: "点击后会依次登记 node 和 cliclick，并打开辅助功能设置。两者验证通过后才会进入下一项。",
            [Model.PermissionKind.automation]: "点击后会出现 node 的系统授权弹窗。请选择“允许”；验证通过后才会进入下一项。",
            [Model.PermissionKind.fullDiskAccess]: settingsHint
        })

    objectName: "currentPermissionStep"
    spacing: 10

    SymbolLabel {
        objectName: "currentPermissionTitle"
        symbol: step.kind !== undefined ? step.model.permissionSymbol(step.kind) : ""
        text: step.kind !== undefined ? "当前步骤：" + step.model.permissionTitle(step.kind) : ""
        font: UIToken.typography.bodyStrong
        Layout.fillWidth: true
    }
    Label {
        text: step.kind !== undefined ? step.model.permissionPurpose(step.kind) : ""
        font: UIToken.typography.meta
        color: UIToken.secondaryLabel
        wrapMode: Text.Wrap
        Layout.fillWidth: true
    }
    Label {
        objectName: "permissionInstruction"
        text: step.instructions[step.kind] ?? ""
        font: UIToken.typography.body
        color: UIToken.label
        wrapMode: Text.Wrap
        Layout.fillWidth: true
    }
    SymbolLabel {
        objectName: "permissionStepHint"
        symbol: "arrow.triangle.2.circlepath"
        text: step.hints[step.kind] ?? ""
        font: UIToken.typography.meta
        color: UIToken.secondaryLabel
        Layout.fillWidth: true
    }
    ActionButton {
        id: stepButton
        objectName: "permissionStepButton"
        prominent: true
        large: true
        busy: step.model.isCheckingPermission
        text: step.model.isCheckingPermission ? "正在检查授权…" : step.awaitingReturn ? "等待自动识别" : "开始授权"
        enabled: !step.model.isCheckingPermission
        onClicked: step.actions.continuePermissionOnboarding()
    }
    ColumnLayout {
        visible: step.kind === Model.PermissionKind.fullDiskAccess && step.awaitingReturn
        spacing: 4

        ActionButton {
            objectName: "manualFullDiskAccessButton"
            text: "我已在系统设置中开启"
            Accessible.description: "仅在已确认完全磁盘访问权限开启、但 App 仍未识别时使用。"
            onClicked: step.actions.manuallyConfirmFullDiskAccess()
        }
        Label {
            text: "手动确认后会继续安装；稍后仍可重新检查权限。"
            font: UIToken.typography.footnote
            color: UIToken.secondaryLabel
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
    }
}
