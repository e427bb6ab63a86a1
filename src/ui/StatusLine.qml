import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A label and its value on one line, read as one.
RowLayout {
    id: line

    property string label
    property string value

    spacing: 12
    Accessible.role: Accessible.StaticText
    Accessible.name: label + "，" + value

    Label {
        text: line.label
        font: UIToken.typography.body
        color: UIToken.label
        Layout.alignment: Qt.AlignBaseline
        Accessible.ignored: true
    }
    Label {
        objectName: "statusValue"
        text: line.value
        font: UIToken.typography.meta
        color: UIToken.secondaryLabel
        horizontalAlignment: Text.AlignRight
        wrapMode: Text.Wrap
        Layout.fillWidth: true
        Layout.alignment: Qt.AlignBaseline
        Accessible.ignored: true
    }
}
