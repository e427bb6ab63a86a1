#include "OutsideWorld.h"

using namespace tallowmere;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using testing::utf8;

namespace {

constexpr char tms[] = "tms2-abcd efgh jkmn";

// A model waiting for the code (all four permissions verified), with the given code and name typed.
AppModel &atSetup(testing::OutsideWorld &w, const char *code = tms, const char *name = "")
{
    AppModel &model = w.at("permissions\n", false).build();
    testing::await(model.resumeInstalledConfiguration());
    model.setSetupCode(utf8(code));
    model.setSetupAgentName(utf8(name));
    return model;
}

// The code and name typed, the setup command's script (nullptr: the bundle lacks the resource script), the
// error shown, and the command's arguments and standard input ("": it never ran). A workspace code takes
// its name, trimmed and in lower case; the code travels on standard input only.
const struct SubmitRow {
    const char *name, *code, *agentName, *script, *error, *arguments, *input;
} submitRows[] = {
    {"a workspace code with its name", "tmi1-0000-1111-2222", "  My-Agent-1 \n", "exit 4",
     "SETUP_EXIT_4 操作失败：SETUP_EXIT_4", "--setup-only\nmy-agent-1\n", "TMI1-0000-1111-2222\n"},
    {"exit 3 with its last error line", tms, "", "echo 'Error: redeem failed' >&2; echo progress; exit 3",
     "SETUP_EXIT_3 Error: redeem failed", "--setup-only\n", "TMS2-ABCD-EFGH-JKMN\n"},
    {"a redacted line is never shown", tms, "", "echo 'Error: TMS2-ABCD-EFGH-JKMN was refused'; exit 1",
     "SETUP_EXIT_1 操作失败：SETUP_EXIT_1", "--setup-only\n", "TMS2-ABCD-EFGH-JKMN\n"},
    {"the runner's own error, without its message", tms, "", nullptr,
     "INSTALL_COMPONENT_MISSING 操作失败：INSTALL_COMPONENT_MISSING", "", ""},
    {"an invalid code starts nothing", "TMS2-ABCD", "", "exit 0",
     "SETUP_CODE_FORMAT 操作失败：SETUP_CODE_FORMAT", "", ""},
};

// A failed step keeps its stage; the retry runs it again. Runtime preparation shows the runner's own error
// with its message; the daemon's start is checked 30 times. The step ("runtime" or "daemon"), its exit status
// and last error line, whether it throws the runner's own error, whether the agent answers, and the error.
const struct StepFailureRow {
    const char *name, *stage;
    int status;
    const char *line;
    bool throws, answers;
    const char *error;
} stepFailureRows[] = {
    {"runtime: exit 2 without a line", "runtime", 2, nullptr, false, true,
     "RUNTIME_PREPARE_EXIT_2 运行环境准备未完成，请重试。"},
    {"runtime: the runner's own error", "runtime", 0, nullptr, true, true,
     "INSTALL_COMPONENT_MISSING 安装组件不完整，请重新安装 Tallowmere"},
    {"daemon: exit 3 with its line", "daemon", 3, "Agent 安装失败，请重试（错误码 3）。", false, true,
     "DAEMON_INSTALL_EXIT_3 Agent 安装失败，请重试（错误码 3）。"},
    {"daemon: the agent never answers", "daemon", 0, nullptr, false, false,
     "AGENT_START_TIMEOUT Agent 已安装，但未能在 15 秒内启动。"},
};

} // namespace

class InstallPipelineTest : public QObject {
    Q_OBJECT

private slots:
    void submission_data() { testing::addRows(submitRows); }
    void submission()
    {
        const SubmitRow &row = testing::currentRow(submitRows);
        testing::OutsideWorld w;
        w.setupScript(row.script);
        AppModel &model = atSetup(w, row.code, row.agentName);
        const int revision = model.focusRevision();
        testing::await(model.submitSetupCode());
        const bool valid = !QByteArray(row.error).startsWith("SETUP_CODE_FORMAT");
        QCOMPARE(w.error(), utf8(row.error));
        QCOMPARE(testing::readFile(w.fixture.home.path() + u"/args"_s), row.arguments);
        QCOMPARE(testing::readFile(w.fixture.home.path() + u"/stdin"_s), row.input);
        QCOMPARE(testing::installState(model),
                 valid ? u"setup cccfpppppp error"_s : u"setup cccppppppp waitingSetup"_s);
        QCOMPARE(model.setupCode(), valid ? QString() : utf8(row.code)); // not kept once submitted
        QCOMPARE(model.focusRevision(), revision + (valid ? 0 : 1));     // the focus back on the code field
        QVERIFY(!model.isSubmittingSetup());
        QVERIFY(w.calls.isEmpty());
    }

