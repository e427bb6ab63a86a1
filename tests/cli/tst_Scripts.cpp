// The embedded scripts, run with bash through the real runner against the simulated Mac.
#include "cli/Errors.h"
#include "cli/Scripts.h"
#include "cli/SimulatedMac.h"

#include <QElapsedTimer>
#include <QFileInfo>

using namespace tallowmere;
using testing::SimulatedMac;

namespace {

const QString wrapperBlock = QStringLiteral("\n# mac-app-runtime-v2\n"
                                            "runtime_node=\"$HOME/.tallowmere/mac-app-runtime/node\"\n"
                                            "runtime_bin=\"$HOME/.tallowmere/mac-app-runtime/bin\"\n"
                                            "[[ -x \"$runtime_node\" && -x \"$runtime_bin/cliclick\" ]] || { "
                                            "echo \"Tallowmere runtime is unavailable\" >&2; exit 1; }\n"
                                            "export PATH=\"$runtime_bin:${runtime_node%/*}:$PATH\"\n"
                                            "\nif ! command -v tallowmere");

QString nodeEval(const QString &expression, const QString &argument)
{
    QProcess node;
    node.start(QStringLiteral("node"), {QStringLiteral("-p"), expression, argument});
    node.waitForFinished(20000);
    return QString::fromUtf8(node.readAllStandardOutput()).trimmed();
}

} // namespace

class ScriptsTest : public QObject {
    Q_OBJECT

private slots:
    void daemonInstallation()
    {
        SimulatedMac mac;
        mac.prepareRuntime();
        const auto run = mac.run(mac.cli->daemonInstallCommand());
        QCOMPARE(run.result.status, 0);

        // The wrapper is patched in front of its launch line, the block set off by an empty line.
        const QString wrapper =
            QString::fromUtf8(testing::readFile(mac.file(QStringLiteral(".tallowmere/start.sh"))));
        QCOMPARE(wrapper.count(QStringLiteral("mac-app-runtime-v2")), 1);
        QVERIFY2(wrapper.contains(wrapperBlock), qPrintable(wrapper));
        QCOMPARE(testing::posixMode(mac.file(QStringLiteral(".tallowmere/start.sh"))), 0755);

        // The pm2 configuration runs the runtime's node, with the runtime first on its path.
        const QString config = mac.file(QStringLiteral(".tallowmere/pm2-ecosystem.config.cjs"));
        const QString bin = mac.home() + QStringLiteral("/.tallowmere/mac-app-runtime/bin");
        QCOMPARE(nodeEval(QStringLiteral("require(process.argv[1]).apps[0].env.PATH"), config),
                 QStringList(
                     {bin, bin + QStringLiteral("/.."), QStringLiteral("/usr/bin"), QStringLiteral("/bin")})
                     .join(QLatin1Char(':')));
        QCOMPARE(
            nodeEval(QStringLiteral("require(process.argv[1]).apps[0].interpreter"), config),
            QString::fromUtf8(testing::readFile(mac.file(QStringLiteral(".tallowmere/mac-app-node-path"))))
                .trimmed());
        QCOMPARE(testing::posixMode(config), 0600);
        QVERIFY(QFileInfo(mac.file(QStringLiteral(".tallowmere/mac-app-runtime/node"))).isSymLink());

        // pm2 started the agent, which answers on its port.
        QVERIFY(testing::spinUntil(
            [&] { return QFileInfo::exists(mac.profileFile(QStringLiteral("tui-port"))); }));

        // A second installation finds the marker and leaves the wrapper as it is.
        mac.set(QStringLiteral("daemonInstallWrapper"), QStringLiteral("keep"));
        QCOMPARE(mac.run(mac.cli->daemonInstallCommand()).result.status, 0);
        QCOMPARE(QString::fromUtf8(testing::readFile(mac.file(QStringLiteral(".tallowmere/start.sh")))),
                 wrapper);
    }

    void daemonInstallationFailures_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("errorLine"); // whether the message has an error word

