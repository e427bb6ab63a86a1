// The main window's frame: the page switch, the announcements and the channel-binding sheet over it
// during the channel stage.
#include "ScreenFixture.h"

using namespace tallowmere;
using namespace Qt::StringLiterals;
using testing::Screen;
using testing::utf8;

namespace {

// The sheet's buttons over the link's state: copying only while the link can be opened, the two link
// requests only while the binding is pending and no request is in flight, opening only with a link that
// is not loading, and nothing but a spinner on the open button while the browser opens.
const struct SheetRow {
    const char *name;
    bool link, pending, inFlight, loading, opening, copied;
    const char *copyTitle; // nullptr: not shown
    bool requests, open;
} sheetRows[] = {
    {"link-ready", true, true, false, false, false, false, "复制链接", true, true},
    {"copied-while-refreshing", true, true, true, false, false, true, "已复制", false, true},
    {"loading-a-new-link", true, true, true, true, false, false, "复制链接", false, false},
    {"no-link-yet", false, true, false, false, false, false, nullptr, true, false},
    {"bound", true, false, false, false, false, false, nullptr, false, false},
    {"opening", true, true, false, false, true, false, nullptr, true, false},
};

} // namespace

class ShellTest : public QObject {
    Q_OBJECT

    // The sheet opened in the channel stage, once it has asked for the link after its delay.
    static QObject *openInChannelStage(Screen &screen)
    {
        screen.world.at("channel", true);
        screen.build();
        screen.open();
        QObject *sheet = screen.object(u"channelBindingSheet"_s);
        if (!sheet || !testing::spinUntil([&] { return sheet->property("opened").toBool(); }))
            QTest::qFail("the sheet did not open", __FILE__, __LINE__);
        screen.world.time.advance(std::chrono::milliseconds(550));
        if (!testing::spinUntil([&] { return screen.world.calls.contains(u"binding"_s); }))
            QTest::qFail("the sheet did not ask for the link", __FILE__, __LINE__);
        return sheet;
    }

private Q_SLOTS:
    void theSheetButtons_data() { testing::addRows(sheetRows); }
    void theSheetButtons()
    {
        const auto &r = testing::currentRow(sheetRows);
        Screen screen;
        if (!r.link)
            screen.world.answers = {OwnerSetupSession{true, std::nullopt, std::nullopt, false, {}}};
        openInChannelStage(screen);
        AppModel &model = screen.model();
        model.setOwnerSetupPending(r.pending);
        model.setOwnerSetupRequestInFlight(r.inFlight);
        model.setIsLoadingOwnerSetup(r.loading);
        model.setIsOpeningOwnerSetup(r.opening);
        model.setOwnerSetupLinkCopied(r.copied);
        QCOMPARE(screen.shown("copyLinkButton"), r.copyTitle != nullptr);
        if (r.copyTitle)
            QCOMPARE(screen.text("copyLinkButton"), testing::utf8(r.copyTitle));
        QQuickItem *open = screen.item(u"openOwnerSetupButton"_s);
        QCOMPARE(open->isEnabled(), r.open);
        QTRY_COMPARE(Screen::within(open, u"buttonSpinner"_s)->isVisible(), r.opening);
        QCOMPARE(open->property("showsText").toBool(), !r.opening);
        // A press reaches the onboarding service only where the button allows it: never a second request
        // while one is in flight.
        for (const char *button : {"regenerateLinkButton", "refreshStatusButton"}) {
            QCOMPARE(screen.item(QLatin1String(button))->isEnabled(), r.requests);
            const qsizetype before = screen.world.calls.size();
            screen.click(QLatin1String(button));
            QCOMPARE(screen.world.calls.size() - before, r.requests ? 1 : 0);
        }
    }

