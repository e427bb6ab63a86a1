#include "OutsideWorld.h"
#include "status/FakeAgent.h"

using namespace tallowmere;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(RecoveryAction)
Q_DECLARE_METATYPE(CLIResult)

namespace {

const QStringList allFourChecks{u"check:screenRecording"_s, u"check:accessibility"_s, u"check:automation"_s,
                                u"check:fullDiskAccess"_s};

// A world over these state files: a stage (empty: none), the configuration, the verified permissions.
void prepare(testing::OutsideWorld &w, const QByteArray &stage, bool configured,
             const QByteArray &completed = testing::allFourPermissions)
{
    if (!stage.isEmpty())
        w.fixture.write(u"mac-app-install-stage"_s, stage);
    if (configured)
        w.fixture.configure();
    w.fixture.write(u"mac-app-permissions-completed"_s, completed);
}

} // namespace

class StartUpAndRecoveryTest : public QObject {
    Q_OBJECT

private slots:
    void resume_data()
    {
        QTest::addColumn<QByteArray>("stage");
        QTest::addColumn<bool>("configured");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<int>("focusRequests");
        QTest::newRow("runtime, all four permissions already verified")
            << QByteArray("runtime\n") << false << u"setup cccppppppp waitingSetup"_s
            << QStringList{u"prepare"_s} << 1;
        QTest::newRow("permissions, all verified")
            << QByteArray("permissions\n") << false << u"setup cccppppppp waitingSetup"_s << QStringList{}
            << 1;
        QTest::newRow("setup") << QByteArray("setup\n") << true
                               << u"setup cccppppppp waitingSetup configured"_s << QStringList{} << 1;
        QTest::newRow("daemon") << QByteArray("daemon\n") << true
                                << u"channel cccccccrpp starting configured pending"_s
                                << QStringList{u"daemon"_s, u"started"_s, u"binding"_s} << 0;
        QTest::newRow("channel") << QByteArray("channel\n") << true
                                 << u"channel cccccccrpp starting configured pending"_s
                                 << QStringList{u"binding"_s} << 0;
        QTest::newRow("handshake") << QByteArray("handshake\n") << true
                                   << u"handshake ccccccccrp starting configured pending"_s << QStringList{}
                                   << 0;
        QTest::newRow("daemon, not configured: nothing")
            << QByteArray("daemon\n") << false << u"daemon ccccccrppp starting pending"_s << QStringList{}
            << 0;
        QTest::newRow("channel, not configured: nothing")
            << QByteArray("channel\n") << false << u"channel cccccccrpp starting pending"_s << QStringList{}
            << 0;
    }

    void resume()
    {
        QFETCH(QByteArray, stage);
        QFETCH(bool, configured);
        QFETCH(QString, state);
        QFETCH(QStringList, calls);
        QFETCH(int, focusRequests);
        testing::OutsideWorld w;
        prepare(w, stage, configured);
        AppModel &model = w.build();
        model.setLastError(DisplayError::from(u"OLD"_s, std::nullopt));
        const int revision = model.focusRevision();
        testing::await(model.resumeInstalledConfiguration());
        QCOMPARE(testing::installState(model), state);
        QCOMPARE(w.calls.mid(0, calls.size()), calls);
        QCOMPARE(model.lastError(), std::nullopt);
        QCOMPARE(model.focusRevision(), revision + focusRequests);
    }

    // Start-up resumes an unfinished installation, or re-checks a finished one once per process.
    void startUp_data()
    {
        QTest::addColumn<QByteArray>("stage");
        QTest::addColumn<bool>("configured");
        QTest::addColumn<QByteArray>("awaiting");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("fresh") << QByteArray() << false << QByteArray() << QStringList{u"prepare"_s};
        QTest::newRow("finished") << QByteArray() << true << QByteArray() << allFourChecks;
        QTest::newRow("back from a pane")
            << QByteArray("permissions\n") << true << QByteArray("accessibility\n")
            << QStringList{u"check:accessibility"_s};
    }

