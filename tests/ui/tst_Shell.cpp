// The main window's frame: the page switch, the announcements, the icons and the channel-binding sheet
// over it during the channel stage.
#include "ScreenFixture.h"

#include "app/PersistedState.h"
#include "ui/Desktop.h"
#include "ui/ImageProviders.h"
#include "ui/SymbolImage.h"

using namespace tallowmere;
using testing::Screen;

class ShellTest : public QObject {
    Q_OBJECT

    // The channel stage of a configured installation, with the sheet up.
    static QObject *openInChannelStage(Screen &screen)
    {
        screen.configure();
        screen.writeState(persisted::installStageFile, "channel");
        screen.build();
        screen.open();
        QObject *sheet = screen.object(QStringLiteral("channelBindingSheet"));
        if (!sheet || !testing::spinUntil([&] { return sheet->property("opened").toBool(); }))
            QTest::qFail("the sheet did not open", __FILE__, __LINE__);
        return sheet;
    }

private Q_SLOTS:
    void thePageFollowsTheValidation()
    {
        Screen screen;
        screen.build();
        screen.open();
        QCOMPARE(screen.window()->objectName(), QStringLiteral("main"));
        QVERIFY(screen.shown("setupView"));
        screen.save(QStringLiteral("setup-runtime"));
        QObject *pages = screen.object(QStringLiteral("pages"));
        const int duration = pages->property("duration").toInt();
        screen.engine()
            .singletonInstance<ui::Desktop *>(qmlTypeId("Tallowmere", 1, 0, "Desktop"))
            ->setProperty("reduceMotion", true);
        QVERIFY(pages->property("duration").toInt() < duration); // reduced motion shortens the switch

        screen.model().setInstallationValidated(true);
        QTRY_VERIFY(screen.shown("dashboardView"));
        QTRY_VERIFY(!screen.find(QStringLiteral("setupView")));
        screen.model().setInstallationValidated(false);
        QTRY_VERIFY(screen.shown("setupView"));
    }

    void eachRevisionIsAnnounced()
    {
        Screen screen;
        screen.build();
        screen.open();
        QQuickItem *announcer = screen.item(QStringLiteral("announcer"));
        QVERIFY(!announcer->isVisible());
        int shows = 0;
        QObject::connect(announcer, &QQuickItem::visibleChanged, announcer,
                         [&] { shows += announcer->isVisible(); });
        screen.model().setAnnouncement(QStringLiteral("屏幕录制已配置"));
        QCOMPARE(shows, 0); // the text alone says nothing
        screen.model().setAnnouncementRevision(1);
        QCOMPARE(shows, 1);
        QCOMPARE(Screen::accessibleName(announcer), QStringLiteral("屏幕录制已配置"));
        screen.model().setAnnouncementRevision(2); // the same text again
        QCOMPARE(shows, 2);
    }

    // The symbols the screens use; a brand image that is missing falls back to a symbol.
    void everySymbolHasAnIcon()
    {
        ui::prepareSymbols();
        const QStringList symbols =
            QStringLiteral(
                "circle.dashed key.horizontal checkmark.circle.fill xmark.octagon.fill hand.raised "
                "lock.shield gearshape.2 person.badge.key exclamationmark.triangle "
                "exclamationmark.triangle.fill arrow.triangle.2.circlepath accessibility "
                "internaldrive rectangle.inset.filled.and.person.filled network "
                "sparkles.rectangle.stack.fill xmark circle xmark.circle.fill chevron.right chevron.down")
                .split(u' ');
        for (const QString &symbol : symbols)
            QVERIFY2(!ui::symbolImage(symbol, 16).isNull(), qPrintable(symbol));
        QVERIFY(!ui::brandImage(QStringLiteral("NoSuchImage"), 18).isNull());
        QVERIFY(!ui::brandIcon(QStringLiteral("NoSuchImage")).isNull());
    }

    void theSheetFetchesTheLinkAndNothingButTheModelClosesIt()
    {
        Screen screen;
        QObject *sheet = openInChannelStage(screen);
        QVERIFY(!screen.shown("copyLinkButton"));
        QVERIFY(!screen.item("openOwnerSetupButton")->isEnabled());
        QTRY_VERIFY(screen.calls.contains(QStringLiteral("ownerSetupRequest")));
        QTRY_VERIFY(screen.shown("copyLinkButton"));
        QVERIFY(screen.item("openOwnerSetupButton")->isEnabled() &&
                screen.item("regenerateLinkButton")->isEnabled());
        QCOMPARE(
            screen.text("sessionDetail"),
            QStringLiteral("请在系统浏览器中选择 Channel。Tallowmere 会在后台等待，绑定成功后自动继续。"));
        QCOMPARE(screen.text("openOwnerSetupButton"), screen.model().ownerSetupOpenButtonTitle());
        screen.save(QStringLiteral("channel-sheet-link-ready"));

        QTest::keyClick(screen.window(), Qt::Key_Escape);
        QTest::keyClick(screen.window(), Qt::Key_W, Qt::ControlModifier);
        QTest::mouseClick(screen.window(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::qWait(50);
        QVERIFY(sheet->property("visible").toBool() && screen.window()->isVisible());

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
        QCOMPARE(screen.text("sessionDetail"),
                 QStringLiteral("浏览器没有打开时，请复制链接后在浏览器中完成绑定。"));
        QObject *header = screen.object(QStringLiteral("channelSheetHeader"));
        QVERIFY(Screen::accessibleName(header).endsWith(QStringLiteral("，") + retry));
        screen.save(QStringLiteral("channel-sheet-open-failed"));

        // A new attempt: only the spinner on the button, the opening text, no retry sentence.
        screen.model().setIsOpeningOwnerSetup(true);
        QCOMPARE(screen.text("sessionDetail"),
                 QStringLiteral("正在打开系统浏览器。打开后可随时返回本窗口查看进度。"));
        QVERIFY(!screen.shown("openFailedLine"));
        QVERIFY(!Screen::accessibleName(header).contains(retry));
        QQuickItem *open = screen.item(QStringLiteral("openOwnerSetupButton"));
        QTRY_VERIFY(Screen::within(open, QStringLiteral("buttonSpinner"))->isVisible());
        QVERIFY(!open->property("showsText").toBool());

        // Verified ownership outweighs the opening and its failure.
        screen.model().setChannelOwnershipVerified(true);
        screen.model().setOwnerSetupOpenFailed(true);
        QCOMPARE(screen.text("sessionDetail"), QStringLiteral("Ownership verified，正在完成连接并进入面板…"));
        screen.model().setIsOpeningOwnerSetup(false);
        QCOMPARE(screen.text("sessionDetail"), QStringLiteral("Ownership verified，正在完成连接并进入面板…"));
        screen.save(QStringLiteral("channel-sheet-verified"));
        // A validated installation still in the channel stage: the dashboard, without its channel block.
        screen.model().setInstallationValidated(true);
        QTRY_VERIFY(screen.shown("dashboardView"));
        QVERIFY(!screen.shown("channelStatus"));
    }
};

TALLOWMERE_SCREEN_TEST(ShellTest)
#include "tst_Shell.moc"
