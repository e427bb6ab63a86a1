import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

ApplicationWindow {
    id: window
    required property QtObject model

    readonly property var overallStateNames: ["notInstalled", "starting", "waitingSetup", "online", "error"]
    readonly property var installStageNames: ["runtime", "permissions", "setup", "daemon", "channel", "handshake"]

    width: 560
    height: 360
    visible: true
    title: "Tallowmere"

    ColumnLayout {
        anchors.centerIn: parent
        spacing: 12

        Label {
            text: "Tallowmere"
            font.pixelSize: 28
            font.bold: true
            Layout.alignment: Qt.AlignHCenter
        }
        Label {
            text: "状态：" + window.overallStateNames[window.model.overallState]
            font.pixelSize: 16
        }
        Label {
            text: "安装阶段：" + (window.model.installStage === undefined ? "已完成"
                                                                    : window.installStageNames[window.model.installStage])
            font.pixelSize: 16
        }
        Label {
            text: "版本 " + window.model.appVersion
            color: "gray"
        }
    }
}
