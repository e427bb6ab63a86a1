// What watching the agent costs: the model with a finished installation samples a fake agent on the
// real clock, against a loop that does only the same HTTP request and JSON decode on the same
// schedule, measured in the same run. The fake agent is the simulated Mac's, in a process of its own,
// so that its work is not counted.
//
//   bench-monitoring [--seconds N]
//
// Prints the CPU milliseconds per sample of each and ends with "monitoring-vs-raw: R", R being the
// model's CPU per sample divided by the raw loop's.
#include "app/AppModel.h"
#include "status/AgentRuntimeStatus.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>

#include <sys/resource.h>

namespace {

double cpuMilliseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) { return double(t.tv_sec) * 1000.0 + double(t.tv_usec) / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Runs the event loop for `seconds`, saying every ten seconds how far it got, so that a long run is
// not mistaken for a hung one.
template <typename Samples> void runFor(int seconds, const char *label, Samples samples)
{
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    QTimer progress;
    int elapsed = 0;
    QObject::connect(&progress, &QTimer::timeout, &loop, [&] {
        elapsed += 10;
        std::printf("  %s: %d of %d s, %llu samples\n", label, elapsed, seconds,
                    static_cast<unsigned long long>(samples()));
        std::fflush(stdout);
    });
    progress.start(10000);
    loop.exec();
}

struct Measurement {
    double cpu = 0;
    quint64 samples = 0;
    double perSample() const { return samples ? cpu / double(samples) : 0; }
};

Measurement measureModel(const QString &profile, int seconds)
{
    tallowmere::AppModel model({.profileDirectory = profile}, true);
    const double start = cpuMilliseconds();
    runFor(seconds, "model", [&model] { return model.statusSnapshot().statusSequence; });
    return {cpuMilliseconds() - start, model.statusSnapshot().statusSequence};
}

// The same request and decode every two seconds, and nothing else.
Measurement measureRaw(const QString &profile, int seconds)
{
    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy::NoProxy);
    const auto read = [&profile](const char *name) {
        QFile file(profile + QLatin1Char('/') + QLatin1String(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
    };
    QNetworkRequest request(
        QUrl(QStringLiteral("http://127.0.0.1:%1/tui/status").arg(QString::fromUtf8(read("tui-port")))));
    request.setRawHeader("Authorization", "Bearer " + read("tui-token"));
    Measurement measurement;
    QTimer schedule;
    schedule.setSingleShot(true);
    const auto sample = [&] {
        QNetworkReply *reply = network.get(request);
        QObject::connect(reply, &QNetworkReply::finished, reply, [&, reply] {
            tallowmere::AgentRuntimeStatus::fromJson(reply->readAll());
            ++measurement.samples;
            reply->deleteLater();
            schedule.start(2000);
        });
    };
    QObject::connect(&schedule, &QTimer::timeout, &network, sample);
    const double start = cpuMilliseconds();
    sample();
    runFor(seconds, "raw loop", [&measurement] { return measurement.samples; });
    measurement.cpu = cpuMilliseconds() - start;
    return measurement;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("How long each loop runs."),
                                           QStringLiteral("seconds"), QStringLiteral("60"));
    options.addOption(secondsOption);
    options.process(app);
    const int seconds = std::max(4, options.value(secondsOption).toInt());

    // The fake agent of the simulated Mac, serving its status endpoint on loopback.
    QTemporaryDir home;
    const QString sim = QStringLiteral(TALLOWMERE_SOURCE_DIR "/sim");
    const QString profile = home.path() + QStringLiteral("/.tallowmere/profiles/default");
    QDir().mkpath(profile);
    QFile config(profile + QStringLiteral("/config.json"));
    config.open(QIODevice::WriteOnly);
    config.write("{}");
    config.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("TALLOWMERE_SIM_STATE"), home.path() + QStringLiteral("/sim-state"));
    QProcess::execute(QStringLiteral("env"),
                      {QStringLiteral("TALLOWMERE_SIM_STATE=") + home.path() + QStringLiteral("/sim-state"),
                       sim + QStringLiteral("/simctl"), QStringLiteral("init")});
    QProcess agent;
    agent.setProcessEnvironment(environment);
    agent.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    agent.setStandardOutputFile(QProcess::nullDevice());
    agent.start(QStringLiteral("node"),
                {sim + QStringLiteral("/agent/dist-agent/bundle.cjs"), QStringLiteral("daemon"),
                 QStringLiteral("run"), QStringLiteral("--profile"), QStringLiteral("default")});
    QElapsedTimer waited;
    waited.start();
    while (!QFile::exists(profile + QStringLiteral("/tui-token")) && waited.elapsed() < 20000)
        QThread::msleep(50);
    if (!QFile::exists(profile + QStringLiteral("/tui-token"))) {
        std::fprintf(stderr, "the fake agent did not start\n");
        return 1;
    }

    std::printf("measuring each loop for %d s\n", seconds);
    std::fflush(stdout);
    const Measurement model = measureModel(profile, seconds);
    std::printf("model:    %llu samples, %.3f ms CPU per sample\n",
                static_cast<unsigned long long>(model.samples), model.perSample());
    const Measurement raw = measureRaw(profile, seconds);
    std::printf("raw loop: %llu samples, %.3f ms CPU per sample\n",
                static_cast<unsigned long long>(raw.samples), raw.perSample());
    agent.terminate();
    agent.waitForFinished(5000);
    std::printf("monitoring-vs-raw: %.2f\n", model.perSample() / raw.perSample());
    return 0;
}
