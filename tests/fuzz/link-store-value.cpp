// The link store's item as read back. A value reads whole or not at all: a link only for a strict URL, with
// an expiry exactly when one is stored (one that is there but unreadable refuses the link, never drops the
// expiry), that expiry the stored seconds since 2001; what reads back writes a value that reads the same.
#include "FuzzInput.h"

#include "binding/OwnerSetupLinkStore.h"
#include "platform/StrictUrl.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

using namespace fuzzing;
using namespace tallowmere;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    const QByteArray value(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<OwnerSetupLink> link = OwnerSetupLinkStore::decode(value);
    require(OwnerSetupLinkStore::decode(value) == link, "deterministic");
    const QJsonObject object = QJsonDocument::fromJson(value).object();
    const QJsonValue url = object.value(QLatin1String("url")),
                     expiresAt = object.value(QLatin1String("expiresAt"));
    const std::optional<QUrl> stored = url.isString() ? strictUrl(url.toString()) : std::nullopt;
    const bool storesExpiry = !expiresAt.isUndefined() && !expiresAt.isNull();
    // Thirty thousand years either way: a date holds them.
    if (stored && (!storesExpiry || (expiresAt.isDouble() && std::abs(expiresAt.toDouble()) <= 1e12)))
        require(link.has_value(), "a strict URL with a readable expiry or none reads", url.toString());
    if (!link)
        return 0;
    require(stored == link->url && link->expiresAt.has_value() == storesExpiry,
            "the stored URL, with an expiry exactly when one is stored", link->url.toString());
    if (storesExpiry) {
        const double millis = expiresAt.toDouble() * 1000;
        const qint64 msecs = QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC).msecsTo(*link->expiresAt);
        require(expiresAt.isDouble() && link->expiresAt->isValid() &&
                    std::abs(msecs - millis) <= 0.5 + 1e-15 * std::abs(millis),
                "the expiry is the stored seconds since 2001", link->expiresAt->toString(Qt::ISODateWithMs));
    }
    const QByteArray written = OwnerSetupLinkStore::encode(*link);
    require(OwnerSetupLinkStore::decode(written) == link,
            "what reads back writes a value that reads the same", QString::fromUtf8(written));
    return 0;
}
