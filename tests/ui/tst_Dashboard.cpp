// The dashboard of a validated installation and the menu-bar panel, for chosen states of the model.
#include "ScreenFixture.h"

#include <QSignalSpy>

using namespace tallowmere;
using namespace Qt::StringLiterals;
using testing::Screen;
using testing::utf8;

namespace {

using enum RecoveryAction::Case;

// The recovery of an error leads and is not offered twice; without an error, the five secondary actions.
// The update button waits for the configuration and for a running update.
const struct DashboardRow {
    const char *name;
    std::optional<RecoveryAction::Case> recovery;
    bool configured, updating;
    const char *primary, *secondary;
} dashboardRows[] = {
    {"online", std::nullopt, true, false, "", "重启 Agent|重新检查权限|更新 Agent|打开日志目录|检查 App 更新"},
    {"unreachable", restartAgent, true, true, "重启 Agent", "重新检查权限|正在更新 Agent…|打开日志目录|检查 App 更新"},
    {"recheck", recheckPermissions, false, false, "检查权限", "重启 Agent|更新 Agent|打开日志目录|检查 App 更新"},
    {"logs", openLogs, true, false, "打开日志目录", "重启 Agent|重新检查权限|更新 Agent|打开日志目录|检查 App 更新"},
};

const struct PanelRow {
    const char *name;
    OverallState state;
    bool configured, updating;
    const char *title, *detail;
} panelRows[] = {
    {"notInstalled", OverallState::notInstalled, false, false, "等待安装", "Tallowmere 尚未安装。"},
    {"starting", OverallState::starting, true, true, "正在安装", "Tallowmere 正在准备运行环境。"},
    {"waitingSetup", OverallState::waitingSetup, true, false, "等待 setup",
     "输入 JIT Code 或 Setup Code 完成设备注册。"},
    {"online", OverallState::online, true, false, "在线", "Agent 已安装并启动。"},
    {"error", OverallState::error, true, false, "需要处理", "Tallowmere 尚未就绪，请查看详情。"},
};

void expectUpdateButton(const Screen &screen, const char *name, bool configured, bool updating)
{
    QCOMPARE(screen.item(QLatin1String(name))->isEnabled(), configured && !updating);
    QTRY_COMPARE(Screen::within(screen.item(QLatin1String(name)), u"buttonSpinner"_s)->isVisible(), updating);
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
        screen.world.fixture.configure();
        AppModel &model = screen.build();
        model.setConfigurationReady(r.configured);
        model.setIsUpdatingAgent(r.updating);
        const bool online = !r.recovery;
        model.setOverallState(online ? OverallState::online : OverallState::error);
        if (online) {
            model.setStatusSnapshot({.currentTask = utf8("整理本周的销售报表"), .isWorking = true,
                                     .bridgeConnected = true, .handshakeComplete = true,
                                     .bridgeHeartbeatAt = QDateTime::currentDateTime().addSecs(-3),
                                     .agentVersion = u"1.4.2"_s});
            model.setActivities({{QUuid::createUuid(), QDateTime::currentDateTime().addSecs(-60),
                                  ActivityEvent::Source::agent, utf8("已完成：整理本周的销售报表")}});
        } else {
            model.setLastError(testing::unreachable(*r.recovery));
        }
        screen.open();
        QCOMPARE(screen.shown("primaryRecoveryButton"), !online);
        QCOMPARE(screen.text("primaryRecoveryButton"), utf8(r.primary));
        QStringList secondary;
        for (const char *name : {"restartAgentButton", "recheckPermissionsButton", "updateAgentButton",
                                 "openLogsButton", "checkAppUpdateButton"}) {
            if (screen.shown(QLatin1String(name)))
                secondary << screen.text(QLatin1String(name));
        }
        QCOMPARE(secondary.join(u'|'), utf8(r.secondary));
        expectUpdateButton(screen, "updateAgentButton", r.configured, r.updating);
        QCOMPARE(screen.shown("errorSection"), !online);
        QVERIFY(!screen.shown("recoveryButton"));
        QCOMPARE(screen.text("currentTask"), model.currentTask());
        QCOMPARE(Screen::textWithin(screen.item("agentVersionLine"), "statusValue"), online ? u"1.4.2"_s : u"--"_s);
        QCOMPARE(Screen::textWithin(screen.item("connectionLine"), "statusValue"), utf8(online ? "已连接" : "未连接"));
        QCOMPARE(Screen::textWithin(screen.item("heartbeatLine"), "statusValue"),
                 model.heartbeatDescription(QDateTime::currentDateTime()));
        QCOMPARE(screen.shown("noActivity"), !online);
        QCOMPARE(screen.text(online ? "activitySummary" : "noActivity"),
                 utf8(online ? "已完成：整理本周的销售报表" : "尚无活动"));
        QVERIFY(screen.shown("channelStatus"));
        screen.save(u"dashboard-"_s + utf8(r.name));
        if (online) {
            screen.click(u"recheckPermissionsButton"_s);
            QTRY_VERIFY(screen.world.calls.contains(u"check:screenRecording"_s));
            // A newer agent is offered; while updating, the banner offers nothing; dismissed, it goes.
            model.setAvailableAgentVersion(u"1.5.0"_s);
            QTRY_VERIFY(screen.shown("agentUpdateBanner"));
            QCOMPARE(screen.text("agentUpdateText"), model.agentUpdateBannerText());
            QVERIFY(screen.shown("agentUpdateButton") && screen.shown("agentUpdateDismiss"));
            screen.save(u"dashboard-update-offered"_s);
            model.setIsUpdatingAgent(true);
            QVERIFY(!screen.shown("agentUpdateButton") && !screen.shown("agentUpdateDismiss"));
            model.setIsUpdatingAgent(false);
            screen.click(u"agentUpdateDismiss"_s);
            QCOMPARE(model.dismissedAgentVersion(), std::optional(u"1.5.0"_s));
            QTRY_VERIFY(!screen.shown("agentUpdateBanner"));
        }
    }

