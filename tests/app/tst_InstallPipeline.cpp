#include "OutsideWorld.h"
#include "support/SimulatedWorld.h"

#include "status/AgentStatusClient.h"

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

// Lines of the setup's output, one per line, fed to an installation whose progress starts afresh.
const struct OutputRow {
    const char *name, *lines, *progress, *detail, *packages;
} outputRows[] = {
    {"plain text and other events are ignored",
     "npm notice\n{\"type\":\"other\",\"phase\":\"verify\",\"status\":\"running\"}\n[1,2]\n"
     "{\"type\":\"progress\",\"phase\":\"verify\"}",
     "rppppppppp", "-", "-"},
    {"a running phase with its detail",
     "{\"type\":\"progress\",\"phase\":\"verify\",\"status\":\"running\",\"detail\":\"d\"}", "cccccrpppp",
     "d", "-"},
    {"a detail that is not a text",
     "{\"type\":\"progress\",\"phase\":\"redeem\",\"status\":\"running\",\"detail\":5}", "cccrpppppp", "-",
     "-"},
    {"package counts, only integers",
     "{\"type\":\"packageProgress\",\"completed\":3,\"total\":12}\n"
     "{\"type\":\"packageProgress\",\"completed\":2.5,\"total\":\"12\"}\n{\"type\":\"packageProgress\","
     "\"completed\":5.0}",
     "rppppppppp", "-", "5/12"},
};

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

// Runtime preparation shows the runner's own error with its message.
const struct PreparationRow {
    const char *name;
    int status;
    const char *line;
    bool throws;
    const char *error;
} preparationRows[] = {
    {"exit 2 without a line", 2, nullptr, false, "RUNTIME_PREPARE_EXIT_2 运行环境准备未完成，请重试。"},
    {"exit 2 with a line", 2, "Error: no disk", false, "RUNTIME_PREPARE_EXIT_2 Error: no disk"},
    {"the runner's own error", 0, nullptr, true,
     "INSTALL_COMPONENT_MISSING 安装组件不完整，请重新安装 Tallowmere"},
};

const struct DaemonRow {
    const char *name;
    int status;
    bool answers;
    const char *error;
    int checks;
} daemonRows[] = {
    {"exit 1", 1, true, "DAEMON_INSTALL_EXIT_1 Agent 启动未完成，请重试。", 0},
    {"the agent never answers", 0, false, "AGENT_START_TIMEOUT Agent 已安装，但未能在 15 秒内启动。", 30},
};

} // namespace

class InstallPipelineTest : public QObject {
    Q_OBJECT

private slots:
    void setupOutput_data() { testing::addRows(outputRows); }
    void setupOutput()
    {
        const OutputRow &row = testing::currentRow(outputRows);
        testing::ModelFixture fixture;
        auto model = fixture.build();
        model->setSetupProgressDetail(u"x"_s);
        model->updatePackageInstallProgress(1, 2);
        model->beginProgress(); // starts afresh: runtime preparation running, no detail, no counter
        for (const QString &line : utf8(row.lines).split(u'\n'))
            model->consumeSetupOutput(line);
        QCOMPARE(testing::progressLetters(model->setupProgress()), utf8(row.progress));
        QCOMPARE(model->setupProgressDetail().value_or(u"-"_s), utf8(row.detail));
        const auto counter = model->packageInstallProgress();
        QCOMPARE(counter ? u"%1/%2"_s.arg(counter->completed).arg(counter->total) : u"-"_s,
                 utf8(row.packages));
    }

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

    // A failed preparation keeps its stage; the retry runs the step again.
    void preparationFailures_data() { testing::addRows(preparationRows); }
    void preparationFailures()
    {
        const PreparationRow &row = testing::currentRow(preparationRows);
        testing::OutsideWorld w;
        w.prepareResult = {row.status, testing::optionalText(row.line)};
        if (row.throws)
            w.prepareThrows.emplace(u"INSTALL_COMPONENT_MISSING"_s,
                                    u"安装组件不完整，请重新安装 Tallowmere"_s);
        AppModel &model = w.build();
        testing::await(model.prepareEnvironmentIfNeeded());
        QCOMPARE(w.error(), utf8(row.error));
        QCOMPARE(testing::installState(model), u"runtime fppppppppp error pending"_s);
        QVERIFY(!model.isPreparingEnvironment());
        w.prepareResult = {0, std::nullopt};
        w.prepareThrows.reset();
        testing::await(model.perform(RecoveryAction::of(RecoveryAction::Case::retryInstall)));
        QCOMPARE(testing::installState(model), u"permissions ccrppppppp starting pending"_s);
        QCOMPARE(model.lastError(), std::nullopt);
        QCOMPARE(w.fixture.read("mac-app-install-stage"), "permissions\n");
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

    void daemonFailures_data() { testing::addRows(daemonRows); }
    void daemonFailures()
    {
        const DaemonRow &row = testing::currentRow(daemonRows);
        testing::OutsideWorld w;
        w.daemonResult = {row.status, std::nullopt};
        w.agentAnswers = row.answers;
        AppModel &model = w.at("daemon\n", true).build();
        QVERIFY(w.settle(model.finishDaemonInstallationIfNeeded()));
        QCOMPARE(w.error(), utf8(row.error));
        QCOMPARE(w.calls.count(u"started"_s), row.checks);
        QCOMPARE(model.installStage(), InstallStage::daemon);
    }

    // A model built with no arguments in a fresh simulated Mac installs the agent by itself once given a
    // code; the code never reaches a file of the home. The daemon installation fails and the application
    // ends; started again, it picks up at that stage and reaches the channel stage.
    void walkThroughTheSimulatedMac()
    {
        testing::SimulatedWorld world({u"prepareDelayMs=0"_s, u"daemonInstallDelayMs=0"_s,
                                       u"setupDelayMs=0"_s, u"daemonInstallExit=3"_s});
        {
            AppModel model({}, false);
            testing::await(model.prepareEnvironmentIfNeeded());
            for (int i = 0; i < 4 && model.installStage() == InstallStage::permissions; ++i)
                testing::await(model.advancePermissionOnboarding());
            QCOMPARE(testing::installState(model), u"setup cccppppppp waitingSetup"_s);
            model.setSetupCode(u"tms2-abcd-efgh-jkmn"_s);
            testing::await(model.submitSetupCode());
            QCOMPARE(testing::errorOf(model),
                     u"DAEMON_INSTALL_EXIT_1 Agent 安装失败，请重试（错误码 3）。"_s);
        }
        QCOMPARE(testing::readFile(world.profile() + u"/mac-app-install-stage"_s), "daemon\n");
        world.set(u"daemonInstallExit"_s, u"0"_s);
        AppModel restarted({}, true);
        QVERIFY(testing::spinUntil([&] { return restarted.installStage() == InstallStage::channel; }));
        QCOMPARE(restarted.lastError(), std::nullopt);
        QCOMPARE(testing::readFile(world.profile() + u"/mac-app-install-stage"_s), "channel\n");
        QVERIFY(testing::await(AgentStatusClient::create(world.profile())->fetch()).ready);
        QCOMPARE(world.leaks({u"TMS2-ABCD-EFGH-JKMN"_s, u"TMS2ABCDEFGHJKMN"_s, u"tms2-abcd-efgh-jkmn"_s}),
                 QStringList());
    }
};

TALLOWMERE_TEST(InstallPipelineTest)
#include "tst_InstallPipeline.moc"
