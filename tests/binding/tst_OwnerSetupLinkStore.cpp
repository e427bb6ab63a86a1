#include "binding/OwnerSetupLinkStore.h"
#include "platform/SecretStore.h"
#include "support/TestSupport.h"

using namespace tallowmere;
using namespace Qt::StringLiterals;

namespace {

const QString service = u"com.tallowmere.test.owner-setup"_s;
const QUrl setupLink(u"https://svc.example/owner/mac-1234/setup#tok"_s);

QDateTime utc(const char *text)
{
    return QDateTime::fromString(QLatin1String(text), Qt::ISODateWithMs);
}

// Puts raw bytes in the item, as another writer (or a damaged one) might have left them.
void writeRaw(const OwnerSetupLinkStore &store, const QByteArray &data)
{
    platform::deleteSecret(store.service(), store.account());
    platform::addSecret(store.service(), store.account(), data);
}

} // namespace

// Against the Secret Service of the test session.
class OwnerSetupLinkStoreTest : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QDateTime>("expiresAt"); // invalid: none
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("one day after the epoch")
            << utc("2001-01-02T00:00:00Z")
            << QByteArray("{\"expiresAt\":86400,\"url\":\"https://svc.example/owner/mac-1234/setup#tok\"}");
        QTest::newRow("no expiry") << QDateTime()
                                   << QByteArray(
                                          "{\"url\":\"https://svc.example/owner/mac-1234/setup#tok\"}");
        QTest::newRow("fraction of a second")
            << utc("2026-03-01T08:15:30.250Z")
            << QByteArray(
                   "{\"expiresAt\":794045730.25,\"url\":\"https://svc.example/owner/mac-1234/setup#tok\"}");
    }
    void roundTrip()
    {
        QFETCH(QDateTime, expiresAt);
        QFETCH(QByteArray, stored);
        const OwnerSetupLinkStore store(service, u"/profiles/round-trip"_s);
        const OwnerSetupLink saved{setupLink, expiresAt.isValid() ? std::optional(expiresAt) : std::nullopt};
        store.save(saved);
        QCOMPARE(platform::readSecret(store.service(), store.account()), std::optional(stored));
        QCOMPARE(store.load(), std::optional(saved));

        store.save(std::nullopt);
        QCOMPARE(platform::readSecret(store.service(), store.account()), std::nullopt);
        QCOMPARE(store.load(), std::nullopt);
    }

    void storedForms_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<QDateTime>("expiresAt");
        QTest::newRow("escaped slashes") << QByteArray("{\"url\":\"https:\\/\\/svc.example\\/owner\\/"
                                                       "mac-1234\\/setup#tok\",\"expiresAt\":86400.5}")
                                         << true << utc("2001-01-02T00:00:00.500Z");
        QTest::newRow("null expiry")
            << QByteArray("{\"url\":\"https://svc.example/owner/mac-1234/setup#tok\",\"expiresAt\":null}")
            << true << QDateTime();
        QTest::newRow("not JSON") << QByteArray("url=https://svc.example/") << false << QDateTime();
        QTest::newRow("no url") << QByteArray("{\"expiresAt\":86400}") << false << QDateTime();
        QTest::newRow("url not a string") << QByteArray("{\"url\":7}") << false << QDateTime();
        QTest::newRow("url not a URL") << QByteArray("{\"url\":\"not a link\"}") << false << QDateTime();
        QTest::newRow("expiry not a number")
            << QByteArray(
                   "{\"url\":\"https://svc.example/owner/mac-1234/setup#tok\",\"expiresAt\":\"tomorrow\"}")
            << false << QDateTime();
    }
    void storedForms()
    {
        QFETCH(QByteArray, data);
        QFETCH(bool, readable);
        QFETCH(QDateTime, expiresAt);
        const OwnerSetupLinkStore store(service, u"/profiles/stored-forms"_s);
        writeRaw(store, data);
        const std::optional<OwnerSetupLink> loaded = store.load();
        QCOMPARE(loaded.has_value(), readable);
        if (readable)
            QCOMPARE(*loaded, (OwnerSetupLink{setupLink, expiresAt.isValid() ? std::optional(expiresAt)
                                                                             : std::nullopt}));
        else // a damaged item is left as it is, until the next save replaces it
            QCOMPARE(platform::readSecret(store.service(), store.account()), std::optional(data));
    }

    // Each profile directory has its own item, named by its standardised path.
    void profilesAreIndependent()
    {
        QTemporaryDir dir;
        const OwnerSetupLinkStore first =
            OwnerSetupLinkStore::forProfile(dir.path() + u"/profiles/default"_s);
        const OwnerSetupLinkStore second =
            OwnerSetupLinkStore::forProfile(dir.path() + u"/profiles/default/../work/."_s);
        QCOMPARE(first.service(), u"com.tallowmere.macos.owner-setup"_s);
        QCOMPARE(second.account(), dir.path() + u"/profiles/work"_s);

        const OwnerSetupLink other{QUrl(u"https://svc.example/owner/work/setup#other"_s), std::nullopt};
        first.save(OwnerSetupLink{setupLink, std::nullopt});
        second.save(other);
        first.save(std::nullopt);
        QCOMPARE(first.load(), std::nullopt);
        QCOMPARE(second.load(), std::optional(other));
        second.save(std::nullopt);
        QCOMPARE(second.load(), std::nullopt);
    }
};

TALLOWMERE_TEST(OwnerSetupLinkStoreTest)
#include "tst_OwnerSetupLinkStore.moc"
