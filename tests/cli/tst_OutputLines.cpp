#include "cli/InstallLog.h"
#include "cli/OutputLines.h"
#include "cli/Reference.h"
#include "support/TestSupport.h"

#include <QRandomGenerator>

using namespace tallowmere;

namespace {

QStringList linesOf(const OutputBatch &batch)
{
    QStringList lines;
    batch.forEach(
        [&lines](QStringView line) { lines << line.toString(); },
        [&lines](const JITWorkspaceAuthorization &) { lines << QStringLiteral("<authorization>"); });
    return lines;
}

} // namespace

class OutputLinesTest : public QObject {
    Q_OBJECT

private slots:
    // However the pipe cuts the bytes, the same lines come out.
    void chunkBoundariesDoNotMatter_data()
    {
        QTest::addColumn<int>("chunk");
        for (int chunk : {1, 2, 3, 7, 64, 100000})
            QTest::newRow(qPrintable(QString::number(chunk))) << chunk;
    }

    void chunkBoundariesDoNotMatter()
    {
        QFETCH(int, chunk);
        const QByteArray output = QByteArray("\xe5\xae\x89\xe8\xa3\x85 done\r\n\n\n  \n") +
                                  QByteArray(300000, 'z') +
                                  "\nEmail: a@b\n{\"type\":\"progress\"}\ntail \xf0\x9f\x98";
        OutputLineProcessor processor(nullptr);
        OutputBatch batch;
        for (qsizetype i = 0; i < output.size(); i += chunk)
            processor.feed(output.constData() + i, std::min<qsizetype>(chunk, output.size() - i), batch);
        processor.finish(batch);
        QCOMPARE(linesOf(batch),
                 (QStringList{QString::fromUtf8("安装 done"), QString(),
                              QString(OutputLineProcessor::lineBufferLimit, QLatin1Char('z')),
                              QStringLiteral("Email: [REDACTED]"), QStringLiteral("{\"type\":\"progress\"}"),
                              QStringLiteral("tail ") + QChar(QChar::ReplacementCharacter)}));
    }

