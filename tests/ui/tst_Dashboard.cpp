// The dashboard of a validated installation and the menu-bar panel, for chosen states of the model.
#include "ScreenFixture.h"

#include <QSignalSpy>

using namespace tallowmere;
using testing::Screen;
using testing::str;

namespace {

StatusSnapshot onlineSnapshot()
{
    StatusSnapshot snapshot;
    snapshot.currentTask = str("整理本周的销售报表");
    snapshot.isWorking = snapshot.bridgeConnected = snapshot.handshakeComplete = true;
    snapshot.bridgeHeartbeatAt = QDateTime::currentDateTime().addSecs(-3);
    snapshot.agentVersion = QStringLiteral("1.4.2");
    snapshot.processID = 4242;
    return snapshot;
}

DisplayError unreachable(RecoveryAction::Case recovery)
{
    return {QStringLiteral("AGENT_UNREACHABLE"), str("无法连接 Agent。"), str("任务暂停。"),
            RecoveryAction::of(recovery)};
}

// The recovery of an error leads and is not offered twice; without an error, the five secondary actions.
const struct DashboardRow {
    const char *name;
    std::optional<RecoveryAction::Case> recovery;
    const char *primary, *secondary;
} dashboardRows[] = {
    {"online", std::nullopt, "", "重启 Agent|重新检查权限|更新 Agent|打开日志目录|检查 App 更新"},
    {"disconnected-error", RecoveryAction::Case::restartAgent, "重启 Agent",
     "重新检查权限|更新 Agent|打开日志目录|检查 App 更新"},
    {"recheck", RecoveryAction::Case::recheckPermissions, "检查权限",
     "重启 Agent|更新 Agent|打开日志目录|检查 App 更新"},
    {"logs", RecoveryAction::Case::openLogs, "打开日志目录",
     "重启 Agent|重新检查权限|更新 Agent|打开日志目录|检查 App 更新"},
};

// The same conditions on the dashboard's update button and the panel's.
const struct UpdateRow {
    const char *name;
    bool configured, updating;
    const char *title;
    bool enabled;
} updateRows[] = {{"ready", true, false, "更新 Agent", true},
                  {"updating", true, true, "正在更新 Agent…", false},
                  {"no-configuration", false, false, "更新 Agent", false}};

const struct PanelRow {
    const char *name;
    OverallState state;
    const char *title, *detail;
} panelRows[] = {
    {"notInstalled", OverallState::notInstalled, "等待安装", "Tallowmere 尚未安装。"},
    {"starting", OverallState::starting, "正在安装", "Tallowmere 正在准备运行环境。"},
    {"waitingSetup", OverallState::waitingSetup, "等待 setup", "输入 JIT Code 或 Setup Code 完成设备注册。"},
    {"online", OverallState::online, "在线", "Agent 已安装并启动。"},
    {"error", OverallState::error, "需要处理", "Tallowmere 尚未就绪，请查看详情。"},
};

QString lineValue(const Screen &screen, const char *line)
{
    return Screen::textWithin(screen.item(QLatin1String(line)), QStringLiteral("statusValue"));
}

} // namespace

class DashboardTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theDashboard_data() { testing::addRows(dashboardRows); }
    void theDashboard()
    {
        const auto &r = testing::currentRow(dashboardRows);
        Screen screen;
        screen.configure();
        AppModel &model = screen.build();
        const bool online = !r.recovery;
        model.setOverallState(online ? OverallState::online : OverallState::error);
        if (online) {
            model.setStatusSnapshot(onlineSnapshot());
            model.setActivities({{QUuid::createUuid(), QDateTime::currentDateTime().addSecs(-60),
                                  ActivityEvent::Source::agent, str("已完成：整理本周的销售报表")}});
        } else {
            model.setLastError(unreachable(*r.recovery));
        }
        screen.open();
        QVERIFY(screen.shown("dashboardView"));
        QCOMPARE(screen.shown("primaryRecoveryButton"), !online);
        if (!online)
            QCOMPARE(screen.text("primaryRecoveryButton"), str(r.primary));
        QStringList secondary;
        for (const char *name : {"restartAgentButton", "recheckPermissionsButton", "updateAgentButton",
                                 "openLogsButton", "checkAppUpdateButton"}) {
            if (screen.shown(QLatin1String(name)))
                secondary << screen.text(QLatin1String(name));
        }
        QCOMPARE(secondary.join(u'|'), str(r.secondary));
        // The error section of the dashboard has no button of its own.
        QCOMPARE(screen.shown("errorSection"), !online);
        QVERIFY(!screen.shown("recoveryButton"));
        QCOMPARE(screen.text("currentTask"), model.currentTask());
        QCOMPARE(lineValue(screen, "agentVersionLine"),
                 online ? QStringLiteral("1.4.2") : QStringLiteral("--"));
        QCOMPARE(lineValue(screen, "connectionLine"), str(online ? "已连接" : "未连接"));
        QCOMPARE(lineValue(screen, "heartbeatLine"),
                 model.heartbeatDescription(QDateTime::currentDateTime()));
        QCOMPARE(screen.shown("noActivity"), !online);
        QCOMPARE(screen.text(online ? "activitySummary" : "noActivity"),
                 str(online ? "已完成：整理本周的销售报表" : "尚无活动"));
        QVERIFY(screen.shown("channelStatus"));
        screen.save(QStringLiteral("dashboard-") + str(r.name));
        if (online) {
            screen.click(QStringLiteral("recheckPermissionsButton"));
            QTRY_VERIFY(screen.calls.contains(QStringLiteral("permissionCheck screenRecording")));
            // A newer agent is offered; while updating, the banner offers nothing; dismissed, it stays away
            // until another version comes.
            QVERIFY(!screen.shown("agentUpdateBanner"));
            model.setAvailableAgentVersion(QStringLiteral("1.5.0"));
            QTRY_VERIFY(screen.shown("agentUpdateBanner"));
            QCOMPARE(screen.text("agentUpdateText"), model.agentUpdateBannerText());
            QVERIFY(screen.shown("agentUpdateButton") && screen.shown("agentUpdateDismiss"));
            screen.save(QStringLiteral("dashboard-update-offered"));
            model.setIsUpdatingAgent(true);
            QVERIFY(!screen.shown("agentUpdateButton") && !screen.shown("agentUpdateDismiss"));
            model.setIsUpdatingAgent(false);
            screen.click(QStringLiteral("agentUpdateDismiss"));
            QCOMPARE(model.dismissedAgentVersion(), std::optional(QStringLiteral("1.5.0")));
            QTRY_VERIFY(!screen.shown("agentUpdateBanner"));
            model.setAvailableAgentVersion(QStringLiteral("1.6.0"));
            QTRY_VERIFY(screen.shown("agentUpdateBanner"));
        }
    }

    void theUpdateButton_data() { testing::addRows(updateRows); }
    void theUpdateButton()
    {
        const auto &r = testing::currentRow(updateRows);
        for (const QString button : {"updateAgentButton", "panelUpdateAgent"}) {
            Screen screen;
            screen.configure();
            screen.build().setConfigurationReady(r.configured);
            screen.model().setIsUpdatingAgent(r.updating);
            const bool panel = button.startsWith(u'p');
            screen.open(str(panel ? "MenuBarContent.qml" : "Main.qml"),
                        panel ? QSize(340, 420) : QSize(960, 1400));
            screen.expectButton(button, str(r.title), r.enabled);
            QTRY_COMPARE(Screen::within(screen.item(button), QStringLiteral("buttonSpinner"))->isVisible(),
                         r.updating);
        }
    }

    // The menu-bar panel's header; restarting and rechecking in every state (even with a restarting
    // recovery); the main window asked of the shell.
    void thePanel_data() { testing::addRows(panelRows); }
    void thePanel()
    {
        const auto &r = testing::currentRow(panelRows);
        Screen screen;
        screen.configure();
        screen.build().setOverallState(r.state);
        screen.open(QStringLiteral("MenuBarContent.qml"), {340, 420});
        QCOMPARE(screen.text("panelTitle"), str(r.title));
        QCOMPARE(screen.text("panelDetail"), str(r.detail));
        QCOMPARE(screen.text("panelCurrentTask"), screen.model().currentTask());
        screen.save(QStringLiteral("menu-bar-panel-") + str(r.name));
        screen.model().setLastError(unreachable(RecoveryAction::Case::restartAgent));
        QVERIFY(screen.shown("panelRestartAgent") && screen.shown("panelRecheckPermissions"));
        screen.click(QStringLiteral("panelRecheckPermissions"));
        QTRY_VERIFY(screen.calls.contains(QStringLiteral("permissionCheck screenRecording")));
        QSignalSpy asked(screen.object(QStringLiteral("menuBarContent")), SIGNAL(openMainWindowRequested()));
        screen.click(QStringLiteral("openMainWindowButton"));
        QCOMPARE(asked.count(), 1);
        QTest::keyClick(screen.window(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(asked.count(), 2);
    }
};

TALLOWMERE_SCREEN_TEST(DashboardTest)
#include "tst_Dashboard.moc"
