#include "platform/DisplayPreferences.h"

namespace platform {

// The Linux desktops keep these settings where Qt 6.4 does not read them: full motion and
// transparency, as on a Mac with the settings off.
bool reduceMotion()
{
    return false;
}

bool reduceTransparency()
{
    return false;
}

} // namespace platform
