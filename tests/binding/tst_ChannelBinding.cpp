#include "app/ModelFixture.h"
#include "cli/Errors.h"

#include <QSignalSpy>

#include <variant>

Q_DECLARE_METATYPE(std::exception_ptr)

using namespace tallowmere;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QUrl linkA(u"https://svc.example/owner/mac-1234/setup#a"_s);
const QUrl linkB(u"https://svc.example/owner/mac-1234/setup#b"_s);
const QDateTime expiry(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);
const QString networkMessage = u"暂时无法获取 Channel 绑定状态，请检查网络后重试。"_s;

// The onboarding service, the browser, the pasteboard and the link store, as fakes that note each call.
// The n-th request gets the n-th answer, any later one the last.
struct Fakes {
    QList<std::variant<OwnerSetupSession, std::exception_ptr>> answers;
    std::chrono::milliseconds requestTime{0}; // virtual time each request takes
    QStringList requests;                     // "<held link's fragment or none> force=<0|1>"
    QList<QDateTime> requestTimes;
    std::optional<OwnerSetupLink> stored;
    int saves = 0;
    bool succeeds = true; // of opening and copying
    QList<QUrl> opened, copied;
};

OwnerSetupSession linkSession(const QUrl &url, std::optional<bool> pending = std::nullopt)
{
    return {true, url, expiry, false, pending};
}

std::exception_ptr nativeError(const char *code, const char *message)
{
    return std::make_exception_ptr(TallowmereNativeError(QLatin1String(code), QString::fromUtf8(message)));
}

QCoro::Task<OwnerSetupSession> answer(std::shared_ptr<Fakes> fakes, std::optional<QUrl> existing, bool force)
{
    fakes->requests << (existing ? existing->fragment() : u"none"_s) + u" force="_s + QString::number(force);
    fakes->requestTimes << platform::clock().now();
    const auto reply = fakes->answers.at(std::min(fakes->requests.size(), fakes->answers.size()) - 1);
    if (fakes->requestTime.count() > 0)
        co_await platform::clock().sleep(fakes->requestTime);
    if (const auto *error = std::get_if<std::exception_ptr>(&reply))
        std::rethrow_exception(*error);
    co_return std::get<OwnerSetupSession>(reply);
}

QCoro::Task<bool> open(std::shared_ptr<Fakes> fakes, QUrl url)
{
    fakes->opened << url;
    co_return fakes->succeeds;
}

// A profile whose installation stands at `stage` (empty: finished).
struct Binding {
    testing::VirtualTime time;
    testing::ModelFixture fixture;
    std::shared_ptr<Fakes> fakes = std::make_shared<Fakes>();
    std::unique_ptr<AppModel> model;

    AppModel &build(const QByteArray &stage = "channel\n", bool configured = true)
    {
        if (configured)
            fixture.configure();
        fixture.write("mac-app-install-stage", stage.isEmpty() ? nullptr : stage.constData());
        AppModel::Operations operations;
        const std::shared_ptr<Fakes> f = fakes;
        operations.ownerSetupRequest = [f](std::optional<QUrl> held, bool force) {
            return answer(f, held, force);
        };
        operations.ownerSetupOpen = [f](QUrl url) { return open(f, std::move(url)); };
        operations.ownerSetupCopy = [f](QUrl url) { return f->copied << url, f->succeeds; };
        operations.ownerSetupLinkSave = [f](std::optional<QUrl> url, std::optional<QDateTime> expiresAt) {
            ++f->saves;
            f->stored = url ? std::optional(OwnerSetupLink{*url, expiresAt}) : std::nullopt;
        };
        operations.ownerSetupLinkLoad = [f] { return f->stored; };
        model = fixture.build(std::move(operations));
        return *model;
    }

    // Runs a refresh to its end, moving virtual time along while it sleeps.
    void refresh(bool force = false)
    {
        testing::Running running(model->refreshOwnerSetup(force));
        for (int step = 0; step < 1000 && !running.done(); ++step)
            time.advance(100ms);
        QVERIFY(running.done());
    }
};

} // namespace

