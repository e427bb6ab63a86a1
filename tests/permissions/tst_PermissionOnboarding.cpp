#include "app/ModelFixture.h"
#include "app/PersistedState.h"
#include "cli/CLIService.h"

using namespace tallowmere;
using namespace Qt::StringLiterals;
using namespace tallowmere::persisted;
using namespace std::chrono_literals;
using testing::ModelFixture;
using testing::utf8;

namespace {

// A check's answer, given when `release` fires (at once without one).
QCoro::Task<bool> answer(bool value, platform::Wakeup *release = nullptr)
{
    if (release)
        co_await release->wait();
    co_return value;
}

// A check that is a real child of the real runner, running until stopped.
QCoro::Task<bool> longCheck(std::shared_ptr<CLIService> cli)
{
    QStringList arguments{u"-c"_s, u"sleep 30"_s};
    const CLIResult result = co_await cli->execute(std::move(arguments), std::nullopt, {}, {});
    co_return result.status == 0;
}

constexpr char allFour[] = "screenRecording\naccessibility\nautomation\nfullDiskAccess\n";

// A model whose checks, preparations and System Settings are fakes that answer from `granted` and
// record what was asked, by raw name. With `cli`, a check is a real child of that runner.
struct Onboarding {
    testing::VirtualTime time;
    ModelFixture fixture;
    QSet<PermissionKind> granted;
    bool preparationGrants = false;
    platform::Wakeup *release = nullptr;
    std::shared_ptr<CLIService> cli;
    QStringList checks, preparations, opened;
    std::unique_ptr<AppModel> model;

    explicit Onboarding(const char *completed = nullptr, const char *stage = "permissions\n",
                        bool configured = false)
    {
        fixture.write(completedPermissionsFile, completed);
        fixture.write(installStageFile, stage);
        if (configured)
            fixture.configure();
    }

    AppModel &build(bool autoResume = false)
    {
        AppModel::Operations operations;
        operations.permissionCheck = [this](PermissionKind kind) {
            checks << rawValue(kind);
            return cli ? longCheck(cli) : answer(granted.contains(kind), release);
        };
        operations.permissionPrepare = [this](PermissionKind kind) {
            preparations << rawValue(kind);
            return answer(preparationGrants);
        };
        operations.openSystemSettings = [this](std::optional<PermissionKind> kind) {
            opened << (kind ? rawValue(*kind) : u"none"_s);
        };
        model = fixture.build(std::move(operations), cli, autoResume);
        return *model;
    }
    // What the step button and its prompt do together.
    void step()
    {
        testing::await(model->continuePermissionOnboarding());
        if (model->permissionPromptKind())
            testing::await(model->confirmPermissionOnboarding(std::nullopt));
    }
    QString letters() const { return testing::permissionLetters(model->permissions()); }
};

using enum PermissionKind;

// The completed marker when the first n kinds are verified.
const char *const firstVerified[] = {nullptr, "screenRecording\n", "screenRecording\naccessibility\n",
                                     "screenRecording\naccessibility\nautomation\n", allFour};

// Confirms the prompt shown for `kind`, or `kind` itself; `grants` is what the system prompt answers.
struct ConfirmRow {
    const char *name;
    int verified; // the first kinds verified before
    PermissionKind kind;
    bool throughPrompt, grants;
    const char *preparations, *opened, *permissions; // opened: the pane opened and awaited, "" none
};
const ConfirmRow confirmRows[] = {
    {"screen recording: the pane", 0, screenRecording, true, true, "", "screenRecording", "uuuu"},
    {"accessibility: its prompt grants it", 1, accessibility, false, true, "accessibility", "", "GGuu"},
    {"accessibility refused: the pane", 1, accessibility, false, false, "accessibility", "accessibility",
     "Guuu"},
    {"automation: its prompt grants it", 2, automation, true, true, "automation", "", "GGGu"},
    {"automation refused: nothing more", 2, automation, true, false, "automation", "", "GGuu"},
    {"full disk access: the pane", 3, fullDiskAccess, false, true, "", "fullDiskAccess", "GGGu"},
    {"not the current kind", 0, fullDiskAccess, false, true, "", "", "uuuu"},
};

// A finished installation, Full Disk Access confirmed by hand, checked again at launch.
struct RecheckRow {
    const char *name, *permissions;
    QSet<PermissionKind> granted;
    bool reopened; // back in the permission stage
};
const RecheckRow recheckRows[] = {
    {"screen recording revoked", "nGGM", {accessibility, automation}, true},
    {"full disk access probe says no", "GGGM", {screenRecording, accessibility, automation}, false},
};

} // namespace

class PermissionOnboardingTest : public QObject {
    Q_OBJECT

private slots:
    void allVerifiedPassesStraightToSetup()
    {
        Onboarding o(allFour);
        testing::await(o.build().advancePermissionOnboarding());
        QVERIFY(o.checks.isEmpty());
        QVERIFY(!o.model->isCheckingPermission());
        QCOMPARE(o.fixture.read(installStageFile), QByteArray("setup\n"));
        QCOMPARE(testing::progressLetters(o.model->setupProgress()), u"cccppppppp"_s);
    }

