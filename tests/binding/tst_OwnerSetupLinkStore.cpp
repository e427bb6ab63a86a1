#include "binding/OwnerSetupLinkStore.h"
#include "platform/SecretStore.h"
#include "support/TestSupport.h"

using namespace tallowmere;
using namespace Qt::StringLiterals;

namespace {

const QUrl setupLink(u"https://svc.example/owner/mac-1234/setup#tok"_s);
const QByteArray linkJson = "\"https://svc.example/owner/mac-1234/setup#tok\"";

} // namespace

// Against the Secret Service of the test session.
class OwnerSetupLinkStoreTest : public QObject {
    Q_OBJECT

private slots:
    // What a save leaves in the item, and what a load makes of an item, whoever wrote it.
    void storedForms_data()
    {
        QTest::addColumn<bool>("saved"); // else written as raw bytes, as a damaged writer might
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("expiresAt"); // empty: none; "-": unreadable
        QTest::newRow("save: a day after the epoch")
            << true << "{\"expiresAt\":86400,\"url\":" + linkJson + "}" << u"2001-01-02T00:00:00Z"_s;
        QTest::newRow("save: no expiry") << true << "{\"url\":" + linkJson + "}" << QString();
        QTest::newRow("save: a fraction of a second")
            << true << "{\"expiresAt\":794045730.25,\"url\":" + linkJson + "}"
            << u"2026-03-01T08:15:30.250Z"_s;
        QTest::newRow("escaped slashes") << false
                                         << QByteArray("{\"url\":\"https:\\/\\/svc.example\\/owner\\/"
                                                       "mac-1234\\/setup#tok\",\"expiresAt\":86400.5}")
                                         << u"2001-01-02T00:00:00.500Z"_s;
        QTest::newRow("null expiry") << false << "{\"url\":" + linkJson + ",\"expiresAt\":null}" << QString();
        QTest::newRow("not JSON") << false << QByteArray("url=https://svc.example/") << u"-"_s;
        QTest::newRow("url not a string") << false << QByteArray("{\"url\":7}") << u"-"_s;
        QTest::newRow("url not a URL") << false << QByteArray("{\"url\":\"not a link\"}") << u"-"_s;
        QTest::newRow("expiry not a number")
            << false << "{\"url\":" + linkJson + ",\"expiresAt\":\"tomorrow\"}" << u"-"_s;
    }
    void storedForms()
    {
        QFETCH(bool, saved);
        QFETCH(QByteArray, data);
        QFETCH(QString, expiresAt);
        const OwnerSetupLinkStore store(u"com.tallowmere.test.owner-setup"_s, u"/profiles/stored-forms"_s);
        const OwnerSetupLink link{setupLink,
                                  expiresAt.isEmpty()
                                      ? std::nullopt
                                      : std::optional(QDateTime::fromString(expiresAt, Qt::ISODateWithMs))};
        if (saved) {
            store.save(link);
        } else {
            platform::deleteSecret(store.service(), store.account());
            platform::addSecret(store.service(), store.account(), data);
        }
        QCOMPARE(store.load(), expiresAt == u"-"_s ? std::nullopt : std::optional(link));
        // A damaged item is left as it is, until the next save replaces it.
        QCOMPARE(platform::readSecret(store.service(), store.account()), std::optional(data));
        store.save(std::nullopt);
        QCOMPARE(platform::readSecret(store.service(), store.account()), std::nullopt);
        QCOMPARE(store.load(), std::nullopt);
    }

    // Each profile directory has its own item, named by its standardised path.
    void profilesAreIndependent()
    {
        QTemporaryDir dir;
        const auto first = OwnerSetupLinkStore::forProfile(dir.path() + u"/profiles/default"_s);
        const auto second = OwnerSetupLinkStore::forProfile(dir.path() + u"/profiles/default/../work/."_s);
        QCOMPARE(first.service(), u"com.tallowmere.macos.owner-setup"_s);
        QCOMPARE(second.account(), dir.path() + u"/profiles/work"_s);
        const OwnerSetupLink other{QUrl(u"https://svc.example/owner/work/setup#other"_s), std::nullopt};
        first.save(OwnerSetupLink{setupLink, std::nullopt});
        second.save(other);
        first.save(std::nullopt);
        QCOMPARE(first.load(), std::nullopt);
        QCOMPARE(second.load(), std::optional(other));
        second.save(std::nullopt);
    }
};

TALLOWMERE_TEST(OwnerSetupLinkStoreTest)
#include "tst_OwnerSetupLinkStore.moc"
