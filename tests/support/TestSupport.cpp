#include "support/TestSupport.h"

#include "cli/AgentPackage.h"
#include "platform/Home.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <map>

#include <sys/stat.h>

namespace testing {

namespace {
std::map<std::string, TestFactory> &registry() {
    static std::map<std::string, TestFactory> tests;
    return tests;
}
} // namespace

int registerTest(const char *name, TestFactory factory) {
    registry().emplace(name, std::move(factory));
    return 0;
}

int runRegisteredTests(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    // Options after "--" go to Qt Test; a leading plain word picks one test class.
    QStringList arguments = app.arguments();
    QString only;
    if (arguments.size() > 1 && !arguments.at(1).startsWith(QLatin1Char('-')))
        only = arguments.takeAt(1);
    int failures = 0;
    for (const auto &[name, factory] : registry()) {
        if (!only.isEmpty() && only != QLatin1String(name.c_str()))
            continue;
        std::unique_ptr<QObject> test = factory();
        failures += QTest::qExec(test.get(), arguments);
    }
    return failures == 0 ? 0 : 1;
}

ScratchHome::ScratchHome() {
    platform::setHomeDirectoryOverride(m_dir.path());
}

ScratchHome::~ScratchHome() {
    platform::setHomeDirectoryOverride({});
}

QString ScratchHome::profileDirectory() const {
    const QString path = tallowmere::agent::defaultProfileDirectory();
    QDir().mkpath(path);
    return path;
}

void writeFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int posixMode(const QString &path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

QString sourcePath(const QString &relative) {
    return qEnvironmentVariable("TALLOWMERE_SOURCE_DIR", QStringLiteral(".")) + QLatin1Char('/') + relative;
}

bool spinUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.hasExpired(timeout.count()))
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

} // namespace testing
