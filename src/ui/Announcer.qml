import QtQuick

// Speaks a text through the screen reader: this invisible item of the notification role appears with the
// text as its name, which is what screen readers speak on Linux (Qt 6.4 has no announcement request).
Item {
    id: announcer

    function announce(text) {
        visible = false;
        announcer.Accessible.name = text;
        visible = true;
    }

    objectName: "announcer"
    visible: false
    width: 1
    height: 1
    Accessible.role: Accessible.Notification
}
