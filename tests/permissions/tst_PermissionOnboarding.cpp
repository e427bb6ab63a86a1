#include "app/ModelFixture.h"
#include "app/PersistedState.h"
#include "cli/CLIService.h"
#include "permissions/PermissionVocabulary.h"

#include <QElapsedTimer>

using namespace tallowmere;
using namespace std::chrono_literals;
using testing::ModelFixture;

namespace {

QCoro::Task<bool> answer(bool value)
{
    co_return value;
}

QCoro::Task<bool> answerWhenReleased(platform::Wakeup *release, bool value)
{
    co_await release->wait();
    co_return value;
}

// A check that is a real child of the real runner, running until stopped.
QCoro::Task<bool> longCheck(std::shared_ptr<CLIService> cli)
{
    QStringList arguments{QStringLiteral("-c"), QStringLiteral("sleep 30")};
    const CLIResult result = co_await cli->execute(std::move(arguments), std::nullopt, {}, {});
    co_return result.status == 0;
}

const QByteArray allFour = "screenRecording\naccessibility\nautomation\nfullDiskAccess\n";

// A model in the permission stage whose checks, preparations and System Settings are fakes that
// answer from `granted` and record what was asked.
struct Onboarding {
    testing::VirtualTime time;
    ModelFixture fixture;
    QSet<PermissionKind> granted;
    bool preparationGrants = false;
    QList<PermissionKind> checks;
    QList<PermissionKind> preparations;
    QList<std::optional<PermissionKind>> settingsOpened;
    std::unique_ptr<AppModel> model;

    explicit Onboarding(const QByteArray &completed = {}, const QByteArray &stage = "permissions",
                        bool configured = false)
    {
        if (!completed.isNull())
            fixture.write(QLatin1String(persisted::completedPermissionsFile), completed);
        if (!stage.isNull())
            fixture.write(QLatin1String(persisted::installStageFile), stage + '\n');
        if (configured)
            fixture.configure();
    }

    AppModel::Operations operations()
    {
        AppModel::Operations operations;
        operations.permissionCheck = [this](PermissionKind kind) {
            checks << kind;
            return answer(granted.contains(kind));
        };
        operations.permissionPrepare = [this](PermissionKind kind) {
            preparations << kind;
            return answer(preparationGrants);
        };
        operations.openSystemSettings = [this](std::optional<PermissionKind> kind) {
            settingsOpened << kind;
        };
        return operations;
    }

    AppModel &build()
    {
        model = fixture.build(operations());
        return *model;
    }

    QByteArray marker(const char *name) const { return testing::readFile(fixture.file(QLatin1String(name))); }
    bool hasMarker(const char *name) const { return QFileInfo::exists(fixture.file(QLatin1String(name))); }
    PermissionItem item(PermissionKind kind) const { return model->permissions().at(int(kind)); }
};

} // namespace

class PermissionOnboardingTest : public QObject {
    Q_OBJECT

private slots:
    void allVerifiedPassesStraightToSetup()
    {
        Onboarding o(allFour);
        AppModel &model = o.build();
        const int focus = model.focusRevision();
        testing::await(model.advancePermissionOnboarding());
        QVERIFY(o.checks.isEmpty());
        QCOMPARE(model.installStage(), InstallStage::setup);
        QCOMPARE(testing::readFile(o.fixture.file(QLatin1String(persisted::installStageFile))),
                 QByteArray("setup\n"));
        QCOMPARE(model.overallState(), OverallState::waitingSetup);
        QVERIFY(!model.pendingSetupResume());
        QCOMPARE(model.focusTarget(), FocusTarget::setupCode());
        QCOMPARE(model.focusRevision(), focus + 1);
        QCOMPARE(model.setupProgress().at(int(SetupPhase::permissions)).state, ProgressState::complete);
        QVERIFY(!model.isCheckingPermission());
    }

