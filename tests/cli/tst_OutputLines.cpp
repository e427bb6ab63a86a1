#include "cli/IcuOracle.h"
#include "cli/InstallLog.h"
#include "cli/OutputLines.h"
#include "support/TestSupport.h"

#include <QRandomGenerator>

using namespace tallowmere;

namespace {

// `output` through a processor in chunks of `chunk()` bytes: the lines handed on and the last error line.
template <typename Chunk>
std::pair<QStringList, std::optional<QString>> process(const QByteArray &output, InstallLog *log, Chunk chunk)
{
    OutputLineProcessor processor(log);
    OutputBatch batch;
    for (qsizetype i = 0; i < output.size();) {
        const qsizetype size = std::min<qsizetype>(chunk(), output.size() - i);
        processor.feed(output.constData() + i, size, batch);
        i += size;
    }
    processor.finish(batch);
    QStringList lines;
    batch.forEach([&lines](QStringView line) { lines << line.toString(); },
                  [&lines](const JITWorkspaceAuthorization &) { lines << "(authorisation)"; });
    return {lines, processor.lastErrorCandidate()};
}

// The obvious error-line rule: a trimmed line, not an event, whose lower-cased text holds an error word.
bool mentionsError(const QString &line)
{
    static const QStringList words =
        QString("error|failed|failure|fatal|denied|not found|unavailable|invalid|"
                "timed out|client_upgrade_required|code_unavailable|exit code|"
                "失败|无法|未完成|不完整|不可用|无效|超时")
            .split('|');
    const QString text = line.trimmed().toLower();
    return !text.startsWith('{') &&
           std::any_of(words.begin(), words.end(), [&](const QString &word) { return text.contains(word); });
}

} // namespace

class OutputLinesTest : public QObject {
    Q_OBJECT

private slots:
    // However the pipe cuts the bytes, the same lines come out; an over-long line is cut at the
    // limit, here through a two-byte character, which shows as U+FFFD.
    void chunkBoundariesDoNotMatter()
    {
        const qsizetype limit = OutputLineProcessor::lineBufferLimit;
        const QByteArray output = "\xe5\xae\x89\xe8\xa3\x85 done\r\n\n\n  \n" + QByteArray(limit - 1, 'z') +
                                  "\xc3\xa9" + QByteArray(40000, 'y') +
                                  "\nEmail: a@b\n{\"type\":\"progress\"}\n" + QByteArray(limit, 'x') +
                                  "\ntail \xf0\x9f\x98";
        const QStringList lines = {testing::utf8("安装 done"),
                                   QString(),
                                   QString(limit - 1, 'z') + QChar(QChar::ReplacementCharacter),
                                   "Email: [REDACTED]",
                                   "{\"type\":\"progress\"}",
                                   QString(limit, 'x'),
                                   "tail " + QString(QChar(QChar::ReplacementCharacter))};
        for (int chunk : {1, 2, 3, 7, 64, 100000})
            QCOMPARE(process(output, nullptr, [chunk] { return chunk; }).first, lines);
    }

    // Random output, cut into random chunks: every delivered line, the log and the last error line
    // are what the obvious implementation gives.
    void agreesWithTheObviousImplementation()
    {
        const QStringList pieces =
            QString("Progress: resolved 12, |ERROR|Fail|ed|ure |not| found|un|available|timed out|exit  code|"
                    "exit code|client_upgrade_required|超时|无|法|安装|Email: a@b "
                    "|password:|https://x.example/y |"
                    "TMS2-0000-1111-2222|tmi1-|\x1b[1m|-- |: |  |\t|{\"type\":\"progress\"}|Workspace "
                    "|h|é|\u3000|"
                    "\r|invalid|deni|x|\uFFFD|\u0301")
                .split('|');
        QRandomGenerator random(7);
        for (int round = 0; round < 300; ++round) {
            QStringList lines;
            for (int n = random.bounded(1, 40); n > 0; --n) {
                QString line;
                for (int k = random.bounded(0, 8); k > 0; --k)
                    line += pieces.at(random.bounded(pieces.size()));
                lines << line;
            }
            QStringList expected;
            std::optional<QString> expectedError;
            for (const QString &line : lines) {
                if (line.isEmpty())
                    continue; // an empty gap between line feeds is no line
                expected << testing::icuSanitize(line.trimmed());
                if (mentionsError(expected.last()))
                    expectedError = expected.last().trimmed().left(240);
            }

            testing::ScratchHome home;
            const QString logPath = home.path() + "/log";
            auto log = InstallLog::open(logPath);
            const auto [shown, lastError] = process(lines.join('\n').toUtf8() + '\n', log.get(),
                                                    [&random] { return random.bounded(1, 200); });
            log.reset();
            QCOMPARE(shown, expected);
            QCOMPARE(lastError, expectedError);
            QCOMPARE(QString::fromUtf8(testing::readFile(logPath)),
                     expected.isEmpty() ? QString() : expected.join('\n') + '\n');
        }
    }

    // What the random lines above do not reach.
    void errorCandidates_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("candidate"); // empty: none
        QTest::newRow("each word") << "npm ERR! code E404: not found"
                                   << "npm ERR! code E404: not found";
        QTest::newRow("Chinese words") << "安装不完整"
                                       << "安装不完整";
        QTest::newRow("timed  out needs one blank") << "timed  out"
                                                    << "";
        QTest::newRow("cut to 240 characters")
            << "error " + QString("é\u0301").repeated(300) << "error " + QString("é\u0301").repeated(234);
    }

    void errorCandidates()
    {
        QFETCH(QString, line);
        QFETCH(QString, candidate);
        QCOMPARE(errorCandidate(line).value_or(QString()), candidate);
    }
};

TALLOWMERE_TEST(OutputLinesTest)
#include "tst_OutputLines.moc"
