// The setup page as a person sees and uses it, for chosen states of the model.
#include "ScreenFixture.h"

using namespace tallowmere;
using namespace Qt::StringLiterals;
using testing::Screen;
using testing::utf8;

namespace {

JITWorkspaceAuthorization account(const char *email, const char *password)
{
    return {u"google"_s, utf8(email), utf8(password), QUrl(u"https://accounts.example/auth"_s)};
}

// The permission stage with the kinds before `current` verified and, optionally, the user sent to System
// Settings for `awaiting`.
void buildAtPermission(Screen &screen, PermissionKind current, const char *awaiting = nullptr)
{
    QByteArray completed = "\n";
    for (int kind = 0; kind < int(current); ++kind)
        completed += rawValue(PermissionKind(kind)).toUtf8() + '\n';
    screen.world.at("permissions", false, completed.constData())
        .fixture.write("mac-app-permission-awaiting", awaiting);
    screen.build();
}

const char *const jit = "TMI1-ABCD-EFGH-JKMN", *const tms = "TMS2-ABCD-EFGH-JKMN", *const go = "继续设置",
                  *const existing = "连接已有 Agent", *const fresh = "创建新 Agent";
const struct FormRow {
    const char *name, *code, *agentName;
    bool submitting;
    const char *heading, *codeMessage, *nameMessage /* empty: no name field */, *submit;
    bool enabled;
} formRows[] = {
    {"empty", "", "", false, existing, " ", "", go, false},
    {"unknown-prefix", "TMX9-AAAA", "", false, existing, "请输入 TMS2 或 TMI1 格式的安装码。", "", go, false},
    {"setup-code", tms, "", false, existing, " ", "", go, true},
    {"jit-without-name", jit, "", false, fresh, " ", "名称需为 6-64 位小写字母、数字或连字符。", go, false},
    {"jit-with-name", jit, "client-agent", false, fresh, " ",
     "将即时创建 Agent。若安装码包含 Workspace，稍后会请你完成授权。", go, true},
    {"submitting", tms, "", true, existing, " ", "", "正在注册…", false},
};

// The install stages: the progress of the leading rows ('p'ending, 'r'unning, 'c'omplete, 'f'ailed; pending
// after them) and the detail → the stage line. Above them, the headline's spinner while starting (a badge
// otherwise) and an error's message and code, with its recovery button if it has one.
const struct StageRow {
    const char *name, *progress, *detail, *expected;
    bool starting;
    RecoveryAction::Case recovery;
} stageRows[] = {{"failed-phase", "cf", nullptr, "检查运行环境需要处理", false, RecoveryAction::Case::restartAgent},
                 {"running-phase", "cr", nullptr, "检查运行环境", true, RecoveryAction::Case::none},
                 {"detail-first", "cr", "安装 Tallowmere", "安装 Tallowmere", true, RecoveryAction::Case::restartAgent},
                 {"nothing-yet", "", nullptr, "准备安装", false, RecoveryAction::Case::none}};

using enum PermissionKind;

// The current step of the permission stage: its button, back from System Settings or checking; a first
// press opens the kind's prompt, which calls nothing when cancelled and makes `call` when confirmed.
const struct StepRow {
    const char *name;
    PermissionKind kind;
    const char *awaiting;
    bool checking;
    const char *title;
    bool manualButton;
    const char *promptTitle, *confirm, *call, *message; // of the prompt of a first press
} stepRows[] = {
    {"screenRecording", screenRecording, "", false, "开始授权", false, "准备授权屏幕录制", "打开系统设置",
     "settings:screenRecording", "请在系统设置中为“node”开启屏幕录制。 完成后返回 Tallowmere，App 会自动继续。"},
    {"back-from-settings", screenRecording, "screenRecording", false, "等待自动识别", false},
    {"checking", accessibility, "", true, "正在检查授权…", false},
    {"accessibility", accessibility, "", false, "开始授权", false, "准备授权辅助功能", "打开系统设置",
     "prepare:accessibility", "系统会依次登记“node”和“cliclick”。请为两者都开启辅助功能，完成后 App 会自动继续。"},
    {"automation", automation, "", false, "开始授权", false, "准备授权自动化", "请求授权", "prepare:automation",
     "系统会显示“node”请求控制“System Events”。请点击“允许”，完成后 App 会自动继续。"},
    {"fullDiskAccess", fullDiskAccess, "", false, "开始授权", false, "准备授权完全磁盘访问", "打开系统设置",
     "settings:fullDiskAccess", "请在系统设置中为“node”开启完全磁盘访问。 完成后返回 Tallowmere，App 会自动继续。"},
    {"full-disk-access-after-settings", fullDiskAccess, "fullDiskAccess", false, "等待自动识别", true},
};

} // namespace

class SetupScreenTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theForm_data() { testing::addRows(formRows); }
    void theForm()
    {
        const auto &r = testing::currentRow(formRows);
        Screen screen;
        AppModel &model = screen.buildInSetupStage();
        model.setSetupCode(utf8(r.code));
        model.setSetupAgentName(utf8(r.agentName));
        model.setIsSubmittingSetup(r.submitting);
        screen.open();
        QCOMPARE(screen.text("setupTitle"), u"Setup Tallowmere"_s);
        QCOMPARE(screen.text("setupFormHeading"), utf8(r.heading));
        QCOMPARE(screen.text("setupCodeMessage"), utf8(r.codeMessage));
        QCOMPARE(screen.shown("agentNameField"), *r.nameMessage != 0);
        if (*r.nameMessage)
            QCOMPARE(screen.text("agentNameMessage"), utf8(r.nameMessage));
        screen.expectButton(u"submitSetupButton"_s, utf8(r.submit), r.enabled);
        QCOMPARE(screen.item("setupCodeField")->isEnabled(), !r.submitting);
        QTRY_COMPARE(Screen::within(screen.item("submitSetupButton"), "buttonSpinner")->isVisible(), r.submitting);
        screen.save(u"setup-form-"_s + utf8(r.name));
        if (!*r.code) { // the page opens on the code field, which reformats what is typed
            QTRY_VERIFY(screen.item("setupCodeField")->hasActiveFocus());
            for (const char c : QByteArray("tmi1 abcd-efgh jkmn"))
                QTest::keyClick(screen.window(), c);
            QTRY_COMPARE(screen.model().setupCode(), utf8(jit));
            QCOMPARE(screen.text("setupCodeField"), utf8(jit));
        }
    }

    void theWorkspaceCard()
    {
        Screen screen;
        AppModel &model = screen.buildInSetupStage();
        model.setSetupAuthorization(account("ops@example.com", "short"));
        screen.open();
        const QString dots(12, QChar(0x2022));
        QCOMPARE(screen.text("workspacePassword"), dots);
        QCOMPARE(screen.text("setupStageText"), utf8("等待 Workspace 授权"));
        screen.save(u"setup-workspace-card"_s);
        screen.click(u"revealPasswordButton"_s);
        QCOMPARE(screen.text("workspacePassword"), u"short"_s);
        QCOMPARE(screen.text("revealPasswordButton"), utf8("隐藏"));
        screen.click(u"copyEmailButton"_s);
        screen.click(u"copyPasswordButton"_s);
        QCOMPARE(screen.text("copyEmailButton"), utf8("已复制"));
        QCOMPARE(screen.text("copyPasswordButton"), utf8("已复制"));

        // The browser does not open, then it does.
        screen.world.opens = false;
        screen.click(u"openAuthorizationButton"_s);
        QTRY_VERIFY(screen.shown("authorizationOpenFailed"));
        QCOMPARE(screen.world.calls, QStringList{u"open:accounts.example"_s});
        screen.expectButton(u"openAuthorizationButton"_s, utf8("我已保存登录信息，打开授权页面"), true);
        screen.world.opens = true;
        screen.click(u"openAuthorizationButton"_s);
        QTRY_VERIFY(!screen.shown("authorizationOpenFailed"));
        model.setIsOpeningSetupAuthorization(true);
        screen.expectButton(u"openAuthorizationButton"_s, utf8("正在打开授权页面…"), false);

        // Another account: everything resets.
        model.setSetupAuthorization(account("other@example.com", "a-much-longer-password-than-twelve"));
        QCOMPARE(screen.text("copyEmailButton"), utf8("复制邮箱"));
        QCOMPARE(screen.text("copyPasswordButton"), utf8("复制密码"));
        QCOMPARE(screen.text("workspacePassword"), dots);
        QCOMPARE(screen.text("revealPasswordButton"), utf8("显示"));
    }

    void theStageText_data() { testing::addRows(stageRows); }
    void theStageText()
    {
        const auto &r = testing::currentRow(stageRows);
        Screen screen;
        screen.world.at("daemon", true);
        screen.build();
        QList<SetupProgressItem> items = screen.model().setupProgress();
        const char *statuses[] = {"未开始", "进行中", "已完成", "失败"};
        for (qsizetype i = 0; i < items.size(); ++i)
            items[i].state =
                ProgressState(i < qsizetype(strlen(r.progress)) ? strchr("prcf", r.progress[i]) - "prcf" : 0);
        screen.model().setSetupProgress(items);
        screen.model().setSetupProgressDetail(r.detail ? std::optional(utf8(r.detail)) : std::nullopt);
        screen.model().setOverallState(r.starting ? OverallState::starting : OverallState::online);
        screen.model().setLastError(testing::unreachable(r.recovery));
        screen.open();
        QTRY_COMPARE(screen.shown("statusSpinner"), r.starting);
        QCOMPARE(screen.shown("statusBadge"), !r.starting);
        QCOMPARE(screen.text("errorMessage"), utf8("无法连接 Agent。"));
        QCOMPARE(screen.text("errorCode"), u"AGENT_UNREACHABLE"_s);
        const bool recovers = r.recovery == RecoveryAction::Case::restartAgent;
        QCOMPARE(screen.text("recoveryButton"), utf8(recovers ? "重启 Agent" : ""));
        QCOMPARE(screen.shown("recoveryButton"), recovers);
        QCOMPARE(screen.text("setupTitle"), utf8("安装 Tallowmere"));
        QVERIFY(!screen.find(u"setupForm"_s));
        QCOMPARE(screen.text("setupStageText"), utf8(r.expected));
        for (qsizetype i = 0; i < items.size(); ++i) { // a running row shows the detail
            const bool detailed = items[i].state == ProgressState::running && r.detail;
            QCOMPARE(Screen::textWithin(screen.item(u"progressRow_%1"_s.arg(i)), "progressStatus"),
                     utf8(detailed ? r.detail : statuses[int(items[i].state)]));
        }
    }

    void packageProgress()
    {
        Screen screen;
        screen.build();
        screen.open();
        QVERIFY(!screen.shown("packageProgress"));
        screen.model().setIsPreparingEnvironment(true);
        screen.model().setSetupProgressDetail(utf8("安装 Tallowmere"));
        QVERIFY(screen.shown("packageProgress"));
        QCOMPARE(screen.text("packageFigures"), utf8("正在计算安装内容…"));
        screen.model().updatePackageInstallProgress(3, 8);
        QCOMPARE(screen.text("packageFigures"), utf8("3/8 · 38%"));
        screen.save(u"setup-runtime-packages"_s);
        screen.model().setIsPreparingEnvironment(false); // only while the runtime is prepared
        QVERIFY(!screen.shown("packageProgress"));
    }

    void theCurrentStep_data() { testing::addRows(stepRows); }
    void theCurrentStep()
    {
        const auto &r = testing::currentRow(stepRows);
        Screen screen;
        buildAtPermission(screen, r.kind, r.awaiting);
        screen.model().setIsCheckingPermission(r.checking);
        screen.open();
        screen.expectButton(u"permissionStepButton"_s, utf8(r.title), !r.checking);
        QCOMPARE(screen.shown("manualFullDiskAccessButton"), r.manualButton);
        QCOMPARE(screen.text("setupStageText"), utf8("配置") + screen.model().permissionTitle(r.kind));
        for (int row = 0; row < 4; ++row)
            QVERIFY(!Screen::within(screen.item(u"permissionRow_%1"_s.arg(row)), "permissionAction")->isVisible());
        screen.save(u"setup-permission-"_s + utf8(r.name));
        if (r.manualButton) {
            screen.click(u"manualFullDiskAccessButton"_s);
            QTRY_COMPARE(screen.model().permissions().at(int(r.kind)).nativeState,
                         PermissionNativeState::manuallyConfirmed);
        }
        if (!r.promptTitle)
            return;
        screen.click(u"permissionStepButton"_s);
        QCOMPARE(screen.model().permissionPromptKind(), std::optional(r.kind));
        QObject *prompt = screen.object(u"permissionPrompt"_s); // made when first asked for
        QTRY_VERIFY(prompt->property("opened").toBool());
        QCOMPARE(prompt->property("title").toString(), utf8(r.promptTitle));
        QCOMPARE(screen.text("permissionPromptConfirm"), utf8(r.confirm));
        QCOMPARE(screen.text("permissionPromptMessage"), utf8(r.message));
        screen.save(u"setup-prompt-"_s + utf8(r.name));
        screen.click(u"permissionPromptCancel"_s);
        QCOMPARE(screen.model().permissionPromptKind(), std::nullopt);
        QTRY_VERIFY(!prompt->property("visible").toBool());
        QVERIFY(screen.world.calls.isEmpty());
        screen.click(u"permissionStepButton"_s);
        QTRY_VERIFY(prompt->property("opened").toBool());
        screen.click(u"permissionPromptConfirm"_s);
        QTRY_VERIFY(!screen.world.calls.isEmpty());
        QCOMPARE(screen.world.calls.first(), utf8(r.call));
        QCOMPARE(screen.model().permissionPromptKind(), std::nullopt);
    }
};

TALLOWMERE_TEST(SetupScreenTest)
#include "tst_SetupScreen.moc"
