// How long the application takes to its first frame, and how much memory it holds by then, against a bare
// Qt Quick window with one text (startup-bare, built beside this program with the same compiler and build
// type), measured in the same run.
//
//   bench-startup [--rounds N]
//
// Each round starts the two in turn, as fresh processes, offscreen, each over a scratch home of its own
// under /tmp. The application's home holds a simulated Mac (sim/simctl init) without an installation,
// so it opens on the setup screen; it is started the way main() starts it (src/ui/main.cpp), from this
// program. A start is timed from just before the process is spawned to the monotonic time the child
// prints at its window's first frameSwapped, after which it ends at once; its peak resident memory and
// its CPU time are what wait4 reports for it. One start of each before the rounds warms the file cache
// and is not counted. The two take turns, so that both see the same machine, busy or not.
//
// Prints each round, then for each program the medians of the time to the first frame, the CPU time and
// the peak resident memory, and when (and at what resident memory) the steps it names were reached; ends
// with "startup-vs-bare: T" and "rss-vs-bare: R", the application's figures divided by the bare window's.
#include "FirstFrame.h"
#include "app/AppModel.h"
#include "ui/ApplicationShell.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

Q_IMPORT_QML_PLUGIN(TallowmerePlugin)

namespace {

constexpr const char *applicationRole = "--as-application";
constexpr int frameTimeoutMilliseconds = 60000;

// The application as main() starts its window, with its first frame reported.
int runApplication(int argc, char *argv[])
{
    QApplication app(argc, argv);
    bench::reportPhase("application-object");
    tallowmere::ui::prepareApplication();
    bench::reportPhase("prepared");
    tallowmere::AppModel model({}, true);
    bench::reportPhase("model");
    tallowmere::ui::ApplicationShell shell(model);
    bench::reportPhase("engine");
    if (!shell.start())
        return 1;
    bench::reportPhase("window-loaded");
    bench::reportFirstFrame(shell.mainWindow());
    return app.exec();
}

struct Sample {
    double milliseconds = 0;    // to the first frame
    long kilobytes = 0;         // peak resident
    double cpuMilliseconds = 0; // user and system time of the process itself
    struct Phase {
        std::string name;
        double milliseconds;
        long kilobytes; // resident then
    };
    std::vector<Phase> phases; // the steps the child names
};

// A scratch home under /tmp, removed with everything in it when the start is over.
class ScratchHome {
public:
    ScratchHome()
        : m_directory(QStringLiteral("/tmp/bench-startup-XXXXXX"))
    {
        if (!m_directory.isValid() || !m_directory.path().startsWith(QLatin1String("/tmp/bench-startup-")))
            qFatal("cannot make a scratch home under /tmp");
        QDir(m_directory.path()).mkdir(QStringLiteral("runtime"));
        QFile::setPermissions(runtime(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    QString path() const { return m_directory.path(); }
    QString runtime() const { return path() + QStringLiteral("/runtime"); }
    QString simState() const { return path() + QStringLiteral("/sim-state"); }
    QString errorLog() const { return path() + QStringLiteral("/stderr"); }

private:
    QTemporaryDir m_directory;
};

QProcessEnvironment environmentFor(const ScratchHome &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.runtime());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("TALLOWMERE_SIM_DIR"), QStringLiteral(TALLOWMERE_SOURCE_DIR "/sim"));
    environment.insert(QStringLiteral("TALLOWMERE_SIM_STATE"), home.simState());
    return environment;
}

// The simulated Mac's control, in the world of `home`.
void simctl(const ScratchHome &home, const QString &command)
{
    QProcess process;
    process.setProcessEnvironment(environmentFor(home));
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(QStringLiteral(TALLOWMERE_SOURCE_DIR "/sim/simctl"), {command});
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        qFatal("simctl %s failed", qPrintable(command));
}

void printTail(const QString &path)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray text = file.readAll();
        std::fprintf(stderr, "%s\n", text.right(4000).constData());
    }
}