    void supersededSubmissionEndsSilently()
    {
        testing::OutsideWorld w;
        w.setupScript("for i in $(seq 400); do [ -e \"$HOME/go\" ] && break; sleep 0.05; done; exit 0");
        AppModel &model = atSetup(w);
        testing::Running first(model.submitSetupCode());
        model.fail(u"ELSEWHERE"_s, std::nullopt); // ends the submission as far as the window is concerned
        model.setSetupCode(u"TMS2-0000-1111-2222"_s);
        testing::await(model.submitSetupCode()); // the runner is busy: this one fails at once
        QCOMPARE(w.error().section(u' ', 0, 0), u"OPERATION_ALREADY_RUNNING"_s);
        testing::writeFile(w.fixture.home.path() + u"/go"_s, {});
        QVERIFY(testing::spinUntil([&] { return first.done(); }));
        QCOMPARE(w.error().section(u' ', 0, 0), u"OPERATION_ALREADY_RUNNING"_s);
        QVERIFY(!model.configurationReady());
        QCOMPARE(model.installStage(), InstallStage::setup);
    }

    void stepFailures_data() { testing::addRows(stepFailureRows); }
    void stepFailures()
    {
        const StepFailureRow &row = testing::currentRow(stepFailureRows);
        testing::OutsideWorld w;
        const bool daemon = qstrcmp(row.stage, "daemon") == 0;
        CLIResult &result = daemon ? w.daemonResult : w.prepareResult;
        result = {row.status, testing::optionalText(row.line)};
        if (row.throws)
            w.prepareThrows.emplace(u"INSTALL_COMPONENT_MISSING"_s,
                                    u"安装组件不完整，请重新安装 Tallowmere"_s);
        w.agentAnswers = row.answers;
        AppModel &model = (daemon ? w.at("daemon\n", true) : w).build();
        QVERIFY(
            w.settle(daemon ? model.finishDaemonInstallationIfNeeded() : model.prepareEnvironmentIfNeeded()));
        QCOMPARE(w.error(), utf8(row.error));
        QCOMPARE(testing::installState(model), daemon ? u"daemon ccccccfppp error configured pending"_s
                                                      : u"runtime fppppppppp error pending"_s);
        QCOMPARE(w.calls.count(u"started"_s), row.answers ? 0 : 30);
        QVERIFY(!model.isPreparingEnvironment());
        result = {0, std::nullopt};
        w.prepareThrows.reset();
        w.agentAnswers = true;
        QVERIFY(w.settle(model.perform(RecoveryAction::of(RecoveryAction::Case::retryInstall))));
        QCOMPARE(testing::installState(model), daemon ? u"channel cccccccrpp starting configured pending"_s
                                                      : u"permissions ccrppppppp starting pending"_s);
        QCOMPARE(model.lastError(), std::nullopt);
        QCOMPARE(w.fixture.read("mac-app-install-stage"), daemon ? "channel\n" : "permissions\n");
    }

    void oneRuntimePreparationAtATime()
    {
        testing::OutsideWorld w;
        platform::Wakeup release;
        w.hold = &release;
        AppModel &model = w.build();
        testing::Running first(model.prepareEnvironmentIfNeeded());
        testing::await(model.prepareEnvironmentIfNeeded());
        QCOMPARE(w.calls, QStringList{u"prepare"_s});
        release.fire();
        QVERIFY(testing::spinUntil([&] { return first.done(); }));
        QCOMPARE(model.installStage(), InstallStage::permissions);
    }
};

TALLOWMERE_TEST(InstallPipelineTest)
#include "tst_InstallPipeline.moc"
