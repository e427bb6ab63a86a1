#include "cli/Errors.h"
#include "support/RunnerFixture.h"

#include <QFileInfo>
#include <QRegularExpression>

using namespace tallowmere;
using testing::Collector;
using testing::RunnerFixture;

namespace {

// The code of the TallowmereNativeError that `task` fails with, or "" when it does not fail.
template <typename T> QString errorCode(QCoro::Task<T> task)
{
    return testing::ending(std::move(task), [](const T &) { return QString(); }).section(u' ', 0, 0);
}

// lines: joined by line feeds; lastError nullptr: none.
const struct {
    const char *name, *script, *lines; int status; const char *lastError; int authorizations = 0;
} runs[] = {
    {"order, blanks, line ends, both streams",
     "printf 'first\\r\\n\\n\\n  \\nsecond\\t\\n \u3000安装 \\nno line feed'; echo err >&2",
     "first\n\nsecond\n安装\nno line feederr", 0, nullptr},
    {"exit status", "echo bye; exit 3", "bye", 3, nullptr},
    {"secrets", "echo 'Email:  me@corp.example extra'; printf '\\033[31mred https://a.example/p\\033[0m\\n'",
     "Email:  [REDACTED] extra\nred [URL REDACTED]", 0, nullptr},
    {"later error wins", "echo 'Package Not Found'; echo 'an Error occurred'; echo fine",
     "Package Not Found\nan Error occurred\nfine", 0, "an Error occurred"},
    {"events never count", "echo 'failed here'; echo '{\"error\":1}'", "failed here\n{\"error\":1}", 0,
     "failed here"},
    {"workspace block handed over, not shown",
     "echo 'Workspace account created (Google):'; echo 'Email: a@corp.example'; echo 'Password: pw1';"
     "echo 'https://accounts.google.com/o/oauth2/v2/auth?response_type=code&client_id=c&state=s"
     "&redirect_uri=http://localhost:3000/api/profiles/google-oauth/callback'; echo after",
     "Workspace account created (Google):\nEmail: [REDACTED]\nPassword: [REDACTED]\nafter", 0, nullptr, 1},
    {"judged after redaction", "echo 'Password: failed'; echo 'Password: x failed'",
     "Password: [REDACTED]\nPassword: [REDACTED] failed", 0, "Password: [REDACTED] failed"},
};

} // namespace

class CLIServiceTest : public QObject {
    Q_OBJECT

private slots:
    // A run's lines, status, last error line and authorisations, and its log: an empty line, a header,
    // exactly the lines shown and the exit status.
    void runs_data() { testing::addRows(::runs); }

    void runs()
    {
        const auto &row = testing::currentRow(::runs);
        const QStringList lines = testing::utf8(row.lines).split('\n');
        RunnerFixture fixture;
        const auto run = fixture.run(row.script);
        QCOMPARE(run.lines, lines);
        QCOMPARE(run.result.status, row.status);
        QCOMPARE(run.result.lastErrorLine, testing::optionalText(row.lastError));
        QCOMPARE(run.authorizations.size(), row.authorizations);
        QVERIFY(run.allOnMainThread);
        const QRegularExpression utcTime("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ");
        QCOMPARE(fixture.log().replace(utcTime, "TIME"), "\n--- TIME ---\n" + lines.join('\n') +
                                                             "\nProcess exited with status " +
                                                             QString::number(row.status) + '\n');
        QCOMPARE(testing::posixMode(fixture.cli->installLogPath()), 0600);
    }

    void logRotation()
    {
        for (const auto &[size, rotated] :
             {std::pair{qint64(2097153), true}, std::pair{qint64(2097152), false}}) {
            RunnerFixture fixture;
            const QString log = fixture.cli->installLogPath();
            const QString previous = log + ".previous";
            testing::writeFile(log, QByteArray(size, 'o'));
            testing::writeFile(previous, "older generation");
            fixture.run("echo fresh");
            QCOMPARE(QFileInfo(previous).size(), rotated ? size : qint64(16));
            QCOMPARE(QFileInfo(log).size() > size, !rotated);
            QVERIFY(fixture.log().endsWith("---\nfresh\nProcess exited with status 0\n"));
        }
    }

    void controlledEnvironment()
    {
        const char *inherited[] = {"npm_config_registry", "Npm_Config_Cache", "PNPM_STORE", "LANG"};
        for (const char *name : inherited)
            qputenv(name, "zh_CN.UTF-8");
        RunnerFixture fixture;
        const auto run = fixture.run("env | LC_ALL=C sort");
        for (const char *name : inherited)
            qunsetenv(name);
        const QString runtime = fixture.home.path() + "/.tallowmere/mac-app-runtime";
        QCOMPARE(run.lines.filter(QRegularExpression("^(npm_config_|pnpm_|home=|lang=|path=)",
                                                     QRegularExpression::CaseInsensitiveOption)),
                 (QStringList{"HOME=" + fixture.home.path(), "LANG=zh_CN.UTF-8", "NPM_CONFIG_GLOBALCONFIG=/dev/null",
                              "NPM_CONFIG_USERCONFIG=" + runtime + "/pnpm-config/npmrc", "PATH=" + runtime +
                                  "/bin:/opt/homebrew/bin:/opt/homebrew/sbin:/usr/local/bin:"
                                  "/usr/local/sbin:/usr/bin:/bin:/usr/sbin:/sbin", "PNPM_HOME=" + runtime + "/bin"}));
    }

