#include "platform/Pasteboard.h"

namespace platform {

namespace {

std::function<bool(const QString &)> &clipboardWriter()
{
    static std::function<bool(const QString &)> writer;
    return writer;
}

} // namespace

void setClipboardWriter(std::function<bool(const QString &)> writer)
{
    clipboardWriter() = std::move(writer);
}

bool copyPlainText(const QString &text)
{
    return clipboardWriter() && clipboardWriter()(text);
}

} // namespace platform
