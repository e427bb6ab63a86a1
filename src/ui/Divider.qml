import QtQuick
import QtQuick.Layouts

// A one-point rule in the separator colour, across a column or (vertical) down a row.
Rectangle {
    property bool vertical: false

    color: UIToken.separator
    implicitWidth: 1
    implicitHeight: 1
    Layout.fillWidth: !vertical
    Layout.fillHeight: vertical
    Accessible.ignored: true
}
