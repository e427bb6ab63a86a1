import QtQuick
import QtQuick.Controls

// A bordered button whose label may carry a small spinner in front of its text; `prominent` gives the
// bordered-prominent style, filled with the accent colour while it can be pressed.
Button {
    id: button

    property bool busy: false
    property bool showsText: true
    property bool prominent: false
    property bool large: false
    readonly property bool filled: prominent && enabled

    font: UIToken.typography.body
    topPadding: large ? 7 : 4
    bottomPadding: large ? 7 : 4
    leftPadding: 10
    rightPadding: 10

    contentItem: Item {
        implicitWidth: row.implicitWidth
        implicitHeight: row.implicitHeight

        Row {
            id: row
            anchors.centerIn: parent
            spacing: 8

            Spinner {
                objectName: "buttonSpinner"
                anchors.verticalCenter: parent.verticalCenter
                visible: button.busy
            }
            Label {
                anchors.verticalCenter: parent.verticalCenter
                visible: button.showsText
                text: button.text
                font: button.font
                color: button.filled ? "white" : button.enabled ? UIToken.label : UIToken.tertiaryLabel
            }
        }
    }
    background: Rectangle {
        implicitWidth: 64
        implicitHeight: button.large ? 30 : 24
        radius: 5
        color: button.filled ? (button.down ? Qt.darker(UIToken.accent, 1.25) : UIToken.accent) : button.down ? Qt.rgba(0, 0, 0, 0.08) : button.enabled ? "white" : Qt.rgba(0, 0, 0, 0.03)
        border.width: button.visualFocus ? 2 : 1
        border.color: button.visualFocus ? Qt.lighter(UIToken.accent, 1.6) : button.filled ? Qt.darker(UIToken.accent, 1.2) : Qt.rgba(0, 0, 0, 0.2)
    }
}
