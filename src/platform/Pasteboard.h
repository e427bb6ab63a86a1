#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

namespace platform {

// Replaces what the general pasteboard holds with plain text. Returns whether the text was written.
bool copyPlainText(const QString &text);

#ifndef Q_OS_MACOS
// Elsewhere the clipboard belongs to the GUI application object, which sits above this layer: the
// application hands in its writer when it starts. Without one (a command-line run, a test of the core),
// nothing is copied and copying reports failure.
void setClipboardWriter(std::function<bool(const QString &)> writer);
#endif

} // namespace platform
