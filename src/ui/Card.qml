import QtQuick
import QtQuick.Layouts

// A group box: a lightly filled, rounded panel around a column of content.
Rectangle {
    id: card

    default property alias content: column.data
    property int padding: 14

    implicitWidth: column.implicitWidth + 2 * padding
    implicitHeight: column.implicitHeight + 2 * padding
    radius: 8
    color: Qt.rgba(0, 0, 0, 0.035)
    border.color: UIToken.separator

    ColumnLayout {
        id: column
        anchors.fill: parent
        anchors.margins: card.padding
        spacing: 10
    }
}