    void invalidUtf8_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("cut four-byte character")
            << QByteArray("a\xf0\x9f\x98") << QString::fromUtf8("a\uFFFD");
        QTest::newRow("cut three-byte character then text") << QByteArray("\xe5\xae"
                                                                          "b")
                                                            << QString::fromUtf8("\uFFFDb");
        QTest::newRow("stray continuation bytes")
            << QByteArray("\x80\x80") << QString::fromUtf8("\uFFFD\uFFFD");
        QTest::newRow("overlong encoding") << QByteArray("\xc0\xaf") << QString::fromUtf8("\uFFFD\uFFFD");
        QTest::newRow("surrogate half")
            << QByteArray("\xed\xa0\x80") << QString::fromUtf8("\uFFFD\uFFFD\uFFFD");
        QTest::newRow("above U+10FFFF")
            << QByteArray("\xf4\x90\x80\x80") << QString::fromUtf8("\uFFFD\uFFFD\uFFFD\uFFFD");
        QTest::newRow("valid astral") << QByteArray("\xf0\x9f\x98\x80!") << QString::fromUtf8("😀!");
    }

    void invalidUtf8()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QByteArray buffer = bytes;
        QCOMPARE(takeLine(buffer).value_or(QStringLiteral("<none>")), text);
        QVERIFY(buffer.isEmpty());
        QCOMPARE(takeLine(buffer), std::nullopt);
    }

    // Random output, cut into random chunks: every delivered line, the log and the last error line
    // must be what the obvious implementation gives.
    void agreesWithTheObviousImplementation()
    {
        const QStringList pieces = {QStringLiteral("Progress: resolved 12, "),
                                    QStringLiteral("ERROR"),
                                    QStringLiteral("Fail"),
                                    QStringLiteral("ed"),
                                    QStringLiteral("ure "),
                                    QStringLiteral("not"),
                                    QStringLiteral(" found"),
                                    QStringLiteral("un"),
                                    QStringLiteral("available"),
                                    QStringLiteral("timed out"),
                                    QStringLiteral("exit  code"),
                                    QStringLiteral("exit code"),
                                    QStringLiteral("client_upgrade_required"),
                                    QString::fromUtf8("超时"),
                                    QString::fromUtf8("无"),
                                    QString::fromUtf8("法"),
                                    QString::fromUtf8("安装"),
                                    QStringLiteral("Email: a@b "),
                                    QStringLiteral("password:"),
                                    QStringLiteral("https://x.example/y "),
                                    QStringLiteral("TMS2-0000-1111-2222"),
                                    QStringLiteral("tmi1-"),
                                    QStringLiteral("\x1b[1m"),
                                    QStringLiteral("-- "),
                                    QStringLiteral(": "),
                                    QStringLiteral("  "),
                                    QStringLiteral("\t"),
                                    QStringLiteral("{\"type\":\"progress\"}"),
                                    QStringLiteral("Workspace "),
                                    QStringLiteral("h"),
                                    QString::fromUtf8("é"),
                                    QString::fromUtf8("\u3000"),
                                    QStringLiteral("\r"),
                                    QStringLiteral("invalid"),
                                    QStringLiteral("deni"),
                                    QStringLiteral("x")};
        QRandomGenerator random(7);
        for (int round = 0; round < 300; ++round) {
            QStringList lines;
            for (int n = random.bounded(1, 40); n > 0; --n) {
                QString line;
                for (int k = random.bounded(0, 8); k > 0; --k)
                    line += pieces.at(random.bounded(pieces.size()));
                lines << line;
            }
            const QByteArray output = lines.join(QLatin1Char('\n')).toUtf8() + '\n';

            testing::ScratchHome home;
            const QString logPath = home.path() + QStringLiteral("/log");
            OutputBatch batch;
            std::optional<QString> lastError;
            {
                auto log = InstallLog::open(logPath);
                OutputLineProcessor processor(log.get());
                for (qsizetype i = 0; i < output.size();) {
                    const qsizetype chunk = std::min<qsizetype>(random.bounded(1, 200), output.size() - i);
                    processor.feed(output.constData() + i, chunk, batch);
                    i += chunk;
                }
                processor.finish(batch);
                lastError = processor.lastErrorCandidate();
            }

            QStringList expected;
            std::optional<QString> expectedError;
            for (const QString &line : lines) {
                if (line.isEmpty())
                    continue; // an empty gap between line feeds is no line
                const QString shown = testing::referenceSanitize(line.trimmed());
                expected << shown;
                if (testing::referenceMentionsError(shown))
                    expectedError = shown.trimmed().left(240);
            }
            QCOMPARE(linesOf(batch), expected);
            QCOMPARE(lastError, expectedError);
            QString logged = QString::fromUtf8(testing::readFile(logPath));
            QCOMPARE(logged,
                     expected.isEmpty() ? QString() : expected.join(QLatin1Char('\n')) + QLatin1Char('\n'));
        }
    }

    void errorCandidates_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("candidate"); // empty: none

        QTest::newRow("Not Found any case") << "Package NOT FOUND"
                                            << "Package NOT FOUND";
        QTest::newRow("trimmed") << "  fatal: x \t"
                                 << "fatal: x";
        QTest::newRow("exit code phrase") << "job ended, Exit Code 4"
                                          << "job ended, Exit Code 4";
        QTest::newRow("words inside words count") << "terrorism"
                                                  << "terrorism";
        QTest::newRow("client upgrade") << "CLIENT_UPGRADE_REQUIRED"
                                        << "CLIENT_UPGRADE_REQUIRED";
        QTest::newRow("json line") << "{\"error\":\"failed\"}"
                                   << "";
        QTest::newRow("json after blanks") << "   {\"error\":1}"
                                           << "";
        QTest::newRow("npm code only") << "npm ERR! code E404"
                                       << "";
        QTest::newRow("each Chinese word") << "安装不完整"
                                           << "安装不完整";
        QTest::newRow("无效") << "安装码无效"
                              << "安装码无效";
        QTest::newRow("未完成") << "未完成"
                                << "未完成";
        QTest::newRow("no word") << "all good"
                                 << "";
        QTest::newRow("blank") << "   "
                               << "";
        QTest::newRow("timed  out needs one blank") << "timed  out"
                                                    << "";
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
