import QtQuick
import QtQuick.Controls
import QtQuick.Window
import Tallowmere.Model

// The brand mark with a badge for the overall state, the headline and its detail: one element for
// screen readers. A plain column: its wrapped texts take their height from the column's width.
Column {
    id: core

    required property AppModel model
    property int logoSize: 112

    readonly property var badgeSymbols: ({
            [Model.OverallState.notInstalled]: "circle.dashed",
            [Model.OverallState.waitingSetup]: "key.horizontal",
            [Model.OverallState.online]: "checkmark.circle.fill",
            [Model.OverallState.error]: "xmark.octagon.fill"
        })

    spacing: 12
    Accessible.role: Accessible.StaticText
    Accessible.name: "Tallowmere，" + model.headlineStatusTitle + "，" + model.headlineStatusDetail

    Item {
        implicitWidth: core.logoSize
        implicitHeight: core.logoSize

        Image {
            anchors.fill: parent
            source: "image://brand/TallowmereMark"
            sourceSize: Qt.size(core.logoSize * Screen.devicePixelRatio, core.logoSize * Screen.devicePixelRatio)
            fillMode: Image.PreserveAspectFit
            smooth: true
            Accessible.ignored: true
        }
        Rectangle {
            id: badge

            readonly property bool starting: core.model.overallState === Model.OverallState.starting

            anchors.right: parent.right
            anchors.bottom: parent.bottom
            anchors.margins: -4
            width: 26
            height: 26
            radius: 13
            color: "white"

            Spinner {
                objectName: "statusSpinner"
                anchors.centerIn: parent
                visible: badge.starting
            }
            SymbolIcon {
                objectName: "statusBadge"
                anchors.centerIn: parent
                visible: !badge.starting
                name: core.badgeSymbols[core.model.overallState] ?? ""
                size: 18
                color: UIToken.label
            }
        }
    }
    Label {
        objectName: "headlineTitle"
        text: core.model.headlineStatusTitle
        font: UIToken.typography.statusTitle
        color: UIToken.label
        wrapMode: Text.Wrap
        width: core.width
        Accessible.ignored: true
    }
    Label {
        text: core.model.headlineStatusDetail
        font: UIToken.typography.meta
        color: UIToken.secondaryLabel
        wrapMode: Text.Wrap
        width: core.width
        Accessible.ignored: true
    }
}
