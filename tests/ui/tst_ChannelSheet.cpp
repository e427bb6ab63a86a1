// The channel-binding sheet over the main window during the channel stage.
#include "ScreenFixture.h"

#include "app/PersistedState.h"

using namespace tallowmere;
using testing::Screen;

namespace {

// The channel stage of a configured installation, with the sheet up and the link fetched.
void openInChannelStage(Screen &screen)
{
    screen.configure();
    screen.writeState(persisted::installStageFile, "channel");
    screen.build();
    screen.open(QStringLiteral("Main.qml"));
}

QString detail(const Screen &screen)
{
    return screen.text(QStringLiteral("sessionDetail"));
}

} // namespace

class ChannelSheetTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theSheetFetchesTheLinkOnAppearance()
    {
        Screen screen;
        openInChannelStage(screen);
        QObject *sheet = screen.object(QStringLiteral("channelBindingSheet"));
        QTRY_VERIFY(sheet->property("opened").toBool());
        QVERIFY(!screen.shown("copyLinkButton"));
        QVERIFY(!screen.item("openOwnerSetupButton")->isEnabled());
        QTRY_VERIFY(screen.calls.contains(QStringLiteral("ownerSetupRequest")));
        QTRY_VERIFY(screen.shown("copyLinkButton"));
        QVERIFY(screen.item("openOwnerSetupButton")->isEnabled());
        QVERIFY(screen.item("regenerateLinkButton")->isEnabled());
        QVERIFY(screen.item("refreshStatusButton")->isEnabled());
        QCOMPARE(
            detail(screen),
            QStringLiteral("请在系统浏览器中选择 Channel。Tallowmere 会在后台等待，绑定成功后自动继续。"));
        QCOMPARE(screen.text("openOwnerSetupButton"), screen.model().ownerSetupOpenButtonTitle());
        screen.save(QStringLiteral("channel-sheet-link-ready"));
    }

    void nothingButTheModelClosesIt()
    {
        Screen screen;
        openInChannelStage(screen);
        QObject *sheet = screen.object(QStringLiteral("channelBindingSheet"));
        QTRY_VERIFY(sheet->property("opened").toBool());
        screen.press(Qt::Key_Escape);
        QTest::keyClick(screen.window(), Qt::Key_W, Qt::ControlModifier);
        QTest::mouseClick(screen.window(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::qWait(50);
        QVERIFY(sheet->property("visible").toBool());
        QVERIFY(screen.window()->isVisible());

        // The owner binds a channel: the stage moves on and the sheet goes.
        QTRY_VERIFY(screen.item("refreshStatusButton")->isEnabled());
        screen.ownerSetupSession = OwnerSetupSession{};
        screen.click(QStringLiteral("refreshStatusButton"));
        QTRY_COMPARE(screen.model().installStage(), std::optional(InstallStage::handshake));
        QTRY_VERIFY(!sheet->property("visible").toBool());
    }

    void copyingAndOpeningReachTheModel()
    {
        Screen screen;
        openInChannelStage(screen);
        QTRY_VERIFY(screen.shown("copyLinkButton"));
        screen.click(QStringLiteral("copyLinkButton"));
        QVERIFY(screen.calls.contains(QStringLiteral("ownerSetupCopy https://onboarding.example/bind/1")));
        QCOMPARE(screen.text("copyLinkButton"), QStringLiteral("已复制"));

        screen.browserOpens = false;
        screen.click(QStringLiteral("openOwnerSetupButton"));
        QTRY_VERIFY(
            screen.calls.contains(QStringLiteral("ownerSetupOpen https://onboarding.example/bind/1")));
        const QString retry =
            QStringLiteral("没有成功打开默认浏览器，请复制链接后手动打开，或再次点击重试。");
        QTRY_VERIFY(screen.shown("openFailedLine"));
        QCOMPARE(screen.text("openFailedLine"), retry);
        QCOMPARE(detail(screen), QStringLiteral("浏览器没有打开时，请复制链接后在浏览器中完成绑定。"));
        QObject *header = screen.object(QStringLiteral("channelSheetHeader"));
        QVERIFY(Screen::accessibleName(header).endsWith(QStringLiteral("，") + retry));
        screen.save(QStringLiteral("channel-sheet-open-failed"));

        // A new attempt: only the spinner on the button, the opening text, no retry sentence.
        screen.model().setIsOpeningOwnerSetup(true);
        QCOMPARE(detail(screen), QStringLiteral("正在打开系统浏览器。打开后可随时返回本窗口查看进度。"));
        QVERIFY(!screen.shown("openFailedLine"));
        QVERIFY(!Screen::accessibleName(header).contains(retry));
        QQuickItem *open = screen.item(QStringLiteral("openOwnerSetupButton"));
        QTRY_VERIFY(Screen::within(open, QStringLiteral("buttonSpinner"))->isVisible());
        QCOMPARE(open->property("showsText").toBool(), false);
    }

    void theVerifiedLineSticks()
    {
        Screen screen;
        openInChannelStage(screen);
        screen.model().setChannelOwnershipVerified(true);
        screen.model().setOwnerSetupOpenFailed(true);
        screen.model().setIsOpeningOwnerSetup(true);
        QCOMPARE(detail(screen), QStringLiteral("Ownership verified，正在完成连接并进入面板…"));
        screen.model().setIsOpeningOwnerSetup(false);
        QCOMPARE(detail(screen), QStringLiteral("Ownership verified，正在完成连接并进入面板…"));
        screen.save(QStringLiteral("channel-sheet-verified"));
    }
};

TALLOWMERE_SCREEN_TEST(ChannelSheetTest)
#include "tst_ChannelSheet.moc"
