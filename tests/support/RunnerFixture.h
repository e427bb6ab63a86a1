#pragma once

#include "cli/CLIService.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QThread>

namespace testing {

// What one run handed back: its result, every delivered line and authorisation, in order, and whether
// they all arrived on the main thread.
struct RunOutput {
    tallowmere::CLIResult result;
    QStringList lines;
    QList<tallowmere::JITWorkspaceAuthorization> authorizations;
    bool allOnMainThread = true;
};

struct Collector {
    std::shared_ptr<RunOutput> output = std::make_shared<RunOutput>();
    tallowmere::OutputHandler lines()
    {
        return [output = output](QStringView line) {
            output->lines << line.toString();
            output->allOnMainThread &= QThread::currentThread() == qApp->thread();
        };
    }
    tallowmere::AuthorizationHandler authorizations()
    {
        return [output = output](const tallowmere::JITWorkspaceAuthorization &authorization) {
            output->authorizations << authorization;
            output->allOnMainThread &= QThread::currentThread() == qApp->thread();
        };
    }
};

// A runner whose home and log live in a scratch home, without a resource script.
class RunnerFixture {
public:
    RunnerFixture() { cli = std::make_unique<tallowmere::CLIService>(configuration()); }

    QString log() const { return QString::fromUtf8(readFile(cli->installLogPath())); }
    QString file(const QString &relative) const { return home.path() + QLatin1Char('/') + relative; }

    RunOutput run(const QString &script)
    {
        Collector collector;
        collector.output->result =
            await(cli->execute({"-c", script}, std::nullopt, collector.lines(), collector.authorizations()));
        return *collector.output;
    }

    ScratchHome home;
    std::unique_ptr<tallowmere::CLIService> cli;

protected:
    tallowmere::CLIService::Configuration configuration() const
    {
        auto configuration = tallowmere::CLIService::Configuration::forHome(home.path());
        configuration.resourceScript = std::nullopt;
        return configuration;
    }
};

// The runner in a world of the simulated Mac: a state file, and scripts that call the simulated
// macOS tools and resource script. Everything it started (launchd jobs, the agent) ends with it.
class SimulatedMac : public RunnerFixture {
public:
    SimulatedMac()
    {
        qputenv("TALLOWMERE_SIM_STATE", file(QStringLiteral("sim-state")).toUtf8());
        simctl({QStringLiteral("init")});
        auto configuration = this->configuration();
        configuration.resourceScript = sourcePath(QStringLiteral("sim/tallowmere-cli-session.sh"));
        configuration.tools = tallowmere::ScriptTools::inDirectory(sourcePath(QStringLiteral("sim/bin")));
        cli = std::make_unique<tallowmere::CLIService>(configuration);
    }
    ~SimulatedMac()
    {
        simctl({QStringLiteral("shutdown")});
        qunsetenv("TALLOWMERE_SIM_STATE");
    }

    QString profileFile(const QString &name) const { return file(".tallowmere/profiles/default/" + name); }
    // The scripts' temporary files that appeared in /tmp since this world began (others share /tmp).
    QStringList newTemporaryFiles() const
    {
        QStringList files = temporaryFiles();
        files.removeIf([this](const QString &file) { return m_temporaryFiles.contains(file); });
        return files;
    }
    void set(const QString &key, const QString &value) { simctl({QStringLiteral("set"), key, value}); }
    QString get(const QString &key) { return simctl({QStringLiteral("get"), key}).trimmed(); }

    // Lays out the runtime and the agent package, as runtime preparation does.
    void prepareRuntime()
    {
        if (await(cli->prepareEnvironment({})).status != 0)
            qFatal("runtime preparation failed in the simulated Mac");
    }
    // The same, then one setting; nothing for an empty key.
    void prepare(const char *key, const char *value)
    {
        if (*key) {
            prepareRuntime();
            set(key, value);
        }
    }

private:
    static QStringList temporaryFiles() { return QDir("/tmp").entryList({"tallowmere-*"}, QDir::Files); }
    QString simctl(const QStringList &arguments)
    {
        // In the world's home: shutdown ends the pm2 apps of that home.
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        process.setProcessEnvironment(environment);
        process.start(sourcePath(QStringLiteral("sim/simctl")), arguments);
        process.waitForFinished(30000);
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            qFatal("simctl %s failed: %s", qPrintable(arguments.join(QLatin1Char(' '))),
                   process.readAllStandardError().constData());
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    const QStringList m_temporaryFiles = temporaryFiles();
};

} // namespace testing
