#pragma once

#include "binding/OwnerSetupSession.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tallowmere {

// Keeps the binding link of one agent profile across restarts, as one item of the user's secret store:
// the compact JSON object {"url": ..., "expiresAt": seconds since 2001-01-01T00:00:00Z}. It reports no
// errors: a store that cannot be read, or an item that does not decode, reads as no link.
class OwnerSetupLinkStore {
public:
    static constexpr char modelService[] = "com.tallowmere.macos.owner-setup";

    OwnerSetupLinkStore(QString service, QString account);
    // The model's store: its fixed service, and the profile directory's standardised path as account.
    static OwnerSetupLinkStore forProfile(const QString &profileDirectory);

    const QString &service() const { return m_service; }
    const QString &account() const { return m_account; }

    std::optional<OwnerSetupLink> load() const;
    // Replaces the item (delete, then add), or only removes it when given none.
    void save(const std::optional<OwnerSetupLink> &link) const;

    static QByteArray encode(const OwnerSetupLink &link);
    static std::optional<OwnerSetupLink> decode(const QByteArray &data);

private:
    QString m_service;
    QString m_account;
};

} // namespace tallowmere
