// The process runner.
#include "cli/CLIService.h"

#include "cli/AgentPackage.h"
#include "cli/Errors.h"
#include "cli/InstallLog.h"
#include "cli/OutputLines.h"
#include "platform/Bundle.h"
#include "platform/Home.h"
#include "platform/SimulatedMac.h"
#include "platform/Wakeup.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QSemaphore>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcCli, "tallowmere.cli")

namespace tallowmere {

namespace {

// Output batches the reader may have in flight to the main thread before it waits: enough to keep
// both threads busy, few enough that memory stays bounded however much the child prints.
constexpr int batchesInFlight = 8;
constexpr qsizetype readChunk = 256 * 1024;

// A pipe whose ends other children never inherit.
bool openCloseOnExec(int fds[2])
{
#ifdef __linux__
    return ::pipe2(fds, O_CLOEXEC) == 0;
#else
    // Without pipe2 the flag is set right after: the runner starts children on the main thread only.
    if (::pipe(fds) != 0)
        return false;
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
    return true;
#endif
}

// The pipe shared by the child's standard output and standard error. Both ends close on exec; the
// child gets the write end as its descriptors 1 and 2.
class OutputPipe {
public:
    OutputPipe()
    {
        if (!openCloseOnExec(m_fds)) {
            m_fds[0] = m_fds[1] = -1;
            return;
        }
#ifdef F_SETPIPE_SZ
        // A roomier pipe lets a chatty child and the reader take turns less often.
        ::fcntl(m_fds[0], F_SETPIPE_SZ, 1024 * 1024);
#endif
    }
    ~OutputPipe()
    {
        closeReadEnd();
        closeWriteEnd();
    }
    OutputPipe(const OutputPipe &) = delete;
    OutputPipe &operator=(const OutputPipe &) = delete;

    bool isOpen() const
    {
        return m_fds[0] >= 0;
    }
    int readEnd() const
    {
        return m_fds[0];
    }
    int writeEnd() const
    {
        return m_fds[1];
    }
    void closeReadEnd()
    {
        closeEnd(0);
    }
    void closeWriteEnd()
    {
        closeEnd(1);
    }

private:
    void closeEnd(int end)
    {
        if (m_fds[end] >= 0)
            ::close(m_fds[end]);
        m_fds[end] = -1;
    }
    int m_fds[2];
};

// What the reader thread and the run share.
struct ReaderLink {
    QSemaphore freeSlots{batchesInFlight};
    std::atomic<bool> abandoned{false};
};


} // namespace

CLIService::Configuration CLIService::Configuration::standard()
{
    return forHome(platform::homeDirectory());
}

CLIService::Configuration CLIService::Configuration::forHome(const QString &homeDirectory)
{
    Configuration configuration;
    configuration.homeDirectory = homeDirectory;
    configuration.installLogPath = homeDirectory + QLatin1Char('/') + QLatin1String(agent::profileDirectory) +
                                   QStringLiteral("/logs/mac-app-install.log");
    configuration.resourceScript = platform::bundleResourcePath(
        QLatin1String(agent::cliResourceScriptName), QLatin1String(agent::cliResourceScriptExtension));
    if (const auto simulated = platform::simulatedMacDirectory())
        configuration.tools = ScriptTools::inDirectory(*simulated + QStringLiteral("/bin"));
    return configuration;
}

CLIService::CLIService(Configuration configuration, QObject *parent)
    : QObject(parent)
    , m_configuration(std::move(configuration))
{
}

CLIService::~CLIService() = default;

QProcessEnvironment CLIService::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &name : environment.keys()) {
        const QString upper = name.toUpper();
        if (upper.startsWith(QLatin1String("NPM_CONFIG_")) || upper.startsWith(QLatin1String("PNPM_")))
            environment.remove(name);
    }
    const QString home = m_configuration.homeDirectory;
    const QString runtime = home + QLatin1String(agent::runtimeDirectory);
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("PNPM_HOME"), runtime + QStringLiteral("/bin"));
    environment.insert(QStringLiteral("NPM_CONFIG_USERCONFIG"),
                       runtime + QStringLiteral("/pnpm-config/npmrc"));
    environment.insert(QStringLiteral("NPM_CONFIG_GLOBALCONFIG"), QStringLiteral("/dev/null"));
    environment.insert(QStringLiteral("PATH"),
                       runtime + QStringLiteral("/bin:/opt/homebrew/bin:/opt/homebrew/sbin:"
                                                "/usr/local/bin:/usr/local/sbin:/usr/bin:/bin:"
                                                "/usr/sbin:/sbin"));
    return environment;
}

QString CLIService::ensureLogsDirectory() const
{
    const QString directory = QFileInfo(m_configuration.installLogPath).absolutePath();
    QDir().mkpath(directory);
    return directory;
}

void CLIService::terminateRunningProcess()
{
    if (m_process && m_process->state() != QProcess::NotRunning)
        m_process->terminate();
}

