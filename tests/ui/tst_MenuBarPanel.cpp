// The menu-bar panel, rendered on its own.
#include "ScreenFixture.h"

#include <QSignalSpy>

using namespace tallowmere;
using testing::Screen;

class MenuBarPanelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theHeaderFollowsTheOverallState_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("detail");
        QTest::newRow("notInstalled") << int(OverallState::notInstalled) << QStringLiteral("等待安装")
                                      << QStringLiteral("Tallowmere 尚未安装。");
        QTest::newRow("starting") << int(OverallState::starting) << QStringLiteral("正在安装")
                                  << QStringLiteral("Tallowmere 正在准备运行环境。");
        QTest::newRow("waitingSetup") << int(OverallState::waitingSetup) << QStringLiteral("等待 setup")
                                      << QStringLiteral("输入 JIT Code 或 Setup Code 完成设备注册。");
        QTest::newRow("online") << int(OverallState::online) << QStringLiteral("在线")
                                << QStringLiteral("Agent 已安装并启动。");
        QTest::newRow("error") << int(OverallState::error) << QStringLiteral("需要处理")
                               << QStringLiteral("Tallowmere 尚未就绪，请查看详情。");
    }
    void theHeaderFollowsTheOverallState()
    {
        QFETCH(int, state);
        QFETCH(QString, title);
        QFETCH(QString, detail);
        Screen screen;
        screen.build().setOverallState(OverallState(state));
        screen.open(QStringLiteral("MenuBarContent.qml"), {340, 420});
        QCOMPARE(screen.text("panelTitle"), title);
        QCOMPARE(screen.text("panelDetail"), detail);
        QCOMPARE(screen.text("panelCurrentTask"), screen.model().currentTask());
        if (OverallState(state) == OverallState::online)
            screen.save(QStringLiteral("menu-bar-panel"));
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
        screen.build().setConfigurationReady(configured);
        screen.model().setIsUpdatingAgent(updating);
        screen.open(QStringLiteral("MenuBarContent.qml"), {340, 420});
        QCOMPARE(screen.text("panelUpdateAgent"), title);
        QCOMPARE(screen.item("panelUpdateAgent")->isEnabled(), enabled);
        QTRY_COMPARE(
            Screen::within(screen.item("panelUpdateAgent"), QStringLiteral("buttonSpinner"))->isVisible(),
            updating);
    }

    void restartAndRecheckAreAlwaysThere()
    {
        Screen screen;
        screen.configure();
        screen.build().setLastError(DisplayError{
            QStringLiteral("AGENT_UNREACHABLE"), QStringLiteral("无法连接 Agent。"),
            QStringLiteral("任务暂停。"), RecoveryAction::of(RecoveryAction::Case::restartAgent)});
        screen.open(QStringLiteral("MenuBarContent.qml"), {340, 420});
        QVERIFY(screen.shown("panelRestartAgent"));
        QVERIFY(screen.shown("panelRecheckPermissions"));
        screen.click(QStringLiteral("panelRecheckPermissions"));
        QTRY_VERIFY(screen.calls.contains(QStringLiteral("permissionCheck screenRecording")));
    }

    void openingTheWindowIsAskedOfTheShell()
    {
        Screen screen;
        screen.build();
        screen.open(QStringLiteral("MenuBarContent.qml"), {340, 420});
        QObject *panel = screen.object(QStringLiteral("menuBarContent"));
        QSignalSpy asked(panel, SIGNAL(openMainWindowRequested()));
        screen.click(QStringLiteral("openMainWindowButton"));
        QCOMPARE(asked.count(), 1);
        QTest::keyClick(screen.window(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(asked.count(), 2);
    }
};

TALLOWMERE_SCREEN_TEST(MenuBarPanelTest)
#include "tst_MenuBarPanel.moc"
