#include "platform/HttpExchange.h"

#include <QCoro/QCoroNetworkReply>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace platform {

namespace {

constexpr int maxRedirects = 5;
// What Qt may hold of a reply that has not been read yet; the body limit applies to what is read.
constexpr qint64 unreadLimit = 64 * 1024;

// A reply can still be inside one of its own signals when the exchange is done with it.
struct DeleteLater {
    void operator()(QObject *object) const { object->deleteLater(); }
};
template <typename T> using Owned = std::unique_ptr<T, DeleteLater>;

HttpOutcome ended(HttpOutcome::Kind kind, QString error)
{
    HttpOutcome outcome;
    outcome.kind = kind;
    outcome.error = std::move(error);
    return outcome;
}

QString errorName(QNetworkReply::NetworkError error)
{
    return QString::fromLatin1(QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(error));
}

// Failures of the connection, a proxy or the protocol; content and server errors still carry a reply.
bool isTransportError(QNetworkReply::NetworkError error)
{
    return (error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied) ||
           (error >= QNetworkReply::ProtocolUnknownError && error < QNetworkReply::InternalServerError);
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool isHttp(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

QNetworkRequest networkRequest(const HttpRequest &request, const QUrl &url)
{
    QNetworkRequest sent(url);
    for (const auto &[name, value] : request.headers)
        sent.setRawHeader(name, value);
    // The body is taken as it arrives: a compressed one would unfold inside Qt, beyond the limit.
    if (!sent.hasRawHeader("Accept-Encoding"))
        sent.setRawHeader("Accept-Encoding", "identity");
    sent.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    sent.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    sent.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    sent.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    sent.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    return sent;
}

// One request's outcome, and where its reply redirects to (empty: nowhere usable, or no redirect).
struct Hop {
    HttpOutcome outcome;
    QUrl location;
};

// One request and its reply, the body read as it arrives and never held beyond the limit. The
// deadline's timeout aborts the reply.
QCoro::Task<Hop> send(QNetworkAccessManager &network, const HttpRequest &request, const QUrl &url,
                      const QTimer &deadline)
{
    const QNetworkRequest sent = networkRequest(request, url);
    // Without a body, no body at all (not an empty one announced with its length).
    const Owned<QNetworkReply> reply(request.body.isEmpty()
                                         ? network.sendCustomRequest(sent, request.method)
                                         : network.sendCustomRequest(sent, request.method, request.body));
    reply->setReadBufferSize(unreadLimit);
    // A reply that has failed already finishes by itself (and Qt warns when it is aborted then).
    const auto abort = [reply = reply.get()] {
        if (reply->error() == QNetworkReply::NoError)
            reply->abort();
    };
    QObject::connect(&deadline, &QTimer::timeout, reply.get(), abort);

    QByteArray body;
    bool tooLarge = false;
    // Aborted from the event loop: aborting inside a signal of the reply would end this coroutine there.
    const auto refuse = [&tooLarge, &reply, &abort] {
        tooLarge = true;
        QMetaObject::invokeMethod(reply.get(), abort, Qt::QueuedConnection);
    };
    const auto take = [&] {
        while (!tooLarge && reply->bytesAvailable() > 0) {
            body += reply->read(request.bodyLimit - body.size() + 1);
            if (body.size() > request.bodyLimit)
                refuse();
        }
    };
    // Cut when this coroutine ends, before the reply itself is gone.
    const QObject scope;
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &scope, [&] {
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > request.bodyLimit)
            refuse();
    });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &scope, take);
    co_await reply.get();
    take();

    if (tooLarge)
        co_return Hop{ended(HttpOutcome::Kind::bodyTooLarge, QStringLiteral("body over the limit")), {}};
    if (!deadline.isActive())
        co_return Hop{ended(HttpOutcome::Kind::transportFailed, QStringLiteral("deadline passed")), {}};
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (isTransportError(reply->error()) || !status.isValid())
        co_return Hop{ended(HttpOutcome::Kind::transportFailed, errorName(reply->error())), {}};

    Hop hop{{HttpOutcome::Kind::replied, status.toInt(), std::move(body), url}, {}};
    if (isRedirect(hop.outcome.status)) {
        const QUrl location = url.resolved(QUrl::fromEncoded(reply->rawHeader("Location"), QUrl::StrictMode));
        if (isHttp(location))
            hop.location = location.adjusted(QUrl::RemoveUserInfo);
    }
    co_return hop;
}

} // namespace

bool isSafeHeaderValue(const QByteArray &value)
{
    return std::none_of(value.begin(), value.end(),
                        [](char c) { return uchar(c) < 0x20 || uchar(c) == 0x7f; });
}

int effectivePort(const QUrl &url)
{
    const QString scheme = url.scheme();
    return url.port(scheme == QLatin1String("http") ? 80 : scheme == QLatin1String("https") ? 443 : -1);
}

bool hasSameOrigin(const QUrl &a, const QUrl &b)
{
    return a.scheme() == b.scheme() && a.host().compare(b.host(), Qt::CaseInsensitive) == 0 &&
           effectivePort(a) == effectivePort(b);
}

QCoro::Task<HttpOutcome> exchange(HttpRequest request)
{
    QUrl url = request.url.adjusted(QUrl::RemoveUserInfo);
    if (!isHttp(url))
        co_return ended(HttpOutcome::Kind::refused, QStringLiteral("not an http(s) URL"));
    for (const auto &header : request.headers) {
        if (!isSafeHeaderValue(header.second))
            co_return ended(
                HttpOutcome::Kind::refused,
                QStringLiteral("control characters in header %1").arg(QLatin1String(header.first)));
    }

    // A manager of its own per exchange: nothing learnt here (credentials, connections) outlives it.
    const Owned<QNetworkAccessManager> network(new QNetworkAccessManager);
    const Owned<QTimer> deadline(new QTimer);
    deadline->setSingleShot(true);
    deadline->start(request.deadline);
    for (int redirects = 0;; ++redirects) {
        Hop hop = co_await send(*network, request, url, *deadline);
        hop.outcome.redirected = redirects > 0;
        if (hop.location.isEmpty() || !request.followSameOriginRedirects || !hasSameOrigin(url, hop.location))
            co_return hop.outcome;
        if (redirects == maxRedirects)
            co_return ended(HttpOutcome::Kind::transportFailed, QStringLiteral("too many redirects"));
        url = hop.location;
        // See Other: the next request is a plain GET.
        if (hop.outcome.status == 303) {
            request.method = "GET";
            request.body.clear();
        }
    }
}

} // namespace platform
