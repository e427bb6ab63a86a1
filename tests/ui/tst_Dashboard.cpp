// The dashboard of a validated installation, for chosen states of the model.
#include "ScreenFixture.h"

#include "app/PersistedState.h"

using namespace tallowmere;
using testing::Screen;

namespace {

const QSize tall(960, 1200);

// A finished installation: configured, no stage left.
AppModel &buildValidated(Screen &screen)
{
    screen.configure();
    AppModel &model = screen.build();
    return model;
}

StatusSnapshot onlineSnapshot()
{
    StatusSnapshot snapshot;
    snapshot.currentTask = QStringLiteral("整理本周的销售报表");
    snapshot.isWorking = true;
    snapshot.bridgeConnected = true;
    snapshot.handshakeComplete = true;
    snapshot.bridgeHeartbeatAt = QDateTime::currentDateTime().addSecs(-3);
    snapshot.agentVersion = QStringLiteral("1.4.2");
    snapshot.processID = 4242;
    return snapshot;
}

ActivityEvent activity(const char *summary, int minutesAgo)
{
    return {QUuid::createUuid(), QDateTime::currentDateTime().addSecs(-60 * minutesAgo),
            ActivityEvent::Source::agent, QString::fromUtf8(summary)};
}

QStringList shownSecondaryButtons(const Screen &screen)
{
    QStringList shown;
    for (const char *name : {"restartAgentButton", "recheckPermissionsButton", "updateAgentButton",
                             "openLogsButton", "checkAppUpdateButton"}) {
        if (screen.shown(QLatin1String(name)))
            shown << screen.text(QLatin1String(name));
    }
    return shown;
}

} // namespace

class DashboardTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void withoutAnErrorOnlyTheFiveSecondaryActions()
    {
        Screen screen;
        AppModel &model = buildValidated(screen);
        model.setOverallState(OverallState::online);
        model.setStatusSnapshot(onlineSnapshot());
        model.setActivities({activity("已完成：整理本周的销售报表", 1), activity("开始新任务", 5)});
        screen.open(QStringLiteral("Main.qml"));
        QVERIFY(screen.shown("dashboardView"));
        QVERIFY(!screen.shown("primaryRecoveryButton"));
        QVERIFY(!screen.shown("errorSection"));
        QCOMPARE(shownSecondaryButtons(screen),
                 QStringList({QStringLiteral("重启 Agent"), QStringLiteral("重新检查权限"),
                              QStringLiteral("更新 Agent"), QStringLiteral("打开日志目录"),
                              QStringLiteral("检查 App 更新")}));
        QCOMPARE(screen.text("currentTask"), model.currentTask());
        QVERIFY(!screen.shown("noActivity"));
        screen.save(QStringLiteral("dashboard-online"));
    }

    void theRecoveryIsNotOfferedTwice_data()
    {
        QTest::addColumn<int>("recovery");
        QTest::addColumn<QString>("primary");
        QTest::addColumn<QStringList>("secondary");
        QTest::newRow("restart") << int(RecoveryAction::Case::restartAgent) << QStringLiteral("重启 Agent")
                                 << QStringList({QStringLiteral("重新检查权限"), QStringLiteral("更新 Agent"),
                                                 QStringLiteral("打开日志目录"),
                                                 QStringLiteral("检查 App 更新")});
        QTest::newRow("recheck") << int(RecoveryAction::Case::recheckPermissions)
                                 << QStringLiteral("检查权限")
                                 << QStringList({QStringLiteral("重启 Agent"), QStringLiteral("更新 Agent"),
                                                 QStringLiteral("打开日志目录"),
                                                 QStringLiteral("检查 App 更新")});
        QTest::newRow("logs") << int(RecoveryAction::Case::openLogs) << QStringLiteral("打开日志目录")
                              << QStringList({QStringLiteral("重启 Agent"), QStringLiteral("重新检查权限"),
                                              QStringLiteral("更新 Agent"), QStringLiteral("打开日志目录"),
                                              QStringLiteral("检查 App 更新")});
    }
    void theRecoveryIsNotOfferedTwice()
    {
        QFETCH(int, recovery);
        QFETCH(QString, primary);
        QFETCH(QStringList, secondary);
        Screen screen;
        AppModel &model = buildValidated(screen);
        model.setOverallState(OverallState::error);
        model.setLastError(DisplayError{QStringLiteral("AGENT_UNREACHABLE"),
                                        QStringLiteral("无法连接 Agent。"), QStringLiteral("任务暂停。"),
                                        RecoveryAction::of(RecoveryAction::Case(recovery))});
        screen.open(QStringLiteral("Main.qml"), tall);
        QVERIFY(screen.shown("primaryRecoveryButton"));
        QCOMPARE(screen.text("primaryRecoveryButton"), primary);
        QCOMPARE(shownSecondaryButtons(screen), secondary);
        // The error section of the dashboard has no button of its own.
        QVERIFY(screen.shown("errorSection"));
        QVERIFY(!screen.shown("recoveryButton"));
        if (RecoveryAction::Case(recovery) == RecoveryAction::Case::restartAgent)
            screen.save(QStringLiteral("dashboard-disconnected-error"));
    }

    void theSystemAndConnectionLines_data()
    {
        QTest::addColumn<bool>("known");
        QTest::newRow("known agent") << true;
        QTest::newRow("unknown agent") << false;
    }
    void theSystemAndConnectionLines()
    {
        QFETCH(bool, known);
        Screen screen;
        AppModel &model = buildValidated(screen);
        StatusSnapshot snapshot = known ? onlineSnapshot() : StatusSnapshot::empty();
        model.setStatusSnapshot(snapshot);
        screen.open(QStringLiteral("Main.qml"), tall);
        QQuickItem *version = screen.item(QStringLiteral("agentVersionLine"));
        QCOMPARE(Screen::within(version, QStringLiteral("statusValue"))->property("text").toString(),
                 known ? QStringLiteral("1.4.2") : QStringLiteral("--"));
        QQuickItem *connection = screen.item(QStringLiteral("connectionLine"));
        QCOMPARE(Screen::within(connection, QStringLiteral("statusValue"))->property("text").toString(),
                 known ? QStringLiteral("已连接") : QStringLiteral("未连接"));
        QQuickItem *heartbeat = screen.item(QStringLiteral("heartbeatLine"));
        QCOMPARE(Screen::within(heartbeat, QStringLiteral("statusValue"))->property("text").toString(),
                 model.heartbeatDescription(QDateTime::currentDateTime()));
    }

    void anEmptyActivityList()
    {
        Screen screen;
        buildValidated(screen);
        screen.open(QStringLiteral("Main.qml"));
        QVERIFY(screen.shown("noActivity"));
        QCOMPARE(screen.text("noActivity"), QStringLiteral("尚无活动"));
        screen.model().setActivities({activity("Agent 已上线", 0)});
        QTRY_VERIFY(!screen.shown("noActivity"));
        QCOMPARE(screen.text("activitySummary"), QStringLiteral("Agent 已上线"));
    }

    void noChannelBlockInTheChannelStage()
    {
        Screen screen;
        screen.configure();
        screen.build().setInstallationValidated(true);
        screen.open(QStringLiteral("Main.qml"));
        QVERIFY(screen.shown("channelStatus"));

        Screen inChannel;
        inChannel.configure();
        inChannel.writeState(persisted::installStageFile, "channel");
        inChannel.build().setInstallationValidated(true);
        inChannel.open(QStringLiteral("Main.qml"));
        QVERIFY(inChannel.shown("dashboardView"));
        QVERIFY(!inChannel.shown("channelStatus"));
    }

    void theUpdateButton_data()
    {
        QTest::addColumn<bool>("configured");
        QTest::addColumn<bool>("updating");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("ready") << true << false << QStringLiteral("更新 Agent") << true;
        QTest::newRow("updating") << true << true << QStringLiteral("正在更新 Agent…") << false;
        QTest::newRow("no configuration") << false << false << QStringLiteral("更新 Agent") << false;
    }
    void theUpdateButton()
    {
        QFETCH(bool, configured);
        QFETCH(bool, updating);
        QFETCH(QString, title);
        QFETCH(bool, enabled);
        Screen screen;
        AppModel &model = buildValidated(screen);
        model.setConfigurationReady(configured);
        model.setIsUpdatingAgent(updating);
        screen.open(QStringLiteral("Main.qml"), tall);
        QCOMPARE(screen.text("updateAgentButton"), title);
        QCOMPARE(screen.item("updateAgentButton")->isEnabled(), enabled);
    }

    void recheckingReachesTheModel()
    {
        Screen screen;
        buildValidated(screen);
        screen.open(QStringLiteral("Main.qml"), tall);
        screen.click(QStringLiteral("recheckPermissionsButton"));
        QTRY_VERIFY(screen.calls.contains(QStringLiteral("permissionCheck screenRecording")));
    }

    void theUpdateBanner()
    {
        Screen screen;
        AppModel &model = buildValidated(screen);
        model.setOverallState(OverallState::online);
        model.setStatusSnapshot(onlineSnapshot());
        model.setAvailableAgentVersion(QStringLiteral("1.5.0"));
        screen.open(QStringLiteral("Main.qml"));
        QTRY_VERIFY(screen.shown("agentUpdateBanner"));
        QCOMPARE(screen.text("agentUpdateText"), model.agentUpdateBannerText());
        QVERIFY(screen.shown("agentUpdateButton") && screen.shown("agentUpdateDismiss"));
        screen.save(QStringLiteral("dashboard-update-offered"));

        model.setIsUpdatingAgent(true);
        QVERIFY(!screen.shown("agentUpdateButton"));
        QVERIFY(!screen.shown("agentUpdateDismiss"));
        model.setIsUpdatingAgent(false);

        screen.click(QStringLiteral("agentUpdateDismiss"));
        QCOMPARE(model.dismissedAgentVersion(), std::optional(QStringLiteral("1.5.0")));
        QTRY_VERIFY(!screen.shown("agentUpdateBanner"));
        model.setAvailableAgentVersion(QStringLiteral("1.6.0")); // another version is offered again
        QTRY_VERIFY(screen.shown("agentUpdateBanner"));
    }
};

TALLOWMERE_SCREEN_TEST(DashboardTest)
#include "tst_Dashboard.moc"
