// The embedded scripts, run with bash through the real runner against the simulated Mac.
#include "cli/Errors.h"
#include "cli/RunnerFixture.h"
#include "cli/Scripts.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>

using namespace tallowmere;
using testing::SimulatedMac;

namespace {

const QString wrapperBlock = "\n# mac-app-runtime-v2\n"
                             "runtime_node=\"$HOME/.tallowmere/mac-app-runtime/node\"\n"
                             "runtime_bin=\"$HOME/.tallowmere/mac-app-runtime/bin\"\n"
                             "[[ -x \"$runtime_node\" && -x \"$runtime_bin/cliclick\" ]] || { "
                             "echo \"Tallowmere runtime is unavailable\" >&2; exit 1; }\n"
                             "export PATH=\"$runtime_bin:${runtime_node%/*}:$PATH\"\n"
                             "\nif ! command -v tallowmere";

// A field of the first app of a pm2 configuration, as node reads it.
QString firstApp(const QString &field, const QString &configuration)
{
    QProcess node;
    node.start("node", {"-p", "require(process.argv[1]).apps[0]." + field, configuration});
    node.waitForFinished(20000);
    return QString::fromUtf8(node.readAllStandardOutput()).trimmed();
}

const struct {
    const char *name;
    const char *key; // a setting of the simulated Mac, after runtime preparation; "": no runtime
    const char *value;
    int attempts;
    const char *message;
    bool errorLine; // whether the message has an error word
} daemonFailures[] = {
    {"unsupported wrapper", "daemonInstallWrapper", "unsupported", 600,
     "Error: Tallowmere launchd wrapper format is unsupported", true},
    {"no wrapper", "daemonInstallWrapper", "none", 600, "Agent 启动文件未生成，请重试。", false},
    {"no pm2 configuration", "daemonInstallPm2Config", "none", 600, "Agent 运行配置未生成，请重试。", false},
    {"pm2 configuration without apps", "daemonInstallPm2Config", "noapps", 600,
     "Error: Tallowmere PM2 config format is unsupported", true},
    {"installer fails", "daemonInstallExit", "3", 600, "Agent 安装失败，请重试（错误码 3）。", true},
    {"installer never ends", "daemonInstallExit", "never", 5, "Agent 安装超时，请重试。", true},
    {"no runtime", "", "", 600, "Tallowmere 运行环境不完整，请重新安装。", true},
};

struct PermissionRow {
    const char *name;
    PermissionKind kind;
    const char *key; // as above
    const char *value;
    bool granted;
};
const PermissionRow permissionChecks[] = {
    {"screen recording granted", PermissionKind::screenRecording, "screenRecording", "granted", true},
    {"screen recording denied", PermissionKind::screenRecording, "screenRecording", "denied", false},
    {"screen recording without runtime", PermissionKind::screenRecording, "", "", false},
    {"full disk access probe throws", PermissionKind::fullDiskAccess, "fullDiskAccess", "error", false},
    {"automation granted", PermissionKind::automation, "osascript", "granted", true},
    {"automation refused by osascript", PermissionKind::automation, "osascript", "refused", false},
    {"accessibility granted", PermissionKind::accessibility, "accessibilityNode", "granted", true},
    {"accessibility untrusted node", PermissionKind::accessibility, "accessibilityNode", "denied", false},
    {"accessibility untrusted clicker", PermissionKind::accessibility, "accessibilityCliclick", "denied",
     false},
    {"accessibility at the right edge", PermissionKind::accessibility, "pointerX", "1439", true},
    {"accessibility without runtime", PermissionKind::accessibility, "", "", false},
};
const PermissionRow prompts[] = {
    {"automation consent given", PermissionKind::automation, "osascript", "ask", true},
    {"accessibility granted at the prompt", PermissionKind::accessibility, "accessibilityNodeGrantOnPrompt",
     "1", true},
    {"accessibility prompt ignored", PermissionKind::accessibility, "accessibilityNodeGrantOnPrompt", "0",
     false},
};

} // namespace

