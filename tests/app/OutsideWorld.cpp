#include "OutsideWorld.h"

namespace testing {

using namespace tallowmere;

namespace {

QCoro::Task<CLIResult> ended(CLIResult result, std::optional<TallowmereNativeError> thrown,
                             std::function<QCoro::Task<>()> hold)
{
    if (hold)
        co_await hold();
    if (thrown)
        throw *thrown;
    co_return result;
}

QCoro::Task<bool> answer(bool value)
{
    co_return value;
}

QCoro::Task<OwnerSetupSession> bindingPage()
{
    co_return OwnerSetupSession{true, QUrl(QStringLiteral("https://onboarding.test/owner/agents/a/setup#t")),
                                std::nullopt, true, std::nullopt};
}

} // namespace

AppModel &OutsideWorld::build(bool autoResume)
{
    AppModel::Operations operations;
    operations.environmentPrepare = [this](OutputHandler onOutput) {
        calls << QStringLiteral("prepare");
        onOutput(uR"({"type":"progress","phase":"runtime","status":"running","detail":"安装 Tallowmere"})");
        return ended(prepareResult, prepareThrows, prepareHold);
    };
    operations.daemonInstall = [this](OutputHandler) {
        calls << QStringLiteral("daemon");
        return ended(daemonResult, std::nullopt, {});
    };
    operations.agentStarted = [this] {
        calls << QStringLiteral("started");
        return answer(agentAnswers);
    };
    operations.permissionCheck = [this](PermissionKind kind) {
        calls << QStringLiteral("check:") + rawValue(kind);
        return answer(granted.contains(kind));
    };
    operations.openSystemSettings = [this](std::optional<PermissionKind> kind) {
        calls << QStringLiteral("settings:") + (kind ? rawValue(*kind) : QStringLiteral("none"));
    };
    operations.ownerSetupRequest = [this](std::optional<QUrl>, bool) {
        calls << QStringLiteral("binding");
        return bindingPage();
    };
    operations.setupAuthorizationOpen = [this](QUrl url) {
        calls << QStringLiteral("open ") + url.host();
        return answer(opensLinks);
    };
    operations.ownerSetupLinkSave = [](std::optional<QUrl>, std::optional<QDateTime>) {};
    operations.ownerSetupLinkLoad = [] { return std::optional<OwnerSetupLink>(); };
    model = fixture.build(operations, cli, autoResume);
    return *model;
}

} // namespace testing
