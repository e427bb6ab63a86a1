import QtQuick
import QtQuick.Controls
import Tallowmere

// The recent activity, newest first. Rows are kept by event so that a new event slides in and an old
// one fades out (unless the user asked for less motion).
ListView {
    id: list

    required property var events
    readonly property int duration: 180

    // Brings the rows in line with `events`, touching only the rows that came or went.
    function sync() {
        const ids = [];
        for (let i = 0; i < events.length; ++i)
            ids.push(String(events[i].id));
        for (let r = rows.count - 1; r >= 0; --r) {
            if (!ids.includes(rows.get(r).eventId))
                rows.remove(r);
        }
        for (let i = 0; i < ids.length; ++i) {
            if (i < rows.count && rows.get(i).eventId === ids[i])
                continue;
            const event = events[i];
            rows.insert(i, {
                    "eventId": ids[i],
                    "time": event.occurredAt.toLocaleTimeString(Qt.locale(), Locale.ShortFormat),
                    "summary": event.summary
                });
        }
        while (rows.count > ids.length)
            rows.remove(rows.count - 1);
    }

    objectName: "activityList"
    clip: true
    boundsBehavior: Flickable.StopAtBounds
    Accessible.role: Accessible.List
    Accessible.name: "最近活动"
    model: ListModel {
        id: rows
    }
    onEventsChanged: sync()
    Component.onCompleted: sync()

    add: Desktop.reduceMotion ? null : insertion
    remove: Desktop.reduceMotion ? null : removal
    displaced: Desktop.reduceMotion ? null : displacement

    Transition {
        id: insertion

        NumberAnimation {
            property: "opacity"
            from: 0
            to: 1
            duration: list.duration
            easing.type: Easing.OutCubic
        }
        NumberAnimation {
            property: "y"
            from: insertion.ViewTransition.destination.y - 12
            duration: list.duration
            easing.type: Easing.OutCubic
        }
    }
    Transition {
        id: removal

        NumberAnimation {
            property: "opacity"
            to: 0
            duration: list.duration
            easing.type: Easing.OutCubic
        }
    }
    Transition {
        id: displacement

        NumberAnimation {
            property: "y"
            duration: list.duration
            easing.type: Easing.OutCubic
        }
    }

    delegate: Item {
        required property string time
        required property string summary

        width: ListView.view.width
        height: Math.max(44, summaryText.implicitHeight + 16) + 1
        Accessible.role: Accessible.ListItem
        Accessible.name: time + "，" + summary

        Label {
            id: timeText
            anchors.baseline: summaryText.baseline
            text: time
            font: UIToken.typography.caption
            color: UIToken.secondaryLabel
            Accessible.ignored: true
        }
        Label {
            id: summaryText
            objectName: "activitySummary"
            x: timeText.implicitWidth + 12
            width: parent.width - x
            anchors.verticalCenter: parent.verticalCenter
            anchors.verticalCenterOffset: -0.5
            text: summary
            font: UIToken.typography.body
            color: UIToken.label
            wrapMode: Text.Wrap
            maximumLineCount: 2
            elide: Text.ElideRight
            Accessible.ignored: true
        }
        Divider {
            anchors.bottom: parent.bottom
            width: parent.width
        }
    }

    Label {
        objectName: "noActivity"
        visible: list.count === 0
        width: list.width
        height: 44
        verticalAlignment: Text.AlignVCenter
        text: "尚无活动"
        font: UIToken.typography.meta
        color: UIToken.secondaryLabel
    }
}
