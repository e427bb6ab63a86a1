#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QList>
#include <QString>
#include <QUrl>

#include <chrono>
#include <utility>

namespace platform {

// One HTTP request as every client of the application sends it.
struct HttpRequest {
    QByteArray method = "GET";
    QUrl url;
    QList<std::pair<QByteArray, QByteArray>> headers; // name, value
    QByteArray body;
    // The whole exchange, redirects included: a server that sends a byte now and then cannot stretch it.
    std::chrono::milliseconds deadline{60000};
    // The largest body taken; a larger one ends the exchange as bodyTooLarge, without buffering more.
    qint64 bodyLimit = 1024 * 1024;
    // Redirects to the same origin (scheme, host, effective port) are followed, at most five; a redirect
    // elsewhere, or any redirect when this is false, is the reply itself (its 3xx status).
    bool followSameOriginRedirects = false;
};

struct HttpOutcome {
    enum class Kind {
        replied,         // a status and a whole body (within the limit)
        transportFailed, // no reply: connection, TLS, deadline, too many redirects
        bodyTooLarge,    // the body (or its announced length) is over the limit
        refused,         // the request was not sent: a header value with control characters, a bad URL
    };
    Kind kind = Kind::transportFailed;
    int status = 0;
    QByteArray body;
    QUrl finalUrl;           // where the reply came from
    bool redirected = false; // a redirect was followed on the way
    QString error;           // unless replied: what went wrong, naming no URL or header value
};

// Sends the request without cookies, cache or credentials (user information in the URL is dropped), and
// never throws. No compressed body is asked for, so that the limit holds for what arrives.
QCoro::Task<HttpOutcome> exchange(HttpRequest request);

// Same scheme, host (case-insensitive) and effective port.
bool hasSameOrigin(const QUrl &a, const QUrl &b);
// The URL's port, or its scheme's default (80 for http, 443 for https); -1 when there is none.
int effectivePort(const QUrl &url);
// No control characters (below 0x20, or 0x7f) anywhere in the value.
bool isSafeHeaderValue(const QByteArray &value);

} // namespace platform
