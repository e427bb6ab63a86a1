#include "cli/Errors.h"
#include "cli/InstallLog.h"
#include "cli/RunnerFixture.h"

#include <QElapsedTimer>
#include <QFileInfo>

using namespace tallowmere;
using testing::RunnerFixture;

namespace {

QString errorCode(const std::function<void()> &action)
{
    try {
        action();
    } catch (const TallowmereNativeError &error) {
        return error.code();
    }
    return QString();
}

} // namespace

class CLIServiceTest : public QObject {
    Q_OBJECT

private slots:
    void linesArriveInOrderOnTheMainThread()
    {
        RunnerFixture fixture;
        const auto run = fixture.run(
            QStringLiteral("printf 'first\\r\\n\\n\\n  \\nsecond\\t\\nno line feed'; echo err >&2"));
        QCOMPARE(run.lines, (QStringList{QStringLiteral("first"), QString(), QStringLiteral("second"),
                                         QStringLiteral("no line feederr")}));
        QVERIFY(run.allOnMainThread);
        QCOMPARE(run.result.status, 0);
    }

    void exitStatusIsAResult()
    {
        RunnerFixture fixture;
        const auto run = fixture.run(QStringLiteral("echo bye; exit 3"));
        QCOMPARE(run.result.status, 3);
        QCOMPARE(run.lines, QStringList{QStringLiteral("bye")});
    }

    void overlongLineIsCut()
    {
        RunnerFixture fixture;
        // 262,143 bytes, then a two-byte character split by the limit, then more: the cut shows as U+FFFD.
        const auto run =
            fixture.run(QStringLiteral("head -c 262143 /dev/zero | tr '\\0' x; printf '\\303\\251'; "
                                       "head -c 37855 /dev/zero | tr '\\0' y; printf '\\nnext\\n'"));
        QCOMPARE(run.lines.size(), 2);
        QCOMPARE(run.lines.at(0), QString(262143, QLatin1Char('x')) + QChar(QChar::ReplacementCharacter));
        QCOMPARE(run.lines.at(1), QStringLiteral("next"));
    }

    void secretsAreRedactedEverywhere()
    {
        RunnerFixture fixture;
        const auto run =
            fixture.run(QStringLiteral("echo 'Email:  me@corp.example extra'; echo 'PASSWORD: x y';"
                                       "echo 'open https://a.example/p now'; echo 'code tmi1-0000-1111-2222';"
                                       "printf '\\033[31mred\\033[0m\\n'"));
        const QStringList expected = {QStringLiteral("Email:  [REDACTED] extra"),
                                      QStringLiteral("PASSWORD: [REDACTED] y"),
                                      QStringLiteral("open [URL REDACTED] now"),
                                      QStringLiteral("code [SETUP CODE REDACTED]"), QStringLiteral("red")};
        QCOMPARE(run.lines, expected);
        const QString log = fixture.log();
        for (const QString &line : expected)
            QVERIFY(log.contains(line + QLatin1Char('\n')));
        for (const char *secret : {"me@corp.example", "a.example", "tmi1-0000", "\x1b"})
            QVERIFY2(!log.contains(QLatin1String(secret)), secret);
    }

    void lastErrorLine_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("lastError"); // empty: none

