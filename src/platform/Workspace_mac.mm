#include "platform/Workspace.h"

#import <AppKit/AppKit.h>

namespace platform {

bool openUrl(const QUrl &url)
{
    NSURL *target = url.toNSURL();
    return target && [[NSWorkspace sharedWorkspace] openURL:target];
}

} // namespace platform
