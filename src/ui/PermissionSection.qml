import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tallowmere
import Tallowmere.Model

// The permission onboarding: how many of the four are done, the card of the current step, and every
// permission's row.
ColumnLayout {
    id: section

    required property AppModel model
    required property ModelActions actions
    readonly property alias stepButton: step.stepButton

    // Moves keyboard focus to the action button of the row of `kind`, if it shows one.
    function focusPermission(kind) {
        for (let i = 0; i < rows.count; ++i) {
            if (rows.itemAt(i).kind === kind)
                rows.itemAt(i).focusAction();
        }
    }

    objectName: "permissionSection"
    spacing: 8

    Label {
        text: "权限"
        font: UIToken.typography.section
        color: UIToken.label
    }
    ColumnLayout {
        id: progress

        readonly property string title: "首次配置权限"
        readonly property int completed: section.model.onboardingPermissionsCompleted
        readonly property int total: section.model.onboardingPermissionsTotal

        objectName: "permissionProgress"
        spacing: 4
        Layout.fillWidth: true
        Accessible.role: Accessible.ProgressBar
        Accessible.name: "%1，已完成 %2 项，共 %3 项".arg(title).arg(completed).arg(total)

        RowLayout {
            Layout.fillWidth: true

            Label {
                text: progress.title
                font: UIToken.typography.meta
                color: UIToken.label
                Layout.fillWidth: true
                Accessible.ignored: true
            }
            Label {
                text: "%1/%2".arg(progress.completed).arg(progress.total)
                font: UIToken.typography.meta
                color: UIToken.secondaryLabel
                Accessible.ignored: true
            }
        }
        LinearProgressBar {
            value: progress.total > 0 ? progress.completed / progress.total : 0
            Layout.fillWidth: true
            Accessible.ignored: true
        }
    }
    Card {
        visible: section.model.currentPermissionOnboardingItem !== undefined
        Layout.fillWidth: true
        Layout.topMargin: 4
        Layout.bottomMargin: 4

        CurrentPermissionStep {
            id: step
            model: section.model
            actions: section.actions
            Layout.fillWidth: true
        }
    }
    Repeater {
        id: rows

        model: section.model.permissions

        delegate: PermissionRow {
            required property var modelData

            model: section.model
            actions: section.actions
            item: modelData
            Layout.fillWidth: true
            Layout.topMargin: 4
        }
    }
}
