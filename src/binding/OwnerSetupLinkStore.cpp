#include "binding/OwnerSetupLinkStore.h"

#include "platform/SecretStore.h"
#include "platform/StrictUrl.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace tallowmere {

namespace {

// The epoch of the stored dates.
const QDateTime referenceDate(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);

} // namespace

OwnerSetupLinkStore::OwnerSetupLinkStore(QString service, QString account)
    : m_service(std::move(service))
    , m_account(std::move(account))
{
}

OwnerSetupLinkStore OwnerSetupLinkStore::forProfile(const QString &profileDirectory)
{
    return {QLatin1String(modelService), QDir::cleanPath(QFileInfo(profileDirectory).absoluteFilePath())};
}

QByteArray OwnerSetupLinkStore::encode(const OwnerSetupLink &link)
{
    QJsonObject object{{QLatin1String("url"), link.url.toString(QUrl::FullyEncoded)}};
    if (link.expiresAt)
        object.insert(QLatin1String("expiresAt"), double(referenceDate.msecsTo(*link.expiresAt)) / 1000);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<OwnerSetupLink> OwnerSetupLinkStore::decode(const QByteArray &data)
{
    const QJsonObject object = QJsonDocument::fromJson(data).object();
    const QJsonValue url = object.value(QLatin1String("url"));
    const QJsonValue expiresAt = object.value(QLatin1String("expiresAt"));
    const std::optional<QUrl> link = url.isString() ? strictUrl(url.toString()) : std::nullopt;
    if (!link)
        return std::nullopt;
    if (expiresAt.isUndefined() || expiresAt.isNull())
        return OwnerSetupLink{*link, std::nullopt};
    // Far beyond any real expiry, and still within what a date holds.
    if (!expiresAt.isDouble() || std::abs(expiresAt.toDouble()) > 1e13)
        return std::nullopt;
    return OwnerSetupLink{*link, referenceDate.addMSecs(std::llround(expiresAt.toDouble() * 1000))};
}

std::optional<OwnerSetupLink> OwnerSetupLinkStore::load() const
{
    const std::optional<QByteArray> data = platform::readSecret(m_service, m_account);
    return data ? decode(*data) : std::nullopt;
}

void OwnerSetupLinkStore::save(const std::optional<OwnerSetupLink> &link) const
{
    platform::deleteSecret(m_service, m_account);
    if (link && link->url.isValid() && !link->url.isEmpty())
        platform::addSecret(m_service, m_account, encode(*link));
}

} // namespace tallowmere
