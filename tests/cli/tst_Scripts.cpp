// The embedded scripts, run with bash through the real runner against the simulated Mac.
#include "cli/Scripts.h"
#include "support/RunnerFixture.h"

#include <QFileInfo>

using namespace tallowmere;
using namespace std::chrono_literals;
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

// key: a setting of the simulated Mac after runtime preparation ("": no runtime); errorLine: whether the message
// has an error word.
const struct { const char *name, *key, *value, *message; bool errorLine; int attempts = 600; } daemonFailures[] = {
    {"unsupported wrapper", "daemonInstallWrapper", "unsupported", "Error: Tallowmere launchd wrapper format is unsupported",
     true},
    {"no wrapper", "daemonInstallWrapper", "none", "Agent 启动文件未生成，请重试。", false},
    {"no pm2 configuration", "daemonInstallPm2Config", "none", "Agent 运行配置未生成，请重试。", false},
    {"pm2 configuration without apps", "daemonInstallPm2Config", "noapps", "Error: Tallowmere PM2 config format is unsupported",
     true},
    {"installer fails", "daemonInstallExit", "3", "Agent 安装失败，请重试（错误码 3）。", true},
    {"installer never ends", "daemonInstallExit", "never", "Agent 安装超时，请重试。", true, 5},
    {"no runtime", "", "", "Tallowmere 运行环境不完整，请重新安装。", true},
};

constexpr auto screen = PermissionKind::screenRecording, automation = PermissionKind::automation,
               accessibility = PermissionKind::accessibility;
// key and value as above; prompt: a preparation, which may prompt, rather than a check.
const struct {
    const char *name; PermissionKind kind; const char *key, *value; bool granted, prompt = false;
} permissions[] = {
    {"screen recording granted", screen, "screenRecording", "granted", true},
    {"screen recording denied", screen, "screenRecording", "denied", false},
    {"screen recording without runtime", screen, "", "", false},
    {"full disk access probe throws", PermissionKind::fullDiskAccess, "fullDiskAccess", "error", false},
    {"automation granted", automation, "osascript", "granted", true},
    {"automation refused by osascript", automation, "osascript", "refused", false},
    {"accessibility granted", accessibility, "accessibilityNode", "granted", true},
    {"accessibility untrusted node", accessibility, "accessibilityNode", "denied", false},
    {"accessibility untrusted clicker", accessibility, "accessibilityCliclick", "denied", false},
    {"accessibility at the right edge", accessibility, "pointerX", "1439", true},
    {"accessibility without runtime", accessibility, "", "", false},
    {"automation consent given", automation, "osascript", "ask", true, true},
    {"accessibility granted at the prompt", accessibility, "accessibilityNodeGrantOnPrompt", "1", true, true},
    {"accessibility prompt ignored", accessibility, "accessibilityNodeGrantOnPrompt", "0", false, true},
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

    void permissions_data() { testing::addRows(::permissions); }

    void permissions()
    {
        const auto &row = testing::currentRow(::permissions);
        SimulatedMac mac;
        if (row.prompt) {
            // Accessibility is granted only once asked for (Automation ignores these settings).
            mac.prepare("accessibilityNode", "denied");
            mac.set("accessibilityCliclickGrantOnPrompt", "1");
            mac.set("accessibilityCliclick", "denied");
            mac.set(row.key, row.value);
            QCOMPARE(testing::await(mac.cli->preparePermission(row.kind)), row.granted);
            return;
        }
        mac.prepare(row.key, row.value);
        const QString pointerBefore = mac.get("pointerX");
        // A refusal ends the wait at once, not after the 10-second budget.
        QCOMPARE(testing::await(mac.cli->permissionGranted(row.kind), 9s), row.granted);
        // The Accessibility probe puts the pointer back where it found it.
        QCOMPARE(mac.get("pointerX"), pointerBefore);
        QCOMPARE(mac.newTemporaryFiles(), QStringList());
    }
};

TALLOWMERE_TEST(ScriptsTest)
#include "tst_Scripts.moc"
