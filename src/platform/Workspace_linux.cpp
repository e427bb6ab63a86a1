#include "platform/Workspace.h"

#include "platform/SimulatedMac.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcWorkspace, "tallowmere.platform")

namespace platform {

namespace {

// The simulated Mac's "open" takes the URL on its standard input: a link may carry an access token,
// which has no place on an argument vector.
bool openInSimulatedMac(const QString &opener, const QUrl &url)
{
    // Owned by the application as well, so that one still running when the application ends is ended
    // with it rather than leaked.
    auto *process = new QProcess(QCoreApplication::instance());
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    process->start(opener, {});
    if (!process->waitForStarted()) {
        delete process;
        return false;
    }
    process->write(url.toEncoded() + '\n');
    process->closeWriteChannel();
    return true;
}

} // namespace

bool openUrl(const QUrl &url)
{
    // Inside the simulated Mac its "open" answers for the system (System Settings panes included);
    // elsewhere the desktop's opener does, if there is one.
    bool started = false;
    if (const auto simulated = simulatedMacDirectory()) {
        started = openInSimulatedMac(*simulated + QStringLiteral("/bin/open"), url);
    } else {
        const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
        started = !opener.isEmpty() && QProcess::startDetached(opener, {url.toString(QUrl::FullyEncoded)});
    }
    // A link's query and fragment may hold its access token: they stay out of the log.
    const QUrl shown = url.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment);
    qCInfo(lcWorkspace) << (started ? "opening" : "nothing can open") << shown.toString();
    return started;
}

} // namespace platform