class ChannelBindingTest : public QObject {
    Q_OBJECT

private slots:
    // A refresh outside the channel stage, or while another runs, changes nothing at all.
    void ignoredRefresh_data()
    {
        QTest::addColumn<QByteArray>("stage");
        QTest::addColumn<bool>("configured");
        QTest::addColumn<bool>("inFlight");
        QTest::addColumn<QString>("summary");
        QTest::newRow("handshake stage") << QByteArray("handshake\n") << true << false << u"尚未开始"_s;
        QTest::newRow("finished") << QByteArray() << true << false << u"已绑定"_s;
        QTest::newRow("not installed") << QByteArray() << false << false << u"尚未开始"_s;
        QTest::newRow("not configured") << QByteArray("channel\n") << false << false << u"等待完成绑定"_s;
        QTest::newRow("another refresh running")
            << QByteArray("channel\n") << true << true << u"等待完成绑定"_s;
    }
    void ignoredRefresh()
    {
        QFETCH(QByteArray, stage);
        QFETCH(bool, configured);
        QFETCH(bool, inFlight);
        QFETCH(QString, summary);
        Binding b;
        AppModel &model = b.build(stage, configured);
        QCOMPARE(model.channelBindingSummary(), summary);
        b.fakes->answers = {linkSession(linkA)};
        b.fakes->requestTime = 1s;
        std::optional<testing::Running> first;
        if (inFlight)
            first.emplace(model.refreshOwnerSetup(false));
        model.setOwnerSetupError(u"earlier"_s);
        const bool loading = model.isLoadingOwnerSetup();

        testing::Running second(model.refreshOwnerSetup(true));
        QVERIFY(second.done());
        QCOMPARE(model.ownerSetupError(), std::optional(u"earlier"_s));
        QCOMPARE(model.isLoadingOwnerSetup(), loading);
        QCOMPARE(b.fakes->requests.size(), inFlight ? 1 : 0);
        b.time.advance(1s);
        QVERIFY(!first || first->done());
    }

    // Quiet retries only while nothing is on show and the refresh was not forced.
    void failures_data()
    {
        QTest::addColumn<bool>("held");
        QTest::addColumn<bool>("force");
        QTest::addColumn<QList<std::exception_ptr>>("errors"); // then a link
        QTest::addColumn<int>("requests");
        QTest::addColumn<QString>("error");
        const auto transport = std::make_exception_ptr(TransportError(u"connection refused"_s));
        const auto unavailable = nativeError("OWNER_SETUP_UNAVAILABLE", "暂时无法获取 Channel 绑定状态");
        const auto changed = nativeError("OWNER_SETUP_STATE_CHANGED", "Channel 绑定状态已更新，正在重新检查");
        const auto config = nativeError("OWNER_SETUP_CONFIG_INVALID", "Channel 绑定配置无效");
        QTest::newRow("unreachable: 10 requests, then the network message")
            << false << false << QList<std::exception_ptr>(10, transport) << 10 << networkMessage;
        QTest::newRow("unavailable, changed, then a link")
            << false << false << QList{unavailable, changed} << 3 << QString();
        QTest::newRow("held link: shown at once") << true << false << QList{transport} << 1 << networkMessage;
        QTest::newRow("forced 409: shown at once")
            << false << true << QList{changed} << 1 << u"Channel 绑定状态已更新，正在重新检查"_s;
        QTest::newRow("configuration: final")
            << false << false << QList{config} << 1 << u"Channel 绑定配置无效"_s;
        QTest::newRow("file error: final, with the network message")
            << false << false << QList{std::make_exception_ptr(FileError(u"config.json"_s))} << 1
            << networkMessage;
    }
    void failures()
    {
        QFETCH(bool, held);
        QFETCH(bool, force);
        QFETCH(QList<std::exception_ptr>, errors);
        QFETCH(int, requests);
        QFETCH(QString, error);
        Binding b;
        if (held)
            b.fakes->stored = OwnerSetupLink{linkA, std::nullopt};
        AppModel &model = b.build();
        for (const std::exception_ptr &e : errors)
            b.fakes->answers << e;
        b.fakes->answers << linkSession(linkB);
        QSignalSpy loading(&model, &AppModel::isLoadingOwnerSetupChanged);

        b.refresh(force);
        QCOMPARE(b.fakes->requests.size(), requests);
        for (qsizetype i = 1; i < b.fakes->requestTimes.size(); ++i)
            QCOMPARE(b.fakes->requestTimes.at(i - 1).msecsTo(b.fakes->requestTimes.at(i)), 600);
        QCOMPARE(model.ownerSetupError().value_or(QString()), error);
        QCOMPARE(model.ownerSetupPending(), true);
        QCOMPARE(loading.size(), held && !force ? 0 : 2); // on, then off again
        QVERIFY(!model.isLoadingOwnerSetup());
        if (!error.isEmpty()) // a failure keeps what is held and stored
            QCOMPARE(model.ownerSetupURL(), held ? std::optional(linkA) : std::nullopt);
        QCOMPARE(b.fakes->saves, error.isEmpty() ? 1 : 0);
        QVERIFY(model.lastError() == std::nullopt); // never an application-wide error
    }

