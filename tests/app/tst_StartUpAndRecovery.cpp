#include "OutsideWorld.h"
#include "support/FakeAgent.h"

using namespace tallowmere;
using namespace Qt::StringLiterals;
using enum RecoveryAction::Case;
using testing::utf8;

namespace {

constexpr char allFourChecks[] =
    "check:screenRecording,check:accessibility,check:automation,check:fullDiskAccess";

const struct ResumeRow {
    const char *name, *stage;
    bool configured;
    const char *state, *calls;
    int focusRequests;
} resumeRows[] = {
    {"runtime, all four permissions already verified", "runtime\n", false, "setup cccppppppp waitingSetup",
     "prepare", 1},
    {"permissions, all verified", "permissions\n", false, "setup cccppppppp waitingSetup", "", 1},
    // The channel stage asks for the binding page, and so does the monitoring loop it starts: the fake
    // answers at once, so the first request is over before the second is made.
    {"daemon", "daemon\n", true, "channel cccccccrpp starting configured pending",
     "daemon,started,binding,binding", 0},
    {"channel", "channel\n", true, "channel cccccccrpp starting configured pending", "binding", 0},
    {"handshake", "handshake\n", true, "handshake ccccccccrp starting configured pending", "", 0},
    {"daemon, not configured: nothing", "daemon\n", false, "daemon ccccccrppp starting pending", "", 0},
};

// Start-up (`launch`) resumes an unfinished installation or re-checks a finished one once per process; the
// first activation after it does nothing more. An activation goes back to what the stage waits for. The
// permissions verified are all four without a stage, else screen recording alone.
const struct StartRow {
    const char *name, *stage;
    bool configured;
    const char *awaiting;
    bool launch;
    const char *calls;
    int samples; // the agent's status fetched by an activation
} startRows[] = {
    {"launch, fresh", nullptr, false, nullptr, true, "prepare", 0},
    {"launch, finished", nullptr, true, nullptr, true, allFourChecks, 0},
    {"launch, back from a pane", "permissions\n", true, "accessibility\n", true, "check:accessibility", 0},
    {"permissions, nothing awaited: the step is the user's", "permissions\n", true, nullptr, false, "", 0},
    {"permissions, back from the current pane", "permissions\n", true, "accessibility\n", false,
     "check:accessibility", 0},
    {"permissions, another pane awaited", "permissions\n", true, "automation\n", false, "", 0},
    {"channel: the binding first, then the status", "channel\n", true, nullptr, false, "binding", 1},
};

const struct RecoveryRow {
    const char *name;
    RecoveryAction action;
    bool finished; // configured, no stage; else a fresh model
    CLIResult daemon;
    const char *calls, *after; // after: the error, the prompt or the focus afterwards
} recoveryRows[] = {
    {"settings with a kind: the prompt first", RecoveryAction::openSystemSettings(PermissionKind::automation), false,
     {}, "", "prompt automation"},
    {"settings without a kind", RecoveryAction::openSystemSettings(), false, {}, "settings:none", "-"},
    {"new code", RecoveryAction::of(enterInstallCode), false, {}, "", "focus"},
    {"retry, finished: the permissions re-checked", RecoveryAction::of(retryInstall), true, {}, allFourChecks, "-"},
    {"restart", RecoveryAction::of(restartAgent), true, {}, "daemon", "-"},
    {"restart, exit 1", RecoveryAction::of(restartAgent), true, {1, u"pm2 failed"_s}, "daemon",
     "AGENT_RESTART_FAILED pm2 failed"},
    {"re-check permissions", RecoveryAction::of(recheckPermissions), true, {}, allFourChecks, "-"},
};

} // namespace

