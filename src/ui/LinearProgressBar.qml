import QtQuick
import QtQuick.Controls
import Tallowmere

// The thin linear progress bar of the Mac: a rounded light-grey track, filled with the accent colour as
// far as the value goes; while indeterminate, a short accent segment travels to and fro along the track
// (and stands still under reduced motion).
ProgressBar {
    id: bar

    // Where the indeterminate segment is along the track, from its start (0) to its end (1).
    property real segmentPosition

    padding: 0

    SequentialAnimation on segmentPosition {
        running: bar.indeterminate && bar.visible && !Desktop.reduceMotion
        loops: Animation.Infinite

        NumberAnimation {
            from: 0
            to: 1
            duration: 900
            easing.type: Easing.InOutQuad
        }
        NumberAnimation {
            from: 1
            to: 0
            duration: 900
            easing.type: Easing.InOutQuad
        }
    }

    background: Rectangle {
        implicitWidth: 160
        implicitHeight: 6
        radius: height / 2
        color: UIToken.progressTrack
    }
    contentItem: Item {
        implicitWidth: 160
        implicitHeight: 6

        Rectangle {
            visible: !bar.indeterminate && bar.visualPosition > 0
            // Never narrower than its own rounded ends.
            width: Math.max(height, bar.visualPosition * parent.width)
            height: parent.height
            radius: height / 2
            color: UIToken.accent
        }
        Rectangle {
            visible: bar.indeterminate
            x: bar.segmentPosition * (parent.width - width)
            width: Math.min(parent.width, Math.max(24, parent.width / 4))
            height: parent.height
            radius: height / 2
            color: UIToken.accent
        }
    }
}
