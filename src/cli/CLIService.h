#pragma once

#include "app/ModelEnums.h"
#include "cli/CLIResult.h"
#include "cli/JITWorkspaceAuthorization.h"
#include "cli/Scripts.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QPointer>
#include <QProcessEnvironment>
#include <QStringList>

#include <functional>
#include <optional>

class QProcess;

namespace tallowmere {

using AuthorizationHandler = std::function<void(const JITWorkspaceAuthorization &)>;

// Runs every piece of work the application does outside its own process, one /bin/bash child at a
// time, with a controlled environment. Output is read as it arrives, each line redacted, appended to
// the rotating install log and handed to the caller on the main thread, in order.
class CLIService : public QObject {
    Q_OBJECT

public:
    struct Configuration {
        QString homeDirectory;
        QString installLogPath;
        std::optional<QString> resourceScript; // the CLI resource script; none when the bundle lacks it
        ScriptTools tools;
        QString shell = QStringLiteral("/bin/bash");

        // The user's home and log, the bundle's resource script and the system's (or simulated) tools.
        static Configuration standard();
        // The same for another home directory.
        static Configuration forHome(const QString &homeDirectory);
    };

    explicit CLIService(Configuration configuration = Configuration::standard(), QObject *parent = nullptr);
    ~CLIService() override;

    // Runs the shell with `arguments`, writes `stdinText` to its standard input, and returns how it
    // ended. A non-zero exit status is a result; failing to start or a second run while one is going
    // are errors (TallowmereNativeError).
    QCoro::Task<CLIResult> execute(QStringList arguments, std::optional<QString> stdinText,
                                   OutputHandler onOutput, AuthorizationHandler onAuthorization);

    // The operations built on it.
    QCoro::Task<CLIResult> prepareEnvironment(OutputHandler onOutput);
    QCoro::Task<CLIResult> setup(QString code, std::optional<QString> agentName, OutputHandler onOutput,
                                 AuthorizationHandler onAuthorization);
    QCoro::Task<bool> permissionGranted(PermissionKind kind); // may throw the runner's errors
    QCoro::Task<bool> preparePermission(PermissionKind kind); // never throws
    QCoro::Task<CLIResult> installDaemon(OutputHandler onOutput);
    QString permissionCommand(PermissionKind kind, int attempts, bool requestPrompt) const;
    QString daemonInstallCommand() const;
    QString agentUpdateCommand() const;

    QProcessEnvironment environment() const;
    QString installLogPath() const { return m_configuration.installLogPath; }
    QString ensureLogsDirectory() const;

    // The running child, if any. Stopping it ends its run normally, with the child's status.
    bool isRunning() const { return !m_process.isNull(); }
    void terminateRunningProcess();

private:
    QString resourceScript() const;

    const Configuration m_configuration;
    QPointer<QProcess> m_process; // the single-operation guard
};

} // namespace tallowmere
