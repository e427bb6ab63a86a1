#include "app/ModelFixture.h"

#include "app/PersistedState.h"

#include <QSignalSpy>

using namespace tallowmere;
using testing::ModelFixture;

Q_DECLARE_METATYPE(tallowmere::OverallState)

namespace {

// One letter per phase, in phase order: p pending, r running, c complete, f failed.
QString progressLetters(const QList<SetupProgressItem> &items)
{
    QString letters;
    for (const SetupProgressItem &item : items)
        letters += QLatin1Char("prcf"[int(item.state)]);
    return letters;
}

// One letter per permission, in kind order: u unknown, n not granted, g granted, m manually confirmed;
// upper case when verified.
QString permissionLetters(const QList<PermissionItem> &items)
{
    QString letters;
    for (const PermissionItem &item : items) {
        const QChar letter = QLatin1Char("ungm"[int(item.nativeState)]);
        letters += item.verified ? letter.toUpper() : letter;
    }
    return letters;
}

} // namespace

class AppModelConstructionTest : public QObject {
    Q_OBJECT

private slots:
    void stageAndProgressFromDisk_data()
    {
        QTest::addColumn<QByteArray>("stageFile"); // null: no file
        QTest::addColumn<bool>("configured");
        QTest::addColumn<QString>("stage"); // empty: none
        QTest::addColumn<QString>("progress");
        QTest::addColumn<bool>("pendingResume");
        QTest::addColumn<bool>("finished");
        QTest::addColumn<QByteArray>("stageFileAfter");

        QTest::newRow("fresh profile") << QByteArray() << false << "runtime"
                                       << "rppppppppp" << true << false << QByteArray("runtime\n");
        QTest::newRow("setup without config starts over")
            << QByteArray("setup\n") << false << "runtime"
            << "rppppppppp" << true << false << QByteArray("runtime\n");
        QTest::newRow("unknown word without config starts over")
            << QByteArray("Channel\n") << false << "runtime"
            << "rppppppppp" << true << false << QByteArray("runtime\n");
        QTest::newRow("permissions without config")
            << QByteArray("permissions\n") << false << "permissions"
            << "ccrppppppp" << true << false << QByteArray("permissions\n");
        QTest::newRow("daemon without config") << QByteArray("daemon\n") << false << "daemon"
                                               << "ccccccrppp" << true << false << QByteArray("daemon\n");
        QTest::newRow("channel without config")
            << QByteArray(" channel \n\n") << false << "channel"
            << "cccccccrpp" << true << false << QByteArray(" channel \n\n");
        QTest::newRow("handshake without config") << QByteArray("handshake") << false << "handshake"
                                                  << "ccccccccrp" << true << false << QByteArray("handshake");
        QTest::newRow("configured and finished") << QByteArray() << true << ""
                                                 << "cccccccccc" << false << true << QByteArray();
        QTest::newRow("configured with unreadable stage counts as finished")
            << QByteArray("bogus\n") << true << ""
            << "cccccccccc" << false << true << QByteArray("bogus\n");
        QTest::newRow("configured, waiting in setup")
            << QByteArray("setup\n") << true << "setup"
            << "cccppppppp" << true << false << QByteArray("setup\n");
        QTest::newRow("configured, in daemon") << QByteArray("daemon\n") << true << "daemon"
                                               << "ccccccrppp" << true << false << QByteArray("daemon\n");
        QTest::newRow("configured, in handshake")
            << QByteArray("handshake\n") << true << "handshake"
            << "ccccccccrp" << true << false << QByteArray("handshake\n");
    }

    void stageAndProgressFromDisk()
    {
        QFETCH(QByteArray, stageFile);
        QFETCH(bool, configured);
        QFETCH(QString, stage);
        QFETCH(QString, progress);
        QFETCH(bool, pendingResume);
        QFETCH(bool, finished);
        QFETCH(QByteArray, stageFileAfter);

        ModelFixture fixture;
        if (!stageFile.isNull())
            fixture.write(QLatin1String(persisted::installStageFile), stageFile);
        if (configured)
            fixture.configure();

        const auto model = fixture.build();

        QCOMPARE(model->installStage() ? rawValue(*model->installStage()) : QString(), stage);
        QCOMPARE(progressLetters(model->setupProgress()), progress);
        QCOMPARE(model->overallState(), OverallState::starting);
        QCOMPARE(model->pendingSetupResume(), pendingResume);
        QCOMPARE(model->configurationReady(), configured);
        QCOMPARE(model->installationValidated(), finished);
        QCOMPARE(model->onboardingCompleted(), finished);
        QCOMPARE(model->lastError(), std::nullopt);
        const QString stagePath = fixture.file(QLatin1String(persisted::installStageFile));
        QCOMPARE(QFileInfo::exists(stagePath), !stageFileAfter.isNull());
        QCOMPARE(testing::readFile(stagePath), stageFileAfter);
    }