        QTest::newRow("later error wins") << "echo 'Package Not Found'; echo 'an Error occurred'; echo fine"
                                          << "an Error occurred";
        QTest::newRow("json never counts") << "echo 'failed here'; echo '{\"type\":\"progress\",\"error\":1}'"
                                           << "failed here";
        QTest::newRow("Chinese word") << "echo '连接超时'"
                                      << "连接超时";
        QTest::newRow("npm code without a word") << "echo 'Not found'; echo 'npm ERR! code E404'"
                                                 << "Not found";
        QTest::newRow("blank line never counts") << "echo; echo '   '"
                                                 << "";
        QTest::newRow("judged after redaction") << "echo 'Password: failed'"
                                                << "";
        QTest::newRow("shown redacted") << "echo 'Password: x failed'"
                                        << "Password: [REDACTED] failed";
        QTest::newRow("cut to 240") << "printf 'error %.0s' $(seq 100)"
                                    << QStringLiteral("error ").repeated(40);
    }

    void lastErrorLine()
    {
        QFETCH(QString, script);
        QFETCH(QString, lastError);
        RunnerFixture fixture;
        const auto run = fixture.run(script);
        QCOMPARE(run.result.lastErrorLine.value_or(QString()), lastError);
    }

    void logRecordsEachRun()
    {
        RunnerFixture fixture;
        fixture.run(QStringLiteral("echo one"));
        fixture.run(QStringLiteral("echo two; exit 4"));
        const QStringList lines = fixture.log().split(QLatin1Char('\n'));
        // An empty line, the header, the output and the exit line, for each run.
        QCOMPARE(lines.size(), 9);
        QCOMPARE(lines.at(0), QString());
        QVERIFY(QRegularExpression(QStringLiteral("^--- \\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ ---$"))
                    .match(lines.at(1))
                    .hasMatch());
        QCOMPARE(lines.at(2), QStringLiteral("one"));
        QCOMPARE(lines.at(3), QStringLiteral("Process exited with status 0"));
        QCOMPARE(lines.at(7), QStringLiteral("Process exited with status 4"));
        QCOMPARE(testing::posixMode(fixture.cli->installLogPath()), 0600);
    }

    void logRotation_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("rotated");
        QTest::newRow("one byte past 2 MiB") << qint64(2097153) << true;
        QTest::newRow("exactly 2 MiB") << qint64(2097152) << false;
    }

    void logRotation()
    {
        QFETCH(qint64, size);
        QFETCH(bool, rotated);
        RunnerFixture fixture;
        const QString log = fixture.cli->installLogPath();
        const QString previous = log + QStringLiteral(".previous");
        testing::writeFile(log, QByteArray(size, 'o'));
        testing::writeFile(previous, "older generation");

        fixture.run(QStringLiteral("echo fresh"));

        if (rotated) {
            QCOMPARE(QFileInfo(previous).size(), size);
            QVERIFY(fixture.log().startsWith(QStringLiteral("\n--- ")));
            QCOMPARE(testing::posixMode(log), 0600);
        } else {
            QCOMPARE(testing::readFile(previous), QByteArray("older generation"));
            QVERIFY(QFileInfo(log).size() > size);
        }
        QVERIFY(fixture.log().contains(QStringLiteral("fresh\n")));
    }

    void unwritableLogDoesNotMatter()
    {
        RunnerFixture fixture;
        QDir().mkpath(fixture.cli->installLogPath()); // a directory where the log should be
        const auto run = fixture.run(QStringLiteral("echo still; exit 2"));
        QCOMPARE(run.lines, QStringList{QStringLiteral("still")});
        QCOMPARE(run.result.status, 2);
    }

    void controlledEnvironment()
    {
        qputenv("npm_config_registry", "elsewhere");
        qputenv("Npm_Config_Cache", "x");
        qputenv("PNPM_STORE", "x");
        qputenv("PATH", "/inherited/bin");
        qputenv("LANG", "zh_CN.UTF-8");
        RunnerFixture fixture;
        const auto run = fixture.run(QStringLiteral("env | sort"));
        qunsetenv("npm_config_registry");
        qunsetenv("Npm_Config_Cache");
        qunsetenv("PNPM_STORE");
        const QString home = fixture.home.path();
        const QString runtime = home + QStringLiteral("/.tallowmere/mac-app-runtime");
        QVERIFY(run.lines.contains(QStringLiteral("LANG=zh_CN.UTF-8")));
        QVERIFY(run.lines.contains(QStringLiteral("HOME=") + home));
        QVERIFY(run.lines.contains(QStringLiteral("PNPM_HOME=") + runtime + QStringLiteral("/bin")));
        QVERIFY(run.lines.contains(QStringLiteral("NPM_CONFIG_USERCONFIG=") + runtime +
                                   QStringLiteral("/pnpm-config/npmrc")));
        QVERIFY(run.lines.contains(QStringLiteral("NPM_CONFIG_GLOBALCONFIG=/dev/null")));
        QVERIFY(run.lines.contains(QStringLiteral("PATH=") + runtime +
                                   QStringLiteral("/bin:/opt/homebrew/bin:/opt/homebrew/sbin:/usr/local/bin:"
                                                  "/usr/local/sbin:/usr/bin:/bin:/usr/sbin:/sbin")));
        for (const QString &line : run.lines) {
            QVERIFY2(!line.startsWith(QLatin1String("npm_config"), Qt::CaseInsensitive) ||
                         line.startsWith(QLatin1String("NPM_CONFIG_USERCONFIG=")) ||
                         line.startsWith(QLatin1String("NPM_CONFIG_GLOBALCONFIG=")),
                     qPrintable(line));
            QVERIFY2(!line.startsWith(QLatin1String("PNPM_STORE")), qPrintable(line));
        }
    }

    void secondRunIsRefusedWhileOneRuns()
    {
        RunnerFixture fixture;
        RunnerFixture::Collector first;
        auto running = fixture.cli->execute({QStringLiteral("-c"), QStringLiteral("sleep 0.3; echo first")},
                                            std::nullopt, first.lines(), first.authorizations());
        QVERIFY(fixture.cli->isRunning());
        QCOMPARE(errorCode([&] {
                     testing::await(fixture.cli->execute(
                         {QStringLiteral("-c"), QStringLiteral("echo second")}, std::nullopt, {}, {}));
                 }),
                 QStringLiteral("OPERATION_ALREADY_RUNNING"));
        const CLIResult result = testing::await(std::move(running));
        QCOMPARE(result.status, 0);
        QCOMPARE(first.output->lines, QStringList{QStringLiteral("first")});
        QVERIFY(!fixture.cli->isRunning());
        QCOMPARE(fixture.log().count(QStringLiteral("\n--- ")), 1); // one header
        QVERIFY(!fixture.log().contains(QStringLiteral("second")));
    }

    void launchFailure()
    {
        testing::ScratchHome home;
        auto configuration = CLIService::Configuration::forHome(home.path());
        configuration.shell = home.path() + QStringLiteral("/no-such-shell");
        CLIService cli(configuration);
        QCOMPARE(errorCode([&] {
                     testing::await(
                         cli.execute({QStringLiteral("-c"), QStringLiteral("true")}, std::nullopt, {}, {}));
                 }),
                 QStringLiteral("INSTALL_LAUNCH_FAILED"));
        QVERIFY(!cli.isRunning());
        QVERIFY(QString::fromUtf8(testing::readFile(cli.installLogPath()))
                    .endsWith(QStringLiteral("---\nINSTALL_LAUNCH_FAILED\n")));
    }

    void stoppingTheChildEndsTheRunWithItsStatus()
    {
        RunnerFixture fixture;
        RunnerFixture::Collector collector;
        QElapsedTimer elapsed;
        elapsed.start();
        auto running = fixture.cli->execute({QStringLiteral("-c"), QStringLiteral("echo started; sleep 20")},
                                            std::nullopt, collector.lines(), collector.authorizations());
        QVERIFY(testing::spinUntil([&] { return !collector.output->lines.isEmpty(); }));
        fixture.cli->terminateRunningProcess();
        const CLIResult result = testing::await(std::move(running));
        QCOMPARE(result.status, 15); // SIGTERM
        QVERIFY(elapsed.elapsed() < 10000);
    }

    void authorizationIsHandedOverNotShown()
    {
        RunnerFixture fixture;
        const QString link = QStringLiteral(
            "https://accounts.google.com/o/oauth2/v2/auth?response_type=code&client_id=c&state=s"
            "&redirect_uri=http://localhost:3000/api/profiles/google-oauth/callback");
        const auto run = fixture.run(
            QStringLiteral("echo 'Workspace account created (Google):'; echo 'Email: a@corp.example';"
                           "echo 'Password: pw1'; echo '%1'; echo after")
                .arg(link));
        QCOMPARE(run.authorizations.size(), 1);
        QCOMPARE(run.authorizations.first().password, QStringLiteral("pw1"));
        QCOMPARE(run.lines, (QStringList{QStringLiteral("Workspace account created (Google):"),
                                         QStringLiteral("Email: [REDACTED]"),
                                         QStringLiteral("Password: [REDACTED]"), QStringLiteral("after")}));
        QVERIFY(run.allOnMainThread);
        QVERIFY(!fixture.log().contains(QStringLiteral("oauth2")));
        QVERIFY(!fixture.log().contains(QStringLiteral("pw1")));
    }

    void outputHandlerFailureDoesNotStopTheRun()
    {
        RunnerFixture fixture;
        int calls = 0;
        const CLIResult result = testing::await(
            fixture.cli->execute({QStringLiteral("-c"), QStringLiteral("echo a; echo b")}, std::nullopt,
                                 [&calls](QStringView) {
                                     ++calls;
                                     throw std::runtime_error("handler broke");
                                 },
                                 {}));
        QCOMPARE(calls, 2);
        QCOMPARE(result.status, 0);
    }

    void resourceScriptCommandLines()
    {
        testing::ScratchHome home;
        const QString script = home.path() + QStringLiteral("/cli-session.sh");
        // Records what it was given, then echoes its input back (the runner must hide it).
        testing::writeFile(
            script, "printf '%s\\n' \"$@\" > \"$HOME/argv\"; env > \"$HOME/env\"; "
                    "IFS= read -r code; printf '%s' \"$code\" > \"$HOME/stdin\"; echo \"got $code\"\n");
        auto configuration = CLIService::Configuration::forHome(home.path());
        configuration.resourceScript = script;
        CLIService cli(configuration);
        const QString code = QStringLiteral("TMI1-0000-1111-2222");

        RunnerFixture::Collector collector;
        testing::await(
            cli.setup(code, QStringLiteral("my-agent"), collector.lines(), collector.authorizations()));
        QCOMPARE(testing::readFile(home.path() + QStringLiteral("/argv")),
                 QByteArray("--setup-only\nmy-agent\n"));
        QCOMPARE(testing::readFile(home.path() + QStringLiteral("/stdin")), code.toUtf8());
        QCOMPARE(collector.output->lines, QStringList{QStringLiteral("got [SETUP CODE REDACTED]")});
        QVERIFY(!testing::readFile(home.path() + QStringLiteral("/env")).contains(code.toUtf8()));
        QVERIFY(!testing::readFile(cli.installLogPath()).contains(code.toUtf8()));

        testing::await(cli.setup(code, std::nullopt, {}, {}));
        QCOMPARE(testing::readFile(home.path() + QStringLiteral("/argv")), QByteArray("--setup-only\n"));

        testing::await(cli.prepareEnvironment({}));
        QCOMPARE(testing::readFile(home.path() + QStringLiteral("/argv")), QByteArray("--prepare\n"));
        QCOMPARE(testing::readFile(home.path() + QStringLiteral("/stdin")), QByteArray());
    }

    void missingResourceScript()
    {
        RunnerFixture fixture;
        QCOMPARE(errorCode([&] { testing::await(fixture.cli->prepareEnvironment({})); }),
                 QStringLiteral("INSTALL_COMPONENT_MISSING"));
        QCOMPARE(errorCode([&] {
                     testing::await(
                         fixture.cli->setup(QStringLiteral("TMS2-0000-1111-2222"), std::nullopt, {}, {}));
                 }),
                 QStringLiteral("INSTALL_COMPONENT_MISSING"));
        QVERIFY(!QFileInfo::exists(fixture.cli->installLogPath()));
    }

    void promptlessPermissionsAreNotPrepared()
    {
        RunnerFixture fixture;
        QVERIFY(!testing::await(fixture.cli->preparePermission(PermissionKind::screenRecording)));
        QVERIFY(!testing::await(fixture.cli->preparePermission(PermissionKind::fullDiskAccess)));
        QVERIFY(!QFileInfo::exists(fixture.cli->installLogPath())); // nothing ran
    }

    void logsDirectory()
    {
        RunnerFixture fixture;
        const QString directory = fixture.cli->ensureLogsDirectory();
        QCOMPARE(directory, fixture.home.path() + QStringLiteral("/.tallowmere/profiles/default/logs"));
        QVERIFY(QFileInfo(directory).isDir());
    }
};

TALLOWMERE_TEST(CLIServiceTest)
#include "tst_CLIService.moc"