    void screenRecordingStep()
    {
        Onboarding o;
        AppModel &model = o.build();
        QCOMPARE(model.currentPermissionOnboardingKind(), PermissionKind::screenRecording);

        // The step button shows the explanation prompt; nothing is checked yet.
        testing::await(model.continuePermissionOnboarding());
        QCOMPARE(model.permissionPromptKind(), PermissionKind::screenRecording);
        QVERIFY(o.checks.isEmpty());

        // Confirming sends the user to the pane and remembers it.
        testing::await(model.confirmPermissionOnboarding(std::nullopt));
        QCOMPARE(model.permissionPromptKind(), std::nullopt);
        QCOMPARE(o.settingsOpened, QList<std::optional<PermissionKind>>{PermissionKind::screenRecording});
        QCOMPARE(model.permissionAwaitingReturn(), PermissionKind::screenRecording);
        QCOMPARE(o.marker(persisted::awaitingPermissionFile), QByteArray("screenRecording\n"));
        QCOMPARE(model.focusTarget(), FocusTarget::forPermission(PermissionKind::screenRecording));
        QVERIFY(o.preparations.isEmpty());
        QVERIFY(!o.item(PermissionKind::screenRecording).verified);

        // Back in the window after granting it: one check, and the step is done.
        o.granted << PermissionKind::screenRecording;
        testing::await(model.continuePermissionOnboarding());
        QCOMPARE(o.checks, QList<PermissionKind>{PermissionKind::screenRecording});
        QCOMPARE(o.item(PermissionKind::screenRecording),
                 (PermissionItem{{PermissionKind::screenRecording}, PermissionNativeState::granted, true}));
        QCOMPARE(model.permissionAwaitingReturn(), std::nullopt);
        QVERIFY(!o.hasMarker(persisted::awaitingPermissionFile));
        QCOMPARE(o.marker(persisted::completedPermissionsFile), QByteArray("screenRecording\n"));
        QCOMPARE(model.currentPermissionOnboardingKind(), PermissionKind::accessibility);
        QCOMPARE(model.installStage(), InstallStage::permissions);
    }

    // The whole stage, as a user walks it: prompts, panes, a restart on the way, and on to setup.
    void walkFromPermissionsToSetup()
    {
        Onboarding o;
        AppModel *model = &o.build();
        const auto step = [&] {
            testing::await(model->continuePermissionOnboarding());
            if (model->permissionPromptKind())
                testing::await(model->confirmPermissionOnboarding(std::nullopt));
        };

        step(); // Screen Recording: prompt, then the pane
        QCOMPARE(o.settingsOpened.last(), PermissionKind::screenRecording);
        o.granted << PermissionKind::screenRecording;
        step(); // back from the pane
        QCOMPARE(model->currentPermissionOnboardingKind(), PermissionKind::accessibility);

        o.preparationGrants = true; // the system prompts are answered yes
        step();                     // Accessibility: its prompt grants it
        QCOMPARE(model->currentPermissionOnboardingKind(), PermissionKind::automation);
        step(); // Automation: its consent prompt grants it
        QCOMPARE(model->currentPermissionOnboardingKind(), PermissionKind::fullDiskAccess);
        step(); // Full Disk Access: the pane
        QCOMPARE(model->permissionAwaitingReturn(), PermissionKind::fullDiskAccess);

        // The application restarts while the user is in System Settings.
        o.model.reset();
        o.granted << PermissionKind::fullDiskAccess;
        model = &o.build();
        QCOMPARE(model->onboardingPermissionProgress().completed, 3);
        step();
        QCOMPARE(model->installStage(), InstallStage::setup);
        QCOMPARE(model->overallState(), OverallState::waitingSetup);
        QCOMPARE(model->permissionSummary(), QStringLiteral("系统权限已配置"));
        QCOMPARE(o.marker(persisted::completedPermissionsFile), allFour);
        QVERIFY(!o.hasMarker(persisted::awaitingPermissionFile));
        QCOMPARE(o.settingsOpened.size(), 2); // Screen Recording and Full Disk Access only
    }

    void notGrantedYetStaysOpen()
    {
        Onboarding o;
        AppModel &model = o.build();
        testing::await(model.advancePermissionOnboarding());
        QCOMPARE(o.item(PermissionKind::screenRecording).nativeState, PermissionNativeState::notGranted);
        QVERIFY(!o.item(PermissionKind::screenRecording).verified);
        QCOMPARE(o.marker(persisted::completedPermissionsFile), QByteArray()); // nothing written
        QCOMPARE(model.permissionSummary(), QStringLiteral("4 项权限需要处理"));
    }

