// The channel stage: the binding's state from the onboarding service, the link of its setup page (held,
// stored, opened, copied), and the move on to the handshake once the owner has bound a channel.
#include "app/AppModel.h"

#include "app/TaskLauncher.h"
#include "cli/Errors.h"
#include "platform/Clock.h"

#include <QPointer>

namespace tallowmere {

namespace {

using namespace std::chrono_literals;

// Quiet retries while nothing is on show: at most this many requests per refresh, this far apart.
constexpr int maxQuietRequests = 10;
constexpr std::chrono::milliseconds quietRetryPause = 600ms;

const QString networkMessage = QStringLiteral("暂时无法获取 Channel 绑定状态，请检查网络后重试。");

// The two codes of a service that may answer differently in a moment, and any failed transport.
bool isRetryable(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const TallowmereNativeError &native) {
        return native.code() == QLatin1String("OWNER_SETUP_STATE_CHANGED") ||
               native.code() == QLatin1String("OWNER_SETUP_UNAVAILABLE");
    } catch (const TransportError &) {
        return true;
    } catch (...) {
        return false;
    }
}

QString messageOf(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const TallowmereNativeError &native) {
        return native.message();
    } catch (...) {
        return networkMessage;
    }
}

QCoro::Task<> refreshAfter(QPointer<AppModel> model, std::chrono::milliseconds delay)
{
    co_await platform::clock().sleep(delay, model);
    if (model)
        co_await model->refreshOwnerSetup(false);
}

QCoro::Task<> openLink(QPointer<AppModel> model, std::function<QCoro::Task<bool>(QUrl)> open, QUrl link)
{
    const bool opened = co_await open(link);
    if (!model)
        co_return;
    model->setIsOpeningOwnerSetup(false);
    model->setOwnerSetupOpenFailed(!opened);
    model->setOwnerSetupDidOpen(opened);
}

} // namespace

void AppModel::connectChannelBindingValues()
{
    for (auto changed : {&AppModel::ownerSetupPendingChanged, &AppModel::isOpeningOwnerSetupChanged,
                         &AppModel::ownerSetupOpenFailedChanged, &AppModel::ownerSetupDidOpenChanged,
                         &AppModel::installStageChanged, &AppModel::onboardingCompletedChanged})
        connect(this, changed, this, &AppModel::channelBindingChanged);
}

void AppModel::holdOwnerSetupLink(std::optional<QUrl> url, std::optional<QDateTime> expiresAt,
                                  bool hasLiveSession)
{
    // The store follows the held link; an unchanged link is not written again on every cycle.
    if (url != m_ownerSetupURL || (url && expiresAt != m_ownerSetupExpiresAt))
        m_ownerSetupLinkSave(url ? std::optional(OwnerSetupLink{*url, expiresAt}) : std::nullopt);
    const bool changed = url != m_ownerSetupURL || hasLiveSession != m_ownerSetupHasLiveSession;
    m_ownerSetupURL = std::move(url);
    m_ownerSetupExpiresAt = std::move(expiresAt);
    m_ownerSetupHasLiveSession = hasLiveSession;
    if (changed)
        Q_EMIT channelBindingChanged();
}

