#include "app/OutsideWorld.h"
#include "app/PersistedState.h"

using namespace tallowmere;
using namespace Qt::StringLiterals;
using namespace tallowmere::persisted;
using namespace std::chrono_literals;
using testing::utf8;
using enum PermissionKind;

namespace {

// The completed marker when the first n kinds are verified.
const char *const firstVerified[] = {nullptr, "screenRecording\n", "screenRecording\naccessibility\n",
                                     "screenRecording\naccessibility\nautomation\n",
                                     "screenRecording\naccessibility\nautomation\nfullDiskAccess\n"};

// Confirms the prompt shown for `kind`, or `kind` itself; `grants` is what the system prompt answers.
const struct ConfirmRow {
    const char *name;
    int verified; // the first kinds verified before
    PermissionKind kind;
    bool throughPrompt, grants;
    const char *preparations, *opened, *permissions; // opened: the pane opened and awaited, "" none
} confirmRows[] = {
    {"screen recording: the pane", 0, screenRecording, true, true, "", "screenRecording", "uuuu"},
    {"accessibility: its prompt grants it", 1, accessibility, false, true, "accessibility", "", "GGuu"},
    {"accessibility refused: the pane", 1, accessibility, false, false, "accessibility", "accessibility",
     "Guuu"},
    {"automation: its prompt grants it", 2, automation, true, true, "automation", "", "GGGu"},
    {"automation refused: nothing more", 2, automation, true, false, "automation", "", "GGuu"},
    {"not the current kind", 0, fullDiskAccess, false, true, "", "", "uuuu"},
};

// A finished installation, Full Disk Access confirmed by hand, checked again at launch.
const struct RecheckRow {
    const char *name, *permissions, *completed;
    QSet<PermissionKind> granted;
    bool reopened; // back in the permission stage
} recheckRows[] = {
    {"screen recording revoked", "nGGM", "accessibility\nautomation\nfullDiskAccess\n", {accessibility, automation},
     true},
    {"full disk access probe says no", "GGGM", firstVerified[4], {screenRecording, accessibility, automation},
     false},
};

// A world in the permission stage with the first kinds verified; nothing granted, nothing prepared.
testing::OutsideWorld &onboarding(testing::OutsideWorld &w, int verified = 0)
{
    w.granted.clear();
    return w.at("permissions\n", false, firstVerified[verified]);
}

} // namespace

class PermissionOnboardingTest : public QObject {
    Q_OBJECT

private slots:
    void confirmation_data() { testing::addRows(confirmRows); }
    void confirmation()
    {
        const ConfirmRow &row = testing::currentRow(confirmRows);
        testing::OutsideWorld w;
        w.preparationGrants = row.grants;
        AppModel &model = onboarding(w, row.verified).build();
        if (row.throughPrompt)
            model.setPermissionPromptKind(row.kind);
        testing::await(
            model.confirmPermissionOnboarding(row.throughPrompt ? std::nullopt : std::optional(row.kind)));
        const bool sent = *row.opened;
        QCOMPARE(w.called(u"prepare"_s), utf8(row.preparations));
        QCOMPARE(w.called(u"settings"_s), utf8(row.opened));
        QCOMPARE(w.permissions(), utf8(row.permissions));
        // The verified kinds are the first ones; none verified: never written.
        QCOMPARE(w.fixture.read(completedPermissionsFile), firstVerified[w.permissions().count(u'G')]);
        QCOMPARE(model.permissionPromptKind(), std::nullopt);
        QCOMPARE(model.permissionAwaitingReturn(), sent ? std::optional(row.kind) : std::nullopt);
        QCOMPARE(w.fixture.read(awaitingPermissionFile), sent ? QByteArray(row.opened) + '\n' : QByteArray());
        QCOMPARE(model.focusTarget(), sent ? FocusTarget::forPermission(row.kind) : FocusTarget::setupCode());
        // The step button again: back from the pane, a check; else the next kind's explanation first.
        testing::await(model.continuePermissionOnboarding());
        QCOMPARE(w.called(u"check"_s), sent ? utf8(row.opened) : QString());
    }

