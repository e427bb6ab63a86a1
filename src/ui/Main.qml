import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The main window until the setup screen and the dashboard take its place: the model's headline.
ApplicationWindow {
    id: window
    required property QtObject model

    readonly property var installStageTitles: ["准备运行环境", "配置系统权限", "输入安装码", "安装并启动 Agent",
                                               "绑定 Channel", "验证 Agent 状态"]

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
            text: window.model.headlineStatusTitle
            font.pixelSize: 20
            Layout.alignment: Qt.AlignHCenter
        }
        Label {
            text: window.model.headlineStatusDetail
            font.pixelSize: 14
            Layout.alignment: Qt.AlignHCenter
        }
        Label {
            text: window.model.installStage === undefined ? window.model.permissionSummary
                                                          : "安装阶段：" + window.installStageTitles[window.model.installStage]
            color: "gray"
            Layout.alignment: Qt.AlignHCenter
        }
        Label {
            text: "版本 " + window.model.appVersion
            color: "gray"
            Layout.alignment: Qt.AlignHCenter
        }
    }
}
