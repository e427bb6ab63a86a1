import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tallowmere
import Tallowmere.Model

// The installation code (and, for a code that creates an agent, the new agent's name), the button
// that submits them, and the workspace account the setup command may announce.
ColumnLayout {
    id: form

    required property AppModel model
    required property ModelActions actions
    readonly property bool createsAgent: model.normalizedSetupCode.startsWith("TMI1-")
    readonly property bool acceptsInput: !model.isSubmittingSetup && !model.pendingSetupResume
    readonly property alias submitButton: submit

    function focusCode() {
        codeField.forceActiveFocus(Qt.OtherFocusReason);
    }

    objectName: "setupForm"
    spacing: 8
    // The form opens on the code field.
    Component.onCompleted: focusCode()

    Label {
        objectName: "setupFormHeading"
        text: form.createsAgent ? "创建新 Agent" : "连接已有 Agent"
        font: UIToken.typography.bodyStrong
        color: UIToken.secondaryLabel
    }
    // Every edit goes through the model's formatter, so the field groups the code as the user types
    // or pastes; what the model holds is what the field shows.
    TextField {
        id: codeField
        objectName: "setupCodeField"
        echoMode: TextInput.Password
        placeholderText: "TMS2 / TMI1-XXXX-XXXX-XXXX"
        font: UIToken.typography.body
        topPadding: 7
        bottomPadding: 7
        enabled: form.acceptsInput
        Layout.fillWidth: true
        Layout.maximumWidth: 360
        Accessible.description: "输入管理员提供的 TMS2 或 TMI1 安装码。"
        Component.onCompleted: text = form.model.setupCode
        Keys.onReturnPressed: form.actions.submitSetupCode()
        Keys.onEnterPressed: form.actions.submitSetupCode()
        onTextEdited: {
            const formatted = form.model.formattedSetupCodeInput(text);
            form.model.setupCode = formatted;
            if (text !== formatted)
                text = formatted;
        }

        Connections {
            target: form.model

            function onSetupCodeChanged() {
                if (codeField.text !== form.model.setupCode)
                    codeField.text = form.model.setupCode;
            }
        }
    }
    // A single space keeps the line's height when there is nothing to say.
    Label {
        readonly property var message: form.model.setupCodeValidationMessage

        objectName: "setupCodeMessage"
        text: message ?? " "
        font: UIToken.typography.meta
        color: message !== undefined ? UIToken.red : UIToken.secondaryLabel
        Accessible.ignored: message === undefined
    }
    TextField {
        objectName: "agentNameField"
        visible: form.createsAgent
        placeholderText: "新 Agent 名称，例如 client-agent"
        text: form.model.setupAgentName
        font: UIToken.typography.body
        topPadding: 7
        bottomPadding: 7
        enabled: form.acceptsInput
        Layout.fillWidth: true
        Layout.maximumWidth: 360
        Accessible.name: "新 Agent 名称"
        onTextEdited: form.model.setupAgentName = text
    }
    Label {
        readonly property var message: form.model.setupAgentNameValidationMessage

        objectName: "agentNameMessage"
        visible: form.createsAgent
        text: message ?? "将即时创建 Agent。若安装码包含 Workspace，稍后会请你完成授权。"
        font: UIToken.typography.meta
        color: message !== undefined ? UIToken.red : UIToken.secondaryLabel
        wrapMode: Text.Wrap
        Layout.fillWidth: true
    }
    ActionButton {
        id: submit
        objectName: "submitSetupButton"
        prominent: true
        large: true
        busy: form.model.isSubmittingSetup
        text: form.model.isSubmittingSetup ? "正在注册…" : "继续设置"
        enabled: form.model.canSubmitSetup
        Layout.minimumWidth: 120
        Layout.topMargin: 4
        onClicked: form.actions.submitSetupCode()
    }
    SymbolLabel {
        symbol: "gearshape.2"
        text: "注册完成后会启动 Agent，并进入 Channel 绑定。"
        font: UIToken.typography.body
        color: UIToken.secondaryLabel
        Layout.fillWidth: true
    }
    // Made (its type loaded) only while there is an account to show.
    Loader {
        active: form.model.setupAuthorization !== undefined
        visible: active
        Layout.fillWidth: true
        Layout.topMargin: 8
        Layout.bottomMargin: 8
        Component.onCompleted: setSource("WorkspaceAuthorizationCard.qml", {
                "model": form.model,
                "actions": form.actions
            })
    }
}
