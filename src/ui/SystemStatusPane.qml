import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tallowmere
import Tallowmere.Model

// The agent's technical state and what can be done about it: permissions, connection, the last error,
// versions, and the actions.
ScrollView {
    id: pane

    required property AppModel model
    required property ModelActions actions
    readonly property var primaryRecovery: model.lastError?.recovery ?? actions.recovery(RecoveryAction.Case.none)
    // The heartbeat's age is told against the current time, which the pane re-reads every second.
    property date now: new Date()

    function moveFocus(target) {
        if (target.target === FocusTarget.Case.permission) {
            for (let i = 0; i < permissionRows.count; ++i) {
                if (permissionRows.itemAt(i).kind === target.permission)
                    permissionRows.itemAt(i).focusAction();
            }
        } else if (target.target === FocusTarget.Case.recovery && primaryButton.visible) {
            primaryButton.forceActiveFocus(Qt.OtherFocusReason);
        }
    }

    objectName: "systemStatusPane"
    contentWidth: availableWidth
    contentHeight: column.implicitHeight + 64
    ScrollBar.vertical.policy: ScrollBar.AlwaysOn

    Timer {
        interval: 1000
        repeat: true
        running: pane.visible
        onTriggered: pane.now = new Date()
    }
    Connections {
        target: pane.model

        function onFocusRevisionChanged() {
            pane.moveFocus(pane.model.focusTarget);
        }
    }

    ColumnLayout {
        id: column
        x: 32
        y: 32
        width: pane.availableWidth - 64
        spacing: 24

        ColumnLayout {
            spacing: 8
            Layout.fillWidth: true

            Label {
                text: "权限"
                font: UIToken.typography.section
                color: UIToken.label
            }
            Repeater {
                id: permissionRows

                model: pane.model.permissions

                delegate: PermissionRow {
                    required property var modelData

                    model: pane.model
                    actions: pane.actions
                    item: modelData
                    Layout.fillWidth: true
                    Layout.topMargin: 4
                }
            }
        }
        Divider {
        }
        ColumnLayout {
            spacing: 12
            Layout.fillWidth: true

            Label {
                text: "连接"
                font: UIToken.typography.section
                color: UIToken.label
            }
            StatusLine {
                label: "Agent"
                value: pane.model.agentProcessDescription
                Layout.fillWidth: true
            }
            StatusLine {
                objectName: "connectionLine"
                label: "连接状态"
                value: pane.model.statusSnapshot.bridgeConnected ? "已连接" : "未连接"
                Layout.fillWidth: true
            }
            StatusLine {
                objectName: "heartbeatLine"
                label: "最近响应"
                value: {
                    pane.model.statusSnapshot; // a new heartbeat re-evaluates the line at once
                    return pane.model.heartbeatDescription(pane.now);
                }
                Layout.fillWidth: true
            }
        }
        Divider {
            visible: errorSection.active
        }
        Loader {
            id: errorSection
            active: pane.model.lastError !== undefined
            Layout.fillWidth: true
            // Its recovery button is the primary action below.
            Component.onCompleted: setSource("ErrorSection.qml", {
                    "actions": pane.actions,
                    "error": Qt.binding(() => pane.model.lastError),
                    "showsAction": false
                })
        }
        Divider {
        }
        ColumnLayout {
            spacing: 12
            Layout.fillWidth: true

            Label {
                text: "系统"
                font: UIToken.typography.section
                color: UIToken.label
            }
            StatusLine {
                label: "App 版本"
                value: pane.model.appVersion
                Layout.fillWidth: true
            }
            StatusLine {
                objectName: "agentVersionLine"
                label: "Agent 版本"
                value: pane.model.statusSnapshot.agentVersion ?? "--"
                Layout.fillWidth: true
            }
            StatusLine {
                label: "登录时启动"
                value: "自动管理"
                Layout.fillWidth: true
            }
            StatusLine {
                label: "Google Chrome"
                value: "自动管理"
                Layout.fillWidth: true
            }
        }
        Divider {
        }
        ColumnLayout {
            objectName: "actionsSection"
            spacing: 12
            Layout.fillWidth: true

            Label {
                text: "操作"
                font: UIToken.typography.section
                color: UIToken.label
            }
            ActionButton {
                id: primaryButton
                objectName: "primaryRecoveryButton"
                visible: pane.primaryRecovery.title !== ""
                prominent: true
                large: true
                font: UIToken.typography.bodyStrong
                text: pane.primaryRecovery.title
                onClicked: pane.actions.perform(pane.primaryRecovery)
            }
            // One row when it fits, else one button under the other. The restart and recheck buttons
            // stand aside when the primary button already offers them.
            GridLayout {
                id: secondaryActions

                readonly property real rowWidth: {
                    let width = 0;
                    let shown = 0;
                    for (let i = 0; i < children.length; ++i) {
                        if (children[i].visible) {
                            width += children[i].implicitWidth;
                            ++shown;
                        }
                    }
                    return width + Math.max(0, shown - 1) * columnSpacing;
                }

                objectName: "secondaryActions"
                columns: rowWidth <= column.width ? children.length : 1
                columnSpacing: 8
                rowSpacing: 8

                ActionButton {
                    objectName: "restartAgentButton"
                    visible: pane.primaryRecovery.action !== RecoveryAction.Case.restartAgent
                    text: "重启 Agent"
                    onClicked: pane.actions.perform(pane.actions.recovery(RecoveryAction.Case.restartAgent))
                }
                ActionButton {
                    objectName: "recheckPermissionsButton"
                    visible: pane.primaryRecovery.action !== RecoveryAction.Case.recheckPermissions
                    text: "重新检查权限"
                    onClicked: pane.actions.refreshExistingPermissions()
                }
                ActionButton {
                    objectName: "updateAgentButton"
                    busy: pane.model.isUpdatingAgent
                    text: pane.model.isUpdatingAgent ? "正在更新 Agent…" : "更新 Agent"
                    enabled: pane.model.configurationReady && !pane.model.isUpdatingAgent
                    onClicked: pane.actions.updateAgent()
                }
                ActionButton {
                    objectName: "openLogsButton"
                    text: "打开日志目录"
                    onClicked: pane.actions.perform(pane.actions.recovery(RecoveryAction.Case.openLogs))
                }
                ActionButton {
                    objectName: "checkAppUpdateButton"
                    text: "检查 App 更新"
                    onClicked: pane.actions.perform(pane.actions.recovery(RecoveryAction.Case.checkForUpdates))
                }
            }
        }
    }
}
