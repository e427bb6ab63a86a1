import QtQuick
import QtQuick.Controls

// The small spinning progress indicator. It exists only while shown: hidden spinners cost nothing, and
// one that appears spins at full strength at once rather than fading in.
Loader {
    id: spinner

    property int size: 16

    active: visible

    sourceComponent: BusyIndicator {
        running: true
        implicitWidth: spinner.size
        implicitHeight: spinner.size
        padding: 0
        palette.text: UIToken.secondaryLabel
        palette.disabled.text: UIToken.secondaryLabel
    }
}
