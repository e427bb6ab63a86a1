import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tallowmere.Model

// How far the installation has come: the overall bar, the package download while the runtime is being
// prepared, and one row per phase.
ColumnLayout {
    id: section

    required property AppModel model
    readonly property var packages: model.packageInstallProgress

    objectName: "progressSection"
    spacing: 12

    Label {
        text: "安装进度"
        font: UIToken.typography.section
        color: UIToken.label
    }
    ColumnLayout {
        spacing: 4
        Layout.fillWidth: true

        LinearProgressBar {
            objectName: "setupProgressBar"
            value: section.model.setupProgressFraction
            Layout.fillWidth: true
            Accessible.name: "安装进度"
            // Qt Quick has no accessible value text of its own: the description carries it.
            Accessible.description: "已完成 %1 项，共 %2 项，%3".arg(section.model.setupProgressCompleted).arg(section.model.setupProgressTotal).arg(section.model.currentSetupStage)
        }
        RowLayout {
            Layout.fillWidth: true

            Label {
                text: section.model.currentSetupStage
                font: UIToken.typography.meta
                color: UIToken.secondaryLabel
                elide: Text.ElideRight
                Layout.fillWidth: true
                Accessible.ignored: true
            }
            Label {
                text: "%1/%2".arg(section.model.setupProgressCompleted).arg(section.model.setupProgressTotal)
                font: UIToken.typography.meta
                color: UIToken.secondaryLabel
                Accessible.ignored: true
            }
        }
    }
    ColumnLayout {
        id: packageProgress

        readonly property bool known: section.packages !== undefined

        objectName: "packageProgress"
        visible: section.model.showsPackageInstallProgress
        spacing: 4
        Layout.fillWidth: true
        Accessible.role: Accessible.ProgressBar
        Accessible.name: "Tallowmere 安装进度"
        Accessible.description: known ? "已安装 %1 个包，共 %2 个，%3%".arg(section.packages.completed).arg(section.packages.total).arg(section.packages.percentage) : "正在计算安装内容"

        LinearProgressBar {
            indeterminate: !packageProgress.known
            value: packageProgress.known && section.packages.total > 0 ? Math.min(1, section.packages.completed / section.packages.total) : 0
            Layout.fillWidth: true
            Accessible.ignored: true
        }
        RowLayout {
            Layout.fillWidth: true

            Label {
                text: "正在安装 Tallowmere"
                font: UIToken.typography.meta
                color: UIToken.label
                Accessible.ignored: true
            }
            Item {
                Layout.fillWidth: true
            }
            Label {
                objectName: "packageFigures"
                text: packageProgress.known ? "%1/%2 · %3%".arg(section.packages.completed).arg(section.packages.total).arg(section.packages.percentage) : "正在计算安装内容…"
                font: UIToken.typography.meta
                color: UIToken.secondaryLabel
                Accessible.ignored: true
            }
        }
    }
    Repeater {
        model: section.model.setupProgress

        delegate: ProgressRow {
            required property var modelData

            item: modelData
            detail: section.model.setupProgressDetail
            Layout.fillWidth: true
        }
    }
}