    // Neither Escape, nor the close shortcut, nor a click beside it closes the sheet: only the binding does.
    // Announcements go on behind it; copying and opening the link reach the model.
    void theSheetUntilTheBinding()
    {
        Screen screen;
        QObject *sheet = openInChannelStage(screen);
        QTRY_VERIFY(screen.shown("copyLinkButton"));
        QCOMPARE(screen.text("sessionDetail"),
                 u"请在系统浏览器中选择 Channel。Tallowmere 会在后台等待，绑定成功后自动继续。"_s);
        QCOMPARE(screen.text("openOwnerSetupButton"), utf8("打开浏览器"));
        screen.save(u"channel-sheet-link-ready"_s);
        QTest::keyClick(screen.window(), Qt::Key_Escape);
        QTest::keyClick(screen.window(), Qt::Key_W, Qt::ControlModifier);
        QTest::mouseClick(screen.window(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::qWait(50);
        QVERIFY(sheet->property("visible").toBool() && screen.window()->isVisible());

        // Each revision of the announcement is announced, even of the same text; the text alone says nothing.
        QQuickItem *announcer = screen.item(u"announcer"_s);
        QVERIFY(!announcer->isVisible());
        int shows = 0;
        QObject::connect(announcer, &QQuickItem::visibleChanged, announcer, [&] { shows += announcer->isVisible(); });
        screen.model().setAnnouncement(u"屏幕录制已配置"_s);
        QCOMPARE(shows, 0);
        screen.model().setAnnouncementRevision(1);
        QCOMPARE(shows, 1);
        QCOMPARE(Screen::accessibleName(announcer), u"屏幕录制已配置"_s);
        screen.model().setAnnouncementRevision(2);
        QCOMPARE(shows, 2);

        screen.world.opens = false; // the pasteboard refuses, then takes the link
        screen.click(u"copyLinkButton"_s);
        QCOMPARE(screen.text("copyLinkButton"), utf8("复制链接"));
        screen.world.opens = true;
        screen.click(u"copyLinkButton"_s);
        QCOMPARE(screen.world.called(u"copy"_s).count(u"setup#t"_s), 2);
        QCOMPARE(screen.text("copyLinkButton"), utf8("已复制"));

        screen.world.opens = false; // opening starts afresh: nothing copied yet
        screen.click(u"openOwnerSetupButton"_s);
        QTRY_VERIFY(screen.world.calls.contains(u"browse:https://onboarding.test/owner/agents/a/setup#t"_s));
        QCOMPARE(screen.text("copyLinkButton"), utf8("复制链接"));
        QCOMPARE(screen.text("openOwnerSetupButton"), utf8("重试"));
        const QString retry = u"没有成功打开默认浏览器，请复制链接后手动打开，或再次点击重试。"_s;
        QTRY_VERIFY(screen.shown("openFailedLine"));
        QCOMPARE(screen.text("openFailedLine"), retry);
        QCOMPARE(screen.text("sessionDetail"), u"浏览器没有打开时，请复制链接后在浏览器中完成绑定。"_s);
        QObject *header = screen.object(u"channelSheetHeader"_s);
        QVERIFY(Screen::accessibleName(header).endsWith(u"，"_s + retry));
        screen.save(u"channel-sheet-open-failed"_s);

        // A new attempt: the opening text, no retry sentence.
        screen.model().setIsOpeningOwnerSetup(true);
        QCOMPARE(screen.text("sessionDetail"), u"正在打开系统浏览器。打开后可随时返回本窗口查看进度。"_s);
        QVERIFY(!screen.shown("openFailedLine"));
        QVERIFY(!Screen::accessibleName(header).contains(retry));
        screen.model().setIsOpeningOwnerSetup(false);
        screen.world.opens = true;
        screen.click(u"openOwnerSetupButton"_s);
        QTRY_COMPARE(screen.text("openOwnerSetupButton"), utf8("重新打开浏览器"));
        QVERIFY(!screen.shown("openFailedLine"));

        // Verified ownership outweighs the opening and its failure.
        screen.model().setChannelOwnershipVerified(true);
        screen.model().setOwnerSetupOpenFailed(true);
        screen.model().setIsOpeningOwnerSetup(true);
        QCOMPARE(screen.text("sessionDetail"), u"Ownership verified，正在完成连接并进入面板…"_s);
        screen.save(u"channel-sheet-verified"_s);
        // A validated installation still in the channel stage: the dashboard, without its channel block,
        // in place of the setup page; and back again.
        screen.model().setInstallationValidated(true);
        QTRY_VERIFY(screen.shown("dashboardView"));
        QVERIFY(!screen.shown("channelStatus"));
        QTRY_VERIFY(!screen.find(u"setupView"_s));
        screen.model().setInstallationValidated(false);
        QTRY_VERIFY(screen.shown("setupView"));
    }
};

TALLOWMERE_TEST(ShellTest)
#include "tst_Shell.moc"
