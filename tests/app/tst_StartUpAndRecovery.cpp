#include "OutsideWorld.h"
#include "support/FakeAgent.h"

using namespace tallowmere;
using namespace Qt::StringLiterals;
using enum RecoveryAction::Case;
using testing::utf8;

namespace {

constexpr char allFourChecks[] =
    "check:screenRecording,check:accessibility,check:automation,check:fullDiskAccess";

// The first calls made, as many as `expected` names (comma-separated).
QString firstCalls(const testing::OutsideWorld &w, const char *expected)
{
    return w.calls.mid(0, utf8(expected).split(u',', Qt::SkipEmptyParts).size()).join(u',');
}

const struct ResumeRow {
    const char *name, *stage;
    bool configured;
    const char *state, *calls;
    int focusRequests;
} resumeRows[] = {
    {"runtime, all four permissions already verified", "runtime\n", false, "setup cccppppppp waitingSetup",
     "prepare", 1},
    {"permissions, all verified", "permissions\n", false, "setup cccppppppp waitingSetup", "", 1},
    {"setup", "setup\n", true, "setup cccppppppp waitingSetup configured", "", 1},
    {"daemon", "daemon\n", true, "channel cccccccrpp starting configured pending", "daemon,started,binding",
     0},
    {"channel", "channel\n", true, "channel cccccccrpp starting configured pending", "binding", 0},
    {"handshake", "handshake\n", true, "handshake ccccccccrp starting configured pending", "", 0},
    {"daemon, not configured: nothing", "daemon\n", false, "daemon ccccccrppp starting pending", "", 0},
};

// Start-up resumes an unfinished installation, or re-checks a finished one once per process.
const struct StartRow {
    const char *name, *stage;
    bool configured;
    const char *awaiting, *calls; // awaiting nullptr: all four verified, none awaited
} startRows[] = {
    {"fresh", nullptr, false, nullptr, "prepare"},
    {"finished", nullptr, true, nullptr, allFourChecks},
    {"back from a pane", "permissions\n", true, "accessibility\n", "check:accessibility"},
};

// Screen recording alone is verified.
const struct ActivationRow {
    const char *name, *stage, *awaiting, *calls;
} activationRows[] = {
    {"permissions, nothing awaited: the step is the user's", "permissions\n", nullptr, ""},
    {"permissions, back from the current pane", "permissions\n", "accessibility\n", "check:accessibility"},
    {"permissions, another pane awaited", "permissions\n", "automation\n", ""},
    {"channel: the binding first, then the status", "channel\n", nullptr, "binding"},
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
        QCOMPARE(firstCalls(w, row.calls), utf8(row.calls));
        QCOMPARE(model.lastError(), std::nullopt);
        QCOMPARE(model.focusRevision(), revision + row.focusRequests);
    }

    void startUp_data() { testing::addRows(startRows); }
    void startUp()
    {
        const StartRow &row = testing::currentRow(startRows);
        testing::OutsideWorld w;
        w.at(row.stage, row.configured,
             row.awaiting ? "screenRecording\n" : testing::allFourPermissions.constData());
        w.fixture.write("mac-app-permission-awaiting", row.awaiting);
        AppModel &model = w.build(true);
        QVERIFY(testing::spinUntil([&] { return w.calls.size() >= utf8(row.calls).count(u',') + 1; }));
        testing::await(model.sceneDidBecomeActive()); // the first activation: no second re-check
        QCOMPARE(firstCalls(w, row.calls), utf8(row.calls));
        if (row.configured && !row.stage)
            QCOMPARE(w.calls.size(), 4);
    }

    void activation_data() { testing::addRows(activationRows); }
    void activation()
    {
        const ActivationRow &row = testing::currentRow(activationRows);
        testing::OutsideWorld w;
        w.at(row.stage, true, "screenRecording\n").fixture.write("mac-app-permission-awaiting", row.awaiting);
        testing::FakeAgent agent;
        agent.publish(w.fixture.profile);
        AppModel &model = w.build();
        testing::await(model.sceneDidBecomeActive());
        const bool channel = qstrcmp(row.stage, "channel\n") == 0;
        QCOMPARE(channel ? firstCalls(w, row.calls) : w.calls.join(u','), utf8(row.calls));
        QCOMPARE(agent.requests.size(), channel ? 1 : 0);
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
            state = testing::errorOf(model);
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
        for (const RecoveryAction &action :
             {RecoveryAction::of(openLogs), RecoveryAction::of(checkForUpdates),
              RecoveryAction::openSystemSettings()}) {
            testing::await(model->perform(action));
            QVERIFY(testing::spinUntil([&] { return testing::readFile(opened).count('\n') == lines + 1; }));
            ++lines;
        }
        qunsetenv("TALLOWMERE_SIM_DIR");
        qunsetenv("TALLOWMERE_SIM_STATE");
        const QString logs = fixture.file(u"logs"_s);
        QVERIFY(QFileInfo(logs).isDir());
        QCOMPARE(testing::readFile(opened),
                 QUrl::fromLocalFile(logs).toEncoded() +
                     "\nhttps://tallowmere.com/mac/releases\n"
                     "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility\n");
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
