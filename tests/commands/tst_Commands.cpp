#include "cli/CLIService.h"
#include "commands/Diagnostics.h"
#include "status/AgentStatusClient.h"
#include "support/FakeAgent.h"
#include "support/SimulatedWorld.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

using namespace tallowmere;
using namespace Qt::StringLiterals;
using testing::utf8;

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// The application executable with the arguments, in the home and working there, with no display at all:
// a command must never start the windows.
Run application(const QString &home, const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"HOME"_s, home);
    for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
        environment.remove(name);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(home);
    process.start(QStringLiteral(TALLOWMERE_APPLICATION), arguments);
    // The fixture agent answers from this process's event loop: keep it running meanwhile.
    testing::spinUntil([&] { return process.state() == QProcess::NotRunning; }, std::chrono::seconds(30));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

const struct UsageRow {
    const char *name, *arguments; // split at blanks
    int exit;
    const char *out, *err;
} usageRows[] = {
    {"help", "--help", 0, "status [--json]", ""},
    {"version", "--version", 0, "tallowmere-mac " TALLOWMERE_VERSION "\n", ""},
    {"unknown command", "stauts", 64, "", "不认识的命令或选项：stauts"},
    {"status with an unknown option", "status --yaml", 64, "", "--yaml"},
    {"diagnostics with two files", "diagnostics a b", 64, "", "a b"},
};

// What the archive's own test cannot see: the exact replacements, and text that stays.
const struct RedactionRow {
    const char *name, *line, *redacted;
} redactionRows[] = {
    {"the runner's rules", "Password: Hunter2 TMS2-ABCD-EFGH-JKMN",
     "Password: [REDACTED] [SETUP CODE REDACTED]"},
    {"settings holding secrets", "export TALLOWMERE_SERVICE_API_KEY=sk-1 \"tuiToken\": \"abc\", session='s'",
     "export TALLOWMERE_SERVICE_API_KEY=[REDACTED] \"tuiToken\": \"[REDACTED]\", session='[REDACTED]'"},
    {"a query and a fragment holding a code, in JSON",
     "{\"LINK\":\"tallowmere://x?code=TMS2-ABCD-EFGH-JKMN#LINKTOKEN\"}",
     "{\"LINK\":\"tallowmere://x[REDACTED]\"}"},
    {"another scheme's query and fragment", "open x-apple.systempreferences:pane?anchor#x",
     "open x-apple.systempreferences:pane[REDACTED]"},
    {"a bearer token on its own", "sent Bearer tok-1 upstream", "sent Bearer [REDACTED] upstream"},
    {"plain text stays", "PATH=/usr/bin:/bin name: tallowmere-default",
     "PATH=/usr/bin:/bin name: tallowmere-default"},
};

} // namespace

class CommandsTest : public QObject {
    Q_OBJECT

private slots:
    void usage_data() { testing::addRows(usageRows); }
    void usage()
    {
        const UsageRow &row = testing::currentRow(usageRows);
        testing::ScratchHome home;
        const Run run = application(home.path(), utf8(row.arguments).split(u' '));
        QCOMPARE(run.status, row.exit);
        QVERIFY2(run.out.contains(row.out), run.out.constData());
        QVERIFY2(run.err.contains(row.err), run.err.constData());
    }

    // The agent the simulated Mac installs, as it answers ready, during an unfinished binding, not ready
    // and not at all; then a Mac without the agent's configuration. The command touches no file.
    void statusInTheSimulatedMac()
    {
        testing::SimulatedWorld world(
            {u"prepareDelayMs=0"_s, u"daemonInstallDelayMs=0"_s, u"setupDelayMs=0"_s});
        CLIService cli;
        QCOMPARE(testing::await(cli.prepareEnvironment({})).status, 0);
        QCOMPARE(testing::await(cli.setup(u"TMS2-0000-1111-2222"_s, std::nullopt, {}, {})).status, 0);
        QCOMPARE(testing::await(cli.installDaemon({})).status, 0);
        QVERIFY(testing::spinUntil([&] {
            try {
                return testing::await(AgentStatusClient::create(world.profile())->fetch()).ready;
            } catch (const std::exception &) {
                return false;
            }
        }));
        const auto expect = [&](int exit, const char *headline, const char *version) {
            const Run json = application(world.home(), {u"status"_s, u"--json"_s});
            QCOMPARE(json.status, exit);
            const QJsonObject report = QJsonDocument::fromJson(json.out).object();
            QCOMPARE(report.keys(), (QStringList{"agentVersion", "configured", "currentTask", "detail",
                                                 "headline", "heartbeat", "heartbeatAt", "installStage",
                                                 "overallState", "permissionSummary", "process", "processID",
                                                 "queueSize", "reachable", "ready", "reason"}));
            QCOMPARE(report.value("headline").toString(), utf8(headline));
            QCOMPARE(report.value("reachable").toBool(), *version != 0);
            QCOMPARE(json.err.count('\n'), exit == 0 ? 0 : 1); // one line saying why
            const Run text = application(world.home(), {u"status"_s});
            QCOMPARE(text.status, exit);
            QVERIFY2(text.out.contains("Agent 版本：" + QByteArray(*version ? version : "--") + '\n'),
                     text.out);
            QVERIFY(text.out.contains("权限：4 项权限需要处理"));
        };
        expect(0, "Idle", "1.0.0");
        const QString stage = world.profile() + u"/mac-app-install-stage"_s;
        testing::writeFile(stage, "channel\n");
        expect(1, "正在安装", "1.0.0");
        QCOMPARE(testing::readFile(stage), "channel\n");
        QVERIFY(QFile::rename(stage, stage + u".away"_s));
        world.set(u"agentReady"_s, u"false"_s);
        expect(1, "Idle", "1.0.0");
        world.set(u"agentStatusReply"_s, u"error"_s);
        expect(2, "需要处理", "");
        world.set(u"agentStatusReply"_s, u"ok"_s);
        QVERIFY(QFile::rename(world.profile() + u"/config.json"_s, world.profile() + u"/config.json.away"_s));
        expect(2, "等待安装", "");
    }

