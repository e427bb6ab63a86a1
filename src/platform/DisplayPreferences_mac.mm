#include "platform/DisplayPreferences.h"

#import <AppKit/AppKit.h>

namespace platform {

bool reduceMotion()
{
    return NSWorkspace.sharedWorkspace.accessibilityDisplayShouldReduceMotion;
}

bool reduceTransparency()
{
    return NSWorkspace.sharedWorkspace.accessibilityDisplayShouldReduceTransparency;
}

} // namespace platform
