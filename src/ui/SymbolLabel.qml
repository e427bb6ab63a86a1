import QtQuick
import QtQuick.Controls

// A text with a symbol in front of it, wrapping under itself when it is long.
Item {
    id: symbolLabel

    property alias symbol: icon.name
    property alias text: label.text
    property alias font: label.font
    property color color: UIToken.label

    implicitWidth: icon.width + 6 + label.implicitWidth
    implicitHeight: Math.max(icon.height, label.implicitHeight)
    Accessible.role: Accessible.StaticText
    Accessible.name: text

    SymbolIcon {
        id: icon
        y: Math.max(0, (label.font.pixelSize * 1.3 - size) / 2)
        color: symbolLabel.color
        size: label.font.pixelSize + 3
    }
    Label {
        id: label
        x: icon.width + 6
        width: symbolLabel.width - x
        color: symbolLabel.color
        wrapMode: Text.Wrap
        Accessible.ignored: true
    }
}
