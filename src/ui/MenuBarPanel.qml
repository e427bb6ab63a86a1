import QtQuick
import QtQuick.Controls
import Tallowmere
import Tallowmere.Model

// The menu-bar item's panel window: frameless, above other windows, gone as soon as it is no longer
// the active window (a click elsewhere), like a panel of the Mac's menu bar.
Window {
    id: window

    required property AppModel model
    required property ModelActions actions

    signal openMainWindowRequested

    objectName: "menuBarPanel"
    flags: Qt.Tool | Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint
    width: content.width
    height: content.implicitHeight
    color: "white"
    palette.highlight: UIToken.accent
    onActiveChanged: {
        if (!active)
            hide();
    }

    MenuBarContent {
        id: content
        model: window.model
        actions: window.actions
        onOpenMainWindowRequested: window.openMainWindowRequested()
    }
}
