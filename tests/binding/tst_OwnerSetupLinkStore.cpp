#include "binding/OwnerSetupLinkStore.h"
#include "platform/SecretStore.h"
#include "support/TestSupport.h"

using namespace tallowmere;
using namespace Qt::StringLiterals;

namespace {

const QUrl setupLink(u"https://svc.example/owner/mac-1234/setup#tok"_s);
#define LINK "\"https://svc.example/owner/mac-1234/setup#tok\""

// What a save leaves in the item (saved), or what a load makes of an item a damaged writer left; expiresAt
// nullptr: none, "-": unreadable.
const struct FormRow { const char *name; bool saved; const char *data, *expiresAt; } formRows[] = {
    {"save: a day after the epoch", true, "{\"expiresAt\":86400,\"url\":" LINK "}", "2001-01-02T00:00:00Z"},
    {"save: no expiry", true, "{\"url\":" LINK "}", nullptr}, {"url not a URL", false, "{\"url\":\"not a link\"}", "-"},
    {"save: a fraction of a second", true, "{\"expiresAt\":794045730.25,\"url\":" LINK "}",
     "2026-03-01T08:15:30.250Z"},
    {"escaped slashes", false,
     "{\"url\":\"https:\\/\\/svc.example\\/owner\\/mac-1234\\/setup#tok\",\"expiresAt\":86400.5}",
     "2001-01-02T00:00:00.500Z"},
    {"null expiry", false, "{\"url\":" LINK ",\"expiresAt\":null}", nullptr},
    {"not JSON", false, "url=https://svc.example/", "-"}, {"url not a string", false, "{\"url\":7}", "-"},
    {"expiry not a number", false, "{\"url\":" LINK ",\"expiresAt\":\"tomorrow\"}", "-"},
};

} // namespace

// Against the Secret Service of the test session.
class OwnerSetupLinkStoreTest : public QObject {
    Q_OBJECT

private slots:
    void storedForms_data() { testing::addRows(formRows); }
    void storedForms()
    {
        const FormRow &row = testing::currentRow(formRows);
        const OwnerSetupLinkStore store(u"com.tallowmere.test.owner-setup"_s, u"/profiles/stored-forms"_s);
        const bool unreadable = qstrcmp(row.expiresAt, "-") == 0;
        std::optional<QDateTime> expiresAt;
        if (row.expiresAt && !unreadable)
            expiresAt = QDateTime::fromString(QLatin1String(row.expiresAt), Qt::ISODateWithMs);
        const OwnerSetupLink link{setupLink, expiresAt};
        if (row.saved) {
            store.save(link);
        } else {
            platform::deleteSecret(store.service(), store.account());
            platform::addSecret(store.service(), store.account(), row.data);
        }
        QCOMPARE(store.load(), unreadable ? std::nullopt : std::optional(link));
        // A damaged item is left as it is, until the next save replaces it.
        QCOMPARE(platform::readSecret(store.service(), store.account()), std::optional(QByteArray(row.data)));
        store.save(std::nullopt);
        QCOMPARE(platform::readSecret(store.service(), store.account()), std::nullopt);
        QCOMPARE(store.load(), std::nullopt);
    }

    // Each profile has its own item, named by its standardised path.
    void itemOfAProfile()
    {
        const auto store = OwnerSetupLinkStore::forProfile(u"/p/profiles/default/../work/."_s);
        QCOMPARE(store.service() + u' ' + store.account(), u"com.tallowmere.macos.owner-setup /p/profiles/work"_s);
    }
};

TALLOWMERE_TEST(OwnerSetupLinkStoreTest)
#include "tst_OwnerSetupLinkStore.moc"