    // A second run, a permission check or preparation, is refused while the first goes on (a preparation
    // quietly: false); stopping the child ends the run with its status.
    void oneChildAtATime()
    {
        RunnerFixture fixture;
        Collector first;
        auto running = fixture.cli->execute({"-c", "echo first; sleep 20"}, std::nullopt, first.lines(),
                                            first.authorizations());
        QVERIFY(testing::spinUntil([&] { return !first.output->lines.isEmpty(); }));
        QCOMPARE(errorCode(fixture.cli->execute({"-c", "echo second"}, std::nullopt, {}, {})),
                 "OPERATION_ALREADY_RUNNING");
        QCOMPARE(errorCode(fixture.cli->permissionGranted(PermissionKind::screenRecording)),
                 "OPERATION_ALREADY_RUNNING");
        QVERIFY(!testing::await(fixture.cli->preparePermission(PermissionKind::automation)));
        fixture.cli->terminateRunningProcess();
        QCOMPARE(testing::await(std::move(running)).status, 15); // SIGTERM, long before the sleep ends
        QVERIFY(!fixture.cli->isRunning());
        QCOMPARE(fixture.log().count("\n--- "), 1); // the refused run left no trace
        QVERIFY(!fixture.log().contains("second"));
    }

    void resourceScriptCommandLines()
    {
        testing::ScratchHome home;
        const QString script = home.path() + "/cli-session.sh";
        // Records what it was given, then echoes its input back (the runner must hide it).
        testing::writeFile(script, "printf '%s\\n' \"$@\" > \"$HOME/argv\"; env > \"$HOME/env\"; "
                    "IFS= read -r code; printf '%s' \"$code\" > \"$HOME/stdin\"; echo \"got $code\"\n");
        auto configuration = CLIService::Configuration::forHome(home.path());
        configuration.resourceScript = script;
        CLIService cli(configuration);
        const QString code = "TMI1-0000-1111-2222";
        const auto recorded = [&home](const char *name) { return testing::readFile(home.path() + '/' + name); };

        Collector collector;
        testing::await(cli.setup(code, "my-agent", collector.lines(), collector.authorizations()));
        QCOMPARE(recorded("argv"), "--setup-only\nmy-agent\n");
        QCOMPARE(recorded("stdin"), code.toUtf8());
        QCOMPARE(collector.output->lines, QStringList{"got [SETUP CODE REDACTED]"});
        QVERIFY(!recorded("env").contains(code.toUtf8()));
        QVERIFY(!testing::readFile(cli.installLogPath()).contains(code.toUtf8()));

        testing::await(cli.setup(code, std::nullopt, {}, {}));
        QCOMPARE(recorded("argv"), "--setup-only\n");
        testing::await(cli.prepareEnvironment({}));
        QCOMPARE(recorded("argv"), "--prepare\n");
        QCOMPARE(recorded("stdin"), "");
    }

    // Without the resource script, and for the permissions that have no prompt, nothing runs; without a
    // shell, nothing starts; neither a log that cannot be written nor a handler that throws stops a run.
    void failuresAroundRuns()
    {
        RunnerFixture fixture;
        QCOMPARE(errorCode(fixture.cli->prepareEnvironment({})), "INSTALL_COMPONENT_MISSING");
        QCOMPARE(errorCode(fixture.cli->setup("TMS2-0000-1111-2222", std::nullopt, {}, {})), "INSTALL_COMPONENT_MISSING");
        QVERIFY(!testing::await(fixture.cli->preparePermission(PermissionKind::screenRecording)));
        QVERIFY(!testing::await(fixture.cli->preparePermission(PermissionKind::fullDiskAccess)));
        QVERIFY(!QFileInfo::exists(fixture.cli->installLogPath()));
        auto configuration = CLIService::Configuration::forHome(fixture.home.path());
        configuration.shell = fixture.home.path() + "/no-such-shell";
        CLIService cli(configuration);
        QCOMPARE(errorCode(cli.execute({"-c", "true"}, std::nullopt, {}, {})), "INSTALL_LAUNCH_FAILED");
        QVERIFY(!cli.isRunning());
        QVERIFY(testing::readFile(cli.installLogPath()).endsWith("---\nINSTALL_LAUNCH_FAILED\n"));
        QFile::remove(cli.installLogPath());
        QDir().mkpath(cli.installLogPath());
        int calls = 0;
        const auto throwing = [&calls](QStringView) { ++calls, throw std::runtime_error("handler broke"); };
        auto run = fixture.cli->execute({"-c", "echo a; echo b; exit 2"}, std::nullopt, throwing, {});
        QCOMPARE(testing::await(std::move(run)).status, 2);
        QCOMPARE(calls, 2);
    }
};

TALLOWMERE_TEST(CLIServiceTest)
#include "tst_CLIService.moc"
