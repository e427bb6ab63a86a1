import QtQuick
import QtQuick.Controls
import Tallowmere.Model

// One phase of the installation: its mark, title and state, one line at least 44 points high.
Item {
    id: row

    required property var item
    property var detail
    readonly property string statusText: ({
            [Model.ProgressState.pending]: "未开始",
            [Model.ProgressState.running]: detail ?? "进行中",
            [Model.ProgressState.complete]: "已完成",
            [Model.ProgressState.failed]: "失败"
        })[item.state]
    readonly property string mark: ({
            [Model.ProgressState.pending]: "circle",
            [Model.ProgressState.complete]: "checkmark.circle.fill",
            [Model.ProgressState.failed]: "xmark.circle.fill"
        })[item.state] ?? ""

    objectName: "progressRow_" + item.phase
    implicitWidth: 20 + 12 + title.implicitWidth + 12 + status.implicitWidth
    implicitHeight: Math.max(44, title.implicitHeight)
    Accessible.role: Accessible.StaticText
    Accessible.name: item.title + "，" + statusText

    Spinner {
        anchors.centerIn: slot
        visible: row.item.state === Model.ProgressState.running
    }
    SymbolIcon {
        anchors.centerIn: slot
        visible: row.mark !== ""
        name: row.mark
        color: row.item.state === Model.ProgressState.pending ? UIToken.tertiaryLabel : UIToken.label
        size: 16
    }
    Item {
        id: slot
        width: 20
        height: 20
        anchors.verticalCenter: parent.verticalCenter
    }
    Label {
        id: title
        anchors.left: slot.right
        anchors.leftMargin: 12
        anchors.right: status.left
        anchors.rightMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        text: row.item.title
        font: UIToken.typography.body
        color: UIToken.label
        elide: Text.ElideRight
        Accessible.ignored: true
    }
    Label {
        id: status
        objectName: "progressStatus"
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        text: row.statusText
        font: UIToken.typography.meta
        color: UIToken.secondaryLabel
        Accessible.ignored: true
    }
}
