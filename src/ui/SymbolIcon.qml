import QtQuick

// A symbol of the product's vocabulary, named as an SF Symbol, drawn in one colour (the Mac draws the
// symbol itself; elsewhere the image provider maps it to the icon theme). Always hidden from
// accessibility: the text beside it says the same.
Image {
    property string name
    property color color: UIToken.label
    property int size: 16

    width: size
    height: size
    sourceSize: Qt.size(size, size)
    fillMode: Image.PreserveAspectFit
    source: name === "" ? "" : "image://symbol/" + name + "/" + String(color).slice(1)
    Accessible.ignored: true
}
