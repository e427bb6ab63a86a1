import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tallowmere
import Tallowmere.Model

// The page until the installation is validated: on the left who is being installed and where the
// installation stands, on the right the code form, the progress, the permission steps and the last
// error.
FocusScope {
    id: view

    required property AppModel model
    required property ModelActions actions
    readonly property bool inSetupStage: model.installStage === Model.InstallStage.setup
    readonly property bool inPermissionStage: model.installStage === Model.InstallStage.permissions
    readonly property int permissionStepKind: model.currentPermissionOnboardingKind ?? -1
    // Set when a new permission step is to be scrolled to, once the next frame has laid it out.
    property bool scrollsToPermissionStep: false

    // Return presses the page's default button: the form's submit button, or the permission step's.
    function pressDefaultButton() {
        const button = form.item?.submitButton ?? permissionSection.item?.stepButton;
        if (button && button.visible && button.enabled)
            button.clicked();
    }
    function moveFocus(target) {
        if (target.target === FocusTarget.Case.setupCode && form.item)
            form.item.focusCode();
        else if (target.target === FocusTarget.Case.permission && permissionSection.item)
            permissionSection.item.focusPermission(target.permission);
        else if (target.target === FocusTarget.Case.recovery && errorSection.item)
            errorSection.item.focusAction();
    }
    // Brings the permission step to the top of the scrolled column (or as near as the column goes).
    function scrollToPermissionStep() {
        const flickable = scroll.contentItem;
        const top = permissionSection.mapToItem(column, 0, 0).y + column.y;
        const target = Math.max(0, Math.min(top, flickable.contentHeight - flickable.height));
        if (Desktop.reduceMotion) {
            flickable.contentY = target;
            return;
        }
        scrollAnimation.target = flickable;
        scrollAnimation.to = target;
        scrollAnimation.restart();
    }

    focus: true
    Keys.onReturnPressed: pressDefaultButton()
    Keys.onEnterPressed: pressDefaultButton()
    onPermissionStepKindChanged: scrollsToPermissionStep = permissionStepKind >= 0
    onScrollsToPermissionStepChanged: {
        if (scrollsToPermissionStep)
            Window.window.requestUpdate();
    }

    Connections {
        target: view.Window.window
        enabled: view.scrollsToPermissionStep

        function onFrameSwapped() {
            view.scrollsToPermissionStep = false;
            view.scrollToPermissionStep();
        }
    }
    Connections {
        target: view.model

        function onFocusRevisionChanged() {
            view.moveFocus(view.model.focusTarget);
        }
    }
    NumberAnimation {
        id: scrollAnimation
        property: "contentY"
        duration: 300
        easing.type: Easing.OutCubic
    }

    SetupOverviewPane {
        id: overviewPane
        width: Math.round(view.width * 0.38)
        height: view.height
        model: view.model
    }
    ScrollView {
        id: scroll
        objectName: "setupScroll"
        x: overviewPane.width
        width: view.width - x
        height: view.height
        contentWidth: availableWidth
        contentHeight: column.implicitHeight + 64

        ColumnLayout {
            id: column
            x: 32
            y: 32
            width: scroll.availableWidth - 64
            spacing: 24

            Label {
                objectName: "setupTitle"
                text: view.inSetupStage ? "Setup Tallowmere" : "安装 Tallowmere"
                font: UIToken.typography.screenTitle
                color: UIToken.label
            }
            // The form, the permission steps and the error are made (and their types loaded) only
            // while they are shown.
            Loader {
                id: form
                active: view.inSetupStage && !view.model.configurationReady
                visible: active
                Layout.fillWidth: true
                Component.onCompleted: setSource("SetupForm.qml", {
                        "model": view.model,
                        "actions": view.actions
                    })
            }
            Divider {
            }
            ProgressSection {
                model: view.model
                Layout.fillWidth: true
            }
            Divider {
                visible: view.inPermissionStage
            }
            Loader {
                id: permissionSection
                active: view.inPermissionStage
                visible: active
                Layout.fillWidth: true
                onLoaded: view.scrollsToPermissionStep = view.permissionStepKind >= 0
                Component.onCompleted: setSource("PermissionSection.qml", {
                        "model": view.model,
                        "actions": view.actions
                    })
            }
            Divider {
                visible: errorSection.active
            }
            Loader {
                id: errorSection
                active: view.model.lastError !== undefined
                Layout.fillWidth: true
                Component.onCompleted: setSource("ErrorSection.qml", {
                        "actions": view.actions,
                        "error": Qt.binding(() => view.model.lastError),
                        "showsAction": true
                    })
            }
        }
    }
}