    void permissionsFromMarkers_data()
    {
        QTest::addColumn<QByteArray>("completed"); // null: no file
        QTest::addColumn<QByteArray>("manual");
        QTest::addColumn<QString>("states");

        QTest::newRow("no markers") << QByteArray() << QByteArray() << "uuuu";
        QTest::newRow("all completed")
            << QByteArray("screenRecording\naccessibility\nautomation\nfullDiskAccess\n") << QByteArray()
            << "GGGG";
        QTest::newRow("full disk access confirmed by hand")
            << QByteArray("accessibility\nfullDiskAccess\n") << QByteArray("fullDiskAccess\n") << "uGuM";
        QTest::newRow("manual marker alone verifies nothing")
            << QByteArray("\n") << QByteArray("fullDiskAccess\nscreenRecording\n") << "uuuu";
        QTest::newRow("unknown and misspelt lines are skipped")
            << QByteArray("automation \r\nAccessibility\nscreenRecording") << QByteArray() << "Guuu";
    }

    void permissionsFromMarkers()
    {
        QFETCH(QByteArray, completed);
        QFETCH(QByteArray, manual);
        QFETCH(QString, states);

        ModelFixture fixture;
        if (!completed.isNull())
            fixture.write(QLatin1String(persisted::completedPermissionsFile), completed);
        if (!manual.isNull())
            fixture.write(QLatin1String(persisted::manualPermissionsFile), manual);

        QCOMPARE(permissionLetters(fixture.build()->permissions()), states);
    }

    void awaitedPermissionFromMarker_data()
    {
        QTest::addColumn<QByteArray>("marker");
        QTest::addColumn<QString>("awaited");

        QTest::newRow("none") << QByteArray() << "";
        QTest::newRow("plain") << QByteArray("accessibility\n") << "accessibility";
        QTest::newRow("surrounded by blanks") << QByteArray("  \n automation \n\n") << "automation";
        QTest::newRow("wrong case") << QByteArray("Accessibility\n") << "";
        QTest::newRow("two kinds") << QByteArray("automation\naccessibility\n") << "";
        QTest::newRow("not UTF-8") << QByteArray("automation\xff\n") << "";
    }

    void awaitedPermissionFromMarker()
    {
        QFETCH(QByteArray, marker);
        QFETCH(QString, awaited);

        ModelFixture fixture;
        if (!marker.isNull())
            fixture.write(QLatin1String(persisted::awaitingPermissionFile), marker);
        const auto kind = fixture.build()->permissionAwaitingReturn();
        QCOMPARE(kind ? rawValue(*kind) : QString(), awaited);
    }

    void bindingLinkIsLoadedOnlyInTheChannelStage_data()
    {
        QTest::addColumn<QByteArray>("stage");
        QTest::addColumn<int>("loads");
        QTest::newRow("channel") << QByteArray("channel\n") << 1;
        QTest::newRow("daemon") << QByteArray("daemon\n") << 0;
        QTest::newRow("finished") << QByteArray() << 0;
    }

    void bindingLinkIsLoadedOnlyInTheChannelStage()
    {
        QFETCH(QByteArray, stage);
        QFETCH(int, loads);

        ModelFixture fixture;
        fixture.configure();
        if (!stage.isNull())
            fixture.write(QLatin1String(persisted::installStageFile), stage);
        int calls = 0;
        AppModel::Operations operations;
        operations.ownerSetupLinkLoad = [&calls]() -> std::optional<OwnerSetupLink> {
            ++calls;
            return OwnerSetupLink{QUrl(QStringLiteral("https://example.invalid/bind")), std::nullopt};
        };
        fixture.build(std::move(operations));
        QCOMPARE(calls, loads);
    }

    void setterNotifiesOnlyRealChanges()
    {
        ModelFixture fixture;
        const auto model = fixture.build();
        QSignalSpy code(model.get(), &AppModel::setupCodeChanged);
        QSignalSpy detail(model.get(), &AppModel::setupProgressDetailChanged);

        model->setSetupCode(QStringLiteral("TMS2"));
        model->setSetupCode(QStringLiteral("TMS2"));
        model->setSetupProgressDetail(QStringLiteral("x"));
        model->setSetupProgressDetail(QStringLiteral("x"));
        model->setSetupProgressDetail(std::nullopt);

        QCOMPARE(code.count(), 1);
        QCOMPARE(detail.count(), 2);
        QCOMPARE(model->property("setupProgressDetail"), QVariant());
    }
};

TALLOWMERE_TEST(AppModelConstructionTest)
#include "tst_AppModelConstruction.moc"
