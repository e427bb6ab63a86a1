#pragma once

#include "app/ModelFixture.h"
#include "cli/CLIService.h"
#include "cli/Errors.h"

#include <QSet>

namespace testing {

inline const QByteArray allFourPermissions = "screenRecording\naccessibility\nautomation\nfullDiskAccess\n";

// The install state in one line: the stage ("-" for none), one letter per progress phase (p pending,
// r running, c complete, f failed), the overall state and the flags that are set.
inline QString installState(const tallowmere::AppModel &m)
{
    const auto flag = [](bool set, const char *name) { return set ? u' ' + QLatin1String(name) : QString(); };
    return (m.installStage() ? tallowmere::rawValue(*m.installStage()) : QStringLiteral("-")) + u' ' +
           progressLetters(m.setupProgress()) + u' ' + tallowmere::rawValue(m.overallState()) +
           flag(m.configurationReady(), "configured") + flag(m.installationValidated(), "validated") +
           flag(m.pendingSetupResume(), "pending");
}

// The last error as "CODE message", "-" for none.
inline QString errorOf(const tallowmere::AppModel &model)
{
    return model.lastError() ? model.lastError()->code + u' ' + model.lastError()->message : QStringLiteral("-");
}

// A model whose outside world is fakes that answer as told and note each call, in order: "prepare",
// "daemon", "started", "check:<kind>", "settings:<kind or none>", "binding", "open <host>". The setup
// command is run by the real runner, from a script the test writes. Sleeps run on virtual time.
struct OutsideWorld {
    VirtualTime time;
    ModelFixture fixture;
    QStringList calls;
    QSet<tallowmere::PermissionKind> granted{
        tallowmere::PermissionKind::screenRecording, tallowmere::PermissionKind::accessibility,
        tallowmere::PermissionKind::automation, tallowmere::PermissionKind::fullDiskAccess};
    tallowmere::CLIResult prepareResult{0, std::nullopt};
    tallowmere::CLIResult daemonResult{0, std::nullopt};
    std::optional<tallowmere::TallowmereNativeError> prepareThrows;
    std::function<QCoro::Task<>()> prepareHold; // when set, preparation waits for it
    bool agentAnswers = true;
    bool opensLinks = true;
    std::shared_ptr<tallowmere::CLIService> cli =
        std::make_shared<tallowmere::CLIService>(tallowmere::CLIService::Configuration::forHome(fixture.home.path()));
    std::unique_ptr<tallowmere::AppModel> model;

    // The setup command: notes its arguments and standard input in the home, then runs `body`.
    void setupScript(const QByteArray &body)
    {
        const QString script = fixture.home.path() + QStringLiteral("/cli-session.sh");
        writeFile(script, "printf '%s\\n' \"$@\" >\"$HOME/args\"\ncat >\"$HOME/stdin\"\n" + body + '\n');
        auto configuration = tallowmere::CLIService::Configuration::forHome(fixture.home.path());
        configuration.resourceScript = script;
        cli = std::make_shared<tallowmere::CLIService>(configuration);
    }

    tallowmere::AppModel &build(bool autoResume = false);

    QString error() const { return errorOf(*model); }
};

} // namespace testing