    // The menu-bar panel's header and update button; restarting and rechecking in every state (even with a
    // restarting recovery); the main window asked of the shell.
    void thePanel_data() { testing::addRows(panelRows); }
    void thePanel()
    {
        const auto &r = testing::currentRow(panelRows);
        Screen screen;
        screen.world.fixture.configure();
        screen.build().setOverallState(r.state);
        screen.model().setConfigurationReady(r.configured);
        screen.model().setIsUpdatingAgent(r.updating);
        screen.open(u"MenuBarContent.qml"_s, {340, 420});
        QCOMPARE(screen.text("panelTitle"), utf8(r.title));
        QCOMPARE(screen.text("panelDetail"), utf8(r.detail));
        QCOMPARE(screen.text("panelUpdateAgent"), utf8(r.updating ? "正在更新 Agent…" : "更新 Agent"));
        expectUpdateButton(screen, "panelUpdateAgent", r.configured, r.updating);
        QCOMPARE(screen.text("panelCurrentTask"), screen.model().currentTask());
        screen.save(u"menu-bar-panel-"_s + utf8(r.name));
        screen.model().setLastError(testing::unreachable(restartAgent));
        QVERIFY(screen.shown("panelRestartAgent") && screen.shown("panelRecheckPermissions"));
        screen.click(u"panelRecheckPermissions"_s);
        if (r.configured) // without a configuration there is nothing to recheck
            QTRY_VERIFY(screen.world.calls.contains(u"check:screenRecording"_s));
        QSignalSpy asked(screen.object(u"menuBarContent"_s), SIGNAL(openMainWindowRequested()));
        screen.click(u"openMainWindowButton"_s);
        QTest::keyClick(screen.window(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(asked.count(), 2);
    }
};

TALLOWMERE_TEST(DashboardTest)
#include "tst_Dashboard.moc"
