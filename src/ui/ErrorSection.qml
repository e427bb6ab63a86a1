import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tallowmere
import Tallowmere.Model

// The last error: what happened, what it means, the suggested recovery (where the section offers it)
// and the code for whoever reads the logs.
ColumnLayout {
    id: section

    required property ModelActions actions
    // Read through "?.": the error may go away a moment before the section does.
    required property var error
    property bool showsAction: true

    // Moves keyboard focus to the recovery button, if the section shows one.
    function focusAction() {
        if (recoveryButton.visible)
            recoveryButton.forceActiveFocus(Qt.OtherFocusReason);
    }

    objectName: "errorSection"
    spacing: 12

    Label {
        text: "最后错误"
        font: UIToken.typography.section
        color: UIToken.label
    }
    SymbolLabel {
        objectName: "errorMessage"
        symbol: "exclamationmark.triangle.fill"
        text: section.error?.message ?? ""
        font: UIToken.typography.bodyStrong
        Layout.fillWidth: true
    }
    Label {
        text: section.error?.impact ?? ""
        font: UIToken.typography.body
        color: UIToken.label
        wrapMode: Text.Wrap
        Layout.fillWidth: true
    }
    ActionButton {
        id: recoveryButton
        objectName: "recoveryButton"
        visible: section.showsAction && (section.error?.recovery.title ?? "") !== ""
        text: section.error?.recovery.title ?? ""
        Accessible.description: "执行建议的恢复操作。"
        onClicked: section.actions.perform(section.error.recovery)
    }
    Disclosure {
        title: "技术详情"
        Layout.fillWidth: true

        TextEdit {
            objectName: "errorCode"
            text: section.error?.code ?? ""
            font: UIToken.typography.technical
            color: UIToken.label
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.WrapAnywhere
            Layout.fillWidth: true
        }
    }
}
