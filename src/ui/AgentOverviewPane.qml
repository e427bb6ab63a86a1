import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tallowmere.Model

// Who the agent is and what it is doing: the headline, the channel, the current task and the recent
// activity.
ColumnLayout {
    id: pane

    required property AppModel model

    objectName: "agentOverviewPane"
    spacing: 24

    StatusCore {
        model: pane.model
        logoSize: 88
        Layout.fillWidth: true
        Layout.leftMargin: 32
        Layout.rightMargin: 32
        Layout.topMargin: 32
    }
    // The binding sheet covers the channel stage.
    OwnerSetupChannelStatus {
        visible: pane.model.installStage !== Model.InstallStage.channel
        model: pane.model
        Layout.fillWidth: true
        Layout.leftMargin: 32
        Layout.rightMargin: 32
    }
    ColumnLayout {
        spacing: 8
        Layout.fillWidth: true
        Layout.leftMargin: 32
        Layout.rightMargin: 32

        Label {
            text: "当前任务"
            font: UIToken.typography.section
            color: UIToken.label
        }
        Label {
            objectName: "currentTask"
            text: pane.model.currentTask
            font: UIToken.typography.task
            color: UIToken.label
            wrapMode: Text.Wrap
            maximumLineCount: 2
            elide: Text.ElideRight
            Layout.fillWidth: true
            Accessible.name: "当前任务，" + text
        }
    }
    Divider {
        Layout.leftMargin: 32
        Layout.rightMargin: 32
    }
    Label {
        text: "最近活动"
        font: UIToken.typography.section
        color: UIToken.label
        Layout.leftMargin: 32
    }
    ActivityList {
        events: pane.model.activities
        Layout.fillWidth: true
        Layout.fillHeight: true
        Layout.leftMargin: 32
        Layout.rightMargin: 32
        Layout.bottomMargin: 16
    }
}
