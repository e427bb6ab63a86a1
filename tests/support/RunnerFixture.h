#pragma once

#include "cli/CLIService.h"
#include "support/SimulatedWorld.h"

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

// A runner and what it runs: `bash -c script` to its end, and the install log.
struct Runner {
    std::unique_ptr<tallowmere::CLIService> cli;

    RunOutput run(const QString &script)
    {
        Collector collector;
        collector.output->result =
            await(cli->execute({"-c", script}, std::nullopt, collector.lines(), collector.authorizations()));
        return *collector.output;
    }
    QString log() const { return QString::fromUtf8(readFile(cli->installLogPath())); }
};

// A runner whose home and log live in a scratch home, without a resource script.
struct RunnerFixture : Runner {
    ScratchHome home;
    RunnerFixture()
    {
        auto configuration = tallowmere::CLIService::Configuration::forHome(home.path());
        configuration.resourceScript = std::nullopt;
        cli = std::make_unique<tallowmere::CLIService>(configuration);
    }
};

// The runner in a fresh world of the simulated Mac, whose macOS tools and CLI resource script the
// scripts call.
struct SimulatedMac : SimulatedWorld, Runner {
    SimulatedMac()
    {
        cli = std::make_unique<tallowmere::CLIService>(tallowmere::CLIService::Configuration::forHome(home()));
    }

    QString file(const QString &relative) const { return home() + QLatin1Char('/') + relative; }
    QString profileFile(const QString &name) const { return profile() + QLatin1Char('/') + name; }
    QString get(const QString &key) const { return simctl({QStringLiteral("get"), key}); }
    // The scripts' temporary files that appeared in /tmp since this world began (others share /tmp).
    QStringList newTemporaryFiles() const
    {
        QStringList files = temporaryFiles();
        files.removeIf([this](const QString &file) { return m_temporaryFiles.contains(file); });
        return files;
    }
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
            set(QLatin1String(key), QLatin1String(value));
        }
    }

private:
    static QStringList temporaryFiles() { return QDir("/tmp").entryList({"tallowmere-*"}, QDir::Files); }
    const QStringList m_temporaryFiles = temporaryFiles();
};

} // namespace testing
