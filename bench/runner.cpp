// How fast the process runner turns a child's output into redacted, logged, delivered lines, against
// sed applying the same five rules and writing to a file, measured in the same run.
//
//   bench-runner [--input FILE] [--log FILE] [--lines N] [--rounds N]
//
// The two take turns for a few rounds, so that both see the same machine; each figure is the median of
// its rounds. Ends with "runner-vs-sed: R", R being sed's time divided by the runner's.
#include "cli/CLIService.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/resource.h>

namespace {

// About 80 bytes a line; about one line in ten carries a secret, each kind in turn.
void writeInput(const QString &path, int lines)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QRandomGenerator random(42);
    const char *secrets[] = {
        "\x1b[32mok\x1b[0m resolved dependencies for the runtime",
        "Email: agent-7@corp.example provisioned for the workspace",
        "Password: Xk9-pq2-Lm0 (store it now, it is shown once)",
        "see https://registry.example/pkg/-/tallowmere-1.2.3.tgz for details",
        "redeeming TMS2-0000-1111-2222 with the onboarding service",
        "redeeming tmi1-abcd-efgh-jkmn with the onboarding service",
    };
    QByteArray chunk;
    for (int i = 0; i < lines; ++i) {
        if (random.bounded(10) == 0) {
            chunk += QByteArray("progress ") + secrets[random.bounded(6)];
        } else {
            chunk += "Progress: resolved " + QByteArray::number(random.bounded(100000)) +
                     ", reused 1520, downloaded 12, added 7 -- fetching metadata for package";
        }
        chunk += '\n';
        if (chunk.size() > 1 << 20) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double runRunner(const QString &input, const QString &log, const QString &home)
{
    auto configuration = tallowmere::CLIService::Configuration::forHome(home);
    configuration.installLogPath = log;
    tallowmere::CLIService cli(configuration);
    qint64 delivered = 0;
    bool done = false;
    QElapsedTimer elapsed;
    elapsed.start();
    auto task =
        cli.execute({QStringLiteral("-c"), QStringLiteral("cat \"$1\""), QStringLiteral("bench"), input},
                    std::nullopt, [&delivered](QStringView) { ++delivered; }, {});
    QCoro::connect(std::move(task), &cli, [&done](const tallowmere::CLIResult &) { done = true; });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = double(elapsed.nsecsElapsed()) / 1e9;
    std::printf("  runner: %.3f s for %lld lines\n", seconds, static_cast<long long>(delivered));
    return seconds;
}

double runSed(const QString &input, const QString &output)
{
    const QString code = QStringLiteral("[0-9A-HJKMNP-TV-Z]{4}");
    const QStringList arguments = {
        QStringLiteral("-E"),
        QStringLiteral("-e"),
        QStringLiteral("s/\\x1b\\[[0-?]*[ -/]*[@-~]//g"),
        QStringLiteral("-e"),
        QStringLiteral("s/(Email:\\s*)\\S+/\\1[REDACTED]/gI"),
        QStringLiteral("-e"),
        QStringLiteral("s/(Password:\\s*)\\S+/\\1[REDACTED]/gI"),
        QStringLiteral("-e"),
        QStringLiteral("s#https?://\\S+#[URL REDACTED]#g"),
        QStringLiteral("-e"),
        QStringLiteral("s/\\b(TMS2|TMI1)-%1-%1-%1\\b/[SETUP CODE REDACTED]/gI").arg(code),
        input};
    QProcess sed;
    sed.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sed.setStandardOutputFile(output);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    sed.setProcessEnvironment(environment);
    QElapsedTimer elapsed;
    elapsed.start();
    sed.start(QStringLiteral("sed"), arguments);
    sed.waitForFinished(-1);
    const double seconds = double(elapsed.nsecsElapsed()) / 1e9;
    std::printf("  sed -E: %.3f s (exit %d)\n", seconds, sed.exitCode());
    return seconds;
}

long peakResidentKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    const QCommandLineOption inputOption(QStringLiteral("input"), QStringLiteral("Replay these lines."),
                                         QStringLiteral("file"));
    const QCommandLineOption logOption(QStringLiteral("log"), QStringLiteral("Where the install log goes."),
                                       QStringLiteral("file"));
    const QCommandLineOption linesOption(QStringLiteral("lines"), QStringLiteral("Lines to generate."),
                                         QStringLiteral("count"), QStringLiteral("1000000"));
    const QCommandLineOption roundsOption(QStringLiteral("rounds"), QStringLiteral("Rounds of each."),
                                          QStringLiteral("count"), QStringLiteral("5"));
    options.addOptions({inputOption, logOption, linesOption, roundsOption});
    options.process(app);

    QTemporaryDir scratch;
    const QString input =
        options.isSet(inputOption) ? options.value(inputOption) : scratch.filePath(QStringLiteral("input"));
    if (!options.isSet(inputOption))
        writeInput(input, options.value(linesOption).toInt());
    const QString log =
        options.isSet(logOption) ? options.value(logOption) : scratch.filePath(QStringLiteral("install.log"));

    // A small warm-up run shows the memory a run needs whatever its size; the big run must not need more.
    const QString small = scratch.filePath(QStringLiteral("small"));
    writeInput(small, 10000);
    runRunner(small, scratch.filePath(QStringLiteral("small.log")), scratch.path());
    const long smallPeak = peakResidentKilobytes();

    std::vector<double> runnerTimes, sedTimes;
    const int rounds = std::max(1, options.value(roundsOption).toInt());
    for (int round = 0; round < rounds; ++round) {
        QFile::remove(log);
        runnerTimes.push_back(runRunner(input, log, scratch.path()));
        sedTimes.push_back(runSed(input, scratch.filePath(QStringLiteral("sed.out"))));
    }
    const long bigPeak = peakResidentKilobytes();
    const double runner = median(runnerTimes);
    const double sed = median(sedTimes);

    std::printf("runner: %.3f s (median of %d)\n", runner, rounds);
    std::printf("sed -E: %.3f s (median of %d)\n", sed, rounds);
    std::printf("runner peak memory: %ld KiB after 10,000 lines, %ld KiB after the full runs\n", smallPeak,
                bigPeak);
    std::printf("runner-vs-sed: %.2f\n", sed / runner);
    return 0;
}
