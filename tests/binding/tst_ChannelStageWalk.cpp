#include "app/ModelFixture.h"
#include "binding/OwnerSetupLinkStore.h"
#include "support/SimulatedWorld.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace tallowmere;
using namespace Qt::StringLiterals;

namespace {

// The world's agent, configured for its onboarding service, waiting in the channel stage; no link stored.
QString configureChannelStage(const testing::SimulatedWorld &world)
{
    const QString apiKey = world.simctl({u"get"_s, u"serviceApiKey"_s});
    const QJsonObject config{{u"agentName"_s, u"mac-1234"_s},
                             {u"onboardingServiceUrl"_s, world.simctl({u"get"_s, u"onboardingServiceUrl"_s})},
                             {u"tallowmereServiceApiKey"_s, apiKey}};
    testing::writeFile(world.profile() + u"/config.json"_s, QJsonDocument(config).toJson());
    testing::writeFile(world.profile() + u"/mac-app-install-stage"_s, "channel\n");
    OwnerSetupLinkStore::forProfile(world.profile()).save(std::nullopt);
    return apiKey;
}

QString onboardingRequests(const testing::SimulatedWorld &world)
{
    return QString::fromUtf8(testing::readFile(world.state() + u".d/onboarding-requests"_s));
}

std::unique_ptr<AppModel> channelStageModel(const testing::SimulatedWorld &world)
{
    AppModel::Operations operations;
    operations.ownerSetupOpen = [](QUrl) -> QCoro::Task<bool> { co_return true; };
    operations.ownerSetupCopy = [](QUrl) { return true; };
    return std::make_unique<AppModel>(
        AppModel::Dependencies{.profileDirectory = world.profile(), .operations = std::move(operations)},
        false);
}

} // namespace

// The channel stage against the simulated Mac's onboarding service and the session's real secret store.
class ChannelStageWalkTest : public QObject {
    Q_OBJECT

private slots:
    void walkToHandshake()
    {
        testing::SimulatedWorld world({u"onboardingAgent=mac-1234"_s, u"onboardingCompleteDelayMs=600000"_s});
        const QString apiKey = configureChannelStage(world);
        const auto store = OwnerSetupLinkStore::forProfile(world.profile());

        // A redirect to another origin is not followed: no link, and the service shown unavailable.
        auto model = channelStageModel(world);
        world.set(u"onboardingReply"_s, u"redirect"_s);
        testing::await(model->refreshOwnerSetup(true));
        QCOMPARE(model->ownerSetupError(), std::optional(u"暂时无法获取 Channel 绑定状态"_s));
        const QString redirected = onboardingRequests(world);
        QVERIFY(!model->ownerSetupURL() && !redirected.isEmpty() && !redirected.contains(u"host=127.0.0.1"_s));
        world.set(u"onboardingReply"_s, u"ok"_s);
        // A live page whose link this application does not hold was opened by the agent itself.
        world.set(u"onboardingLiveSession"_s, u"agent"_s);
        testing::await(model->refreshOwnerSetup(false));
        QVERIFY(model->ownerSetupOpenedByAgent() && !model->canOpenOwnerSetup() && !model->ownerSetupURL());
        world.set(u"onboardingLiveSession"_s, u"auto"_s);
        QFile::remove(world.state() + u".d/onboarding-requests"_s);

        // No link yet: the service makes a page, and the link is kept in the secret store.
        testing::await(model->refreshOwnerSetup(false));
        QVERIFY2(model->ownerSetupURL(), qPrintable(model->ownerSetupError().value_or(QString())));
        const QUrl link = *model->ownerSetupURL();
        QVERIFY(model->canOpenOwnerSetup() && model->ownerSetupPending());
        QCOMPARE(store.load().value_or(OwnerSetupLink{}).url, link);

        // After a restart the stored link is reused while its page is live; no attempt is no ownership.
        model = channelStageModel(world);
        QCOMPARE(model->ownerSetupURL(), std::optional(link));
        testing::await(model->refreshOwnerSetup(false));
        QCOMPARE(model->ownerSetupURL(), std::optional(link));
        QVERIFY(!model->channelOwnershipVerified());
        world.simctl({u"owner"_s, u"attempt"_s}); // the owner starts binding
        testing::await(model->refreshOwnerSetup(false));
        QVERIFY(!model->channelOwnershipVerified());

        // The attempt is accepted: ownership is verified while the binding itself is still settling.
        world.simctl({u"owner"_s, u"complete"_s});
        testing::await(model->refreshOwnerSetup(false));
        QVERIFY(model->channelOwnershipVerified() && !model->channelBindingCompleted());

        world.set(u"onboardingBinding"_s, u"complete"_s);
        testing::await(model->refreshOwnerSetup(false));
        QVERIFY(model->channelBindingCompleted());
        QCOMPARE(model->installStage(), InstallStage::handshake);
        QCOMPARE(testing::readFile(world.profile() + u"/mac-app-install-stage"_s), "handshake\n");
        QCOMPARE(testing::progressLetters(model->setupProgress()), u"ccccccccrp"_s);
        QCOMPARE(model->setupProgressDetail(), std::optional(u"正在验证 Agent 状态"_s));
        QCOMPARE(model->ownerSetupURL(), std::nullopt);
        QCOMPARE(store.load(), std::nullopt);
        testing::await(model->refreshOwnerSetup(false)); // the stage is over: nothing more is asked

        // One page was made, every request carried the right token, and no token was left anywhere.
        const QString requests = onboardingRequests(world);
        QCOMPARE(requests.count(u"POST "_s), 1);
        QCOMPARE(requests.count(u"auth=ok"_s), requests.count(u'\n'));
        QCOMPARE(requests.count(u"GET /api/agents/mac-1234/owner-provisioning "_s), 5);
        QCOMPARE(requests.count(u"GET /api/agents/mac-1234/setup "_s), 3);
        const QStringList secrets{apiKey, link.fragment()};
        QCOMPARE(world.leaks(secrets, {u".tallowmere/profiles/default/config.json"_s}), QStringList());
        QVERIFY(!requests.contains(link.fragment()) && !requests.contains(apiKey));
    }
};

TALLOWMERE_TEST(ChannelStageWalkTest)
#include "tst_ChannelStageWalk.moc"
