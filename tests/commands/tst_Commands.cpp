#include "commands/Diagnostics.h"
#include "support/FakeAgent.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

using namespace tallowmere;
using namespace Qt::StringLiterals;
using testing::utf8;

namespace {

struct Run {
    int status;
    QByteArray out, err;
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

// The agent's state as the command tells it, and its exit status: 0 ready, 1 answering but not ready or
// installation unfinished, 2 unreachable or not configured. The command touches no file.
const struct StatusRow {
    const char *name;
    bool configured;
    const char *stage; // nullptr: none
    int agentStatus;   // of the agent's answer
    bool ready;
    int exit;
    const char *headline, *version; // version "": unreachable
} statusRows[] = {
    {"ready", true, nullptr, 200, true, 0, "Idle", "1.2.3"},
    {"binding unfinished", true, "channel\n", 200, true, 1, "正在安装", "1.2.3"},
    {"not ready", true, nullptr, 200, false, 1, "Idle", "1.2.3"},
    {"the agent fails", true, nullptr, 500, true, 2, "需要处理", ""},
    {"not configured", false, nullptr, 200, true, 2, "等待安装", ""},
};

// What the archive's own test cannot see: the exact replacements, and text that stays.
const struct RedactionRow {
    const char *name, *line, *redacted;
} redactionRows[] = {
    {"settings holding secrets", "export TALLOWMERE_SERVICE_API_KEY=sk-1 \"tuiToken\": \"abc\", session='s'",
     "export TALLOWMERE_SERVICE_API_KEY=[REDACTED] \"tuiToken\": \"[REDACTED]\", session='[REDACTED]'"},
    {"a query and a fragment holding a code, in JSON",
     "{\"LINK\":\"tallowmere://x?code=TMS2-ABCD-EFGH-JKMN#LINKTOKEN\"}",
     "{\"LINK\":\"tallowmere://x[REDACTED]\"}"},
    {"another scheme's query and fragment", "open x-apple.systempreferences:pane?anchor#x",
     "open x-apple.systempreferences:pane[REDACTED]"},
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

    void status_data() { testing::addRows(statusRows); }
    void status()
    {
        const StatusRow &row = testing::currentRow(statusRows);
        testing::ScratchHome home;
        const QString profile = home.profileDirectory();
        testing::FakeAgent agent;
        agent.publish(profile);
        agent.answerWith(testing::FakeAgent::sample({{u"ready"_s, row.ready}}), row.agentStatus);
        if (row.configured)
            testing::writeFile(profile + u"/config.json"_s, "{}");
        if (row.stage)
            testing::writeFile(profile + u"/mac-app-install-stage"_s, row.stage);
        const QStringList files = QDir(profile).entryList(QDir::AllEntries, QDir::Name);
        const Run json = application(home.path(), {u"status"_s, u"--json"_s});
        QCOMPARE(json.status, row.exit);
        const QJsonObject report = QJsonDocument::fromJson(json.out).object();
        QCOMPARE(report.keys(),
                 (QStringList{"agentVersion", "configured", "currentTask", "detail", "headline", "heartbeat",
                              "heartbeatAt", "installStage", "overallState", "permissionSummary", "process",
                              "processID", "queueSize", "reachable", "ready", "reason"}));
        QCOMPARE(report.value("headline").toString(), utf8(row.headline));
        QCOMPARE(report.value("reachable").toBool(), *row.version != 0);
        QCOMPARE(json.err.count('\n'), row.exit == 0 ? 0 : 1); // one line saying why
        const Run text = application(home.path(), {u"status"_s});
        QCOMPARE(text.status, row.exit);
        QVERIFY2(text.out.contains("Agent 版本：" + QByteArray(*row.version ? row.version : "--") + '\n'),
                 text.out);
        QVERIFY(text.out.contains("权限：4 项权限需要处理"));
        QCOMPARE(QDir(profile).entryList(QDir::AllEntries, QDir::Name), files);
    }

    void redaction_data() { testing::addRows(redactionRows); }
    void redaction()
    {
        const RedactionRow &row = testing::currentRow(redactionRows);
        QCOMPARE(commands::redactForDiagnostics(utf8(row.line)), utf8(row.redacted));
    }

    // A world with secrets in every file the archive takes: none of them comes out, every file does.
    void diagnosticsArchive()
    {
        testing::ScratchHome home;
        const QString profile = home.profileDirectory() + u'/', daemon = home.path() + u"/.tallowmere/"_s;
        testing::FakeAgent agent;
        agent.publish(profile);
        const QStringList secrets{u"TMS2-ABCD-EFGH-JKMN"_s, u"owner@corp.example"_s, u"Hunter2Secret"_s,
                                  u"tok-5ecr3t"_s,          u"sk-live-123456"_s,     u"LINKTOKEN"_s,
                                  u"SIGNATURE"_s,           u"secret-token"_s};
        const QByteArray text =
            "redeeming TMS2-ABCD-EFGH-JKMN\nEmail: owner@corp.example\nPassword: Hunter2Secret\n"
            "curl -H 'Authorization: Bearer tok-5ecr3t'\nexport TALLOWMERE_SERVICE_API_KEY=sk-live-123456\n"
            "open https://onboarding.test/owner/agents/a/setup?sig=SIGNATURE#LINKTOKEN\n"
            "module.exports = {\"apps\":[{\"env\":{\"TALLOWMERE_TOKEN\":\"tok-5ecr3t\","
            "\"LINK\":\"tallowmere://x?code=TMS2-ABCD-EFGH-JKMN#LINKTOKEN\"}}]};\n";
        for (const QString &path :
             {profile + u"logs/mac-app-install.log"_s, profile + u"logs/mac-app-install.log.previous"_s,
              profile + u"mac-app-install-stage"_s, profile + u"mac-app-permissions-completed"_s,
              profile + u"mac-app-permissions-manual"_s, profile + u"mac-app-permission-awaiting"_s,
              daemon + u"start.sh"_s, daemon + u"pm2-ecosystem.config.cjs"_s})
            testing::writeFile(path, text);
        testing::writeFile(profile + u"config.json"_s, "{\"tallowmereServiceApiKey\":\"sk-live-123456\"}");

        const Run run = application(home.path(), {u"diagnostics"_s, u"support.tar.gz"_s});
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.contains((home.path() + u"/support.tar.gz"_s).toUtf8()));
        QCOMPARE(QFileInfo(home.path() + u"/support.tar.gz"_s).permissions() & 0x0077, 0); // owner only
        const QString unpacked = home.path() + u"/unpacked"_s;
        QDir().mkpath(unpacked);
        QCOMPARE(
            QProcess::execute(u"tar"_s, {u"-xzf"_s, home.path() + u"/support.tar.gz"_s, u"-C"_s, unpacked}),
            0);
        QStringList names;
        for (QDirIterator it(unpacked, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            const QString path = it.next();
            names << path.mid(unpacked.size() + 1);
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
        QVERIFY(testing::readFile(unpacked + u"/status.json"_s).contains("\"reachable\": true"));
    }
};

TALLOWMERE_TEST(CommandsTest)
#include "tst_Commands.moc"
