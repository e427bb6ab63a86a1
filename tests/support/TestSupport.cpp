#include "support/TestSupport.h"

#include "cli/AgentPackage.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <map>
#include <optional>

#include <sys/stat.h>

namespace testing {

namespace {
std::map<std::string, TestFactory> &registry()
{
    static std::map<std::string, TestFactory> tests;
    return tests;
}
} // namespace

int registerTest(const char *name, TestFactory factory)
{
    registry().emplace(name, std::move(factory));
    return 0;
}

int runRegisteredTests(int argc, char *argv[])
{
    std::optional<QCoreApplication> app;
    if (!QCoreApplication::instance())
        app.emplace(argc, argv);
    // A leading test class name picks that class; everything else goes to Qt Test.
    QStringList arguments = QCoreApplication::arguments();
    const QString only = arguments.size() > 1 && registry().count(arguments.at(1).toStdString())
                             ? arguments.takeAt(1)
                             : QString();
    int failures = 0;
    for (const auto &[name, factory] : registry()) {
        if (only.isEmpty() || only == QLatin1String(name.c_str()))
            failures += QTest::qExec(factory().get(), arguments);
    }
    return failures == 0 ? 0 : 1;
}

QString ScratchHome::profileDirectory() const
{
    const QString path = tallowmere::agent::defaultProfileDirectory();
    QDir().mkpath(path);
    return path;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int posixMode(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

QString sourcePath(const QString &relative)
{
    return qEnvironmentVariable("TALLOWMERE_SOURCE_DIR", QStringLiteral(".")) + QLatin1Char('/') + relative;
}

bool spinUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout)
{
    if (done())
        return true;
    // Sleeps in the event loop between checks rather than spinning.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    poll.start(2);
    loop.exec();
    return done();
}

} // namespace testing