QCoro::Task<CLIResult> CLIService::execute(QStringList arguments, std::optional<QString> stdinText,
                                           OutputHandler onOutput, AuthorizationHandler onAuthorization)
{
    if (m_process)
        throw TallowmereNativeError(QStringLiteral("OPERATION_ALREADY_RUNNING"),
                                    QStringLiteral("Tallowmere 正在执行一项操作"));

    // Every signal of the child reaches this run through queued calls on `context`, so the run always
    // resumes from the event loop, never inside the child object's own signal emission.
    QObject context;
    OutputPipe pipe;
    auto process = std::make_unique<QProcess>();
    process->setProgram(m_configuration.shell);
    process->setArguments(arguments);
    process->setProcessEnvironment(environment());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    const int outputFd = pipe.writeEnd();
    process->setChildProcessModifier([outputFd] {
        ::dup2(outputFd, STDOUT_FILENO);
        ::dup2(outputFd, STDERR_FILENO);
    });
    m_process = process.get();
    QPointer<CLIService> self(this);
    const auto releaseGuard = [&self, &process] {
        if (self && self->m_process == process.get())
            self->m_process = nullptr;
    };

    std::unique_ptr<InstallLog> log = InstallLog::open(m_configuration.installLogPath);
    const auto writeLog = [&log](const QString &text) {
        if (log)
            log->writeLine(text.toUtf8());
    };
    writeLog(QStringLiteral("\n--- %1 ---").arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate)));

    platform::Wakeup launched;
    bool launchFailed = !pipe.isOpen();
    platform::Wakeup exited;
    int status = 0;
    QObject::connect(
        process.get(), &QProcess::started, &context, [&launched] { launched.fire(); }, Qt::QueuedConnection);
    QObject::connect(
        process.get(), &QProcess::errorOccurred, &context,
        [&launched, &launchFailed](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) {
                launchFailed = true;
                launched.fire();
            }
        },
        Qt::QueuedConnection);
    QObject::connect(
        process.get(), &QProcess::finished, &context,
        [&exited, &status](int code, QProcess::ExitStatus) {
            status = code; // the signal number when the child was killed
            exited.fire();
        },
        Qt::QueuedConnection);

    if (!launchFailed) {
        process->start();
        co_await launched.wait();
    }
    if (launchFailed) {
        writeLog(QStringLiteral("INSTALL_LAUNCH_FAILED"));
        log.reset();
        releaseGuard();
        throw TallowmereNativeError(QStringLiteral("INSTALL_LAUNCH_FAILED"),
                                    QStringLiteral("无法启动 Tallowmere 安装程序"));
    }

    pipe.closeWriteEnd(); // the reader sees the end once the child and its descendants close theirs
    if (stdinText)
        process->write(stdinText->toUtf8());
    process->closeWriteChannel();

    // The reader thread turns bytes into handled lines and sends them here in batches, in order.
    auto link = std::make_shared<ReaderLink>();
    platform::Wakeup readerDone;
    std::optional<QString> lastErrorCandidate;
    std::optional<QString> readError;
    const auto guarded = [](const auto &handler, const auto &value) {
        if (!handler)
            return;
        try {
            handler(value);
        } catch (const std::exception &error) {
            qCWarning(lcCli) << "an output handler failed:" << error.what();
        }
    };
    const auto deliver = [&](const OutputBatch &batch) {
        batch.forEach(
            [&](QStringView line) { guarded(onOutput, line); },
            [&](const JITWorkspaceAuthorization &authorization) { guarded(onAuthorization, authorization); });
        link->freeSlots.release();
    };
    InstallLog *logForReader = log.get();
    const int inputFd = pipe.readEnd();
    std::thread reader(
        [link, logForReader, inputFd, &context, &deliver, &readerDone, &lastErrorCandidate, &readError] {
            OutputLineProcessor processor(logForReader);
            const auto post = [&](OutputBatch batch) {
                link->freeSlots.acquire();
                if (link->abandoned)
                    return;
                QMetaObject::invokeMethod(
                    &context, [&deliver, batch = std::move(batch)] { deliver(batch); }, Qt::QueuedConnection);
            };
            std::string failure;
            QByteArray chunk(readChunk, Qt::Uninitialized);
            for (;;) {
                const ssize_t got = ::read(inputFd, chunk.data(), size_t(chunk.size()));
                if (got < 0 && errno == EINTR)
                    continue;
                if (got < 0) {
                    failure = std::strerror(errno);
                    break;
                }
                OutputBatch batch;
                if (got == 0) {
                    processor.finish(batch);
                } else {
                    processor.feed(chunk.constData(), got, batch);
                }
                if (logForReader)
                    logForReader->flush();
                if (!batch.empty())
                    post(std::move(batch));
                if (got == 0 || link->abandoned)
                    break;
            }
            QMetaObject::invokeMethod(
                &context,
                [&, candidate = processor.lastErrorCandidate(), failure] {
                    lastErrorCandidate = candidate;
                    if (!failure.empty())
                        readError = QString::fromStdString(failure);
                    readerDone.fire();
                },
                Qt::QueuedConnection);
        });
    // Should this run unwind early, the reader must not wait for slots nobody will free, and it is
    // joined before anything it uses goes away.
    struct Abandon {
        ReaderLink &link;
        std::thread &reader;
        ~Abandon()
        {
            link.abandoned = true;
            link.freeSlots.release(batchesInFlight);
            if (reader.joinable())
                reader.join();
        }
    } abandonOnExit{*link, reader};

    co_await exited.wait();
    co_await readerDone.wait();
    reader.join();

    if (readError) {
        log.reset();
        releaseGuard();
        throw FileError(QStringLiteral("reading the output failed: ") + *readError);
    }
    writeLog(QStringLiteral("Process exited with status %1").arg(status));
    log.reset();
    releaseGuard();
    co_return CLIResult{status, lastErrorCandidate};
}

} // namespace tallowmere
