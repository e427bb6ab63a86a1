import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tallowmere
import Tallowmere.Model

// The strip above both pages that offers a newer agent: update it, or dismiss this version.
Rectangle {
    id: banner

    required property AppModel model
    required property ModelActions actions
    readonly property alias isUpdateHovered: updateButton.hovered
    readonly property alias isDismissHovered: dismissButton.hovered

    objectName: "agentUpdateBanner"
    implicitHeight: 28
    color: "white"
    Accessible.role: Accessible.Grouping
    Accessible.name: model.agentUpdateBannerText

    Rectangle {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        height: 1
        color: UIToken.separator
        opacity: 0.45
    }
    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 16
        anchors.rightMargin: 16
        spacing: 12

        Label {
            objectName: "agentUpdateText"
            text: banner.model.agentUpdateBannerText
            font.pixelSize: 13
            color: UIToken.secondaryLabel
            elide: Text.ElideMiddle
            Layout.fillWidth: true
        }
        PlainButton {
            id: updateButton
            objectName: "agentUpdateButton"
            visible: !banner.model.isUpdatingAgent
            enabled: banner.model.configurationReady && !banner.model.isUpdatingAgent
            text: "更新"
            font.pixelSize: 13
            color: UIToken.secondaryLabel
            hoverColor: UIToken.label
            Accessible.name: text
            Accessible.description: "更新 Agent"
            onClicked: banner.actions.updateAgent()
        }
        PlainButton {
            id: dismissButton
            objectName: "agentUpdateDismiss"
            visible: !banner.model.isUpdatingAgent
            symbol: "xmark"
            symbolSize: 9
            color: UIToken.tertiaryLabel
            hoverColor: UIToken.secondaryLabel
            ToolTip.text: "关闭"
            ToolTip.visible: hovered
            ToolTip.delay: 600
            Accessible.name: "关闭"
            onClicked: banner.actions.dismissAgentUpdate()
        }
    }
}