QCoro::Task<> AppModel::refreshOwnerSetup(bool forceRefresh)
{
    if (!m_configurationReady || m_installStage != InstallStage::channel || m_ownerSetupRequestInFlight)
        co_return;
    QPointer<AppModel> self(this);
    setOwnerSetupRequestInFlight(true);
    // Only this call clears the loading flag it set.
    const bool showsLoading = !m_ownerSetupURL || forceRefresh;
    if (showsLoading)
        setIsLoadingOwnerSetup(true);
    setOwnerSetupError(std::nullopt);

    const std::optional<QUrl> existingURL = m_ownerSetupURL;
    for (int requests = 1;; ++requests) {
        std::optional<OwnerSetupSession> session;
        std::exception_ptr error;
        try {
            session = co_await m_operations.ownerSetupRequest(existingURL, forceRefresh);
        } catch (...) {
            error = std::current_exception();
        }
        if (!self)
            co_return;
        if (session) {
            co_await applyOwnerSetupSession(*session, forceRefresh);
            if (!self)
                co_return;
            break;
        }
        if (isRetryable(error) && !forceRefresh && !m_ownerSetupURL && requests < maxQuietRequests) {
            co_await platform::clock().sleep(quietRetryPause, this);
            if (!self)
                co_return;
            continue;
        }
        // Shown on the sheet only; a held link stays, and the next refresh tries again.
        setOwnerSetupPending(true);
        setOwnerSetupError(messageOf(error));
        break;
    }
    setOwnerSetupRequestInFlight(false);
    if (showsLoading)
        setIsLoadingOwnerSetup(false);
}

QCoro::Task<> AppModel::applyOwnerSetupSession(const OwnerSetupSession &session, bool forceRefresh)
{
    setOwnerSetupPending(session.required);
    holdOwnerSetupLink(session.url, session.url ? session.expiresAt : std::nullopt, session.hasLiveSession);
    if (session.url && forceRefresh) {
        // A new link has been neither opened nor copied yet.
        setOwnerSetupDidOpen(false);
        setOwnerSetupOpenFailed(false);
        setOwnerSetupLinkCopied(false);
    }
    if (session.hasPendingBinding == true)
        m_ownerSetupSawPendingBinding = true;
    else if (session.hasPendingBinding == false && m_ownerSetupSawPendingBinding)
        setChannelOwnershipVerified(true); // the owner's attempt went through

    if (session.required)
        co_return;
    setChannelBindingCompleted(true);
    setChannelOwnershipVerified(true);
    holdOwnerSetupLink(std::nullopt, std::nullopt, false);
    setOwnerSetupOpenFailed(false);
    setOwnerSetupDidOpen(false);
    setOwnerSetupLinkCopied(false);
    applyProgress(QStringLiteral("channel"), QStringLiteral("complete"), std::nullopt);
    applyProgress(QStringLiteral("handshake"), QStringLiteral("running"),
                  QStringLiteral("正在验证 Agent 状态"));
    setInstallStage(InstallStage::handshake);
    co_await refreshAgentStatus();
}

void AppModel::noteChannelBindingSessionAppeared(int delayMilliseconds)
{
    launch(refreshAfter(this, std::chrono::milliseconds(delayMilliseconds)), "channel binding refresh");
}

void AppModel::openOwnerSetup()
{
    if (!canOpenOwnerSetup())
        return;
    setIsOpeningOwnerSetup(true);
    setOwnerSetupOpenFailed(false);
    setOwnerSetupLinkCopied(false);
    launch(openLink(this, m_operations.ownerSetupOpen, *m_ownerSetupURL), "opening the binding page");
}

void AppModel::copyOwnerSetupLink()
{
    if (canOpenOwnerSetup())
        setOwnerSetupLinkCopied(m_operations.ownerSetupCopy(*m_ownerSetupURL));
}

bool AppModel::canOpenOwnerSetup() const
{
    return m_ownerSetupPending && m_ownerSetupURL && !m_isOpeningOwnerSetup;
}

bool AppModel::ownerSetupOpenedByAgent() const
{
    return m_ownerSetupPending && m_ownerSetupHasLiveSession && !m_ownerSetupURL;
}

QString AppModel::ownerSetupOpenButtonTitle() const
{
    if (m_ownerSetupOpenFailed)
        return QStringLiteral("重试");
    return m_ownerSetupDidOpen ? QStringLiteral("重新打开浏览器") : QStringLiteral("打开浏览器");
}

QString AppModel::channelBindingSummary() const
{
    if (m_installStage == InstallStage::channel)
        return QStringLiteral("等待完成绑定");
    return m_onboardingCompleted ? QStringLiteral("已绑定") : QStringLiteral("尚未开始");
}

} // namespace tallowmere
