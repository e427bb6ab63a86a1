#pragma once

namespace platform {

// The user's accessibility display settings that the screens follow.
bool reduceMotion();
bool reduceTransparency();

} // namespace platform
