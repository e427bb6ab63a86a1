#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace platform {

// Generic-password items in the user's secret store, at most one per (service, account). The calls
// report nothing: a store that is locked, missing or slow to answer reads as holding no item and keeps
// nothing, and a read never holds the caller for more than a moment.
std::optional<QByteArray> readSecret(const QString &service, const QString &account);
void deleteSecret(const QString &service, const QString &account);
// Adds an item readable after the first unlock following a restart, bound to this device. An item
// already there is not replaced: delete it first.
void addSecret(const QString &service, const QString &account, const QByteArray &data);

} // namespace platform