    void stepWhileAnotherKindIsAwaited()
    {
        Onboarding o;
        o.fixture.write(QLatin1String(persisted::awaitingPermissionFile), "accessibility\n");
        AppModel &model = o.build();
        testing::await(model.continuePermissionOnboarding());
        QCOMPARE(model.permissionPromptKind(), PermissionKind::screenRecording);
        QVERIFY(o.checks.isEmpty());
        QCOMPARE(model.permissionAwaitingReturn(), PermissionKind::accessibility);
    }

    void confirmationForAnotherKindIsIgnored()
    {
        Onboarding o;
        AppModel &model = o.build();
        testing::await(model.confirmPermissionOnboarding(PermissionKind::fullDiskAccess));
        QVERIFY(o.settingsOpened.isEmpty());
        QCOMPARE(model.permissionAwaitingReturn(), std::nullopt);
    }

    void refusedAutomationPrompt()
    {
        Onboarding o("screenRecording\naccessibility\n");
        AppModel &model = o.build();
        model.setPermissionPromptKind(PermissionKind::automation);
        testing::await(model.confirmPermissionOnboarding(std::nullopt));
        QCOMPARE(o.preparations, QList<PermissionKind>{PermissionKind::automation});
        QVERIFY(o.settingsOpened.isEmpty());
        QCOMPARE(model.permissionAwaitingReturn(), std::nullopt);
        QVERIFY(!o.item(PermissionKind::automation).verified);
        QCOMPARE(model.permissionPromptKind(), std::nullopt);
    }

    void promptGrantsAccessibility()
    {
        Onboarding o("screenRecording\n");
        o.preparationGrants = true;
        AppModel &model = o.build();
        testing::await(model.confirmPermissionOnboarding(PermissionKind::accessibility));
        QVERIFY(o.item(PermissionKind::accessibility).verified);
        QVERIFY(o.settingsOpened.isEmpty());
        QCOMPARE(o.marker(persisted::completedPermissionsFile),
                 QByteArray("screenRecording\naccessibility\n"));
    }

    void accessibilityFallsBackToSettings()
    {
        Onboarding o("screenRecording\n");
        AppModel &model = o.build();
        testing::await(model.confirmPermissionOnboarding(PermissionKind::accessibility));
        QCOMPARE(o.preparations, QList<PermissionKind>{PermissionKind::accessibility});
        QCOMPARE(o.settingsOpened, QList<std::optional<PermissionKind>>{PermissionKind::accessibility});
        QCOMPARE(model.permissionAwaitingReturn(), PermissionKind::accessibility);
        QCOMPARE(model.focusTarget(), FocusTarget::forPermission(PermissionKind::accessibility));
    }

    void lastStepMovesToSetup()
    {
        Onboarding o("screenRecording\naccessibility\nautomation\n");
        o.granted << PermissionKind::fullDiskAccess;
        AppModel &model = o.build();
        testing::await(model.advancePermissionOnboarding());
        QCOMPARE(model.installStage(), InstallStage::setup);
        QCOMPARE(o.marker(persisted::completedPermissionsFile), allFour);
        QCOMPARE(model.permissionSummary(), QStringLiteral("系统权限已配置"));
    }

    void secondAdvanceWhileOneRunsReturnsAtOnce()
    {
        Onboarding o;
        platform::Wakeup release;
        AppModel::Operations operations = o.operations();
        int checks = 0;
        operations.permissionCheck = [&](PermissionKind) {
            ++checks;
            return answerWhenReleased(&release, true);
        };
        o.model = o.fixture.build(operations);
        testing::Running first(o.model->advancePermissionOnboarding());
        QVERIFY(o.model->isCheckingPermission());
        testing::await(o.model->advancePermissionOnboarding());
        QCOMPARE(checks, 1);
        release.fire();
        QVERIFY(first.done());
        QVERIFY(!o.model->isCheckingPermission());
        QVERIFY(o.item(PermissionKind::screenRecording).verified);
    }

