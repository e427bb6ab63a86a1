// The setup page as a person sees and uses it, for chosen states of the model.
#include "ScreenFixture.h"

#include "app/PersistedState.h"

using namespace tallowmere;
using testing::Screen;

namespace {

const QSize tall(960, 1400); // room for every section without scrolling

JITWorkspaceAuthorization account(const char *email, const char *password)
{
    return {QStringLiteral("google"), QString::fromUtf8(email), QString::fromUtf8(password),
            QUrl(QStringLiteral("https://accounts.example/auth"))};
}

// The permission stage with the kinds before `current` verified and, optionally, the user sent to System
// Settings for `awaiting`.
void buildAtPermission(Screen &screen, PermissionKind current, const char *awaiting = nullptr)
{
    screen.writeState(persisted::installStageFile, "permissions");
    QByteArray completed;
    for (int kind = 0; kind < int(current); ++kind)
        completed += rawValue(PermissionKind(kind)).toUtf8() + '\n';
    screen.writeState(persisted::completedPermissionsFile, completed.isEmpty() ? "\n" : completed);
    if (awaiting)
        screen.writeState(persisted::awaitingPermissionFile, awaiting);
    screen.build();
}

} // namespace

class SetupScreenTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void typingReformatsTheCodeAndSwitchesTheHeading()
    {
        Screen screen;
        screen.buildInSetupStage();
        screen.open(QStringLiteral("Main.qml"), tall);
        QCOMPARE(screen.text("setupTitle"), QStringLiteral("Setup Tallowmere"));
        QCOMPARE(screen.text("setupFormHeading"), QStringLiteral("连接已有 Agent"));
        QTRY_VERIFY(screen.item("setupCodeField")->hasActiveFocus()); // the page opens on the code field

        screen.type(QStringLiteral("tmi1 ab"));
        QCOMPARE(screen.model().setupCode(), QStringLiteral("TMI1-AB"));
        QCOMPARE(screen.text("setupCodeField"), QStringLiteral("TMI1-AB"));
        QCOMPARE(screen.text("setupFormHeading"), QStringLiteral("创建新 Agent"));
        QVERIFY(screen.shown("agentNameField"));
        QVERIFY(!screen.item("submitSetupButton")->isEnabled());

        screen.type(QStringLiteral("cd-efgh jkmn"));
        QCOMPARE(screen.text("setupCodeField"), QStringLiteral("TMI1-ABCD-EFGH-JKMN"));
        QCOMPARE(screen.text("agentNameMessage"), QStringLiteral("名称需为 6-64 位小写字母、数字或连字符。"));
        QVERIFY(!screen.item("submitSetupButton")->isEnabled());
        screen.save(QStringLiteral("setup-code-form"));

        screen.model().setSetupAgentName(QStringLiteral("client-agent"));
        QCOMPARE(screen.text("agentNameMessage"),
                 QStringLiteral("将即时创建 Agent。若安装码包含 Workspace，稍后会请你完成授权。"));
        QVERIFY(screen.item("submitSetupButton")->isEnabled());
        QCOMPARE(screen.text("submitSetupButton"), QStringLiteral("继续设置"));
    }

    void theMessageLineKeepsItsHeightWithoutAMessage()
    {
        Screen screen;
        screen.buildInSetupStage();
        screen.open(QStringLiteral("Main.qml"), tall);
        QCOMPARE(screen.text("setupCodeMessage"), QStringLiteral(" "));
        QVERIFY(screen.item("setupCodeMessage")->height() > 0);
        QVERIFY(!screen.shown("agentNameField"));
        QVERIFY(!screen.item("submitSetupButton")->isEnabled());

        screen.model().setSetupCode(QStringLiteral("TMX9-AAAA"));
        QCOMPARE(screen.text("setupCodeMessage"), QStringLiteral("请输入 TMS2 或 TMI1 格式的安装码。"));
        QVERIFY(!screen.item("submitSetupButton")->isEnabled());

        screen.model().setSetupCode(QStringLiteral("TMS2-ABCD-EFGH-JKMN"));
        QCOMPARE(screen.text("setupCodeMessage"), QStringLiteral(" "));
        QVERIFY(screen.item("submitSetupButton")->isEnabled());
    }

    void submittingDisablesTheFieldsAndShowsTheSpinner()
    {
        Screen screen;
        screen.buildInSetupStage().setSetupCode(QStringLiteral("TMS2-ABCD-EFGH-JKMN"));
        screen.open(QStringLiteral("Main.qml"), tall);
        screen.model().setIsSubmittingSetup(true);
        QCOMPARE(screen.text("submitSetupButton"), QStringLiteral("正在注册…"));
        QVERIFY(!screen.item("setupCodeField")->isEnabled());
        QQuickItem *button = screen.item(QStringLiteral("submitSetupButton"));
        QTRY_VERIFY(Screen::within(button, QStringLiteral("buttonSpinner"))->isVisible());
    }

    void theWorkspaceCardShowsTwelveDotsAndResetsForANewAccount()
    {
        Screen screen;
        screen.buildInSetupStage();
        screen.model().setSetupAuthorization(account("ops@example.com", "short"));
        screen.open(QStringLiteral("Main.qml"), tall);
        QCOMPARE(screen.text("workspacePassword"), QString(12, QChar(0x2022)));
        QCOMPARE(screen.text("setupStageText"), QStringLiteral("等待 Workspace 授权"));
        screen.save(QStringLiteral("setup-workspace-card"));

        screen.click(QStringLiteral("revealPasswordButton"));
        QCOMPARE(screen.text("workspacePassword"), QStringLiteral("short"));
        QCOMPARE(screen.text("revealPasswordButton"), QStringLiteral("隐藏"));
        screen.click(QStringLiteral("copyEmailButton"));
        screen.click(QStringLiteral("copyPasswordButton"));
        QCOMPARE(screen.text("copyEmailButton"), QStringLiteral("已复制"));
        QCOMPARE(screen.text("copyPasswordButton"), QStringLiteral("已复制"));

        screen.model().setSetupAuthorization(
            account("other@example.com", "a-much-longer-password-than-twelve"));
        QCOMPARE(screen.text("copyEmailButton"), QStringLiteral("复制邮箱"));
        QCOMPARE(screen.text("copyPasswordButton"), QStringLiteral("复制密码"));
        QCOMPARE(screen.text("workspacePassword"), QString(12, QChar(0x2022)));
        QCOMPARE(screen.text("revealPasswordButton"), QStringLiteral("显示"));
    }

    void theOpenButtonFollowsTheOpening()
    {
        Screen screen;
        screen.buildInSetupStage();
        screen.model().setSetupAuthorization(account("ops@example.com", "pw"));
        screen.open(QStringLiteral("Main.qml"), tall);
        QCOMPARE(screen.text("openAuthorizationButton"), QStringLiteral("我已保存登录信息，打开授权页面"));
        QVERIFY(!screen.shown("authorizationOpenFailed"));
        screen.model().setIsOpeningSetupAuthorization(true);
        QCOMPARE(screen.text("openAuthorizationButton"), QStringLiteral("正在打开授权页面…"));
        QVERIFY(!screen.item("openAuthorizationButton")->isEnabled());
        screen.model().setIsOpeningSetupAuthorization(false);
        screen.model().setSetupAuthorizationOpenFailed(true);
        QVERIFY(screen.shown("authorizationOpenFailed"));
        QVERIFY(screen.item("openAuthorizationButton")->isEnabled());
    }

    void theStageText_data()
    {
        QTest::addColumn<QString>("progress");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("expected");
        QTest::newRow("failed phase") << "cf" << QString() << QStringLiteral("检查运行环境需要处理");
        QTest::newRow("running phase") << "cr" << QString() << QStringLiteral("检查运行环境");
        QTest::newRow("detail first")
            << "cr" << QStringLiteral("安装 Tallowmere") << QStringLiteral("安装 Tallowmere");
        QTest::newRow("nothing yet") << "" << QString() << QStringLiteral("准备安装");
    }
    void theStageText()
    {
        QFETCH(QString, progress);
        QFETCH(QString, detail);
        QFETCH(QString, expected);
        Screen screen;
        screen.writeState(persisted::installStageFile, "daemon");
        screen.configure();
        screen.build();
        QList<SetupProgressItem> items = screen.model().setupProgress();
        for (qsizetype i = 0; i < items.size(); ++i)
            items[i].state = i < progress.size()
                                 ? ProgressState(QStringLiteral("prcf").indexOf(progress.at(i)))
                                 : ProgressState::pending;
        screen.model().setSetupProgress(items);
        screen.model().setSetupProgressDetail(detail.isNull() ? std::nullopt : std::optional(detail));
        screen.open(QStringLiteral("Main.qml"));
        QCOMPARE(screen.text("setupTitle"), QStringLiteral("安装 Tallowmere"));
        QVERIFY(!screen.find(QStringLiteral("setupForm")));
        QCOMPARE(screen.text("setupStageText"), expected);
    }

    void progressRows_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("status");
        QTest::newRow("pending") << int(ProgressState::pending) << QStringLiteral("未开始");
        QTest::newRow("running") << int(ProgressState::running) << QStringLiteral("进行中");
        QTest::newRow("complete") << int(ProgressState::complete) << QStringLiteral("已完成");
        QTest::newRow("failed") << int(ProgressState::failed) << QStringLiteral("失败");
    }
    void progressRows()
    {
        QFETCH(int, state);
        QFETCH(QString, status);
        Screen screen;
        screen.build();
        QList<SetupProgressItem> items = screen.model().setupProgress();
        items[1].state = ProgressState(state);
        screen.model().setSetupProgress(items);
        screen.open(QStringLiteral("Main.qml"), tall);
        QQuickItem *row = screen.item(QStringLiteral("progressRow_1"));
        QQuickItem *statusText = Screen::within(row, QStringLiteral("progressStatus"));
        QVERIFY(statusText);
        QCOMPARE(statusText->property("text").toString(), status);
    }

    void packageProgress()
    {
        Screen screen;
        screen.build();
        screen.open(QStringLiteral("Main.qml"));
        QVERIFY(!screen.shown("packageProgress"));
        screen.model().setIsPreparingEnvironment(true);
        screen.model().setSetupProgressDetail(QStringLiteral("安装 Tallowmere"));
        QVERIFY(screen.shown("packageProgress"));
        QCOMPARE(screen.text("packageFigures"), QStringLiteral("正在计算安装内容…"));
        screen.model().updatePackageInstallProgress(3, 8);
        QCOMPARE(screen.text("packageFigures"), QStringLiteral("3/8 · 38%"));
        screen.save(QStringLiteral("setup-runtime-packages"));
    }

    void theStepButton_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("awaiting");
        QTest::addColumn<bool>("checking");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("manualButton");
        QTest::newRow("first press") << int(PermissionKind::screenRecording) << QString() << false
                                     << QStringLiteral("开始授权") << false;
        QTest::newRow("back from settings")
            << int(PermissionKind::screenRecording) << QStringLiteral("screenRecording") << false
            << QStringLiteral("等待自动识别") << false;
        QTest::newRow("checking") << int(PermissionKind::accessibility) << QString() << true
                                  << QStringLiteral("正在检查授权…") << false;
        QTest::newRow("full disk access before settings") << int(PermissionKind::fullDiskAccess) << QString()
                                                          << false << QStringLiteral("开始授权") << false;
        QTest::newRow("full disk access after settings")
            << int(PermissionKind::fullDiskAccess) << QStringLiteral("fullDiskAccess") << false
            << QStringLiteral("等待自动识别") << true;
    }
    void theStepButton()
    {
        QFETCH(int, kind);
        QFETCH(QString, awaiting);
        QFETCH(bool, checking);
        QFETCH(QString, title);
        QFETCH(bool, manualButton);
        Screen screen;
        const QByteArray awaited = awaiting.toUtf8();
        buildAtPermission(screen, PermissionKind(kind), awaiting.isEmpty() ? nullptr : awaited.constData());
        screen.model().setIsCheckingPermission(checking);
        screen.open(QStringLiteral("Main.qml"), tall);
        QCOMPARE(screen.text("permissionStepButton"), title);
        QCOMPARE(screen.item("permissionStepButton")->isEnabled(), !checking);
        QCOMPARE(screen.shown("manualFullDiskAccessButton"), manualButton);
        QCOMPARE(screen.text("setupStageText"),
                 QStringLiteral("配置") + screen.model().permissionTitle(PermissionKind(kind)));
        // During the permission stage the step card leads: no row offers its own button.
        for (int row = 0; row < 4; ++row) {
            QQuickItem *rowItem = screen.item(QStringLiteral("permissionRow_%1").arg(row));
            QQuickItem *action = Screen::within(rowItem, QStringLiteral("permissionAction"));
            QVERIFY(action && !action->isVisible());
        }
        screen.save(QStringLiteral("setup-permission-%1%2")
                        .arg(rawValue(PermissionKind(kind)),
                             awaiting.isEmpty() ? QString() : QStringLiteral("-awaiting")));
    }

    void theStepButtonAsksForThePromptThenChecks()
    {
        Screen screen;
        buildAtPermission(screen, PermissionKind::screenRecording);
        screen.open(QStringLiteral("Main.qml"), tall);
        screen.click(QStringLiteral("permissionStepButton"));
        QCOMPARE(screen.model().permissionPromptKind(), std::optional(PermissionKind::screenRecording));
        QVERIFY(screen.calls.isEmpty());
    }

    void theManualConfirmationReachesTheModel()
    {
        Screen screen;
        buildAtPermission(screen, PermissionKind::fullDiskAccess, "fullDiskAccess");
        screen.open(QStringLiteral("Main.qml"), tall);
        screen.click(QStringLiteral("manualFullDiskAccessButton"));
        QTRY_COMPARE(screen.model().permissions().at(int(PermissionKind::fullDiskAccess)).nativeState,
                     PermissionNativeState::manuallyConfirmed);
    }

    void thePermissionPrompt_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<QString>("message");
        QTest::newRow("screen recording")
            << int(PermissionKind::screenRecording) << QStringLiteral("准备授权屏幕录制")
            << QStringLiteral("打开系统设置")
            << QStringLiteral("请在系统设置中为“node”开启屏幕录制。 完成后返回 Tallowmere，App 会自动继续。");
        QTest::newRow("accessibility")
            << int(PermissionKind::accessibility) << QStringLiteral("准备授权辅助功能")
            << QStringLiteral("打开系统设置")
            << QStringLiteral(
                   "系统会依次登记“node”和“cliclick”。请为两者都开启辅助功能，完成后 App 会自动继续。");
        QTest::newRow("automation")
            << int(PermissionKind::automation) << QStringLiteral("准备授权自动化")
            << QStringLiteral("请求授权")
            << QStringLiteral(
                   "系统会显示“node”请求控制“System Events”。请点击“允许”，完成后 App 会自动继续。");
        QTest::newRow("full disk access")
            << int(PermissionKind::fullDiskAccess) << QStringLiteral("准备授权完全磁盘访问")
            << QStringLiteral("打开系统设置")
            << QStringLiteral(
                   "请在系统设置中为“node”开启完全磁盘访问。 完成后返回 Tallowmere，App 会自动继续。");
    }
    void thePermissionPrompt()
    {
        QFETCH(int, kind);
        QFETCH(QString, title);
        QFETCH(QString, confirm);
        QFETCH(QString, message);
        Screen screen;
        buildAtPermission(screen, PermissionKind(kind));
        screen.open(QStringLiteral("Main.qml"));
        screen.model().setPermissionPromptKind(PermissionKind(kind));
        QObject *prompt = screen.object(QStringLiteral("permissionPrompt"));
        QVERIFY(prompt);
        QTRY_VERIFY(prompt->property("opened").toBool());
        QCOMPARE(prompt->property("title").toString(), title);
        QCOMPARE(screen.text("permissionPromptConfirm"), confirm);
        QCOMPARE(screen.text("permissionPromptMessage"), message);
        screen.save(QStringLiteral("setup-prompt-%1").arg(rawValue(PermissionKind(kind))));

        screen.click(QStringLiteral("permissionPromptConfirm"));
        const QString expected = PermissionKind(kind) == PermissionKind::accessibility ||
                                         PermissionKind(kind) == PermissionKind::automation
                                     ? QStringLiteral("permissionPrepare ")
                                     : QStringLiteral("openSystemSettings ");
        QTRY_VERIFY(!screen.calls.isEmpty());
        QCOMPARE(screen.calls.first(), expected + rawValue(PermissionKind(kind)));
        QCOMPARE(screen.model().permissionPromptKind(), std::nullopt);
    }

    void cancellingThePromptCallsNothing()
    {
        Screen screen;
        buildAtPermission(screen, PermissionKind::accessibility);
        screen.open(QStringLiteral("Main.qml"));
        screen.model().setPermissionPromptKind(PermissionKind::accessibility);
        QTRY_VERIFY(screen.object(QStringLiteral("permissionPrompt"))->property("opened").toBool());
        screen.click(QStringLiteral("permissionPromptCancel"));
        QCOMPARE(screen.model().permissionPromptKind(), std::nullopt);
        QTest::qWait(20);
        QVERIFY(screen.calls.isEmpty());
        QTRY_VERIFY(!screen.object(QStringLiteral("permissionPrompt"))->property("visible").toBool());
    }

    void theErrorSection_data()
    {
        QTest::addColumn<int>("recovery");
        QTest::addColumn<QString>("button");
        QTest::newRow("with a recovery")
            << int(RecoveryAction::Case::restartAgent) << QStringLiteral("重启 Agent");
        QTest::newRow("recovery none") << int(RecoveryAction::Case::none) << QString();
    }
    void theErrorSection()
    {
        QFETCH(int, recovery);
        QFETCH(QString, button);
        Screen screen;
        screen.build();
        const DisplayError error{QStringLiteral("AGENT_UNREACHABLE"), QStringLiteral("无法连接 Agent。"),
                                 QStringLiteral("任务暂停。"),
                                 RecoveryAction::of(RecoveryAction::Case(recovery))};
        screen.model().setLastError(error);
        screen.open(QStringLiteral("Main.qml"), tall);
        QCOMPARE(screen.text("errorMessage"), error.message);
        QCOMPARE(screen.text("errorCode"), error.code);
        QCOMPARE(screen.shown("recoveryButton"), !button.isEmpty());
        if (!button.isEmpty())
            QCOMPARE(screen.text("recoveryButton"), button);
    }

    void theStatusBadge_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("spinner");
        QTest::newRow("starting") << int(OverallState::starting) << true;
        QTest::newRow("online") << int(OverallState::online) << false;
        QTest::newRow("error") << int(OverallState::error) << false;
    }
    void theStatusBadge()
    {
        QFETCH(int, state);
        QFETCH(bool, spinner);
        Screen screen;
        screen.build().setOverallState(OverallState(state));
        screen.open(QStringLiteral("Main.qml"));
        QTRY_COMPARE(screen.shown("statusSpinner"), spinner);
        QCOMPARE(screen.shown("statusBadge"), !spinner);
        QCOMPARE(screen.text("headlineTitle"), screen.model().headlineStatusTitle());
    }
};

TALLOWMERE_SCREEN_TEST(SetupScreenTest)
#include "tst_SetupScreen.moc"
