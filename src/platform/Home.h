#pragma once

#include <QString>

namespace platform {

// The current user's home directory. Tests point it at a scratch directory so that nothing they run
// reads or writes the real home.
QString homeDirectory();
void setHomeDirectoryOverride(const QString &path); // empty: back to the real home

} // namespace platform
