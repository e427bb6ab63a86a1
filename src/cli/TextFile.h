#pragma once

#include <QString>

namespace tallowmere {

// The whole file as UTF-8 text. A file that cannot be read, or is not valid UTF-8, fails with FileError.
QString readTextFile(const QString &path);

} // namespace tallowmere