    void startUp()
    {
        QFETCH(QByteArray, stage);
        QFETCH(bool, configured);
        QFETCH(QByteArray, awaiting);
        QFETCH(QStringList, calls);
        testing::OutsideWorld w;
        prepare(w, stage, configured, awaiting.isEmpty() ? testing::allFourPermissions : "screenRecording\n");
        if (!awaiting.isEmpty())
            w.fixture.write(u"mac-app-permission-awaiting"_s, awaiting);
        AppModel &model = w.build(true);
        QVERIFY(testing::spinUntil([&] { return w.calls.size() >= calls.size(); }));
        testing::await(model.sceneDidBecomeActive()); // the first activation: no second re-check
        QCOMPARE(w.calls.mid(0, calls.size()), calls);
        if (configured && stage.isEmpty())
            QCOMPARE(w.calls.size(), 4);
    }

    void activation_data()
    {
        QTest::addColumn<QByteArray>("stage");
        QTest::addColumn<QByteArray>("awaiting");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("permissions, nothing awaited: the step is the user's")
            << QByteArray("permissions\n") << QByteArray() << QStringList{};
        QTest::newRow("permissions, back from the current pane")
            << QByteArray("permissions\n") << QByteArray("screenRecording\n")
            << QStringList{u"check:screenRecording"_s};
        QTest::newRow("permissions, another pane awaited")
            << QByteArray("permissions\n") << QByteArray("accessibility\n") << QStringList{};
        QTest::newRow("channel: the binding first, then the status")
            << QByteArray("channel\n") << QByteArray() << QStringList{u"binding"_s};
    }

    void activation()
    {
        QFETCH(QByteArray, stage);
        QFETCH(QByteArray, awaiting);
        QFETCH(QStringList, calls);
        testing::OutsideWorld w;
        prepare(w, stage, true, "\n");
        if (!awaiting.isEmpty())
            w.fixture.write(u"mac-app-permission-awaiting"_s, awaiting);
        testing::FakeAgent agent;
        agent.publish(w.fixture.profile);
        AppModel &model = w.build();
        testing::await(model.sceneDidBecomeActive());
        QCOMPARE(w.calls.mid(0, calls.size()), calls);
        if (stage != "channel\n")
            QCOMPARE(w.calls.size(), calls.size());
        QCOMPARE(agent.requests.size(), stage == "channel\n" ? 1 : 0);
    }

    void recovery_data()
    {
        QTest::addColumn<RecoveryAction>("action");
        QTest::addColumn<bool>("finished"); // configured, no stage; else a fresh model
        QTest::addColumn<CLIResult>("daemon");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("after"); // the error, the prompt or the focus afterwards
        using Case = RecoveryAction::Case;
        const CLIResult ok{0, std::nullopt};
        QTest::newRow("settings with a kind: the prompt first")
            << RecoveryAction::openSystemSettings(PermissionKind::automation) << false << ok << QStringList{}
            << u"prompt automation"_s;
        QTest::newRow("settings without a kind") << RecoveryAction::openSystemSettings() << false << ok
                                                 << QStringList{u"settings:none"_s} << u"-"_s;
        QTest::newRow("none") << RecoveryAction::of(Case::none) << false << ok << QStringList{} << u"-"_s;
        QTest::newRow("new code") << RecoveryAction::of(Case::enterInstallCode) << false << ok
                                  << QStringList{} << u"focus"_s;
        QTest::newRow("retry, finished: the permissions re-checked")
            << RecoveryAction::of(Case::retryInstall) << true << ok << allFourChecks << u"-"_s;
        QTest::newRow("restart") << RecoveryAction::of(Case::restartAgent) << true << ok
                                 << QStringList{u"daemon"_s} << u"-"_s;
        QTest::newRow("restart, exit 1")
            << RecoveryAction::of(Case::restartAgent) << true << CLIResult{1, u"pm2 failed"_s}
            << QStringList{u"daemon"_s} << u"AGENT_RESTART_FAILED pm2 failed"_s;
        QTest::newRow("restart, exit 1 with a redacted line")
            << RecoveryAction::of(Case::restartAgent) << true << CLIResult{1, u"Email: [REDACTED] failed"_s}
            << QStringList{u"daemon"_s} << u"AGENT_RESTART_FAILED 操作失败：AGENT_RESTART_FAILED"_s;
        QTest::newRow("re-check permissions")
            << RecoveryAction::of(Case::recheckPermissions) << true << ok << allFourChecks << u"-"_s;
    }

