#include "platform/Workspace.h"

#include "platform/SimulatedMac.h"

#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcWorkspace, "tallowmere.platform")

namespace platform {

bool openUrl(const QUrl &url)
{
    // Inside the simulated Mac its "open" answers for the system (System Settings panes included);
    // elsewhere the desktop's opener does, if there is one.
    QString opener;
    if (const auto simulated = simulatedMacDirectory())
        opener = *simulated + QStringLiteral("/bin/open");
    else
        opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    const bool started =
        !opener.isEmpty() && QProcess::startDetached(opener, {url.toString(QUrl::FullyEncoded)});
    qCInfo(lcWorkspace) << (started ? "opening" : "nothing can open") << url.toString();
    return started;
}

} // namespace platform
