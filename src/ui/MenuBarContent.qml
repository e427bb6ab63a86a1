import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tallowmere
import Tallowmere.Model

// The panel under the menu-bar item: the agent's state at a glance and the common actions.
Pane {
    id: panel

    required property AppModel model
    required property ModelActions actions
    // The heartbeat's age is told against the current time, re-read every second while the panel shows.
    property date now: new Date()

    // "打开 Tallowmere": the shell opens (or raises) the main window and brings the application forward.
    signal openMainWindowRequested

    objectName: "menuBarContent"
    width: 340
    padding: 16
    background: Rectangle {
        color: "white"
    }

    Timer {
        interval: 1000
        repeat: true
        running: panel.visible
        onTriggered: panel.now = new Date()
    }
    Shortcut {
        sequences: [StandardKey.Open]
        onActivated: panel.openMainWindowRequested()
    }

    ColumnLayout {
        anchors.left: parent.left
        anchors.right: parent.right
        spacing: 12

        RowLayout {
            spacing: 10
            Layout.fillWidth: true

            Image {
                source: "image://brand/TallowmereMark"
                sourceSize: Qt.size(40, 40)
                Layout.preferredWidth: 20
                Layout.preferredHeight: 20
                smooth: true
                Accessible.ignored: true
            }
            ColumnLayout {
                spacing: 2
                Layout.fillWidth: true

                Label {
                    objectName: "panelTitle"
                    text: panel.model.overallStateTitle
                    font: UIToken.typography.bodyStrong
                    color: UIToken.label
                }
                Label {
                    objectName: "panelDetail"
                    text: panel.model.overallStateDetail
                    font: UIToken.typography.meta
                    color: UIToken.secondaryLabel
                    wrapMode: Text.Wrap
                    Layout.fillWidth: true
                }
            }
        }
        Divider {
        }
        Label {
            objectName: "panelCurrentTask"
            text: panel.model.currentTask
            font: UIToken.typography.body
            color: UIToken.label
            wrapMode: Text.Wrap
            Layout.fillWidth: true
            Accessible.name: "当前任务，" + text
        }
        SymbolLabel {
            symbol: "hand.raised"
            text: panel.model.permissionSummary
            font: UIToken.typography.meta
            Layout.fillWidth: true
        }
        SymbolLabel {
            objectName: "panelHeartbeat"
            symbol: "network"
            text: {
                panel.model.statusSnapshot; // a new heartbeat re-evaluates the line at once
                return panel.model.heartbeatDescription(panel.now);
            }
            font: UIToken.typography.meta
            Layout.fillWidth: true
        }
        ActionButton {
            objectName: "openMainWindowButton"
            prominent: true
            font: UIToken.typography.bodyStrong
            text: "打开 Tallowmere"
            Layout.fillWidth: true
            onClicked: panel.openMainWindowRequested()
        }
        Divider {
        }
        ColumnLayout {
            spacing: 0
            Layout.fillWidth: true

            PanelButton {
                objectName: "panelRestartAgent"
                text: "重启 Agent"
                onClicked: panel.actions.perform(panel.actions.recovery(RecoveryAction.Case.restartAgent))
            }
            PanelButton {
                objectName: "panelRecheckPermissions"
                text: "重新检查权限"
                onClicked: panel.actions.refreshExistingPermissions()
            }
            PanelButton {
                objectName: "panelUpdateAgent"
                busy: panel.model.isUpdatingAgent
                text: panel.model.isUpdatingAgent ? "正在更新 Agent…" : "更新 Agent"
                enabled: panel.model.configurationReady && !panel.model.isUpdatingAgent
                onClicked: panel.actions.updateAgent()
            }
            PanelButton {
                objectName: "panelCheckAppUpdate"
                text: "检查 App 更新"
                onClicked: panel.actions.perform(panel.actions.recovery(RecoveryAction.Case.checkForUpdates))
            }
            PanelButton {
                objectName: "panelOpenLogs"
                text: "打开日志目录"
                onClicked: panel.actions.perform(panel.actions.recovery(RecoveryAction.Case.openLogs))
            }
        }
        Divider {
        }
        PanelButton {
            objectName: "panelQuit"
            text: "退出 Tallowmere"
            destructive: true
            onClicked: Qt.quit()
        }
    }
}
