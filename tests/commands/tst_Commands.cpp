#include "cli/CLIService.h"
#include "commands/Diagnostics.h"
#include "status/AgentStatusClient.h"
#include "status/FakeAgent.h"
#include "support/SimulatedWorld.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

using namespace tallowmere;
using namespace Qt::StringLiterals;

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// The application executable with the arguments, in the home and working there, with no display at all.
Run application(const QString &home, const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"HOME"_s, home);
    environment.remove(u"DISPLAY"_s);
    environment.remove(u"WAYLAND_DISPLAY"_s);
    environment.remove(u"QT_QPA_PLATFORM"_s);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(home);
    process.start(QStringLiteral(TALLOWMERE_APPLICATION), arguments);
    // The fixture agent answers from this process's event loop: keep it running meanwhile.
    testing::spinUntil([&] { return process.state() == QProcess::NotRunning; }, std::chrono::seconds(30));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

QString profileOf(const QString &home)
{
    const QString profile = home + u"/.tallowmere/profiles/default"_s;
    QDir().mkpath(profile);
    return profile;
}

} // namespace

class CommandsTest : public QObject {
    Q_OBJECT

private slots:
    void usage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exit");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        QTest::newRow("help") << QStringList{u"--help"_s} << 0 << QByteArray("status [--json]") << QByteArray();
        QTest::newRow("version") << QStringList{u"--version"_s} << 0
                                 << QByteArray("tallowmere-mac " TALLOWMERE_VERSION "\n") << QByteArray();
        QTest::newRow("unknown command") << QStringList{u"stauts"_s} << 64 << QByteArray()
                                         << QByteArray("不认识的命令或选项：stauts");
        QTest::newRow("unknown option") << QStringList{u"--verbose"_s} << 64 << QByteArray()
                                        << QByteArray("不认识的命令或选项：--verbose");
        QTest::newRow("status with an unknown option")
            << QStringList{u"status"_s, u"--yaml"_s} << 64 << QByteArray() << QByteArray("--yaml");
        QTest::newRow("diagnostics with two files")
            << QStringList{u"diagnostics"_s, u"a"_s, u"b"_s} << 64 << QByteArray() << QByteArray("a b");
    }

    // Without a display: a command must never start the windows.
    void usage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exit);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        testing::ScratchHome home;
        const Run run = application(home.path(), arguments);
        QCOMPARE(run.status, exit);
        QVERIFY2(run.out.contains(out), run.out.constData());
        QVERIFY2(run.err.contains(err), run.err.constData());
    }

    void status_data()
    {
        QTest::addColumn<bool>("configured");
        QTest::addColumn<QByteArray>("stage");
        QTest::addColumn<bool>("reachable");
        QTest::addColumn<bool>("ready");
        QTest::addColumn<int>("exit");
        QTest::addColumn<QString>("headline");
        QTest::newRow("ready") << true << QByteArray() << true << true << 0 << u"Idle"_s;
        QTest::newRow("not ready") << true << QByteArray() << true << false << 1 << u"Idle"_s;
        QTest::newRow("ready, binding unfinished")
            << true << QByteArray("channel\n") << true << true << 1 << u"正在安装"_s;
        QTest::newRow("unreachable") << true << QByteArray() << false << true << 2 << u"需要处理"_s;
        QTest::newRow("not configured") << false << QByteArray() << true << true << 2 << u"等待安装"_s;
    }

    void status()
    {
        QFETCH(bool, configured);
        QFETCH(QByteArray, stage);
        QFETCH(bool, reachable);
        QFETCH(bool, ready);
        QFETCH(int, exit);
        QFETCH(QString, headline);
        testing::ScratchHome home;
        const QString profile = profileOf(home.path());
        testing::FakeAgent agent;
        agent.answerWith(testing::FakeAgent::sample({{"ready", ready}}));
        if (reachable)
            agent.publish(profile);
        if (configured)
            testing::writeFile(profile + u"/config.json"_s, "{}");
        if (!stage.isEmpty())
            testing::writeFile(profile + u"/mac-app-install-stage"_s, stage);
        const QByteArray stateBefore = testing::readFile(profile + u"/mac-app-install-stage"_s);

        const Run json = application(home.path(), {u"status"_s, u"--json"_s});
        QCOMPARE(json.status, exit);
        const QJsonObject report = QJsonDocument::fromJson(json.out).object();
        QCOMPARE(report.keys(),
                 (QStringList{"agentVersion", "configured", "currentTask", "detail", "headline", "heartbeat",
                              "heartbeatAt", "installStage", "overallState", "permissionSummary", "process",
                              "processID", "queueSize", "reachable", "ready", "reason"}));
        QCOMPARE(report.value("headline").toString(), headline);
        QCOMPARE(report.value("reachable").toBool(), reachable && configured);
        QCOMPARE(json.err.count('\n'), exit == 0 ? 0 : 1); // one line saying why
        QCOMPARE(report.value("agentVersion").toString(), reachable && configured ? u"1.2.3"_s : QString());

        const Run text = application(home.path(), {u"status"_s});
        QCOMPARE(text.status, exit);
        QVERIFY(
            text.out.contains(("Agent 版本：" + (reachable && configured ? u"1.2.3"_s : u"--"_s)).toUtf8()));
        QVERIFY(text.out.contains("权限：4 项权限需要处理"));
        QCOMPARE(testing::readFile(profile + u"/mac-app-install-stage"_s), stateBefore); // nothing touched
    }

    // The agent the simulated Mac installs, as it answers ready, not ready, and not at all.
    void statusInTheSimulatedMac()
    {
        testing::SimulatedWorld world({u"prepareDelayMs=0"_s, u"daemonInstallDelayMs=0"_s, u"setupDelayMs=0"_s});
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
        const Run ready = application(world.home(), {u"status"_s});
        QCOMPARE(ready.status, 0);
        QVERIFY(ready.out.contains("Agent 版本：1.0.0"));
        world.set(u"agentReady"_s, u"false"_s);
        QCOMPARE(application(world.home(), {u"status"_s}).status, 1);
        world.set(u"agentStatusReply"_s, u"error"_s);
        const Run unreachable = application(world.home(), {u"status"_s, u"--json"_s});
        QCOMPARE(unreachable.status, 2);
        QCOMPARE(unreachable.err.count('\n'), 1); // one line saying why
    }

    void redaction_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("redacted");
        QTest::newRow("the runner's rules")
            << u"Password: Hunter2 TMS2-ABCD-EFGH-JKMN"_s << u"Password: [REDACTED] [SETUP CODE REDACTED]"_s;
        QTest::newRow("an address anywhere")
            << u"mail owner.x@corp.example now"_s << u"mail [EMAIL REDACTED] now"_s;
        QTest::newRow("a bearer token")
            << u"-H 'Authorization: Bearer tok-1'"_s << u"-H 'Authorization: [REDACTED]'"_s;
        QTest::newRow("settings holding secrets")
            << u"export TALLOWMERE_SERVICE_API_KEY=sk-1 \"tuiToken\": \"abc\", session='s'"_s
            << u"export TALLOWMERE_SERVICE_API_KEY=[REDACTED] \"tuiToken\": \"[REDACTED]\", session='[REDACTED]'"_s;
        QTest::newRow("a query and a fragment holding a code, in JSON")
            << u"{\"LINK\":\"tallowmere://x?code=TMS2-ABCD-EFGH-JKMN#LINKTOKEN\"}"_s
            << u"{\"LINK\":\"tallowmere://x[REDACTED]\"}"_s;
        QTest::newRow("another scheme's query and fragment")
            << u"open x-apple.systempreferences:pane?anchor#x"_s
            << u"open x-apple.systempreferences:pane[REDACTED]"_s;
        QTest::newRow("plain text stays") << u"PATH=/usr/bin:/bin name: tallowmere-default"_s
                                          << u"PATH=/usr/bin:/bin name: tallowmere-default"_s;
    }

    void redaction()
    {
        QFETCH(QString, line);
        QFETCH(QString, redacted);
        QCOMPARE(commands::redactForDiagnostics(line), redacted);
    }

    // A world with a secret in every file the archive takes: none of them comes out, every file does.
    void diagnosticsArchive()
    {
        testing::ScratchHome home;
        const QString profile = profileOf(home.path());
        testing::FakeAgent agent;
        agent.publish(profile);
        const QStringList secrets{
            u"TMS2-ABCD-EFGH-JKMN"_s, u"owner@corp.example"_s, u"Hunter2Secret"_s, u"tok-5ecr3t"_s,
            u"sk-live-123456"_s,      u"LINKTOKEN"_s,          u"SIGNATURE"_s,     u"secret-token"_s};
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
        QCOMPARE(names, (QStringList{u"daemon/pm2-ecosystem.config.cjs"_s, u"daemon/start.sh"_s,
                                     u"logs/mac-app-install.log"_s, u"logs/mac-app-install.log.previous"_s,
                                     u"manifest.txt"_s, u"state/mac-app-install-stage"_s,
                                     u"state/mac-app-permission-awaiting"_s,
                                     u"state/mac-app-permissions-completed"_s,
                                     u"state/mac-app-permissions-manual"_s, u"status.json"_s,
                                     u"versions.txt"_s}));
        QVERIFY(testing::readFile(home.path() + u"/unpacked/status.json"_s).contains("\"reachable\": true"));
    }
};

TALLOWMERE_TEST(CommandsTest)
#include "tst_Commands.moc"
