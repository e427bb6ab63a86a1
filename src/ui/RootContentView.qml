import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tallowmere
import Tallowmere.Model

// The main window's content: the update banner above the page (the setup screen until the installation
// is validated, then the dashboard), the permission prompt, the channel-binding sheet, and what the
// window does for the model when it becomes active and when the model has something to say.
FocusScope {
    id: root

    required property AppModel model
    required property ModelActions actions
    readonly property bool sheetShown: sheet.item?.visible ?? false

    // The page the installation calls for, made (and its type loaded) only when it is shown.
    function showPage(operation) {
        const dashboard = model.installationValidated;
        pages.replace(null, dashboard ? "DashboardView.qml" : "SetupView.qml", {
                "objectName": dashboard ? "dashboardView" : "setupView",
                "model": model,
                "actions": actions
            }, operation);
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        // Made only while it is shown.
        Loader {
            active: root.model.showsAgentUpdateBanner
            visible: active
            Layout.fillWidth: true
            Component.onCompleted: setSource("AgentUpdateBanner.qml", {
                    "model": root.model,
                    "actions": root.actions
                })
        }
        StackView {
            id: pages

            objectName: "pages"
            readonly property int duration: Desktop.reduceMotion ? 150 : 200

            focus: true
            Layout.fillWidth: true
            Layout.fillHeight: true
            Component.onCompleted: root.showPage(StackView.Immediate)

            replaceEnter: Transition {
                NumberAnimation {
                    property: "opacity"
                    from: 0
                    to: 1
                    duration: pages.duration
                    easing.type: Easing.OutCubic
                }
                NumberAnimation {
                    property: "y"
                    from: Desktop.reduceMotion ? 0 : 4
                    to: 0
                    duration: pages.duration
                    easing.type: Easing.OutCubic
                }
            }
            replaceExit: Transition {
                NumberAnimation {
                    property: "opacity"
                    from: 1
                    to: 0
                    duration: pages.duration
                    easing.type: Easing.OutCubic
                }
            }
        }
    }

    // A popup over the page, made the first time the model calls for it (`wanted`), then kept, so that it
    // closes the way a popup closes.
    component PopupWhenWanted: Loader {
        required property string file
        required property bool wanted

        active: false
        onWantedChanged: active = active || wanted
        Component.onCompleted: {
            setSource(file, {
                    "model": root.model,
                    "actions": root.actions
                });
            active = wanted;
        }
    }

    PopupWhenWanted {
        file: "PermissionPrompt.qml"
        wanted: root.model.permissionPromptKind !== undefined
    }
    PopupWhenWanted {
        id: sheet
        file: "ChannelBindingSessionSheet.qml"
        wanted: root.model.installStage === Model.InstallStage.channel
    }
    Announcer {
        id: announcer
    }

    // The launch is the model's own start-up; every later activation of the window re-checks.
    Connections {
        property bool wasActive: false

        target: root.Window.window
        function onActiveChanged() {
            if (!root.Window.window.active)
                return;
            if (wasActive)
                root.actions.sceneDidBecomeActive();
            wasActive = true;
        }
    }
    Connections {
        target: root.model

        function onInstallationValidatedChanged() {
            root.showPage(StackView.Transition);
        }
        function onAnnouncementRevisionChanged() {
            announcer.announce(root.model.announcement);
        }
    }
}