        QTest::newRow("unsupported wrapper")
            << "daemonInstallWrapper"
            << "unsupported" << 600 << "Error: Tallowmere launchd wrapper format is unsupported" << true;
        QTest::newRow("no wrapper") << "daemonInstallWrapper"
                                    << "none" << 600 << "Agent 启动文件未生成，请重试。" << false;
        QTest::newRow("no pm2 configuration") << "daemonInstallPm2Config"
                                              << "none" << 600 << "Agent 运行配置未生成，请重试。" << false;
        QTest::newRow("pm2 configuration without apps")
            << "daemonInstallPm2Config"
            << "noapps" << 600 << "Error: Tallowmere PM2 config format is unsupported" << true;
        QTest::newRow("installer fails") << "daemonInstallExit"
                                         << "3" << 600 << "Agent 安装失败，请重试（错误码 3）。" << true;
        QTest::newRow("installer never ends") << "daemonInstallExit"
                                              << "never" << 5 << "Agent 安装超时，请重试。" << true;
    }

    void daemonInstallationFailures()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(int, attempts);
        QFETCH(QString, message);
        QFETCH(bool, errorLine);
        SimulatedMac mac;
        mac.prepareRuntime();
        mac.set(key, value);
        const auto run = mac.run(scripts::daemonInstall(
            ScriptTools::inDirectory(testing::sourcePath(QStringLiteral("sim/bin"))), attempts));
        QCOMPARE(run.result.status, 1);
        QCOMPARE(run.lines.last(), message);
        if (errorLine)
            QCOMPARE(run.result.lastErrorLine, message);
        QVERIFY(!QFileInfo::exists(mac.profileFile(QStringLiteral("tui-port"))));
        // Whatever happened, the temporary job and its files are gone.
        QCOMPARE(QDir(QStringLiteral("/tmp"))
                     .entryList({QStringLiteral("tallowmere-daemon-install.*")}, QDir::Files),
                 QStringList());
    }

    void daemonInstallationWithoutRuntime()
    {
        SimulatedMac mac;
        const auto run = mac.run(mac.cli->daemonInstallCommand());
        QCOMPARE(run.result.status, 1);
        QCOMPARE(run.result.lastErrorLine, QStringLiteral("Tallowmere 运行环境不完整，请重新安装。"));
    }

    void permissionChecks_data()
    {
        QTest::addColumn<PermissionKind>("kind");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("granted");

        QTest::newRow("screen recording granted") << PermissionKind::screenRecording << "screenRecording"
                                                  << "granted" << true;
        QTest::newRow("screen recording denied") << PermissionKind::screenRecording << "screenRecording"
                                                 << "denied" << false;
        QTest::newRow("full disk access probe throws") << PermissionKind::fullDiskAccess << "fullDiskAccess"
                                                       << "error" << false;
        QTest::newRow("automation granted") << PermissionKind::automation << "osascript"
                                            << "granted" << true;
        QTest::newRow("automation refused by osascript") << PermissionKind::automation << "osascript"
                                                         << "refused" << false;
        QTest::newRow("accessibility granted") << PermissionKind::accessibility << "accessibilityNode"
                                               << "granted" << true;
        QTest::newRow("accessibility untrusted node") << PermissionKind::accessibility << "accessibilityNode"
                                                      << "denied" << false;
        QTest::newRow("accessibility untrusted clicker")
            << PermissionKind::accessibility << "accessibilityCliclick"
            << "denied" << false;
        QTest::newRow("accessibility at the right edge") << PermissionKind::accessibility << "pointerX"
                                                         << "1439" << true;
    }

    void permissionChecks()
    {
        QFETCH(PermissionKind, kind);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(bool, granted);
        SimulatedMac mac;
        mac.prepareRuntime();
        mac.set(key, value);
        const QString pointerBefore = mac.get(QStringLiteral("pointerX"));
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(testing::await(mac.cli->permissionGranted(kind)), granted);
        // A refusal ends the wait at once, not after the 10-second budget.
        QVERIFY2(elapsed.elapsed() < 9000, qPrintable(QString::number(elapsed.elapsed())));
        // The Accessibility probe puts the pointer back where it found it.
        QCOMPARE(mac.get(QStringLiteral("pointerX")), pointerBefore);
        QCOMPARE(QDir(QStringLiteral("/tmp"))
                     .entryList({QStringLiteral("tallowmere-permission*"),
                                 QStringLiteral("tallowmere-accessibility*")},
                                QDir::Files),
                 QStringList());
    }

    void permissionCheckWithoutRuntime()
    {
        SimulatedMac mac;
        QVERIFY(!testing::await(mac.cli->permissionGranted(PermissionKind::screenRecording)));
        QVERIFY(!testing::await(mac.cli->permissionGranted(PermissionKind::accessibility)));
    }

    void preparationPrompts_data()
    {
        QTest::addColumn<PermissionKind>("kind");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("granted");
        QTest::newRow("automation consent given") << PermissionKind::automation << "osascript"
                                                  << "ask" << true;
        QTest::newRow("accessibility granted at the prompt")
            << PermissionKind::accessibility << "accessibilityNodeGrantOnPrompt"
            << "1" << true;
        QTest::newRow("accessibility prompt ignored")
            << PermissionKind::accessibility << "accessibilityNodeGrantOnPrompt"
            << "0" << false;
    }

    void preparationPrompts()
    {
        QFETCH(PermissionKind, kind);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(bool, granted);
        SimulatedMac mac;
        mac.prepareRuntime();
        if (kind == PermissionKind::accessibility) {
            mac.set(QStringLiteral("accessibilityNode"), QStringLiteral("denied"));
            mac.set(QStringLiteral("accessibilityCliclickGrantOnPrompt"), QStringLiteral("1"));
            mac.set(QStringLiteral("accessibilityCliclick"), QStringLiteral("denied"));
        }
        mac.set(key, value);
        QCOMPARE(testing::await(mac.cli->preparePermission(kind)), granted);
    }

    void busyRunner()
    {
        SimulatedMac mac;
        mac.prepareRuntime();
        auto running =
            mac.cli->execute({QStringLiteral("-c"), QStringLiteral("sleep 0.5")}, std::nullopt, {}, {});
        QString code;
        try {
            testing::await(mac.cli->permissionGranted(PermissionKind::screenRecording));
        } catch (const TallowmereNativeError &error) {
            code = error.code();
        }
        QCOMPARE(code, QStringLiteral("OPERATION_ALREADY_RUNNING"));
        QVERIFY(!testing::await(mac.cli->preparePermission(PermissionKind::automation)));
        testing::await(std::move(running));
    }

    void agentUpdate()
    {
        SimulatedMac mac;
        mac.prepareRuntime();
        QCOMPARE(mac.run(mac.cli->daemonInstallCommand()).result.status, 0); // links the runtime's node
        mac.set(QStringLiteral("publishedBeta"), QStringLiteral("1.1.0-beta.2"));
        const auto run = mac.run(mac.cli->agentUpdateCommand());
        QCOMPARE(run.result.status, 0);
        QVERIFY2(run.lines.contains(QStringLiteral("Agent version checked: 1.0.0 -> 1.1.0-beta.2")),
                 qPrintable(run.lines.join(QLatin1Char('\n'))));
    }

    void setupThroughTheResourceScript()
    {
        SimulatedMac mac;
        mac.prepareRuntime();
        QList<JITWorkspaceAuthorization> authorizations;
        QStringList lines;
        const CLIResult result = testing::await(mac.cli->setup(
            QStringLiteral("TMI1-0000-1111-2222"), QStringLiteral("my-agent"),
            [&lines](QStringView line) { lines << line.toString(); },
            [&authorizations](const JITWorkspaceAuthorization &authorization) {
                authorizations << authorization;
            }));
        QCOMPARE(result.status, 0);
        QCOMPARE(authorizations.size(), 1);
        QCOMPARE(authorizations.first().provider, QStringLiteral("google"));
        QVERIFY(QFileInfo::exists(mac.profileFile(QStringLiteral("config.json"))));
        const QString log = QString::fromUtf8(testing::readFile(mac.cli->installLogPath()));
        QVERIFY(!log.contains(QStringLiteral("0000-1111-2222")));
        QVERIFY(!log.contains(authorizations.first().password));
    }

    void templatesPassShellcheck_data()
    {
        QTest::addColumn<QString>("script");
        const ScriptTools mac;
        const ScriptTools sim = ScriptTools::inDirectory(testing::sourcePath(QStringLiteral("sim/bin")));
        for (const auto &[name, tools] : {std::pair{"macOS", mac}, std::pair{"simulated", sim}}) {
            QTest::addRow("daemon installation, %s", name) << scripts::daemonInstall(tools);
            QTest::addRow("agent update, %s", name) << scripts::agentUpdate(tools);
            QTest::addRow("permission probe, %s", name)
                << scripts::permissionProbe(tools, QStringLiteral("checkScreenRecordingPermission"), 50);
            QTest::addRow("accessibility check, %s", name) << scripts::accessibilityProbe(tools, 50, false);
            QTest::addRow("accessibility preparation, %s", name)
                << scripts::accessibilityProbe(tools, 300, true);
        }
    }

    void templatesPassShellcheck()
    {
        QFETCH(QString, script);
        QVERIFY(!script.contains(QRegularExpression(QStringLiteral("@[A-Z_]+@"))));
        QProcess shellcheck;
        shellcheck.start(QStringLiteral("shellcheck"),
                         {QStringLiteral("-s"), QStringLiteral("bash"), QStringLiteral("-")});
        shellcheck.write(script.toUtf8());
        shellcheck.closeWriteChannel();
        QVERIFY(shellcheck.waitForFinished(60000));
        QVERIFY2(shellcheck.exitCode() == 0, shellcheck.readAllStandardOutput().constData());
    }
};

TALLOWMERE_TEST(ScriptsTest)
#include "tst_Scripts.moc"
