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
// unknown stage starts over at the runtime, which is then written.
struct StageRow {
    const char *name, *stageFile, *stage, *progress; // stageFile nullptr: no file; stage "": none
    bool configured;
};
const StageRow stageRows[] = {
    {"fresh profile", nullptr, "runtime", "rppppppppp", false},
    {"setup without config starts over", "setup\n", "runtime", "rppppppppp", false},
    {"unknown word starts over", "Channel\n", "runtime", "rppppppppp", false},
    {"channel between blanks", "\n  channel \t\n\n", "channel", "cccccccrpp", false},
    {"handshake without line feed", "handshake", "handshake", "ccccccccrp", false},
    {"configured and finished", nullptr, "", "cccccccccc", true},
    {"configured, unknown stage is finished", "bogus\n", "", "cccccccccc", true},
    {"configured, cut-off UTF-8 is finished", "daemon\xe4", "", "cccccccccc", true},
    {"configured, waiting in setup", "setup\n", "setup", "cccppppppp", true},
    {"configured, in channel", "channel\n", "channel", "cccccccrpp", true},
};

// Permission markers hold one kind per line, exactly; the awaited marker holds one kind between blanks.
struct MarkerRow {
    const char *name, *completed, *manual, *awaiting; // nullptr: no file
    const char *permissions, *awaited;                // see permissionLetters; awaited "": none
};
const MarkerRow markerRows[] = {
    {"no markers", nullptr, nullptr, nullptr, "uuuu", ""},
    {"confirmed by hand", "fullDiskAccess\naccessibility\n", "fullDiskAccess\n", "Accessibility\n", "uGuM",
     ""},
    {"manual marker alone verifies nothing", "\n", "fullDiskAccess\nscreenRecording\n",
     "  \n automation \n\n", "uuuu", "automation"},
    {"lines are not trimmed", "automation \r\n accessibility\nscreenRecording", nullptr, nullptr, "Guuu", ""},
    {"mixed line ends; two awaited kinds", "accessibility\r\nbogus\n\nscreenRecording", nullptr,
     "automation\naccessibility\n", "GGuu", ""},
    {"vertical tab and form feed", "automation\vaccessibility\ffullDiskAccess", nullptr, nullptr, "uGGG", ""},
    {"next line and separators", "automation\u0085accessibility\u2028fullDiskAccess\u2029screenRecording",
     nullptr, nullptr, "GGGG", ""},
    {"not UTF-8", "automation\n\xc3\x28\n", nullptr, "automation\xff\n", "uuuu", ""},
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

        const QString stage = testing::utf8(row.stage);
        const bool resumes = !stage.isEmpty();
        QCOMPARE(model->installStage() ? rawValue(*model->installStage()) : QString(), stage);
        QCOMPARE(testing::progressLetters(model->setupProgress()), testing::utf8(row.progress));
        QCOMPARE(model->overallState(), OverallState::starting);
        QCOMPARE(model->pendingSetupResume(), resumes);
        QCOMPARE(model->configurationReady(), row.configured);
        QCOMPARE(model->installationValidated(), !resumes);
        QCOMPARE(model->onboardingCompleted(), !resumes);
        const char *after = stage == "runtime"_L1 ? "runtime\n" : row.stageFile;
        QCOMPARE(fixture.exists(installStageFile), after != nullptr);
        QCOMPARE(fixture.read(installStageFile), QByteArray(after));
        QCOMPARE(linkLoads, stage == "channel"_L1 ? 1 : 0); // the stored binding link
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
        const QString letters = testing::utf8(row.permissions);
        QCOMPARE(testing::permissionLetters(model->permissions()), letters);
        const auto awaited = model->permissionAwaitingReturn();
        QCOMPARE(awaited ? rawValue(*awaited) : QString(), testing::utf8(row.awaited));

        model->persistCompletedPermissions();
        model->persistManualPermissions();
        QCOMPARE(fixture.read(completedPermissionsFile), testing::permissionMarker(letters));
        QCOMPARE(fixture.read(manualPermissionsFile), testing::permissionMarker(letters, true));
        QCOMPARE(fixture.exists(manualPermissionsFile), letters.contains(u'M'));
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