    // The whole stage, as a user walks it: prompts, panes, a restart on the way, and on to setup.
    void walkFromPermissionsToSetup()
    {
        Onboarding o;
        o.fixture.write(awaitingPermissionFile, "accessibility\n"); // left over, not the current kind
        AppModel *model = &o.build();
        QCOMPARE(model->permissionSummary(), u"4 项权限需要处理"_s);
        testing::await(model->continuePermissionOnboarding()); // first the explanation, nothing checked
        QCOMPARE(model->permissionPromptKind(), screenRecording);
        QVERIFY(o.checks.isEmpty());
        testing::await(model->confirmPermissionOnboarding(std::nullopt));
        QCOMPARE(o.fixture.read(awaitingPermissionFile), QByteArray("screenRecording\n"));

        o.step(); // back from the pane without granting: checked, still open
        QCOMPARE(o.letters(), u"nuuu"_s);
        QVERIFY(!o.fixture.exists(completedPermissionsFile));
        o.granted << screenRecording;
        o.step();
        QCOMPARE(o.checks.join(u','), u"screenRecording,screenRecording"_s);
        QCOMPARE(o.fixture.read(completedPermissionsFile), QByteArray("screenRecording\n"));
        QCOMPARE(model->permissionSummary(), u"3 项权限需要处理"_s);

        o.preparationGrants = true;
        o.step(); // accessibility and automation: their prompts grant them
        o.step();
        o.step(); // full disk access: the pane

        // The application restarts while the user is in System Settings; back, it checks at once.
        o.model.reset();
        o.granted << fullDiskAccess;
        model = &o.build();
        o.step();
        QCOMPARE(model->installStage(), InstallStage::setup);
        QCOMPARE(model->overallState(), OverallState::waitingSetup);
        QVERIFY(!model->pendingSetupResume());
        QCOMPARE(model->focusTarget(), FocusTarget::setupCode());
        QCOMPARE(model->permissionSummary(), u"系统权限已配置"_s);
        QCOMPARE(o.fixture.read(completedPermissionsFile), QByteArray(allFour));
        QVERIFY(!o.fixture.exists(awaitingPermissionFile));
        QCOMPARE(o.opened.join(u','), u"screenRecording,fullDiskAccess"_s);
    }

    void confirmation_data() { testing::addRows(confirmRows); }
    void confirmation()
    {
        const ConfirmRow &row = testing::currentRow(confirmRows);
        Onboarding o(firstVerified[row.verified]);
        o.preparationGrants = row.grants;
        AppModel &model = o.build();
        if (row.throughPrompt)
            model.setPermissionPromptKind(row.kind);
        testing::await(
            model.confirmPermissionOnboarding(row.throughPrompt ? std::nullopt : std::optional(row.kind)));

        const bool sent = *row.opened;
        QCOMPARE(o.preparations.join(u','), utf8(row.preparations));
        QCOMPARE(o.opened.join(u','), utf8(row.opened));
        QCOMPARE(o.letters(), utf8(row.permissions));
        const QByteArray marker = testing::permissionMarker(o.letters()); // none verified: never written
        QCOMPARE(o.fixture.read(completedPermissionsFile), marker == "\n" ? QByteArray() : marker);
        QCOMPARE(model.permissionPromptKind(), std::nullopt);
        QCOMPARE(model.permissionAwaitingReturn(), sent ? std::optional(row.kind) : std::nullopt);
        QCOMPARE(o.fixture.read(awaitingPermissionFile), sent ? QByteArray(row.opened) + '\n' : QByteArray());
        QCOMPARE(model.focusTarget(), sent ? FocusTarget::forPermission(row.kind) : FocusTarget::setupCode());
    }

    void secondAdvanceWhileOneRunsReturnsAtOnce()
    {
        Onboarding o;
        platform::Wakeup release;
        o.release = &release;
        o.granted << screenRecording;
        AppModel &model = o.build();
        testing::Running first(model.advancePermissionOnboarding());
        QVERIFY(model.isCheckingPermission());
        testing::await(model.advancePermissionOnboarding());
        QCOMPARE(o.checks.size(), 1);
        release.fire();
        QVERIFY(first.done());
        QVERIFY(!model.isCheckingPermission());
        QCOMPARE(o.letters(), u"Guuu"_s);
    }

