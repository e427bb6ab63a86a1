import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tallowmere
import Tallowmere.Model

// One privacy permission: its symbol, title, purpose and state, and the button that sends the user to
// System Settings for it when it is missing (never during the onboarding, whose step card leads then).
RowLayout {
    id: row

    required property AppModel model
    required property ModelActions actions
    required property var item
    property bool showsAction: true

    readonly property int kind: item.rule.kind
    readonly property string title: model.permissionTitle(kind)
    readonly property string purpose: model.permissionPurpose(kind)
    readonly property var status: ({
            [Model.PermissionNativeState.unknown]: {
                "text": "等待检查",
                "symbol": "hand.raised"
            },
            [Model.PermissionNativeState.notGranted]: {
                "text": "请完成系统授权",
                "symbol": "hand.raised"
            },
            [Model.PermissionNativeState.granted]: {
                "text": "已配置",
                "symbol": "checkmark.circle.fill"
            },
            [Model.PermissionNativeState.manuallyConfirmed]: {
                "text": "已手动确认",
                "symbol": "checkmark.circle.fill"
            }
        })[item.nativeState]
    readonly property var recovery: item.verified || model.installStage === Model.InstallStage.permissions ? actions.recovery(RecoveryAction.Case.none) : actions.settingsRecovery(kind)

    // Moves keyboard focus to the action button, if the row shows one.
    function focusAction() {
        if (actionButton.visible)
            actionButton.forceActiveFocus(Qt.OtherFocusReason);
    }

    objectName: "permissionRow_" + kind
    spacing: 12
    Accessible.role: Accessible.Grouping
    Accessible.name: title + "，" + status.text + "。" + purpose

    SymbolIcon {
        name: row.model.permissionSymbol(row.kind)
        size: 20
        Layout.alignment: Qt.AlignTop
        Layout.topMargin: 1
    }
    ColumnLayout {
        spacing: 2
        Layout.fillWidth: true

        Label {
            text: row.title
            font: UIToken.typography.bodyStrong
            color: UIToken.label
            Accessible.ignored: true
        }
        Label {
            text: row.purpose
            font: UIToken.typography.meta
            color: UIToken.secondaryLabel
            wrapMode: Text.Wrap
            Layout.fillWidth: true
            Accessible.ignored: true
        }
        SymbolLabel {
            objectName: "permissionStatus"
            symbol: row.status.symbol
            text: row.status.text
            font: UIToken.typography.meta
            color: UIToken.secondaryLabel
            Layout.fillWidth: true
            Accessible.ignored: true
        }
    }
    ActionButton {
        id: actionButton
        objectName: "permissionAction"
        visible: row.showsAction && row.recovery.title !== ""
        text: row.recovery.title
        Accessible.description: "处理" + row.title + "权限。"
        Layout.alignment: Qt.AlignVCenter
        onClicked: row.actions.perform(row.recovery)
    }
}