    // A restart picks the stored link up and offers it for reuse. A new link has been neither opened nor
    // copied; the same link keeps what was done with it, and is not stored again.
    void heldLink_data()
    {
        QTest::addColumn<bool>("force");
        QTest::newRow("forced, new link") << true;
        QTest::newRow("unforced, same link") << false;
    }
    void heldLink()
    {
        QFETCH(bool, force);
        Binding b;
        b.fakes->stored = OwnerSetupLink{linkA, expiry};
        AppModel &model = b.build();
        QVERIFY(model.ownerSetupURL() == linkA && model.ownerSetupExpiresAt() == expiry);
        b.fakes->answers = {linkSession(force ? linkB : linkA)};
        model.setOwnerSetupDidOpen(true);
        model.setOwnerSetupOpenFailed(true);
        model.setOwnerSetupLinkCopied(true);
        b.refresh(force);
        QCOMPARE(b.fakes->requests, QStringList{u"a force="_s + QString::number(force)});
        QCOMPARE(model.ownerSetupDidOpen() || model.ownerSetupOpenFailed() || model.ownerSetupLinkCopied(),
                 !force);
        QCOMPARE(b.fakes->saves, force ? 1 : 0);
        QCOMPARE(b.fakes->stored->url, force ? linkB : linkA);
        QVERIFY(model.canOpenOwnerSetup());
    }

    // A pending attempt that goes away while the binding is still required verifies the ownership.
    void pendingAttempt()
    {
        Binding b;
        AppModel &model = b.build();
        const QList<std::pair<std::optional<bool>, bool>> steps = {
            {false, false}, {std::nullopt, false}, {true, false}, {std::nullopt, false}, {false, true}};
        for (const auto &[pending, verified] : steps) {
            b.fakes->answers = {linkSession(linkA, pending)};
            b.refresh();
            QCOMPARE(model.channelOwnershipVerified(), verified);
        }
        QVERIFY(!model.channelBindingCompleted());
        QCOMPARE(model.installStage(), InstallStage::channel);
    }