// Spawns `program` in a process group of its own, with `environment`, and waits for its first frame.
std::optional<Sample> timeFirstFrame(const QString &program, const QStringList &arguments,
                                     const QProcessEnvironment &environment, const QString &errorLog)
{
    std::vector<std::string> argumentStrings{program.toStdString()};
    for (const QString &argument : arguments)
        argumentStrings.push_back(argument.toStdString());
    std::vector<std::string> environmentStrings;
    for (const QString &entry : environment.toStringList())
        environmentStrings.push_back(entry.toStdString());
    std::vector<char *> argv, envp;
    for (std::string &s : argumentStrings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    for (std::string &s : environmentStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    const std::string errorPath = errorLog.toStdString();

    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0)
        qFatal("pipe2 failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);

    pid_t child = 0;
    const long long start = bench::monotonicNanoseconds();
    const int spawned = posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(output[1]);
    if (spawned != 0) {
        close(output[0]);
        std::fprintf(stderr, "cannot start %s: %s\n", argv[0], std::strerror(spawned));
        return std::nullopt;
    }

    // Its lines up to the frame line ("phase <name> <ns> <kB>", "frame <ns>"); the child ends right after it.
    Sample sample;
    std::string said;
    std::optional<long long> frame;
    const long long deadline = start + frameTimeoutMilliseconds * 1000000LL;
    const auto since = [start](const std::string &nanoseconds) {
        return double(std::stoll(nanoseconds) - start) / 1e6;
    };
    while (!frame) {
        const long long left = (deadline - bench::monotonicNanoseconds()) / 1000000;
        pollfd readable{output[0], POLLIN, 0};
        if (left <= 0 || poll(&readable, 1, int(left)) <= 0)
            break;
        char buffer[4096];
        const ssize_t got = read(output[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        said.append(buffer, std::size_t(got));
        for (std::size_t end = said.find('\n'); end != std::string::npos && !frame; end = said.find('\n')) {
            const std::string line = said.substr(0, end);
            said.erase(0, end + 1);
            if (line.rfind("frame ", 0) == 0) {
                frame = std::stoll(line.substr(6));
            } else if (line.rfind("phase ", 0) == 0) {
                const QList<QByteArray> fields = QByteArray::fromStdString(line).split(' ');
                if (fields.size() == 4)
                    sample.phases.push_back(
                        {fields[1].toStdString(), since(fields[2].toStdString()), fields[3].toLong()});
            }
        }
    }
    close(output[0]);
    if (!frame)
        kill(child, SIGKILL);
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    // What the child left running (the application's helper scripts) goes with it: its own process group.
    kill(-child, SIGKILL);
    if (!frame) {
        std::fprintf(stderr, "%s showed no frame within %d s; its standard error:\n", argv[0],
                     frameTimeoutMilliseconds / 1000);
        printTail(errorLog);
        return std::nullopt;
    }
    sample.milliseconds = double(*frame - start) / 1e6;
    sample.kilobytes = usage.ru_maxrss;
    const auto ms = [](const timeval &t) { return double(t.tv_sec) * 1000.0 + double(t.tv_usec) / 1000.0; };
    sample.cpuMilliseconds = ms(usage.ru_utime) + ms(usage.ru_stime);
    return sample;
}

std::optional<Sample> startApplication(const QString &self)
{
    ScratchHome home;
    simctl(home, QStringLiteral("init"));
    const std::optional<Sample> sample =
        timeFirstFrame(self, {QLatin1String(applicationRole)}, environmentFor(home), home.errorLog());
    simctl(home, QStringLiteral("shutdown"));
    return sample;
}

std::optional<Sample> startBareWindow(const QString &program)
{
    ScratchHome home;
    QProcessEnvironment environment = environmentFor(home);
    environment.remove(QStringLiteral("TALLOWMERE_SIM_DIR"));
    environment.remove(QStringLiteral("TALLOWMERE_SIM_STATE"));
    return timeFirstFrame(program, {}, environment, home.errorLog());
}

template <typename T> T median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Summary {
    double milliseconds, megabytes;
};

// Prints the medians of `samples`: time to the first frame, peak resident memory, and when each step
// was reached.
Summary summarise(const char *name, const std::vector<Sample> &samples)
{
    std::vector<double> times, megabytes, cpu;
    for (const Sample &sample : samples) {
        times.push_back(sample.milliseconds);
        megabytes.push_back(double(sample.kilobytes) / 1024);
        cpu.push_back(sample.cpuMilliseconds);
    }
    const Summary summary{median(times), median(megabytes)};
    std::printf(
        "%s: %.1f ms to the first frame (%.1f ms CPU), %.1f MB peak resident (medians of %zu starts)\n", name,
        summary.milliseconds, median(cpu), summary.megabytes, samples.size());
    for (std::size_t step = 0; step < samples.front().phases.size(); ++step) {
        std::vector<double> at, resident;
        for (const Sample &sample : samples) {
            if (step < sample.phases.size()) {
                at.push_back(sample.phases[step].milliseconds);
                resident.push_back(double(sample.phases[step].kilobytes) / 1024);
            }
        }
        std::printf("    %-20s at %6.1f ms, %5.1f MB resident\n", samples.front().phases[step].name.c_str(),
                    median(at), median(resident));
    }
    return summary;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 2 && qstrcmp(argv[1], applicationRole) == 0)
        return runApplication(argc, argv);

    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    const QCommandLineOption roundsOption(QStringLiteral("rounds"),
                                          QStringLiteral("Starts of each to measure."), QStringLiteral("N"),
                                          QStringLiteral("15"));
    options.addOption(roundsOption);
    options.addHelpOption();
    options.process(app);
    const int rounds = std::max(1, options.value(roundsOption).toInt());
    const QString self = QCoreApplication::applicationFilePath();
    const QString bare = QCoreApplication::applicationDirPath() + QStringLiteral("/startup-bare");

    if (!startApplication(self) || !startBareWindow(bare))
        return 1;
    std::vector<Sample> applicationSamples, bareSamples;
    for (int round = 0; round < rounds; ++round) {
        const std::optional<Sample> application = startApplication(self);
        const std::optional<Sample> window = startBareWindow(bare);
        if (!application || !window)
            return 1;
        std::printf("  round %2d: application %6.1f ms %6.1f MB, bare window %6.1f ms %6.1f MB\n", round + 1,
                    application->milliseconds, double(application->kilobytes) / 1024, window->milliseconds,
                    double(window->kilobytes) / 1024);
        std::fflush(stdout);
        applicationSamples.push_back(*application);
        bareSamples.push_back(*window);
    }
    const Summary application = summarise("application", applicationSamples);
    const Summary bareWindow = summarise("bare window", bareSamples);
    std::printf("startup-vs-bare: %.2f\n", application.milliseconds / bareWindow.milliseconds);
    std::printf("rss-vs-bare: %.2f\n", application.megabytes / bareWindow.megabytes);
    return 0;
}
