// Bytes that are not UTF-8: the runner shows U+FFFD, the stage and port file readers refuse them.
#include "app/PersistedState.h"
#include "cli/AgentPackage.h"
#include "cli/Errors.h"
#include "cli/OutputLines.h"
#include "status/AgentStatusClient.h"
#include "support/TestSupport.h"

using namespace tallowmere;

namespace {

const struct {
    const char *name;
    const char *bytes;
    const char *line; // as the runner shows it
    bool utf8;
} texts[] = {
    {"stage", "\n daemon\t\n", "daemon", true},
    {"cut off at the end", "daemon\xE4", "daemon\uFFFD", false},
    {"port cut off at the end", "8080\xE4", "8080\uFFFD", false},
    {"cut-off four-byte character", "daemon\xF0\x9F\x98", "daemon\uFFFD", false},
    {"cut-off character then text", "dae\xE4mon", "dae\uFFFDmon", false},
    {"stray continuation bytes", "\200\200daemon", "\uFFFD\uFFFDdaemon", false},
    {"overlong encoding", "daemon\xE0\x80\xAF", "daemon\uFFFD\uFFFD\uFFFD", false},
    {"surrogate half", "daemon\xED\xA0\x80", "daemon\uFFFD\uFFFD\uFFFD", false},
    {"above U+10FFFF", "daemon\xF4\x90\x80\x80", "daemon\uFFFD\uFFFD\uFFFD\uFFFD", false},
    {"astral and a real U+FFFD", "\xF0\x9F\x98\x80!\uFFFD", "😀!\uFFFD", true},
};

} // namespace

class TextFileTest : public QObject {
    Q_OBJECT

private slots:
    void invalidUtf8_data() { testing::addRows(::texts); }

    void invalidUtf8()
    {
        const auto &row = testing::currentRow(::texts);
        QByteArray buffer = row.bytes;
        QCOMPARE(takeLine(buffer), std::optional(testing::utf8(row.line)));
        QVERIFY(buffer.isEmpty());

        testing::ScratchHome home;
        const QString directory = home.path();
        for (const char *name : {persisted::installStageFile, agent::portFile})
            testing::writeFile(directory + '/' + name, row.bytes);
        testing::writeFile(directory + '/' + agent::tokenFile, "token");
        QCOMPARE(persisted::readInstallStage(directory), row.utf8 && row.line == QByteArray("daemon")
                                                             ? std::optional(InstallStage::daemon)
                                                             : std::nullopt);
        // Text that is no port is refused before any request; bytes that are no UTF-8 are a file error.
        const auto client = AgentStatusClient::create(directory);
        if (row.utf8)
            QVERIFY_THROWS_EXCEPTION(TallowmereNativeError, testing::await(client->fetch()));
        else
            QVERIFY_THROWS_EXCEPTION(FileError, testing::await(client->fetch()));
    }
};

TALLOWMERE_TEST(TextFileTest)
#include "tst_TextFile.moc"