    // The service no longer needs the binding: the link is forgotten and the handshake begins.
    void completion()
    {
        Binding b;
        b.fakes->stored = OwnerSetupLink{linkA, std::nullopt};
        AppModel &model = b.build();
        b.fakes->answers = {OwnerSetupSession{}};
        model.setOwnerSetupDidOpen(true);
        QSignalSpy stage(&model, &AppModel::installStageChanged);
        b.refresh();
        QVERIFY(model.channelBindingCompleted() && model.channelOwnershipVerified());
        QVERIFY(!model.ownerSetupURL() && !b.fakes->stored);
        QVERIFY(!model.ownerSetupDidOpen() && !model.ownerSetupPending() && !model.isLoadingOwnerSetup());
        QCOMPARE(model.installStage(), InstallStage::handshake);
        QCOMPARE(stage.size(), 1);
        QCOMPARE(b.fixture.read("mac-app-install-stage"), "handshake\n");
        QCOMPARE(testing::progressLetters(model.setupProgress()), u"ccccccccrp"_s);
        QCOMPARE(model.setupProgressDetail(), std::optional(u"正在验证 Agent 状态"_s));
        b.refresh(); // the stage is over: nothing more is asked
        QCOMPARE(b.fakes->requests.size(), 1);
    }

    // A live page whose link this application does not hold was opened by the agent itself.
    void liveSessionWithoutLink()
    {
        Binding b;
        b.fakes->stored = OwnerSetupLink{linkA, std::nullopt};
        AppModel &model = b.build();
        b.fakes->answers = {OwnerSetupSession{true, std::nullopt, QDateTime::currentDateTimeUtc(), true, {}}};
        QSignalSpy derived(&model, &AppModel::channelBindingChanged);
        b.refresh();
        QVERIFY(model.ownerSetupOpenedByAgent() && !model.canOpenOwnerSetup());
        QVERIFY(!model.ownerSetupExpiresAt() && !b.fakes->stored);
        QVERIFY(derived.size() >= 1);
    }

    void openAndCopy_data()
    {
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<QString>("title");
        QTest::newRow("opened and copied") << true << u"重新打开浏览器"_s;
        QTest::newRow("neither") << false << u"重试"_s;
    }
    void openAndCopy()
    {
        QFETCH(bool, succeeds);
        QFETCH(QString, title);
        Binding b;
        AppModel &model = b.build();
        b.fakes->succeeds = succeeds;
        model.openOwnerSetup(); // nothing held yet: nothing happens
        model.copyOwnerSetupLink();
        QVERIFY(b.fakes->opened.isEmpty() && b.fakes->copied.isEmpty());

        b.fakes->answers = {linkSession(linkA)};
        b.refresh();
        QCOMPARE(model.ownerSetupOpenButtonTitle(), u"打开浏览器"_s);
        model.copyOwnerSetupLink();
        QCOMPARE(model.ownerSetupLinkCopied(), succeeds);
        model.openOwnerSetup();
        QVERIFY(testing::spinUntil([&] { return !model.isOpeningOwnerSetup(); }));
        QCOMPARE(b.fakes->opened, QList{linkA});
        QCOMPARE(b.fakes->copied, QList{linkA});
        QCOMPARE(model.ownerSetupDidOpen(), succeeds);
        QCOMPARE(model.ownerSetupOpenFailed(), !succeeds);
        QVERIFY(!model.ownerSetupLinkCopied()); // opening starts afresh
        QCOMPARE(model.ownerSetupOpenButtonTitle(), title);
    }

    // The sheet's appearance refreshes after its delay; the monitoring loop on every cycle of the stage.
    void scheduledRefreshes()
    {
        Binding b;
        AppModel &model = b.build();
        b.fakes->answers = {linkSession(linkA)};
        model.noteChannelBindingSessionAppeared(550);
        b.time.advance(500ms);
        QCOMPARE(b.fakes->requests.size(), 0);
        b.time.advance(50ms);
        QCOMPARE(b.fakes->requests.size(), 1);

        model.startStatusMonitoring();
        QCOMPARE(b.fakes->requests.size(), 2);
        for (int cycle = 0; cycle < 3; ++cycle)
            b.time.advance(500ms);
        QCOMPARE(b.fakes->requests.size(), 5);
        QCOMPARE(b.fakes->requestTimes.at(3).msecsTo(b.fakes->requestTimes.at(4)), 500);
    }
};

TALLOWMERE_TEST(ChannelBindingTest)
#include "tst_ChannelBinding.moc"
