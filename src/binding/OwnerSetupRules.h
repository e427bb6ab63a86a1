#pragma once

#include <QDateTime>
#include <QJsonValue>
#include <QString>
#include <QUrl>

#include <optional>

// The onboarding service's rules for its own address, for the links of its setup pages and for its dates.
namespace tallowmere::owner_setup {

// No user, password, query or fragment; "https" with a host, or plain "http" on "localhost" only.
bool isServiceUrl(const QUrl &url);

// A setup page of this service for this agent: same origin, no user information, a non-empty fragment
// (the page's access token) and a path ending in the agent name, then "setup". A query is allowed.
bool isSetupLink(const QUrl &link, const QUrl &serviceUrl, const QString &agentName);

// An internet date-time without fractional seconds (2025-03-01T08:15:30Z); anything else is none.
std::optional<QDateTime> readDate(const QJsonValue &value);

} // namespace tallowmere::owner_setup
