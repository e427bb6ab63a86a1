#pragma once

#include "platform/Home.h"
#include "support/TestSupport.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>

namespace testing {

// A fresh world of the simulated Mac for one test: a home, and a state file beside it (outside the home,
// as the browser and the services keep their own notes there). This process is pointed at it, so a model
// built with no arguments lives in it. Everything the world started ends with it.
class SimulatedWorld {
public:
    explicit SimulatedWorld(const QStringList &settings = {})
    {
        QDir().mkpath(home());
        qputenv("TALLOWMERE_SIM_DIR", sourcePath(QStringLiteral("sim")).toUtf8());
        qputenv("TALLOWMERE_SIM_STATE", state().toUtf8());
        platform::setHomeDirectoryOverride(home());
        simctl(QStringList{QStringLiteral("init")} + settings);
    }

    ~SimulatedWorld()
    {
        simctl({QStringLiteral("shutdown")});
        platform::setHomeDirectoryOverride({});
        qunsetenv("TALLOWMERE_SIM_STATE");
        qunsetenv("TALLOWMERE_SIM_DIR");
    }

    QString home() const { return m_dir.path() + QStringLiteral("/home"); }
    QString state() const { return m_dir.path() + QStringLiteral("/sim-state"); }
    QString profile() const { return home() + QStringLiteral("/.tallowmere/profiles/default"); }

    QString simctl(const QStringList &arguments) const
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home());
        process.setProcessEnvironment(environment);
        process.start(sourcePath(QStringLiteral("sim/simctl")), arguments);
        process.waitForFinished(30000);
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            qFatal("simctl %s failed: %s", qPrintable(arguments.join(u' ')),
                   process.readAllStandardError().constData());
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }
    void set(const QString &key, const QString &value) const { simctl({QStringLiteral("set"), key, value}); }

    // Where any of the secrets appears in a file of the home (but `allowed`, relative to it). Empty when
    // nothing leaked.
    QStringList leaks(const QStringList &secrets, const QStringList &allowed = {}) const
    {
        QStringList found;
        for (QDirIterator it(home(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
             it.hasNext();) {
            const QString path = it.next();
            const QString relative = path.mid(home().size() + 1);
            if (allowed.contains(relative))
                continue;
            QFile file(path);
            const QByteArray content = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            for (const QString &secret : secrets) {
                if (content.contains(secret.toUtf8()))
                    found << secret + QStringLiteral(" in ") + relative;
            }
        }
        return found;
    }

private:
    QTemporaryDir m_dir;
};

} // namespace testing
