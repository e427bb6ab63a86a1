#pragma once

#include <QCoro/QCoroTask>

namespace tallowmere {

// Starts work that nobody awaits (a loop, a control's action). An exception that escapes it is logged
// instead of being lost. The returned handle may be kept or dropped; dropping it stops nothing.
QCoro::Task<> launch(QCoro::Task<> task, const char *what);

} // namespace tallowmere
