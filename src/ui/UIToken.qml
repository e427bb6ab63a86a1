pragma Singleton
import QtQuick

// The design tokens of every screen: the accent colour, the system colours the screens use and the text
// styles. Text styles carry the Mac's text-style sizes in points as pixel sizes: a point is a pixel on
// the Mac and at the 96 dpi logical resolution used here, where a point size would grow by a third.
QtObject {
    id: token

    readonly property color accent: Qt.rgba(0.03, 0.24, 0.43, 1.0)

    readonly property color label: Qt.rgba(0, 0, 0, 0.85)
    readonly property color secondaryLabel: Qt.rgba(0, 0, 0, 0.55)
    readonly property color tertiaryLabel: Qt.rgba(0, 0, 0, 0.3)
    readonly property color separator: Qt.rgba(0, 0, 0, 0.1)
    // The empty track of a progress bar, light grey over white and over the material alike.
    readonly property color progressTrack: Qt.rgba(0, 0, 0, 0.1)
    readonly property color red: "#d70015"
    // The regular material over a white window, and the opaque colour that replaces it.
    readonly property color material: "#f4f4f6"
    readonly property color controlBackground: "#ffffff"

    // Semibold where the font has the face (the Mac); elsewhere the one Chinese font has a regular face
    // only, which Qt emboldens for bold alone.
    readonly property int semibold: Qt.platform.os === "osx" ? Font.DemiBold : Font.Bold

    readonly property QtObject typography: QtObject {
        readonly property font statusTitle: Qt.font({
                "pixelSize": 22,
                "weight": token.semibold
            })
        readonly property font screenTitle: Qt.font({
                "pixelSize": 17,
                "weight": token.semibold
            })
        readonly property font task: Qt.font({
                "pixelSize": 15,
                "weight": Font.Medium
            })
        readonly property font section: Qt.font({
                "pixelSize": 13,
                "weight": Font.Bold
            })
        readonly property font body: Qt.font({
                "pixelSize": 13
            })
        readonly property font bodyStrong: Qt.font({
                "pixelSize": 13,
                "weight": Font.Medium
            })
        readonly property font meta: Qt.font({
                "pixelSize": 12
            })
        readonly property font caption: Qt.font({
                "pixelSize": 10
            })
        readonly property font technical: Qt.font({
                "family": Qt.platform.os === "osx" ? "Menlo" : "monospace",
                "pixelSize": 10
            })
        // The footnotes under the forms and cards: one size up from caption, for legible Chinese.
        readonly property font footnote: Qt.font({
                "pixelSize": 11
            })
    }
}
