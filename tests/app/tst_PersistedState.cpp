#include "app/ModelFixture.h"

#include "app/PersistedState.h"

#include <QDir>

using namespace tallowmere;
using namespace tallowmere::persisted;
using testing::ModelFixture;

class PersistedStateTest : public QObject {
    Q_OBJECT

    // Everything in the profile directory, so that a leftover temporary file shows.
    static QStringList entries(const QString &directory)
    {
        return QDir(directory).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

private slots:
    void stageFileBytesAndPermissions()
    {
        ModelFixture fixture;
        const auto model = fixture.build(); // writes "runtime"
        const QString path = fixture.file(QLatin1String(installStageFile));
        QFile::setPermissions(path,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);

        model->persistInstallStage(InstallStage::daemon);
        QCOMPARE(testing::readFile(path), QByteArray("daemon\n"));
        QCOMPARE(testing::posixMode(path), 0600);
        QCOMPARE(entries(fixture.profile), QStringList{QLatin1String(installStageFile)});

        model->persistInstallStage(std::nullopt);
        QVERIFY(!QFileInfo::exists(path));
    }

    void stageWriterCreatesTheProfileDirectory()
    {
        testing::ScratchHome home;
        const QString profile = home.path() + QStringLiteral("/not/yet/there");
        AppModel model({profile, {}}, false);
        QCOMPARE(testing::readFile(profile + QLatin1Char('/') + QLatin1String(installStageFile)),
                 QByteArray("runtime\n"));
    }

    void permissionWritersRelyOnTheDirectory()
    {
        testing::ScratchHome home;
        const QString profile = home.path() + QStringLiteral("/missing");
        AppModel model({profile, {}}, false);
        QDir(profile).removeRecursively();
        model.persistCompletedPermissions(); // no directory: ignored, nothing created
        model.persistAwaitingPermission(PermissionKind::automation);
        QVERIFY(!QFileInfo::exists(profile));
    }

    void permissionMarkersOfAFreshModel()
    {
        ModelFixture fixture;
        const auto model = fixture.build();
        model->persistCompletedPermissions();
        model->persistManualPermissions();
        QCOMPARE(testing::readFile(fixture.file(QLatin1String(completedPermissionsFile))), QByteArray("\n"));
        QVERIFY(!QFileInfo::exists(fixture.file(QLatin1String(manualPermissionsFile))));
    }

    void permissionMarkersFollowTheItems()
    {
        ModelFixture fixture;
        fixture.write(QLatin1String(completedPermissionsFile), "fullDiskAccess\nscreenRecording\n");
        fixture.write(QLatin1String(manualPermissionsFile), "fullDiskAccess\n");
        const auto model = fixture.build();

        model->persistCompletedPermissions();
        model->persistManualPermissions();
        // Written in kind order, whatever order they were read in.
        QCOMPARE(testing::readFile(fixture.file(QLatin1String(completedPermissionsFile))),
                 QByteArray("screenRecording\nfullDiskAccess\n"));
        QCOMPARE(testing::readFile(fixture.file(QLatin1String(manualPermissionsFile))),
                 QByteArray("fullDiskAccess\n"));
        QCOMPARE(testing::posixMode(fixture.file(QLatin1String(manualPermissionsFile))), 0600);
    }

    void awaitingMarkerWrittenAndDeleted()
    {
        ModelFixture fixture;
        const auto model = fixture.build();
        const QString path = fixture.file(QLatin1String(awaitingPermissionFile));
        model->persistAwaitingPermission(PermissionKind::accessibility);
        QCOMPARE(testing::readFile(path), QByteArray("accessibility\n"));
        model->persistAwaitingPermission(std::nullopt);
        QVERIFY(!QFileInfo::exists(path));
    }

    void permissionSetReader_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("kinds");

        QTest::newRow("mixed line ends") << QByteArray("accessibility\r\nbogus\n\nscreenRecording") << "0,1";
        QTest::newRow("trailing blank is not trimmed") << QByteArray("automation \n") << "";
        QTest::newRow("leading blank is not trimmed") << QByteArray(" automation\n") << "";
        QTest::newRow("carriage returns only") << QByteArray("automation\rfullDiskAccess\r") << "2,3";
        QTest::newRow("vertical tab and form feed")
            << QByteArray("automation\vaccessibility\ffullDiskAccess") << "1,2,3";
        QTest::newRow("next line and separators")
            << QString::fromUtf8("automation\u0085accessibility\u2028fullDiskAccess\u2029screenRecording")
                   .toUtf8()
            << "0,1,2,3";
        QTest::newRow("duplicates") << QByteArray("automation\nautomation\n") << "2";
        QTest::newRow("lone line feed") << QByteArray("\n") << "";
        QTest::newRow("not UTF-8") << QByteArray("automation\n\xc3\x28\n") << "";
    }

    void permissionSetReader()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, kinds);
        testing::ScratchHome home;
        testing::writeFile(home.path() + QLatin1Char('/') + QLatin1String(completedPermissionsFile), content);

        QStringList read;
        for (PermissionKind kind : readCompletedPermissions(home.path()))
            read << QString::number(int(kind));
        QCOMPARE(read.join(QLatin1Char(',')), kinds);
    }

    void stageReader_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("stage");
        QTest::newRow("between blanks and blank lines") << QByteArray("\n  channel \t\n\n") << "channel";
        QTest::newRow("capitalised") << QByteArray("Channel\n") << "";
        QTest::newRow("two words") << QByteArray("channel daemon\n") << "";
        QTest::newRow("empty") << QByteArray("") << "";
    }

    void stageReader()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, stage);
        testing::ScratchHome home;
        testing::writeFile(home.path() + QLatin1Char('/') + QLatin1String(installStageFile), content);
        const auto read = readInstallStage(home.path());
        QCOMPARE(read ? rawValue(*read) : QString(), stage);
    }

    void unreadableFilesReadAsEmpty()
    {
        testing::ScratchHome home;
        // A directory where the file should be cannot be read as text.
        QDir(home.path()).mkdir(QLatin1String(installStageFile));
        QDir(home.path()).mkdir(QLatin1String(completedPermissionsFile));
        QCOMPARE(readInstallStage(home.path()), std::nullopt);
        QVERIFY(readCompletedPermissions(home.path()).empty());
        QVERIFY(readManualPermissions(home.path() + QStringLiteral("/nowhere")).empty());
    }

    void failedReplacementLeavesNoTemporaryFile()
    {
        testing::ScratchHome home;
        // A non-empty directory in the file's place cannot be replaced.
        QDir(home.path()).mkpath(QLatin1String(installStageFile) + QStringLiteral("/keep"));
        QVERIFY(!writeStateFile(home.path(), installStageFile, QStringLiteral("daemon\n")));
        QCOMPARE(entries(home.path()), QStringList());
        QVERIFY(QFileInfo(home.path() + QLatin1Char('/') + QLatin1String(installStageFile)).isDir());
    }
};

TALLOWMERE_TEST(PersistedStateTest)
#include "tst_PersistedState.moc"
