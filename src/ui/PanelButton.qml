import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A plain button of the menu-bar panel: its text across the panel's width, highlighted under the
// pointer; `destructive` draws it in red.
AbstractButton { // a button to assistive technology too (an ItemDelegate reads as a list item)
    id: button

    property bool busy: false
    property bool destructive: false

    font: UIToken.typography.body
    topPadding: 5
    bottomPadding: 5
    leftPadding: 6
    rightPadding: 6
    Layout.fillWidth: true

    contentItem: RowLayout {
        spacing: 8

        Spinner {
            objectName: "buttonSpinner"
            visible: button.busy
        }
        Label {
            text: button.text
            font: button.font
            color: button.destructive ? UIToken.red : UIToken.label
            opacity: button.enabled ? 1 : 0.45
            Layout.fillWidth: true
        }
    }
    background: Rectangle {
        radius: 4
        color: button.hovered && button.enabled ? Qt.rgba(0, 0, 0, 0.06) : "transparent"
    }
}
