import QtQuick
import QtQuick.Controls
import Tallowmere
import Tallowmere.Model

// The main window, "main": white, tinted with the accent colour. Closing it leaves the application
// running in the menu bar, from where it opens again.
ApplicationWindow {
    id: window

    required property AppModel model
    required property ModelActions actions

    objectName: "main"
    visible: true
    title: Qt.application.name
    width: 960
    height: 640
    minimumWidth: 860
    minimumHeight: 560
    color: "white"
    palette.window: "white"
    palette.base: "white"
    palette.highlight: UIToken.accent

    RootContentView {
        id: content
        anchors.fill: parent
        focus: true
        model: window.model
        actions: window.actions
    }
    // Command-W closes the window, but never under the sheet, which nothing but the model closes.
    Shortcut {
        sequences: [StandardKey.Close]
        enabled: !content.sheetShown
        onActivated: window.close()
    }
}
