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
    // The section to bring into sight (see reveal).
    property Item pendingReveal: null
    // Return presses the page's default button: the form's submit button, or the permission step's.
    function pressDefaultButton() {
        const button = form.item?.submitButton ?? permissionSection.item?.stepButton;
        if (button && button.visible && button.enabled)
            button.clicked();
    }
    function moveFocus(target) {
        if (target.target === FocusTarget.Case.setupCode && form.item) {
            form.item.focusCode();
            reveal(form);
        } else if (target.target === FocusTarget.Case.permission && permissionSection.item) {
            permissionSection.item.focusPermission(target.permission);
            reveal(permissionSection);
        } else if (target.target === FocusTarget.Case.recovery && errorSection.item) {
            errorSection.item.focusAction();
            reveal(errorSection);
        }
    }
    // Brings a new permission step, or the form or the error when focus moves there, to the top of the
    // scrolled column. A section loaded a moment ago is laid out a little later, so for a second the
    // column follows the section as it moves and grows, unless the person scrolls.
    function reveal(section) {
        pendingReveal = section;
        revealTime.restart();
        Qt.callLater(scrollToPendingReveal);
    }
    function scrollToPendingReveal() {
        if (!pendingReveal || !pendingReveal.visible)
            return; // not laid out yet
        const flickable = scroll.contentItem;
        const top = pendingReveal === form ? 0 : pendingReveal.mapToItem(column, 0, 0).y + column.y;
        // The error at the foot of the column comes into sight without pushing what is above it away.
        const wanted = pendingReveal === errorSection
            ? Math.min(top, Math.max(flickable.contentY, top + pendingReveal.height + 32 - flickable.height)) : top;
        const target = Math.max(0, Math.min(wanted, flickable.contentHeight - flickable.height));
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
    onPermissionStepKindChanged: {
        if (permissionStepKind >= 0)
            reveal(permissionSection);
    }

    Connections {
        target: view.model

        function onFocusRevisionChanged() {
            view.moveFocus(view.model.focusTarget);
        }
    }
    Timer {
        id: revealTime
        interval: 1000
        onTriggered: view.pendingReveal = null
    }
    Connections {
        target: column

        function onImplicitHeightChanged() {
            view.scrollToPendingReveal();
        }
    }
    Connections {
        target: view.pendingReveal

        function onYChanged() {
            view.scrollToPendingReveal();
        }
    }
    Connections {
        target: scroll.contentItem

        function onMovementStarted() {
            view.pendingReveal = null;
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
                onLoaded: view.reveal(form)
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
                onLoaded: {
                    if (view.permissionStepKind >= 0)
                        view.reveal(permissionSection);
                }
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
                onLoaded: view.reveal(errorSection)
                Component.onCompleted: setSource("ErrorSection.qml", {
                        "actions": view.actions,
                        "error": Qt.binding(() => view.model.lastError),
                        "showsAction": true
                    })
            }
        }
    }
}