    void recovery()
    {
        QFETCH(RecoveryAction, action);
        QFETCH(bool, finished);
        QFETCH(CLIResult, daemon);
        QFETCH(QStringList, calls);
        QFETCH(QString, after);
        testing::OutsideWorld w;
        if (finished)
            prepare(w, {}, true);
        w.daemonResult = daemon;
        AppModel &model = w.build();
        model.setLastError(DisplayError::from(u"PREVIOUS"_s, std::nullopt));
        const int revision = model.focusRevision();
        testing::await(model.perform(action));
        QCOMPARE(w.calls, calls);
        QString state = u"-"_s;
        if (model.permissionPromptKind())
            state = u"prompt "_s + rawValue(*model.permissionPromptKind());
        else if (model.focusRevision() == revision + 1 && model.focusTarget() == FocusTarget::setupCode())
            state = u"focus"_s;
        else if (model.lastError() && model.lastError()->code != u"PREVIOUS")
            state = testing::errorOf(model);
        QCOMPARE(state, after);
        // Only a successful restart clears the error it was offered for.
        const bool cleared = action.action == RecoveryAction::Case::restartAgent && daemon.status == 0;
        QCOMPARE(!model.lastError(), cleared);
    }

    void logsAndReleasesOpenInTheBrowser()
    {
        testing::OutsideWorld w;
        AppModel &model = w.build();
        QTemporaryDir state;
        qputenv("TALLOWMERE_SIM_DIR", testing::sourcePath(u"sim"_s).toUtf8());
        qputenv("TALLOWMERE_SIM_STATE", (state.path() + u"/sim-state"_s).toUtf8());
        const QString opened = state.path() + u"/sim-state.d/opened"_s;
        const auto openedLines = [&] { return testing::readFile(opened).count('\n'); };
        testing::await(model.perform(RecoveryAction::of(RecoveryAction::Case::openLogs)));
        QVERIFY(testing::spinUntil([&] { return openedLines() == 1; })); // the browser opens on its own time
        testing::await(model.perform(RecoveryAction::of(RecoveryAction::Case::checkForUpdates)));
        QVERIFY(testing::spinUntil([&] { return openedLines() == 2; }));
        qunsetenv("TALLOWMERE_SIM_DIR");
        qunsetenv("TALLOWMERE_SIM_STATE");
        const QString logs = w.fixture.profile + u"/logs"_s;
        QVERIFY(QFileInfo(logs).isDir());
        QCOMPARE(testing::readFile(opened),
                 QUrl::fromLocalFile(logs).toEncoded() + "\nhttps://tallowmere.com/mac/releases\n");
    }

    void shellActions()
    {
        testing::OutsideWorld w;
        AppModel &model = w.build();
        model.setLastError(DisplayError::from(u"PREVIOUS"_s, std::nullopt));
        QVERIFY(testing::await(model.runCLIAction(u"exit 0"_s, u"ACTION_FAILED"_s)));
        QCOMPARE(model.lastError()->code, u"PREVIOUS"_s);
        QVERIFY(!testing::await(model.runCLIAction(u"echo 'Error: no luck'; exit 2"_s, u"ACTION_FAILED"_s)));
        QCOMPARE(testing::errorOf(model), u"ACTION_FAILED Error: no luck"_s);
    }
};

TALLOWMERE_TEST(StartUpAndRecoveryTest)
#include "tst_StartUpAndRecovery.moc"
