#include "app/TaskLauncher.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcTasks, "tallowmere.app")

namespace tallowmere {

namespace {

QCoro::Task<> guarded(QCoro::Task<> task, const char *what)
{
    try {
        co_await std::move(task);
    } catch (const std::exception &error) {
        qCWarning(lcTasks) << what << "ended with an error:" << error.what();
    } catch (...) {
        qCWarning(lcTasks) << what << "ended with an unknown error";
    }
}

} // namespace

QCoro::Task<> launch(QCoro::Task<> task, const char *what)
{
    return guarded(std::move(task), what);
}

} // namespace tallowmere