class ScriptsTest : public QObject {
    Q_OBJECT

private slots:
    void daemonInstallation()
    {
        SimulatedMac mac;
        mac.prepareRuntime();
        QCOMPARE(mac.run(mac.cli->daemonInstallCommand()).result.status, 0);

        // The wrapper is patched in front of its launch line, the block set off by an empty line.
        const QString wrapperPath = mac.file(".tallowmere/start.sh");
        const QString wrapper = QString::fromUtf8(testing::readFile(wrapperPath));
        QCOMPARE(wrapper.count("mac-app-runtime-v2"), 1);
        QVERIFY2(wrapper.contains(wrapperBlock), qPrintable(wrapper));
        QCOMPARE(testing::posixMode(wrapperPath), 0755);

        // The pm2 configuration runs the runtime's node, with the runtime first on its path.
        const QString config = mac.file(".tallowmere/pm2-ecosystem.config.cjs");
        const QString bin = mac.file(".tallowmere/mac-app-runtime/bin");
        QCOMPARE(firstApp("env.PATH", config), QStringList({bin, bin + "/..", "/usr/bin", "/bin"}).join(':'));
        QCOMPARE(firstApp("interpreter", config),
                 QString::fromUtf8(testing::readFile(mac.file(".tallowmere/mac-app-node-path"))).trimmed());
        QCOMPARE(testing::posixMode(config), 0600);
        QVERIFY(QFileInfo(mac.file(".tallowmere/mac-app-runtime/node")).isSymLink());

        // pm2 started the agent, which answers on its port.
        QVERIFY(testing::spinUntil([&] { return QFileInfo::exists(mac.profileFile("tui-port")); }));

        // A second installation finds the marker and leaves the wrapper as it is.
        mac.set("daemonInstallWrapper", "keep");
        QCOMPARE(mac.run(mac.cli->daemonInstallCommand()).result.status, 0);
        QCOMPARE(QString::fromUtf8(testing::readFile(wrapperPath)), wrapper);
    }

    void daemonInstallationFailures_data() { testing::addRows(::daemonFailures); }

    void daemonInstallationFailures()
    {
        const auto &row = testing::currentRow(::daemonFailures);
        SimulatedMac mac;
        mac.prepare(row.key, row.value);
        const auto run = mac.run(
            scripts::daemonInstall(ScriptTools::inDirectory(testing::sourcePath("sim/bin")), row.attempts));
        QCOMPARE(run.result.status, 1);
        QCOMPARE(run.lines.last(), testing::utf8(row.message));
        QCOMPARE(run.result.lastErrorLine, testing::optionalText(row.errorLine ? row.message : nullptr));
        QVERIFY(!QFileInfo::exists(mac.profileFile("tui-port")));
        QCOMPARE(mac.newTemporaryFiles(), QStringList()); // whatever happened, the job's files are gone
    }

    void permissionChecks_data() { testing::addRows(::permissionChecks); }

    void permissionChecks()
    {
        const auto &row = testing::currentRow(::permissionChecks);
        SimulatedMac mac;
        mac.prepare(row.key, row.value);
        const QString pointerBefore = mac.get("pointerX");
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(testing::await(mac.cli->permissionGranted(row.kind)), row.granted);
        // A refusal ends the wait at once, not after the 10-second budget.
        QVERIFY2(elapsed.elapsed() < 9000, qPrintable(QString::number(elapsed.elapsed())));
        // The Accessibility probe puts the pointer back where it found it.
        QCOMPARE(mac.get("pointerX"), pointerBefore);
        QCOMPARE(mac.newTemporaryFiles(), QStringList());
    }

    void preparationPrompts_data() { testing::addRows(::prompts); }