    void manualConfirmationStopsTheRunningCheck()
    {
        Onboarding o("screenRecording\naccessibility\nautomation\n");
        auto cli = std::make_shared<CLIService>(CLIService::Configuration::forHome(o.fixture.home.path()));
        AppModel::Operations operations = o.operations();
        operations.permissionCheck = [cli](PermissionKind) { return longCheck(cli); };
        o.model = o.fixture.build(operations, cli);
        AppModel &model = *o.model;

        QElapsedTimer elapsed;
        elapsed.start();
        testing::Running check(model.advancePermissionOnboarding());
        QVERIFY(testing::spinUntil([&] { return cli->isRunning(); }));
        testing::Running confirm(model.manuallyConfirmFullDiskAccess());
        // The confirmation waits in 50 ms steps for the stopped check to end.
        for (int step = 0; step < 400 && !confirm.done(); ++step) {
            testing::spinUntil([&] { return check.done(); }, 20ms);
            o.time.advance(50ms);
        }
        QVERIFY(check.done() && confirm.done());
        QVERIFY(elapsed.elapsed() < 15000);
        QCOMPARE(o.item(PermissionKind::fullDiskAccess),
                 (PermissionItem{
                     {PermissionKind::fullDiskAccess}, PermissionNativeState::manuallyConfirmed, true}));
        QCOMPARE(model.installStage(), InstallStage::setup);
        QCOMPARE(model.focusTarget(), FocusTarget::setupCode());
        QCOMPARE(o.marker(persisted::manualPermissionsFile), QByteArray("fullDiskAccess\n"));
        QCOMPARE(o.marker(persisted::completedPermissionsFile), allFour);
        QVERIFY(!model.isCheckingPermission());
    }

    void manualConfirmationOnlyForAnOpenFullDiskAccess()
    {
        Onboarding o(allFour, "setup", true);
        AppModel &model = o.build();
        testing::await(model.manuallyConfirmFullDiskAccess());
        QCOMPARE(o.item(PermissionKind::fullDiskAccess).nativeState, PermissionNativeState::granted);
        QVERIFY(!o.hasMarker(persisted::manualPermissionsFile));
    }

    void awaitedReturnSurvivesARestart()
    {
        Onboarding o;
        o.build();
        testing::await(o.model->confirmPermissionOnboarding(PermissionKind::screenRecording));
        o.model.reset();

        o.granted << PermissionKind::screenRecording;
        AppModel &restarted = o.build();
        QCOMPARE(restarted.permissionAwaitingReturn(), PermissionKind::screenRecording);
        QCOMPARE(restarted.installStage(), InstallStage::permissions);
        testing::await(restarted.continuePermissionOnboarding()); // back from the pane: a check, no prompt
        QCOMPARE(restarted.permissionPromptKind(), std::nullopt);
        QVERIFY(o.item(PermissionKind::screenRecording).verified);
    }

    void revokedPermissionAfterInstallation()
    {
        Onboarding o(allFour, {}, true);
        o.fixture.write(QLatin1String(persisted::manualPermissionsFile), "fullDiskAccess\n");
        o.granted = {PermissionKind::accessibility, PermissionKind::automation}; // screen recording revoked
        AppModel &model = o.build();
        QVERIFY(model.installationValidated());

        testing::await(model.recheckExistingPermissionsOnLaunchIfNeeded());
        QCOMPARE(o.checks.size(), 4);
        QCOMPARE(model.installStage(), InstallStage::permissions);
        QCOMPARE(testing::readFile(o.fixture.file(QLatin1String(persisted::installStageFile))),
                 QByteArray("permissions\n"));
        QCOMPARE(o.item(PermissionKind::screenRecording).nativeState, PermissionNativeState::notGranted);
        QVERIFY(!o.item(PermissionKind::screenRecording).verified);
        // Confirmed by hand, Full Disk Access stays verified though its probe says no.
        QCOMPARE(o.item(PermissionKind::fullDiskAccess).nativeState,
                 PermissionNativeState::manuallyConfirmed);
        QVERIFY(o.item(PermissionKind::fullDiskAccess).verified);
        QVERIFY(!model.installationValidated());
        QVERIFY(!model.onboardingCompleted());
        QVERIFY(model.pendingSetupResume());
        QCOMPARE(model.overallState(), OverallState::starting);
        QCOMPARE(model.setupProgress().at(int(SetupPhase::permissions)).state, ProgressState::running);
        QCOMPARE(o.marker(persisted::completedPermissionsFile),
                 QByteArray("accessibility\nautomation\nfullDiskAccess\n"));
        QCOMPARE(o.marker(persisted::manualPermissionsFile), QByteArray("fullDiskAccess\n"));
        QCOMPARE(model.currentPermissionOnboardingKind(), PermissionKind::screenRecording);

        // Once per process.
        testing::await(model.recheckExistingPermissionsOnLaunchIfNeeded());
        QCOMPARE(o.checks.size(), 4);
    }

