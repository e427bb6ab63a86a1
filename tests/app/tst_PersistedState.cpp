// The model as it comes up from its profile directory, and the state files it writes back.
#include "app/ModelFixture.h"

#include "app/PersistedState.h"

#include <QDir>

using namespace tallowmere;
using namespace Qt::StringLiterals;
using namespace tallowmere::persisted;
using testing::ModelFixture;

namespace {

// A configured profile without a stage file is a finished installation; without config.json, a missing or
// unknown stage starts over at the runtime, which is then written. See installState for the state.
const struct StageRow {
    const char *name, *stageFile; // nullptr: no file
    bool configured;
    const char *state;
} stageRows[] = {
    {"fresh profile", nullptr, false, "runtime rppppppppp starting pending"},
    {"setup without config starts over", "setup\n", false, "runtime rppppppppp starting pending"},
    {"unknown word starts over", "Channel\n", false, "runtime rppppppppp starting pending"},
    {"channel between blanks", "\n  channel \t\n\n", false, "channel cccccccrpp starting pending"},
    {"configured and finished", nullptr, true, "- cccccccccc starting configured validated"},
    {"configured, unknown stage is finished", "bogus\n", true, "- cccccccccc starting configured validated"},
    {"configured, cut-off UTF-8 is finished", "daemon\xe4", true, "- cccccccccc starting configured validated"},
    {"configured, waiting in setup", "setup\n", true, "setup cccppppppp starting configured pending"},
};

// Permission markers hold one kind per line, exactly; the awaited marker holds one kind between blanks.
// Written back: the verified kinds (a lone line feed for none), and those confirmed by hand.
const struct MarkerRow {
    const char *name, *completed, *manual, *awaiting; // nullptr: no file
    const char *permissions, *awaited;                // see permissionLetters; awaited "": none
    const char *completedAfter, *manualAfter;         // nullptr: no file
} markerRows[] = {
    {"no markers", nullptr, nullptr, nullptr, "uuuu", "", "\n", nullptr},
    {"confirmed by hand", "fullDiskAccess\naccessibility\n", "fullDiskAccess\n", "Accessibility\n", "uGuM",
     "", "accessibility\nfullDiskAccess\n", "fullDiskAccess\n"},
    {"manual marker alone verifies nothing", "\n", "fullDiskAccess\nscreenRecording\n",
     "  \n automation \n\n", "uuuu", "automation", "\n", nullptr},
    {"lines are not trimmed", "automation \r\n accessibility\nscreenRecording", nullptr, nullptr, "Guuu", "",
     "screenRecording\n", nullptr},
    {"not UTF-8", "automation\n\xc3\x28\n", nullptr, "automation\xff\n", "uuuu", "", "\n", nullptr},
};

// Everything in a directory, so that a leftover temporary file shows.
QStringList entries(const QString &directory)
{
    return QDir(directory).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

class PersistedStateTest : public QObject {
    Q_OBJECT

private slots:
    void stageAndProgressFromDisk_data() { testing::addRows(stageRows); }
    void stageAndProgressFromDisk()
    {
        const StageRow &row = testing::currentRow(stageRows);
        ModelFixture fixture;
        fixture.write(installStageFile, row.stageFile);
        if (row.configured)
            fixture.configure();
        int linkLoads = 0;
        AppModel::Operations operations;
        operations.ownerSetupLinkLoad = [&linkLoads]() -> std::optional<OwnerSetupLink> {
            ++linkLoads;
            return std::nullopt;
        };
        const auto model = fixture.build(std::move(operations));
        const QString state = testing::installState(*model);
        QCOMPARE(state, testing::utf8(row.state));
        QCOMPARE(model->onboardingCompleted(), model->installationValidated());
        const QString stage = state.section(u' ', 0, 0);
        QCOMPARE(fixture.read(installStageFile),
                 stage == u"runtime" ? "runtime\n" : QByteArray(row.stageFile));
        QCOMPARE(linkLoads, stage == u"channel" ? 1 : 0); // the stored binding link
    }

    // Read, then written back: verified kinds and kinds confirmed by hand, one line each in kind order.
    void permissionMarkersRoundTrip_data() { testing::addRows(markerRows); }
    void permissionMarkersRoundTrip()
    {
        const MarkerRow &row = testing::currentRow(markerRows);
        ModelFixture fixture;
        fixture.write(completedPermissionsFile, row.completed);
        fixture.write(manualPermissionsFile, row.manual);
        fixture.write(awaitingPermissionFile, row.awaiting);
        const auto model = fixture.build();
        QCOMPARE(testing::permissionLetters(model->permissions()), testing::utf8(row.permissions));
        const auto awaited = model->permissionAwaitingReturn();
        QCOMPARE(awaited ? rawValue(*awaited) : QString(), testing::utf8(row.awaited));

        model->persistCompletedPermissions();
        model->persistManualPermissions();
        QCOMPARE(fixture.read(completedPermissionsFile), QByteArray(row.completedAfter));
        QCOMPARE(fixture.read(manualPermissionsFile), QByteArray(row.manualAfter));
        QCOMPARE(fixture.exists(manualPermissionsFile), row.manualAfter != nullptr);
    }

    // Written whole, 0600, through a temporary file that does not stay; a directory in the file's place
    // reads as no file and cannot be replaced.
    void stageFileIsReplacedWhole()
    {
        testing::ScratchHome home;
        const QString profile = home.path() + u"/not/yet/there"_s;
        const QString path = profile + u'/' + QLatin1String(installStageFile);
        AppModel model({profile, {}}, false); // creates the directory and writes "runtime"
        QCOMPARE(testing::readFile(path), QByteArray("runtime\n"));
        QFile::setPermissions(path,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
        model.persistInstallStage(InstallStage::daemon);
        QCOMPARE(testing::readFile(path), QByteArray("daemon\n"));
        QCOMPARE(testing::posixMode(path), 0600);
        QCOMPARE(entries(profile), QStringList{QLatin1String(installStageFile)});
        model.persistInstallStage(std::nullopt);
        QVERIFY(!QFileInfo::exists(path));

        QDir(profile).mkpath(QLatin1String(installStageFile) + u"/keep"_s);
        QDir(profile).mkdir(QLatin1String(completedPermissionsFile));
        QCOMPARE(readInstallStage(profile), std::nullopt);
        QVERIFY(readCompletedPermissions(profile).empty());
        QVERIFY(!writeStateFile(profile, installStageFile, u"daemon\n"_s));
        QCOMPARE(entries(profile), QStringList());
    }
};

TALLOWMERE_TEST(PersistedStateTest)
#include "tst_PersistedState.moc"