    void preparationPrompts()
    {
        const auto &row = testing::currentRow(::prompts);
        SimulatedMac mac;
        mac.prepareRuntime();
        // Accessibility is granted only once asked for (Automation ignores these settings).
        mac.set("accessibilityNode", "denied");
        mac.set("accessibilityCliclickGrantOnPrompt", "1");
        mac.set("accessibilityCliclick", "denied");
        mac.set(row.key, row.value);
        QCOMPARE(testing::await(mac.cli->preparePermission(row.kind)), row.granted);
    }

    // While another command runs, a check fails with the runner's busy error and a preparation is false.
    void busyRunner()
    {
        SimulatedMac mac;
        mac.prepareRuntime();
        auto running = mac.cli->execute({"-c", "sleep 0.5"}, std::nullopt, {}, {});
        QVERIFY_THROWS_EXCEPTION(TallowmereNativeError,
                                 testing::await(mac.cli->permissionGranted(PermissionKind::screenRecording)));
        QVERIFY(!testing::await(mac.cli->preparePermission(PermissionKind::automation)));
        testing::await(std::move(running));
    }

    void agentUpdate()
    {
        SimulatedMac mac;
        mac.prepareRuntime();
        QCOMPARE(mac.run(mac.cli->daemonInstallCommand()).result.status, 0); // links the runtime's node
        mac.set("publishedBeta", "1.1.0-beta.2");
        const auto run = mac.run(mac.cli->agentUpdateCommand());
        QCOMPARE(run.result.status, 0);
        QVERIFY2(run.lines.contains("Agent version checked: 1.0.0 -> 1.1.0-beta.2"),
                 qPrintable(run.lines.join('\n')));
    }

    void setupThroughTheResourceScript()
    {
        SimulatedMac mac;
        mac.prepareRuntime();
        testing::Collector collector;
        const CLIResult result = testing::await(
            mac.cli->setup("TMI1-0000-1111-2222", "my-agent", collector.lines(), collector.authorizations()));
        QCOMPARE(result.status, 0);
        const auto &authorizations = collector.output->authorizations;
        QCOMPARE(authorizations.size(), 1);
        QCOMPARE(authorizations.first().provider, "google");
        QVERIFY(QFileInfo::exists(mac.profileFile("config.json")));
        QVERIFY(!mac.log().contains("0000-1111-2222"));
        QVERIFY(!mac.log().contains(authorizations.first().password));
    }

    void templatesPassShellcheck_data()
    {
        QTest::addColumn<QString>("script");
        const ScriptTools mac;
        const ScriptTools sim = ScriptTools::inDirectory(testing::sourcePath("sim/bin"));
        for (const auto &[name, tools] : {std::pair{"macOS", mac}, std::pair{"simulated", sim}}) {
            QTest::addRow("daemon installation, %s", name) << scripts::daemonInstall(tools);
            QTest::addRow("agent update, %s", name) << scripts::agentUpdate(tools);
            QTest::addRow("permission probe, %s", name)
                << scripts::permissionProbe(tools, "checkScreenRecordingPermission", 50);
            QTest::addRow("accessibility check, %s", name) << scripts::accessibilityProbe(tools, 50, false);
            QTest::addRow("accessibility preparation, %s", name)
                << scripts::accessibilityProbe(tools, 300, true);
        }
    }

    void templatesPassShellcheck()
    {
        QFETCH(QString, script);
        QVERIFY(!script.contains(QRegularExpression("@[A-Z_]+@")));
        QProcess shellcheck;
        shellcheck.start("shellcheck", {"-s", "bash", "-"});
        shellcheck.write(script.toUtf8());
        shellcheck.closeWriteChannel();
        QVERIFY(shellcheck.waitForFinished(60000));
        QVERIFY2(shellcheck.exitCode() == 0, shellcheck.readAllStandardOutput().constData());
    }
};

TALLOWMERE_TEST(ScriptsTest)
#include "tst_Scripts.moc"