    void redaction_data() { testing::addRows(redactionRows); }
    void redaction()
    {
        const RedactionRow &row = testing::currentRow(redactionRows);
        QCOMPARE(commands::redactForDiagnostics(utf8(row.line)), utf8(row.redacted));
    }

    // A world with a secret in every file the archive takes: none of them comes out, every file does.
    void diagnosticsArchive()
    {
        testing::ScratchHome home;
        const QString profile = home.profileDirectory();
        testing::FakeAgent agent;
        agent.publish(profile);
        const QStringList secrets{u"TMS2-ABCD-EFGH-JKMN"_s, u"owner@corp.example"_s, u"Hunter2Secret"_s,
                                  u"tok-5ecr3t"_s,          u"sk-live-123456"_s,     u"LINKTOKEN"_s,
                                  u"SIGNATURE"_s,           u"secret-token"_s};
        const QByteArray log =
            "redeeming TMS2-ABCD-EFGH-JKMN\nEmail: owner@corp.example\nPassword: Hunter2Secret\n"
            "curl -H 'Authorization: Bearer tok-5ecr3t'\n"
            "open https://onboarding.test/owner/agents/a/setup?sig=SIGNATURE#LINKTOKEN\n";
        testing::writeFile(profile + u"/logs/mac-app-install.log"_s, log);
        testing::writeFile(profile + u"/logs/mac-app-install.log.previous"_s, log);
        testing::writeFile(profile + u"/config.json"_s, "{\"tallowmereServiceApiKey\":\"sk-live-123456\"}");
        for (const char *state : {"mac-app-install-stage", "mac-app-permissions-completed",
                                  "mac-app-permissions-manual", "mac-app-permission-awaiting"})
            testing::writeFile(profile + u'/' + QLatin1String(state), "accessibility # owner@corp.example\n");
        testing::writeFile(
            home.path() + u"/.tallowmere/start.sh"_s,
            "#!/bin/bash\nexport TALLOWMERE_SERVICE_API_KEY=sk-live-123456\n# owner@corp.example\n");
        testing::writeFile(home.path() + u"/.tallowmere/pm2-ecosystem.config.cjs"_s,
                           "module.exports = {\"apps\":[{\"env\":{\"TALLOWMERE_TOKEN\":\"tok-5ecr3t\","
                           "\"LINK\":\"tallowmere://x?code=TMS2-ABCD-EFGH-JKMN#LINKTOKEN\"}}]};\n");

        const Run run = application(home.path(), {u"diagnostics"_s, u"support.tar.gz"_s});
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.contains((home.path() + u"/support.tar.gz"_s).toUtf8()));
        QCOMPARE(QFileInfo(home.path() + u"/support.tar.gz"_s).permissions() & 0x0077, 0); // owner only
        QProcess unpack;
        unpack.setWorkingDirectory(home.path());
        QDir(home.path()).mkpath(u"unpacked"_s);
        unpack.start(u"tar"_s, {u"-xzf"_s, u"support.tar.gz"_s, u"-C"_s, u"unpacked"_s});
        QVERIFY(unpack.waitForFinished() && unpack.exitCode() == 0);
        QStringList names;
        for (QDirIterator it(home.path() + u"/unpacked"_s, QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();) {
            const QString path = it.next();
            names << path.mid(home.path().size() + 10);
            const QString content = QString::fromUtf8(testing::readFile(path));
            for (const QString &secret : secrets)
                QVERIFY2(!content.contains(secret), qPrintable(secret + u" in "_s + path));
        }
        names.sort();
        QCOMPARE(names, (QStringList{
                            u"daemon/pm2-ecosystem.config.cjs"_s, u"daemon/start.sh"_s,
                            u"logs/mac-app-install.log"_s, u"logs/mac-app-install.log.previous"_s,
                            u"manifest.txt"_s, u"state/mac-app-install-stage"_s,
                            u"state/mac-app-permission-awaiting"_s, u"state/mac-app-permissions-completed"_s,
                            u"state/mac-app-permissions-manual"_s, u"status.json"_s, u"versions.txt"_s}));
        QVERIFY(testing::readFile(home.path() + u"/unpacked/status.json"_s).contains("\"reachable\": true"));
    }
};

TALLOWMERE_TEST(CommandsTest)
#include "tst_Commands.moc"
