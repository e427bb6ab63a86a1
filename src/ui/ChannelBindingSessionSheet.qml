import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tallowmere
import Tallowmere.Model

// The sheet over the main window for the whole channel stage: the owner binds the agent to a channel on
// a page of the onboarding service, opened in the browser from here. Nothing but the model closes it.
Popup {
    id: sheet

    required property AppModel model
    required property ModelActions actions
    readonly property string retrySentence: "没有成功打开默认浏览器，请复制链接后手动打开，或再次点击重试。"
    // One link request at a time: the two request buttons wait for the one in flight.
    readonly property bool linkRequestsAllowed: model.ownerSetupPending && !model.ownerSetupRequestInFlight

    objectName: "channelBindingSheet"
    parent: Overlay.overlay
    anchors.centerIn: parent
    // 440 points, or wider when the buttons need it.
    width: Math.max(440, implicitContentWidth + leftPadding + rightPadding)
    padding: 20
    modal: true
    focus: true
    closePolicy: Popup.NoAutoClose
    visible: model.installStage === Model.InstallStage.channel
    onAboutToShow: {
        if (model.installStage === Model.InstallStage.channel)
            model.noteChannelBindingSessionAppeared(550);
    }

    background: Rectangle {
        color: "white"
        radius: 10
        border.color: UIToken.separator
    }
    Overlay.modal: Rectangle {
        color: Qt.rgba(0, 0, 0, 0.12)
    }

    contentItem: ColumnLayout {
        spacing: 20
        focus: true
        Accessible.role: Accessible.Grouping
        // The open button is the sheet's default action.
        Keys.onReturnPressed: if (openButton.enabled)
            openButton.clicked()
        Keys.onEnterPressed: if (openButton.enabled)
            openButton.clicked()

        RowLayout {
            objectName: "channelSheetHeader"
            spacing: 14
            Layout.fillWidth: true
            Accessible.role: Accessible.StaticText
            Accessible.name: sheet.model.channelSessionSummary

            Image {
                visible: status === Image.Ready
                source: sheet.visible ? "image://brand/application" : ""
                sourceSize: Qt.size(96, 96)
                Layout.preferredWidth: 48
                Layout.preferredHeight: 48
                Layout.alignment: Qt.AlignTop
                fillMode: Image.PreserveAspectFit
                smooth: true
                Accessible.ignored: true
            }
            ColumnLayout {
                spacing: 6
                Layout.fillWidth: true

                Label {
                    text: "绑定 Channel"
                    font.pixelSize: 15
                    color: UIToken.label
                    Accessible.ignored: true
                }
                Label {
                    objectName: "sessionDetail"
                    text: sheet.model.channelSessionDetail
                    font.pixelSize: 13
                    color: UIToken.secondaryLabel
                    wrapMode: Text.Wrap
                    Layout.fillWidth: true
                    Accessible.ignored: true
                }
                Label {
                    objectName: "openFailedLine"
                    visible: sheet.model.showsOwnerSetupRetry
                    text: sheet.retrySentence
                    font.pixelSize: 13
                    color: UIToken.red
                    wrapMode: Text.Wrap
                    Layout.fillWidth: true
                    Accessible.ignored: true
                }
                Label {
                    objectName: "ownerSetupErrorLine"
                    visible: sheet.model.ownerSetupError !== undefined && !sheet.model.isLoadingOwnerSetup
                    text: sheet.model.ownerSetupError ?? ""
                    font.pixelSize: 13
                    color: UIToken.red
                    wrapMode: Text.Wrap
                    Layout.fillWidth: true
                    Accessible.ignored: true
                }
            }
        }
        RowLayout {
            spacing: 8
            Layout.fillWidth: true

            Item {
                Layout.fillWidth: true
            }
            ActionButton {
                objectName: "copyLinkButton"
                visible: sheet.model.canOpenOwnerSetup
                text: sheet.model.ownerSetupLinkCopied ? "已复制" : "复制链接"
                Accessible.description: "复制绑定链接，以便在浏览器中手动打开。"
                onClicked: sheet.model.copyOwnerSetupLink()
            }
            ActionButton {
                objectName: "regenerateLinkButton"
                enabled: sheet.linkRequestsAllowed
                text: "重新生成"
                ToolTip.text: "生成新的绑定链接；之前的链接将失效。"
                ToolTip.visible: hovered
                ToolTip.delay: 600
                Accessible.description: "生成新的 Channel 绑定链接，之前的链接将失效。"
                onClicked: sheet.actions.refreshOwnerSetup(true)
            }
            ActionButton {
                objectName: "refreshStatusButton"
                enabled: sheet.linkRequestsAllowed
                text: "刷新状态"
                onClicked: sheet.actions.refreshOwnerSetup(false)
            }
            ActionButton {
                id: openButton
                objectName: "openOwnerSetupButton"
                prominent: true
                busy: sheet.model.isOpeningOwnerSetup
                showsText: !sheet.model.isOpeningOwnerSetup
                text: sheet.model.ownerSetupOpenButtonTitle
                enabled: sheet.model.canOpenOwnerSetup && !sheet.model.isLoadingOwnerSetup
                Accessible.description: sheet.model.ownerSetupDidOpen ? "再次用系统浏览器打开 Channel 绑定页面。" : "用系统浏览器打开 Channel 绑定页面。"
                onClicked: sheet.model.openOwnerSetup()
            }
        }
    }
}
