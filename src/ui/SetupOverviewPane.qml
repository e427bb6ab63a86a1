import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tallowmere
import Tallowmere.Model

// The setup page's left pane: who is being installed, what the installation is about and where it
// stands.
Rectangle {
    id: pane

    required property AppModel model
    readonly property bool inSetupStage: model.installStage === Model.InstallStage.setup

    color: Desktop.reduceTransparency ? UIToken.controlBackground : UIToken.material

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 32
        spacing: 24

        StatusCore {
            model: pane.model
            logoSize: 112
            Layout.fillWidth: true
        }
        Item {
            Layout.fillHeight: true
            Layout.minimumHeight: 16
        }
        Label {
            text: "在这台 Mac 上安装、授权并运行 Tallowmere Agent。"
            font: UIToken.typography.body
            color: UIToken.label
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
        SymbolLabel {
            symbol: "lock.shield"
            text: pane.inSetupStage ? "安装码只用于设备注册，不会写入日志或本地设置。" : "App 会先完成环境安装和系统授权。"
            font: UIToken.typography.meta
            color: UIToken.secondaryLabel
            Layout.fillWidth: true
        }
        Label {
            objectName: "setupStageText"
            text: pane.model.currentSetupStage
            font: UIToken.typography.bodyStrong
            color: UIToken.label
            wrapMode: Text.Wrap
            Layout.fillWidth: true
            Accessible.name: "当前安装阶段，" + text
        }
    }
}