    // One check at a time: a second advance while one runs returns at once. Confirming Full Disk Access by
    // hand stops the running check, waiting in 50 ms steps for it to end.
    void manualConfirmationStopsTheRunningCheck()
    {
        testing::OutsideWorld w;
        w.checksRunChild = true;
        AppModel &model = onboarding(w, 3).build();
        testing::Running check(model.advancePermissionOnboarding());
        QVERIFY(testing::spinUntil([&] { return w.cli->isRunning(); }));
        QVERIFY(model.isCheckingPermission());
        testing::await(model.advancePermissionOnboarding());
        QCOMPARE(w.calls, QStringList{u"check:fullDiskAccess"_s});
        QVERIFY(w.settle(model.manuallyConfirmFullDiskAccess(), 50ms));
        QVERIFY(check.done() && !model.isCheckingPermission());
        QCOMPARE(w.permissions(), u"GGGM"_s);
        QCOMPARE(model.installStage(), InstallStage::setup);
        QCOMPARE(w.fixture.read(manualPermissionsFile), QByteArray("fullDiskAccess\n"));
        QCOMPARE(w.fixture.read(completedPermissionsFile), testing::allFourPermissions);
    }

    // A configured installation waiting in the setup stage, Full Disk Access still open.
    void nothingHappensOutsideThePermissionStage()
    {
        testing::OutsideWorld w;
        AppModel &model = w.at("setup\n", true, firstVerified[3]).build();
        testing::await(model.advancePermissionOnboarding());
        testing::await(model.confirmPermissionOnboarding(fullDiskAccess));
        testing::await(model.manuallyConfirmFullDiskAccess());
        testing::await(model.refreshExistingPermissions());
        testing::await(model.recheckExistingPermissionsOnLaunchIfNeeded());
        QCOMPARE(w.calls, QStringList());
        QCOMPARE(w.permissions(), u"GGGu"_s);
        QCOMPARE(model.installStage(), InstallStage::setup);
    }

    void recheckAfterInstallation_data() { testing::addRows(recheckRows); }
    void recheckAfterInstallation()
    {
        const RecheckRow &row = testing::currentRow(recheckRows);
        testing::OutsideWorld w;
        w.at(nullptr, true).fixture.write(manualPermissionsFile, "fullDiskAccess\n");
        w.granted = row.granted;
        AppModel &model = w.build();
        testing::await(model.recheckExistingPermissionsOnLaunchIfNeeded());
        testing::await(model.recheckExistingPermissionsOnLaunchIfNeeded()); // once per process
        QCOMPARE(w.calls.size(), 4);
        QCOMPARE(w.permissions(), utf8(row.permissions));
        QCOMPARE(w.fixture.read(completedPermissionsFile), row.completed);
        QCOMPARE(w.fixture.read(manualPermissionsFile), QByteArray("fullDiskAccess\n"));
        QCOMPARE(w.fixture.read(installStageFile), QByteArray(row.reopened ? "permissions\n" : ""));
        QCOMPARE(testing::installState(model), row.reopened
                                                   ? u"permissions ccrppppppp starting configured pending"_s
                                                   : u"- cccccccccc starting configured validated"_s);
        QCOMPARE(model.onboardingCompleted(), !row.reopened);
        QCOMPARE(model.permissionSummary(), row.reopened ? u"1 项权限需要处理"_s : u"系统权限已配置"_s);
    }

    void monitoringTicksAdvanceTheOnboarding()
    {
        testing::OutsideWorld w;
        onboarding(w).granted = {screenRecording, accessibility};
        w.build(true);
        // One check per tick: the first at once, the next two seconds later.
        QCOMPARE(w.called(u"check"_s), u"screenRecording"_s);
        w.time.advance(1999ms);
        QCOMPARE(w.calls.size(), 1);
        w.time.advance(1ms);
        w.time.advance(2s);
        w.time.advance(2s); // automation is not granted: asked again
        QCOMPARE(w.called(u"check"_s), u"screenRecording,accessibility,automation,automation"_s);
    }
};

TALLOWMERE_TEST(PermissionOnboardingTest)
#include "tst_PermissionOnboarding.moc"
