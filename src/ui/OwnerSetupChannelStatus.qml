import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tallowmere.Model

// Where the agent's channel binding stands.
ColumnLayout {
    id: status

    required property AppModel model

    objectName: "channelStatus"
    spacing: 8
    Accessible.role: Accessible.StaticText
    Accessible.name: "Channel，" + model.channelBindingSummary

    Label {
        text: "Channel"
        font: UIToken.typography.section
        color: UIToken.label
        Accessible.ignored: true
    }
    Label {
        text: status.model.channelBindingSummary
        font: UIToken.typography.meta
        color: UIToken.secondaryLabel
        Accessible.ignored: true
    }
}
