#pragma once

#include "cli/CLIService.h"
#include "support/TestSupport.h"

#include <QProcess>

namespace testing {

// A world of the simulated Mac for one test: a scratch home, a state file and a runner whose scripts
// call the simulated macOS tools. Everything it started (launchd jobs, the agent) ends with it.
class SimulatedMac {
public:
    SimulatedMac()
        : m_state(m_home.path() + QStringLiteral("/sim-state"))
    {
        qputenv("TALLOWMERE_SIM_STATE", m_state.toUtf8());
        simctl({QStringLiteral("init")});
        auto configuration = tallowmere::CLIService::Configuration::forHome(m_home.path());
        configuration.resourceScript = sourcePath(QStringLiteral("sim/tallowmere-cli-session.sh"));
        configuration.tools = tallowmere::ScriptTools::inDirectory(sourcePath(QStringLiteral("sim/bin")));
        cli = std::make_unique<tallowmere::CLIService>(configuration);
    }

    ~SimulatedMac()
    {
        simctl({QStringLiteral("shutdown")});
        qunsetenv("TALLOWMERE_SIM_STATE");
    }

    SimulatedMac(const SimulatedMac &) = delete;
    SimulatedMac &operator=(const SimulatedMac &) = delete;

    QString home() const { return m_home.path(); }
    QString file(const QString &relative) const { return m_home.path() + QLatin1Char('/') + relative; }
    QString profileFile(const QString &name) const
    {
        return file(QStringLiteral(".tallowmere/profiles/default/") + name);
    }

    void set(const QString &key, const QString &value) { simctl({QStringLiteral("set"), key, value}); }
    QString get(const QString &key) { return simctl({QStringLiteral("get"), key}).trimmed(); }

    // Lays out the runtime and the agent package, as runtime preparation does.
    void prepareRuntime()
    {
        const tallowmere::CLIResult result = await(cli->prepareEnvironment({}));
        if (result.status != 0)
            qFatal("runtime preparation failed in the simulated Mac");
    }

    // Runs a script through the runner, collecting its lines.
    struct Run {
        tallowmere::CLIResult result;
        QStringList lines;
    };
    Run run(const QString &script)
    {
        Run run;
        run.result = await(cli->execute({QStringLiteral("-c"), script}, std::nullopt,
                                        [&run](QStringView line) { run.lines << line.toString(); }, {}));
        return run;
    }

    std::unique_ptr<tallowmere::CLIService> cli;

private:
    QString simctl(const QStringList &arguments)
    {
        QProcess process;
        process.start(sourcePath(QStringLiteral("sim/simctl")), arguments);
        process.waitForFinished(30000);
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            qFatal("simctl %s failed: %s", qPrintable(arguments.join(QLatin1Char(' '))),
                   process.readAllStandardError().constData());
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    ScratchHome m_home;
    QString m_state;
};

} // namespace testing
