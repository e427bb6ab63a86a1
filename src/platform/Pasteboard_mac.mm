#include "platform/Pasteboard.h"

#import <AppKit/AppKit.h>

namespace platform {

bool copyPlainText(const QString &text)
{
    NSPasteboard *pasteboard = [NSPasteboard generalPasteboard];
    [pasteboard clearContents];
    return [pasteboard setString:text.toNSString() forType:NSPasteboardTypeString];
}

} // namespace platform