    void manualConfirmationStopsTheRunningCheck()
    {
        Onboarding o(firstVerified[3]);
        o.cli = std::make_shared<CLIService>(CLIService::Configuration::forHome(o.fixture.home.path()));
        AppModel &model = o.build();
        testing::Running check(model.advancePermissionOnboarding());
        QVERIFY(testing::spinUntil([&] { return o.cli->isRunning(); }));
        testing::Running confirm(model.manuallyConfirmFullDiskAccess());
        // The confirmation waits in 50 ms steps for the stopped check to end.
        for (int step = 0; step < 400 && !confirm.done(); ++step) {
            testing::spinUntil([&] { return check.done(); }, 20ms);
            o.time.advance(50ms);
        }
        QVERIFY(check.done() && confirm.done());
        QCOMPARE(o.letters(), u"GGGM"_s);
        QCOMPARE(model.installStage(), InstallStage::setup);
        QCOMPARE(o.fixture.read(manualPermissionsFile), QByteArray("fullDiskAccess\n"));
        QCOMPARE(o.fixture.read(completedPermissionsFile), QByteArray(allFour));
        QVERIFY(!model.isCheckingPermission());
    }

    // A configured installation waiting in the setup stage, Full Disk Access still open.
    void nothingHappensOutsideThePermissionStage()
    {
        Onboarding o(firstVerified[3], "setup\n", true);
        AppModel &model = o.build();
        testing::await(model.advancePermissionOnboarding());
        testing::await(model.confirmPermissionOnboarding(fullDiskAccess));
        testing::await(model.manuallyConfirmFullDiskAccess());
        testing::await(model.refreshExistingPermissions());
        testing::await(model.recheckExistingPermissionsOnLaunchIfNeeded());
        QVERIFY(o.checks.isEmpty() && o.preparations.isEmpty() && o.opened.isEmpty());
        QCOMPARE(o.letters(), u"GGGu"_s);
        QVERIFY(!o.fixture.exists(manualPermissionsFile));
        QCOMPARE(model.installStage(), InstallStage::setup);
    }

    void recheckAfterInstallation_data() { testing::addRows(recheckRows); }
    void recheckAfterInstallation()
    {
        const RecheckRow &row = testing::currentRow(recheckRows);
        Onboarding o(allFour, nullptr, true);
        o.fixture.write(manualPermissionsFile, "fullDiskAccess\n");
        o.granted = row.granted;
        AppModel &model = o.build();
        testing::await(model.recheckExistingPermissionsOnLaunchIfNeeded());
        testing::await(model.recheckExistingPermissionsOnLaunchIfNeeded()); // once per process
        QCOMPARE(o.checks.size(), 4);
        QCOMPARE(o.letters(), utf8(row.permissions));
        QCOMPARE(o.fixture.read(completedPermissionsFile), testing::permissionMarker(o.letters()));
        QCOMPARE(o.fixture.read(manualPermissionsFile), QByteArray("fullDiskAccess\n"));
        QCOMPARE(o.fixture.read(installStageFile), QByteArray(row.reopened ? "permissions\n" : ""));
        QCOMPARE(model.installationValidated(), !row.reopened);
        QCOMPARE(model.onboardingCompleted(), !row.reopened);
        QCOMPARE(model.pendingSetupResume(), row.reopened);
        QCOMPARE(testing::progressLetters(model.setupProgress()),
                 row.reopened ? u"ccrppppppp"_s : u"cccccccccc"_s);
    }

    void monitoringTicksAdvanceTheOnboarding()
    {
        Onboarding o;
        o.granted = {screenRecording, accessibility};
        o.build(true);
        // One check per tick: the first at once, the next two seconds later.
        QCOMPARE(o.checks.join(u','), u"screenRecording"_s);
        o.time.advance(1999ms);
        QCOMPARE(o.checks.size(), 1);
        o.time.advance(1ms);
        o.time.advance(2s);
        o.time.advance(2s); // automation is not granted: asked again
        QCOMPARE(o.checks.join(u','), u"screenRecording,accessibility,automation,automation"_s);
    }

    // The default wiring opens the pane through the platform layer; inside the simulated Mac its
    // "open" records the request. Without a kind, it is the Accessibility pane.
    void openingSettingsInTheSimulatedMac()
    {
        testing::ScratchHome home;
        const QString state = home.path() + u"/sim-state"_s;
        qputenv("TALLOWMERE_SIM_DIR", testing::sourcePath(u"sim"_s).toUtf8());
        qputenv("TALLOWMERE_SIM_STATE", state.toUtf8());
        AppModel model({.profileDirectory = home.profileDirectory()}, false);
        model.openSettings(std::nullopt);
        const QString opened = state + u".d/opened"_s;
        const bool recorded = testing::spinUntil([&] { return !testing::readFile(opened).isEmpty(); }, 10s);
        qunsetenv("TALLOWMERE_SIM_DIR");
        qunsetenv("TALLOWMERE_SIM_STATE");
        QVERIFY(recorded);
        QCOMPARE(
            testing::readFile(opened),
            QByteArray("x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility\n"));
    }
};

TALLOWMERE_TEST(PermissionOnboardingTest)
#include "tst_PermissionOnboarding.moc"
