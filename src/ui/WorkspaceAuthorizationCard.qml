import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tallowmere
import Tallowmere.Model

// The sign-in data of the workspace account the setup command created, and the button that opens its
// authorisation page. A new account never starts revealed or marked as copied.
Card {
    id: card

    required property AppModel model
    required property ModelActions actions
    readonly property var account: model.setupAuthorization
    readonly property string email: account !== undefined ? account.email : ""
    property bool revealsPassword: false
    property bool copiedEmail: false
    property bool copiedPassword: false

    objectName: "workspaceAuthorizationCard"
    onEmailChanged: {
        revealsPassword = false;
        copiedEmail = false;
        copiedPassword = false;
    }

    SymbolLabel {
        symbol: "person.badge.key"
        text: "完成 " + (card.account !== undefined && card.account.provider === "google" ? "Google" : "Zoho") + " Workspace 授权"
        font: UIToken.typography.bodyStrong
        Layout.fillWidth: true
    }
    Label {
        text: "先保存下面的登录信息，再打开授权页面。授权完成后安装会自动继续。"
        font: UIToken.typography.meta
        color: UIToken.secondaryLabel
        wrapMode: Text.Wrap
        Layout.fillWidth: true
    }
    RowLayout {
        spacing: 12
        Layout.fillWidth: true

        TextEdit {
            objectName: "workspaceEmail"
            text: card.email
            font: UIToken.typography.body
            color: UIToken.label
            readOnly: true
            selectByMouse: true
            // Read out as the text it shows (a selectable text is otherwise skipped by screen readers).
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            Layout.fillWidth: true
        }
        PlainButton {
            objectName: "copyEmailButton"
            text: card.copiedEmail ? "已复制" : "复制邮箱"
            Accessible.name: text
            onClicked: {
                card.actions.copyToPasteboard(card.email);
                card.copiedEmail = true;
            }
        }
    }
    RowLayout {
        spacing: 12
        Layout.fillWidth: true

        TextEdit {
            objectName: "workspacePassword"
            text: card.revealsPassword && card.account !== undefined ? card.account.password : "•".repeat(12)
            font.family: UIToken.typography.technical.family
            font.pixelSize: UIToken.typography.body.pixelSize
            color: UIToken.label
            readOnly: true
            selectByMouse: true
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            Layout.fillWidth: true
        }
        PlainButton {
            objectName: "revealPasswordButton"
            text: card.revealsPassword ? "隐藏" : "显示"
            Accessible.name: text
            onClicked: card.revealsPassword = !card.revealsPassword
        }
        PlainButton {
            objectName: "copyPasswordButton"
            text: card.copiedPassword ? "已复制" : "复制密码"
            Accessible.name: text
            onClicked: {
                card.actions.copyToPasteboard(card.account.password);
                card.copiedPassword = true;
            }
        }
    }
    ActionButton {
        objectName: "openAuthorizationButton"
        prominent: true
        busy: card.model.isOpeningSetupAuthorization
        text: card.model.isOpeningSetupAuthorization ? "正在打开授权页面…" : "我已保存登录信息，打开授权页面"
        enabled: !card.model.isOpeningSetupAuthorization
        onClicked: card.actions.openSetupAuthorization()
    }
    SymbolLabel {
        objectName: "authorizationOpenFailed"
        visible: card.model.setupAuthorizationOpenFailed
        symbol: "exclamationmark.triangle"
        text: "没有成功打开默认浏览器，请再次点击重试。安装仍在等待授权。"
        font: UIToken.typography.body
        color: UIToken.red
        Layout.fillWidth: true
    }
    Label {
        text: "登录信息只保存在当前安装过程中，不会写入 App 设置或日志。"
        font: UIToken.typography.footnote
        color: UIToken.secondaryLabel
        wrapMode: Text.Wrap
        Layout.fillWidth: true
    }
}
