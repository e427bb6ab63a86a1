// The main window's frame: what it is, the page switch, the announcements and the icons.
#include "ScreenFixture.h"

#include "ui/Desktop.h"
#include "ui/ImageProviders.h"
#include "ui/SymbolImage.h"

using namespace tallowmere;
using testing::Screen;

class ShellTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theMainWindow()
    {
        Screen screen;
        screen.build();
        screen.open(QStringLiteral("Main.qml"));
        QCOMPARE(screen.window()->objectName(), QStringLiteral("main"));
        QCOMPARE(screen.window()->minimumSize(), QSize(860, 560));
        QCOMPARE(screen.window()->color(), QColor(Qt::white));
        QVERIFY(screen.shown("setupView"));
        screen.save(QStringLiteral("setup-runtime"));
    }

    void thePageFollowsTheValidation()
    {
        Screen screen;
        screen.build();
        screen.open(QStringLiteral("Main.qml"));
        QVERIFY(screen.shown("setupView"));
        screen.model().setInstallationValidated(true);
        QTRY_VERIFY(screen.shown("dashboardView"));
        QTRY_VERIFY(!screen.find(QStringLiteral("setupView")));
        screen.model().setInstallationValidated(false);
        QTRY_VERIFY(screen.shown("setupView"));
    }

    void reduceMotionShortensThePageSwitch()
    {
        Screen screen;
        screen.build();
        screen.open(QStringLiteral("Main.qml"));
        QObject *pages = screen.object(QStringLiteral("pages"));
        QCOMPARE(pages->property("duration").toInt(), 200);
        auto *desktop =
            screen.engine().singletonInstance<ui::Desktop *>(qmlTypeId("Tallowmere", 1, 0, "Desktop"));
        QVERIFY(desktop);
        desktop->setProperty("reduceMotion", true);
        QCOMPARE(pages->property("duration").toInt(), 150);
    }

    void eachRevisionIsAnnounced()
    {
        Screen screen;
        screen.build();
        screen.open(QStringLiteral("Main.qml"));
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

    void everySymbolHasAnIcon_data()
    {
        QTest::addColumn<QString>("symbol");
        for (const char *name : {"circle.dashed",
                                 "key.horizontal",
                                 "checkmark.circle.fill",
                                 "xmark.octagon.fill",
                                 "hand.raised",
                                 "lock.shield",
                                 "gearshape.2",
                                 "person.badge.key",
                                 "exclamationmark.triangle",
                                 "exclamationmark.triangle.fill",
                                 "arrow.triangle.2.circlepath",
                                 "accessibility",
                                 "internaldrive",
                                 "rectangle.inset.filled.and.person.filled",
                                 "network",
                                 "sparkles.rectangle.stack.fill",
                                 "xmark",
                                 "circle",
                                 "xmark.circle.fill",
                                 "chevron.right",
                                 "chevron.down"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void everySymbolHasAnIcon()
    {
        QFETCH(QString, symbol);
        ui::prepareSymbols();
        QVERIFY(!ui::symbolImage(symbol, 16).isNull());
    }

    void aMissingBrandImageFallsBackToTheSymbol()
    {
        ui::prepareSymbols();
        QVERIFY(!ui::brandImage(QStringLiteral("NoSuchImage"), 18).isNull());
        QVERIFY(!ui::brandIcon(QStringLiteral("NoSuchImage")).isNull());
    }
};

TALLOWMERE_SCREEN_TEST(ShellTest)
#include "tst_Shell.moc"