class StartUpAndRecoveryTest : public QObject {
    Q_OBJECT

private slots:
    void resume_data() { testing::addRows(resumeRows); }
    void resume()
    {
        const ResumeRow &row = testing::currentRow(resumeRows);
        testing::OutsideWorld w;
        AppModel &model = w.at(row.stage, row.configured).build();
        model.setLastError(DisplayError::from(u"OLD"_s, std::nullopt));
        const int revision = model.focusRevision();
        testing::await(model.resumeInstalledConfiguration());
        QCOMPARE(testing::installState(model), utf8(row.state));
        QCOMPARE(w.calls.join(u','), utf8(row.calls));
        QCOMPARE(model.lastError(), std::nullopt);
        QCOMPARE(model.focusRevision(), revision + row.focusRequests);
    }

    void startUpAndActivation_data() { testing::addRows(startRows); }
    void startUpAndActivation()
    {
        const StartRow &row = testing::currentRow(startRows);
        testing::OutsideWorld w;
        w.at(row.stage, row.configured,
             row.stage ? "screenRecording\n" : testing::allFourPermissions.constData())
            .fixture.write("mac-app-permission-awaiting", row.awaiting);
        testing::FakeAgent agent;
        agent.publish(w.fixture.profile);
        AppModel &model = w.build(row.launch);
        if (row.launch)
            QVERIFY(testing::spinUntil([&] { return w.calls.size() >= utf8(row.calls).count(u',') + 1; }));
        testing::await(model.sceneDidBecomeActive());
        QCOMPARE(w.calls.join(u','), utf8(row.calls));
        if (!row.launch) // a launch starts the status loop as well
            QCOMPARE(agent.requests.size(), row.samples);
    }

    void recovery_data() { testing::addRows(recoveryRows); }
    void recovery()
    {
        const RecoveryRow &row = testing::currentRow(recoveryRows);
        testing::OutsideWorld w;
        if (row.finished)
            w.at(nullptr, true);
        w.daemonResult = row.daemon;
        AppModel &model = w.build();
        model.setLastError(DisplayError::from(u"PREVIOUS"_s, std::nullopt));
        const int revision = model.focusRevision();
        testing::await(model.perform(row.action));
        QCOMPARE(w.calls.join(u','), utf8(row.calls));
        QString state = u"-"_s;
        if (model.permissionPromptKind())
            state = u"prompt "_s + rawValue(*model.permissionPromptKind());
        else if (model.focusRevision() == revision + 1 && model.focusTarget() == FocusTarget::setupCode())
            state = u"focus"_s;
        else if (model.lastError() && model.lastError()->code != u"PREVIOUS")
            state = w.error();
        QCOMPARE(state, utf8(row.after));
        QCOMPARE(!model.lastError(), row.action.action == restartAgent && row.daemon.status == 0);
    }

    // The default wiring opens pages through the platform layer; inside the simulated Mac its "open"
    // notes each one. Without a kind, System Settings opens on the Accessibility pane.
    void opensThroughThePlatform()
    {
        testing::ModelFixture fixture;
        const auto model = fixture.build();
        QTemporaryDir state;
        qputenv("TALLOWMERE_SIM_DIR", testing::sourcePath(u"sim"_s).toUtf8());
        qputenv("TALLOWMERE_SIM_STATE", (state.path() + u"/sim-state"_s).toUtf8());
        const QString opened = state.path() + u"/sim-state.d/opened"_s;
        qsizetype lines = 0;
        for (const RecoveryAction &action : {RecoveryAction::of(openLogs), RecoveryAction::of(checkForUpdates),
                                             RecoveryAction::openSystemSettings()}) {
            testing::await(model->perform(action));
            QVERIFY(testing::spinUntil([&, n = ++lines] { return testing::readFile(opened).count('\n') == n; }));
        }
        qunsetenv("TALLOWMERE_SIM_DIR");
        qunsetenv("TALLOWMERE_SIM_STATE");
        QVERIFY(QFileInfo(fixture.file(u"logs"_s)).isDir());
        QCOMPARE(testing::readFile(opened),
                 QUrl::fromLocalFile(fixture.file(u"logs"_s)).toEncoded() + "\nhttps://tallowmere.com/mac/releases\n"
                 "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility\n");
    }
};

TALLOWMERE_TEST(StartUpAndRecoveryTest)
#include "tst_StartUpAndRecovery.moc"
