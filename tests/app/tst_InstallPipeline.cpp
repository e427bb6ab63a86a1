#include "OutsideWorld.h"

using namespace tallowmere;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using testing::utf8;

namespace {

// A model waiting for the code (all four permissions verified), with the given code and name typed.
AppModel &atSetup(testing::OutsideWorld &w, const QString &code = u"tms2-abcd efgh jkmn"_s,
                  const QString &name = {})
{
    AppModel &model = w.at("permissions\n", false).build();
    testing::await(model.resumeInstalledConfiguration());
    model.setSetupCode(code);
    model.setSetupAgentName(name);
    return model;
}

// The setup's script (nullptr: the bundle lacks the resource script) and the error shown.
const struct SetupFailureRow {
    const char *name, *script, *error;
} setupFailureRows[] = {
    {"exit 3 with its last error line", "echo 'Error: redeem failed' >&2; echo progress; exit 3",
     "SETUP_EXIT_3 Error: redeem failed"},
    {"a redacted line is never shown", "echo 'Error: TMS2-ABCD-EFGH-JKMN was refused'; exit 1",
     "SETUP_EXIT_1 操作失败：SETUP_EXIT_1"},
    {"the runner's own error, without its message", nullptr,
     "INSTALL_COMPONENT_MISSING 操作失败：INSTALL_COMPONENT_MISSING"},
};

// A failed step keeps its stage; the retry runs it again. Runtime preparation shows the runner's own error
// with its message; the daemon's start is checked 30 times. The step ("runtime" or "daemon"), its exit status
// and last error line, whether it throws the runner's own error, whether the agent answers, the error, the
// start checks, and the install state after the failure and after the retry.
const struct StepFailureRow {
    const char *name, *stage;
    int status;
    const char *line;
    bool throws, answers;
    const char *error;
    int checks;
    const char *failed, *retried;
} stepFailureRows[] = {
    {"runtime: exit 2 without a line", "runtime", 2, nullptr, false, true,
     "RUNTIME_PREPARE_EXIT_2 运行环境准备未完成，请重试。", 0, "runtime fppppppppp error pending",
     "permissions ccrppppppp starting pending"},
    {"runtime: exit 2 with a line", "runtime", 2, "Error: no disk", false, true,
     "RUNTIME_PREPARE_EXIT_2 Error: no disk", 0, "runtime fppppppppp error pending",
     "permissions ccrppppppp starting pending"},
    {"runtime: the runner's own error", "runtime", 0, nullptr, true, true,
     "INSTALL_COMPONENT_MISSING 安装组件不完整，请重新安装 Tallowmere", 0, "runtime fppppppppp error pending",
     "permissions ccrppppppp starting pending"},
    {"daemon: exit 1", "daemon", 1, nullptr, false, true, "DAEMON_INSTALL_EXIT_1 Agent 启动未完成，请重试。", 0,
     "daemon ccccccfppp error configured pending", "channel cccccccrpp starting configured pending"},
    {"daemon: exit 3 with its line", "daemon", 3, "Agent 安装失败，请重试（错误码 3）。", false, true,
     "DAEMON_INSTALL_EXIT_3 Agent 安装失败，请重试（错误码 3）。", 0, "daemon ccccccfppp error configured pending",
     "channel cccccccrpp starting configured pending"},
    {"daemon: the agent never answers", "daemon", 0, nullptr, false, false,
     "AGENT_START_TIMEOUT Agent 已安装，但未能在 15 秒内启动。", 30, "daemon ccccccfppp error configured pending",
     "channel cccccccrpp starting configured pending"},
};

} // namespace

class InstallPipelineTest : public QObject {
    Q_OBJECT

private slots:
    // The code travels on standard input only; a workspace code takes its name, trimmed and in lower case.
    void workspaceCodeTakesItsName()
    {
        testing::OutsideWorld w;
        w.setupScript("exit 4");
        AppModel &model = atSetup(w, u"tmi1-0000-1111-2222"_s, u"  My-Agent-1 \n"_s);
        testing::await(model.submitSetupCode());
        QCOMPARE(testing::readFile(w.fixture.home.path() + u"/args"_s), "--setup-only\nmy-agent-1\n");
        QCOMPARE(testing::readFile(w.fixture.home.path() + u"/stdin"_s), "TMI1-0000-1111-2222\n");
        QCOMPARE(model.setupCode(), QString()); // not kept once submitted
    }

    void setupFailures_data() { testing::addRows(setupFailureRows); }
    void setupFailures()
    {
        const SetupFailureRow &row = testing::currentRow(setupFailureRows);
        testing::OutsideWorld w;
        if (row.script) {
            w.setupScript(row.script);
        } else {
            auto configuration = CLIService::Configuration::forHome(w.fixture.home.path());
            configuration.resourceScript.reset();
            w.cli = std::make_shared<CLIService>(configuration);
        }
        AppModel &model = atSetup(w);
        testing::await(model.submitSetupCode());
        QCOMPARE(w.error(), utf8(row.error));
        QCOMPARE(testing::installState(model), u"setup cccfpppppp error"_s);
        QVERIFY(!model.isSubmittingSetup());
        QVERIFY(w.calls.isEmpty());
    }

    void invalidCodeStartsNothing()
    {
        testing::OutsideWorld w;
        w.setupScript("touch \"$HOME/ran\"");
        AppModel &model = atSetup(w, u"TMS2-ABCD"_s);
        const int revision = model.focusRevision();
        testing::await(model.submitSetupCode());
        QCOMPARE(w.error(), u"SETUP_CODE_FORMAT 操作失败：SETUP_CODE_FORMAT"_s);
        QCOMPARE(model.focusRevision(), revision + 1);
        QCOMPARE(model.focusTarget(), FocusTarget::setupCode());
        QVERIFY(!QFileInfo::exists(w.fixture.home.path() + u"/ran"_s));
        QCOMPARE(model.setupCode(), u"TMS2-ABCD"_s);
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
            w.prepareThrows.emplace(u"INSTALL_COMPONENT_MISSING"_s, u"安装组件不完整，请重新安装 Tallowmere"_s);
        w.agentAnswers = row.answers;
        AppModel &model = (daemon ? w.at("daemon\n", true) : w).build();
        QVERIFY(w.settle(daemon ? model.finishDaemonInstallationIfNeeded() : model.prepareEnvironmentIfNeeded()));
        QCOMPARE(w.error(), utf8(row.error));
        QCOMPARE(testing::installState(model), utf8(row.failed));
        QCOMPARE(w.calls.count(u"started"_s), row.checks);
        QVERIFY(!model.isPreparingEnvironment());
        result = {0, std::nullopt};
        w.prepareThrows.reset();
        w.agentAnswers = true;
        QVERIFY(w.settle(model.perform(RecoveryAction::of(RecoveryAction::Case::retryInstall))));
        QCOMPARE(testing::installState(model), utf8(row.retried));
        QCOMPARE(model.lastError(), std::nullopt);
        QCOMPARE(w.fixture.read("mac-app-install-stage"), utf8(row.retried).section(u' ', 0, 0).toUtf8() + '\n');
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
