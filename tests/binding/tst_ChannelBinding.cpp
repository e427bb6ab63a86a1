#include "app/OutsideWorld.h"

#include <QSignalSpy>

using namespace tallowmere;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using testing::utf8;

namespace {

const QUrl linkA(u"https://svc.example/owner/mac-1234/setup#a"_s);
const QUrl linkB(u"https://svc.example/owner/mac-1234/setup#b"_s);
const QDateTime expiry(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);
constexpr char networkMessage[] = "暂时无法获取 Channel 绑定状态，请检查网络后重试。";

OwnerSetupSession linkSession(const QUrl &url) { return {true, url, expiry, false, std::nullopt}; }

// A failed request by letter: t transport, u unavailable, c state changed, x configuration, f file.
std::exception_ptr failure(char letter)
{
    const auto native = [](const char *code, const char *message) {
        return std::make_exception_ptr(TallowmereNativeError(QLatin1String(code), utf8(message)));
    };
    return letter == 't'   ? std::make_exception_ptr(TransportError(u"connection refused"_s))
           : letter == 'u' ? native("OWNER_SETUP_UNAVAILABLE", "暂时无法获取 Channel 绑定状态")
           : letter == 'c' ? native("OWNER_SETUP_STATE_CHANGED", "Channel 绑定状态已更新，正在重新检查")
           : letter == 'x' ? native("OWNER_SETUP_CONFIG_INVALID", "Channel 绑定配置无效")
                           : std::make_exception_ptr(FileError(u"config.json"_s));
}

// A refresh outside the channel stage, or while another runs, changes nothing at all.
const struct IgnoredRow { const char *name, *stage; bool configured, inFlight; const char *summary; } ignoredRows[] = {
    {"handshake stage", "handshake\n", true, false, "尚未开始"}, {"finished", nullptr, true, false, "已绑定"},
    {"not installed", nullptr, false, false, "尚未开始"}, {"not configured", "channel\n", false, false, "等待完成绑定"},
    {"another refresh running", "channel\n", true, true, "等待完成绑定"},
};

// Quiet retries only while nothing is on show and the refresh was not forced; then a link.
const struct FailureRow {
    const char *name; bool held, force; const char *errors; int requests; const char *error; // nullptr: none
} failureRows[] = {
    {"unreachable: 10 requests, then the network message", false, false, "tttttttttt", 10, networkMessage},
    {"unavailable, changed, then a link", false, false, "uc", 3, nullptr},
    {"held link: shown at once", true, false, "t", 1, networkMessage},
    {"forced 409: shown at once", false, true, "c", 1, "Channel 绑定状态已更新，正在重新检查"},
    {"configuration: final", false, false, "x", 1, "Channel 绑定配置无效"},
    {"file error: final, with the network message", false, false, "f", 1, networkMessage},
};

} // namespace

class ChannelBindingTest : public QObject {
    Q_OBJECT

private slots:
    void ignoredRefresh_data() { testing::addRows(ignoredRows); }
    void ignoredRefresh()
    {
        const IgnoredRow &row = testing::currentRow(ignoredRows);
        testing::OutsideWorld w;
        AppModel &model = w.at(row.stage, row.configured).build();
        QCOMPARE(model.channelBindingSummary(), utf8(row.summary));
        w.requestTime = 1s;
        std::optional<testing::Running> first;
        if (row.inFlight)
            first.emplace(model.refreshOwnerSetup(false));
        model.setOwnerSetupError(u"earlier"_s);
        const bool loading = model.isLoadingOwnerSetup();
        testing::Running second(model.refreshOwnerSetup(true));
        QVERIFY(second.done());
        QCOMPARE(model.ownerSetupError(), std::optional(u"earlier"_s));
        QCOMPARE(model.isLoadingOwnerSetup(), loading);
        QCOMPARE(w.requests.size(), row.inFlight ? 1 : 0);
        w.time.advance(1s);
        QVERIFY(!first || first->done());
    }

    void failures_data() { testing::addRows(failureRows); }
    void failures()
    {
        const FailureRow &row = testing::currentRow(failureRows);
        testing::OutsideWorld w;
        if (row.held)
            w.stored = OwnerSetupLink{linkA, std::nullopt};
        AppModel &model = w.at("channel\n", true).build();
        w.answers.clear();
        for (const char *letter = row.errors; *letter; ++letter)
            w.answers << failure(*letter);
        w.answers << linkSession(linkB);
        QSignalSpy loading(&model, &AppModel::isLoadingOwnerSetupChanged);
        QVERIFY(w.settle(model.refreshOwnerSetup(row.force)));
        QCOMPARE(w.requests.size(), row.requests);
        for (qsizetype i = 1; i < w.requestTimes.size(); ++i)
            QCOMPARE(w.requestTimes.at(i - 1).msecsTo(w.requestTimes.at(i)), 600);
        QCOMPARE(model.ownerSetupError(), testing::optionalText(row.error));
        QVERIFY(model.ownerSetupPending());
        QCOMPARE(loading.size(), row.held && !row.force ? 0 : 2); // on, then off again
        QVERIFY(!model.isLoadingOwnerSetup() && !model.ownerSetupRequestInFlight());
        if (row.error) // a failure keeps what is held and stored
            QCOMPARE(model.ownerSetupURL(), row.held ? std::optional(linkA) : std::nullopt);
        QCOMPARE(w.saves, row.error ? 0 : 1);
        QCOMPARE(model.lastError(), std::nullopt); // never an application-wide error
    }

    // A new link has been neither opened nor copied; the same link keeps what was done with it, and is
    // not stored again.
    void heldLink()
    {
        for (const bool force : {true, false}) {
            testing::OutsideWorld w;
            w.stored = OwnerSetupLink{linkA, expiry};
            w.answers = {linkSession(force ? linkB : linkA)};
            AppModel &model = w.at("channel\n", true).build();
            model.setOwnerSetupDidOpen(true);
            model.setOwnerSetupOpenFailed(true);
            model.setOwnerSetupLinkCopied(true);
            QVERIFY(w.settle(model.refreshOwnerSetup(force)));
            QCOMPARE(w.requests, QStringList{u"a force="_s + QString::number(force)});
            QCOMPARE(model.ownerSetupDidOpen() || model.ownerSetupOpenFailed() || model.ownerSetupLinkCopied(), !force);
            QCOMPARE(w.saves, force ? 1 : 0);
            QCOMPARE(w.stored->url, force ? linkB : linkA);
        }
    }

    // The sheet's appearance refreshes after its delay; the monitoring loop on every cycle of the stage.
    void scheduledRefreshes()
    {
        testing::OutsideWorld w;
        AppModel &model = w.at("channel\n", true).build();
        model.noteChannelBindingSessionAppeared(550);
        w.time.advance(500ms);
        QCOMPARE(w.requests.size(), 0);
        w.time.advance(50ms);
        QCOMPARE(w.requests.size(), 1);
        model.startStatusMonitoring();
        QCOMPARE(w.requests.size(), 2);
        for (int cycle = 0; cycle < 3; ++cycle)
            w.time.advance(500ms);
        QCOMPARE(w.requests.size(), 5);
        QCOMPARE(w.requestTimes.at(3).msecsTo(w.requestTimes.at(4)), 500);
    }
};

TALLOWMERE_TEST(ChannelBindingTest)
#include "tst_ChannelBinding.moc"
