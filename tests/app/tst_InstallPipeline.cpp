#include "OutsideWorld.h"
#include "support/SimulatedWorld.h"

#include "status/AgentStatusClient.h"

using namespace tallowmere;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(std::optional<QString>)

class InstallPipelineTest : public QObject {
    Q_OBJECT

    // A model waiting for the code (all four permissions verified), with the given code and name typed.
    static AppModel &atSetup(testing::OutsideWorld &w, const QString &code = u"tms2-abcd efgh jkmn"_s,
                             const QString &name = {})
    {
        w.fixture.write(u"mac-app-install-stage"_s, "permissions\n");
        w.fixture.write(u"mac-app-permissions-completed"_s, testing::allFourPermissions);
        AppModel &model = w.build();
        testing::await(model.resumeInstalledConfiguration());
        model.setSetupCode(code);
        model.setSetupAgentName(name);
        return model;
    }

private slots:
    void setupOutput_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("progress");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("packages");
        QTest::newRow("plain text and other events are ignored")
            << QStringList{u"npm notice"_s,
                           u"{\"type\":\"other\",\"phase\":\"verify\",\"status\":\"running\"}"_s, u"[1,2]"_s,
                           u"{\"type\":\"progress\",\"phase\":\"verify\"}"_s}
            << u"rppppppppp"_s << u"-"_s << u"-"_s;
        QTest::newRow("a running phase with its detail")
            << QStringList{u"{\"type\":\"progress\",\"phase\":\"verify\",\"status\":\"running\",\"detail\":\"d\"}"_s}
            << u"cccccrpppp"_s << u"d"_s << u"-"_s;
        QTest::newRow("a detail that is not a text")
            << QStringList{u"{\"type\":\"progress\",\"phase\":\"redeem\",\"status\":\"running\",\"detail\":5}"_s}
            << u"cccrpppppp"_s << u"-"_s << u"-"_s;
        QTest::newRow("package counts, only integers")
            << QStringList{u"{\"type\":\"packageProgress\",\"completed\":3,\"total\":12}"_s,
                           u"{\"type\":\"packageProgress\",\"completed\":2.5,\"total\":\"12\"}"_s,
                           u"{\"type\":\"packageProgress\",\"completed\":5.0}"_s}
            << u"rppppppppp"_s << u"-"_s << u"5/12"_s;
    }

    void setupOutput()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, progress);
        QFETCH(QString, detail);
        QFETCH(QString, packages);
        testing::ModelFixture fixture;
        auto model = fixture.build(); // a fresh installation: runtime preparation running
        model->beginProgress();
        for (const QString &line : lines)
            model->consumeSetupOutput(line);
        QCOMPARE(testing::progressLetters(model->setupProgress()), progress);
        QCOMPARE(model->setupProgressDetail().value_or(u"-"_s), detail);
        const auto counter = model->packageInstallProgress();
        QCOMPARE(counter ? u"%1/%2"_s.arg(counter->completed).arg(counter->total) : u"-"_s, packages);
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

    void setupFailures_data()
    {
        QTest::addColumn<QByteArray>("script"); // empty: the bundle lacks the resource script
        QTest::addColumn<QString>("error");
        QTest::newRow("exit 3 with its last error line")
            << QByteArray("echo 'Error: redeem failed' >&2; echo progress; exit 3")
            << u"SETUP_EXIT_3 Error: redeem failed"_s;
        QTest::newRow("a redacted line is never shown")
            << QByteArray("echo 'Error: TMS2-ABCD-EFGH-JKMN was refused'; exit 1")
            << u"SETUP_EXIT_1 操作失败：SETUP_EXIT_1"_s;
        QTest::newRow("the runner's own error, without its message")
            << QByteArray() << u"INSTALL_COMPONENT_MISSING 操作失败：INSTALL_COMPONENT_MISSING"_s;
    }

    void setupFailures()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, error);
        testing::OutsideWorld w;
        if (!script.isEmpty())
            w.setupScript(script);
        else {
            auto configuration = CLIService::Configuration::forHome(w.fixture.home.path());
            configuration.resourceScript.reset();
            w.cli = std::make_shared<CLIService>(configuration);
        }
        AppModel &model = atSetup(w);
        testing::await(model.submitSetupCode());
        QCOMPARE(w.error(), error);
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

    // A submission that another took over ends without touching anything when it returns.
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

    // Runtime preparation shows the runner's own error with its message; the retry runs the step again.
    void preparationFailures_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<std::optional<QString>>("line");
        QTest::addColumn<bool>("throws");
        QTest::addColumn<QString>("error");
        QTest::newRow("exit 2 without a line") << 2 << std::optional<QString>() << false
                                               << u"RUNTIME_PREPARE_EXIT_2 运行环境准备未完成，请重试。"_s;
        QTest::newRow("exit 2 with a line")
            << 2 << std::optional(u"Error: no disk"_s) << false << u"RUNTIME_PREPARE_EXIT_2 Error: no disk"_s;
        QTest::newRow("the runner's own error")
            << 0 << std::optional<QString>() << true
            << u"INSTALL_COMPONENT_MISSING 安装组件不完整，请重新安装 Tallowmere"_s;
    }

    void preparationFailures()
    {
        QFETCH(int, status);
        QFETCH(std::optional<QString>, line);
        QFETCH(bool, throws);
        QFETCH(QString, error);
        testing::OutsideWorld w;
        w.prepareResult = {status, line};
        if (throws)
            w.prepareThrows.emplace(u"INSTALL_COMPONENT_MISSING"_s,
                                    u"安装组件不完整，请重新安装 Tallowmere"_s);
        AppModel &model = w.build();
        testing::await(model.prepareEnvironmentIfNeeded());
        QCOMPARE(w.error(), error);
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
        w.prepareHold = [&release]() -> QCoro::Task<> { co_await release.wait(); };
        AppModel &model = w.build();
        testing::Running first(model.prepareEnvironmentIfNeeded());
        testing::await(model.prepareEnvironmentIfNeeded());
        QCOMPARE(w.calls, QStringList{u"prepare"_s});
        release.fire();
        QVERIFY(testing::spinUntil([&] { return first.done(); }));
        QCOMPARE(model.installStage(), InstallStage::permissions);
    }

    void daemonFailures_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("answers");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("checks");
        QTest::newRow("exit 1") << 1 << true << u"DAEMON_INSTALL_EXIT_1 Agent 启动未完成，请重试。"_s << 0;
        QTest::newRow("the agent never answers")
            << 0 << false << u"AGENT_START_TIMEOUT Agent 已安装，但未能在 15 秒内启动。"_s << 30;
    }

    void daemonFailures()
    {
        QFETCH(int, status);
        QFETCH(bool, answers);
        QFETCH(QString, error);
        QFETCH(int, checks);
        testing::OutsideWorld w;
        w.fixture.configure();
        w.fixture.write(u"mac-app-install-stage"_s, "daemon\n");
        w.daemonResult = {status, std::nullopt};
        w.agentAnswers = answers;
        AppModel &model = w.build();
        testing::Running running(model.finishDaemonInstallationIfNeeded());
        for (int i = 0; i < 40 && !running.done(); ++i)
            w.time.advance(500ms);
        QVERIFY(running.done());
        QCOMPARE(w.error(), error);
        QCOMPARE(w.calls.count(u"started"_s), checks);
        QCOMPARE(model.installStage(), InstallStage::daemon);
    }

    void workspaceLoginPage()
    {
        testing::OutsideWorld w;
        w.setupScript(
            "printf '%s\\n' '{\"type\":\"jitAuthorization\",\"provider\":\"google\",\"email\":\"a@b\","
            "\"password\":\"p\",\"authUrl\":\"https://accounts.google.com/o/oauth2/v2/auth?response_type="
            "code&client_id=c&state=s&redirect_uri=http://localhost:3000/api/profiles/google-oauth/"
            "callback\"}'"
            "; for i in $(seq 400); do [ -e \"$HOME/go\" ] && break; sleep 0.05; done; exit 5");
        AppModel &model = atSetup(w);
        testing::Running submission(model.submitSetupCode());
        QVERIFY(testing::spinUntil([&] { return model.setupAuthorization().has_value(); }));
        QCOMPARE(model.setupAuthorization()->email, u"a@b"_s);
        w.opensLinks = false;
        testing::await(model.openSetupAuthorization());
        QVERIFY(model.setupAuthorizationOpenFailed() && !model.isOpeningSetupAuthorization());
        w.opensLinks = true;
        testing::await(model.openSetupAuthorization());
        QVERIFY(!model.setupAuthorizationOpenFailed());
        QCOMPARE(w.calls, (QStringList{u"open accounts.google.com"_s, u"open accounts.google.com"_s}));
        testing::writeFile(w.fixture.home.path() + u"/go"_s, {});
        QVERIFY(testing::spinUntil([&] { return submission.done(); }));
        QCOMPARE(model.setupAuthorization(), std::nullopt); // a failure forgets the sign-in data
    }

    // A model built with no arguments in a fresh simulated Mac installs the agent by itself up to the
    // channel stage once given a code; the code never reaches a file of the home.
    void walkThroughTheSimulatedMac()
    {
        testing::SimulatedWorld world(
            {u"prepareDelayMs=0"_s, u"daemonInstallDelayMs=0"_s, u"setupDelayMs=0"_s});
        AppModel model({}, false);
        QCOMPARE(model.profileDirectory(), world.profile());
        testing::await(model.prepareEnvironmentIfNeeded());
        for (int i = 0; i < 4 && model.installStage() == InstallStage::permissions; ++i)
            testing::await(model.advancePermissionOnboarding());
        QCOMPARE(testing::installState(model), u"setup cccppppppp waitingSetup"_s);
        model.setSetupCode(u"tms2-abcd-efgh-jkmn"_s);
        testing::await(model.submitSetupCode());
        QCOMPARE(testing::errorOf(model), u"-"_s);
        QCOMPARE(model.installStage(), InstallStage::channel);
        QCOMPARE(testing::readFile(world.profile() + u"/mac-app-install-stage"_s), "channel\n");
        QVERIFY(testing::await(AgentStatusClient::create(world.profile())->fetch()).ready);
        QCOMPARE(world.leaks({u"TMS2-ABCD-EFGH-JKMN"_s, u"TMS2ABCDEFGHJKMN"_s, u"tms2-abcd-efgh-jkmn"_s}),
                 QStringList());
    }

    // The daemon installation fails and the application ends; started again, it picks up at that stage.
    void restartResumesTheDaemonStage()
    {
        testing::SimulatedWorld world({u"prepareDelayMs=0"_s, u"daemonInstallDelayMs=0"_s,
                                       u"setupDelayMs=0"_s, u"daemonInstallExit=3"_s});
        {
            AppModel model({}, false);
            testing::await(model.prepareEnvironmentIfNeeded());
            for (int i = 0; i < 4 && model.installStage() == InstallStage::permissions; ++i)
                testing::await(model.advancePermissionOnboarding());
            model.setSetupCode(u"TMS2-0000-1111-2222"_s);
            testing::await(model.submitSetupCode());
            QVERIFY(model.lastError());
            QVERIFY(model.lastError()->code.startsWith(u"DAEMON_INSTALL_EXIT_"_s));
        }
        QCOMPARE(testing::readFile(world.profile() + u"/mac-app-install-stage"_s), "daemon\n");
        world.set(u"daemonInstallExit"_s, u"0"_s);
        AppModel restarted({}, true);
        QVERIFY(testing::spinUntil([&] { return restarted.installStage() == InstallStage::channel; }));
        QCOMPARE(restarted.lastError(), std::nullopt);
    }
};

TALLOWMERE_TEST(InstallPipelineTest)
#include "tst_InstallPipeline.moc"