    void recheckWithEverythingGranted()
    {
        Onboarding o(allFour, {}, true);
        o.granted = {PermissionKind::screenRecording, PermissionKind::accessibility,
                     PermissionKind::automation, PermissionKind::fullDiskAccess};
        AppModel &model = o.build();
        testing::await(model.recheckExistingPermissionsOnLaunchIfNeeded());
        QCOMPARE(model.installStage(), std::nullopt);
        QVERIFY(model.installationValidated());
        QVERIFY(!o.hasMarker(persisted::installStageFile));
    }

    void recheckOnlyForAFinishedInstallation()
    {
        Onboarding o(allFour, "daemon", true);
        AppModel &model = o.build();
        testing::await(model.refreshExistingPermissions());
        testing::await(model.recheckExistingPermissionsOnLaunchIfNeeded());
        QVERIFY(o.checks.isEmpty());
    }

    void monitoringTicksAdvanceTheOnboarding()
    {
        Onboarding o;
        o.granted = {PermissionKind::screenRecording, PermissionKind::accessibility};
        o.model = o.fixture.build(o.operations(), {}, true);
        // One check per tick: the first at once, the next two seconds later.
        QCOMPARE(o.checks, QList<PermissionKind>{PermissionKind::screenRecording});
        o.time.advance(1999ms);
        QCOMPARE(o.checks.size(), 1);
        o.time.advance(1ms);
        QCOMPARE(o.checks,
                 (QList<PermissionKind>{PermissionKind::screenRecording, PermissionKind::accessibility}));
        o.time.advance(2s);
        QCOMPARE(o.checks.last(), PermissionKind::automation); // not granted: asked again next tick
        o.time.advance(2s);
        QCOMPARE(o.checks.size(), 4);
        QCOMPARE(o.checks.last(), PermissionKind::automation);
    }

    void settingsPanes_data()
    {
        QTest::addColumn<int>("kind"); // -1: none
        QTest::addColumn<QString>("anchor");
        QTest::newRow("screen recording") << int(PermissionKind::screenRecording) << "Privacy_ScreenCapture";
        QTest::newRow("accessibility") << int(PermissionKind::accessibility) << "Privacy_Accessibility";
        QTest::newRow("automation") << int(PermissionKind::automation) << "Privacy_Automation";
        QTest::newRow("full disk access") << int(PermissionKind::fullDiskAccess) << "Privacy_AllFiles";
        QTest::newRow("none") << -1 << "Privacy_Accessibility";
    }

    void settingsPanes()
    {
        QFETCH(int, kind);
        QFETCH(QString, anchor);
        const auto url = settingsPaneUrl(kind < 0 ? std::nullopt : std::optional(PermissionKind(kind)));
        QCOMPARE(url.toString(),
                 QStringLiteral("x-apple.systempreferences:com.apple.preference.security?") + anchor);
    }

    // The default wiring opens the pane through the platform layer; inside the simulated Mac its
    // "open" records the request.
    void openingSettingsInTheSimulatedMac()
    {
        testing::ScratchHome home;
        const QString state = home.path() + QStringLiteral("/sim-state");
        qputenv("TALLOWMERE_SIM_DIR", testing::sourcePath(QStringLiteral("sim")).toUtf8());
        qputenv("TALLOWMERE_SIM_STATE", state.toUtf8());
        AppModel model({.profileDirectory = home.profileDirectory()}, false);
        model.openSettings(std::nullopt);
        const QString opened = state + QStringLiteral(".d/opened");
        const bool recorded = testing::spinUntil([&] { return QFileInfo::exists(opened); }, 10s);
        qunsetenv("TALLOWMERE_SIM_DIR");
        qunsetenv("TALLOWMERE_SIM_STATE");
        QVERIFY(recorded);
        QVERIFY(testing::spinUntil([&] { return !testing::readFile(opened).isEmpty(); }, 5s));
        QCOMPARE(
            testing::readFile(opened),
            QByteArray("x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility\n"));
    }
};

TALLOWMERE_TEST(PermissionOnboardingTest)
#include "tst_PermissionOnboarding.moc"
