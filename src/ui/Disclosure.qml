import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A collapsed group: its title with a chevron; pressing it shows or hides what it holds.
ColumnLayout {
    id: disclosure

    property alias title: toggle.text
    property bool expanded: false
    default property alias content: body.data

    spacing: 6

    PlainButton {
        id: toggle
        objectName: "disclosureToggle"
        font: UIToken.typography.meta
        color: UIToken.secondaryLabel
        hoverColor: UIToken.label
        Accessible.role: Accessible.Button
        Accessible.name: text
        contentItem: RowLayout {
            spacing: 4

            SymbolIcon {
                name: disclosure.expanded ? "chevron.down" : "chevron.right"
                size: 10
                color: toggle.shownColor
            }
            Label {
                text: toggle.text
                font: toggle.font
                color: toggle.shownColor
            }
        }
        onClicked: disclosure.expanded = !disclosure.expanded
    }
    ColumnLayout {
        id: body
        visible: disclosure.expanded
        Layout.leftMargin: 14
        Layout.fillWidth: true
    }
}
