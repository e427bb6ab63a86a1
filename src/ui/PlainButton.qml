import QtQuick
import QtQuick.Controls

// A borderless button: its text or symbol alone, in `color`, or `hoverColor` while the pointer is on it.
AbstractButton {
    id: button

    property string symbol: ""
    property int symbolSize: 12
    property color color: UIToken.accent
    property color hoverColor: color
    readonly property color shownColor: !enabled ? UIToken.tertiaryLabel : hovered ? hoverColor : color

    font: UIToken.typography.body
    hoverEnabled: true
    padding: 2
    focusPolicy: Qt.StrongFocus

    contentItem: Item {
        implicitWidth: button.symbol !== "" ? glyph.implicitWidth : caption.implicitWidth
        implicitHeight: button.symbol !== "" ? glyph.implicitHeight : caption.implicitHeight

        SymbolIcon {
            id: glyph
            anchors.centerIn: parent
            visible: button.symbol !== ""
            name: button.symbol
            size: button.symbolSize
            color: button.shownColor
        }
        Label {
            id: caption
            anchors.centerIn: parent
            visible: button.symbol === ""
            text: button.text
            font: button.font
            color: button.shownColor
        }
    }
    background: Rectangle {
        color: "transparent"
        radius: 3
        border.width: button.visualFocus ? 2 : 0
        border.color: UIToken.accent
    }
}
