#pragma once

#include <QUrl>

namespace platform {

// Opens a URL with the system: a web page in the default browser, a folder in the file browser, a
// System Settings pane. Returns whether the system took the request; never waits for it.
bool openUrl(const QUrl &url);

} // namespace platform
