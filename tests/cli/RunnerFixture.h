#pragma once

#include "cli/CLIService.h"
#include "support/TestSupport.h"

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

// A runner whose home, log and resource script live in a scratch home.
struct RunnerFixture {
    ScratchHome home;
    std::unique_ptr<tallowmere::CLIService> cli = std::make_unique<tallowmere::CLIService>(configuration());

    tallowmere::CLIService::Configuration configuration() const
    {
        auto configuration = tallowmere::CLIService::Configuration::forHome(home.path());
        configuration.resourceScript = std::nullopt;
        return configuration;
    }
    QString log() const { return QString::fromUtf8(readFile(cli->installLogPath())); }

    // Collectors for a run's callbacks.
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

    RunOutput run(const QString &script, std::optional<QString> stdinText = std::nullopt)
    {
        Collector collector;
        collector.output->result = await(cli->execute({QStringLiteral("-c"), script}, std::move(stdinText),
                                                      collector.lines(), collector.authorizations()));
        return *collector.output;
    }
};

} // namespace testing
