import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tallowmere
import Tallowmere.Model

// The explanation shown before the user is sent to System Settings (or, for Automation, before the
// system's consent prompt). Shown while the model names a permission; any dismissal clears it.
Dialog {
    id: prompt

    required property AppModel model
    required property ModelActions actions
    readonly property var kind: model.permissionPromptKind
    readonly property string afterSettings: " 完成后返回 Tallowmere，App 会自动继续。"
    readonly property var messages: ({
            [Model.PermissionKind.screenRecording]: "请在系统设置中为“node”开启屏幕录制。" + afterSettings,
            [Model.PermissionKind.accessibility]: "系统会依次登记“node”和“cliclick”。请为两者都开启辅助功能，完成后 App 会自动继续。",
            [Model.PermissionKind.automation]: "系统会显示“node”请求控制“System Events”。请点击“允许”，完成后 App 会自动继续。",
            [Model.PermissionKind.fullDiskAccess]: "请在系统设置中为“node”开启完全磁盘访问。" + afterSettings
        })

    objectName: "permissionPrompt"
    parent: Overlay.overlay
    anchors.centerIn: parent
    width: 380
    padding: 20
    topPadding: 10
    modal: true
    closePolicy: Popup.CloseOnEscape
    visible: kind !== undefined
    title: "准备授权" + (kind !== undefined ? model.permissionTitle(kind) : "")
    onClosed: {
        if (model.permissionPromptKind !== undefined)
            actions.dismissPermissionPrompt();
    }

    background: Rectangle {
        radius: 10
        color: "white"
        border.color: UIToken.separator
    }
    Overlay.modal: Rectangle {
        color: Qt.rgba(0, 0, 0, 0.12)
    }
    header: Label {
        text: prompt.title
        font.pixelSize: 13
        font.weight: Font.Bold
        color: UIToken.label
        wrapMode: Text.Wrap
        topPadding: 20
        leftPadding: 20
        rightPadding: 20
    }

    Label {
        objectName: "permissionPromptMessage"
        width: parent.width
        text: prompt.kind !== undefined ? prompt.messages[prompt.kind] : ""
        font: UIToken.typography.body
        color: UIToken.label
        wrapMode: Text.Wrap
    }

    // The Mac's order: the confirming button on the right, 取消 beside it.
    footer: Row {
        layoutDirection: Qt.RightToLeft
        spacing: 8
        padding: 16
        topPadding: 0

        ActionButton {
            objectName: "permissionPromptConfirm"
            prominent: true
            text: prompt.kind === Model.PermissionKind.automation ? "请求授权" : "打开系统设置"
            onClicked: {
                const kind = prompt.kind;
                prompt.actions.confirmPermissionOnboarding(kind);
                prompt.actions.dismissPermissionPrompt();
            }
        }
        ActionButton {
            objectName: "permissionPromptCancel"
            text: "取消"
            onClicked: prompt.actions.dismissPermissionPrompt()
        }
    }
}
