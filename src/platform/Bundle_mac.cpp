#include "platform/Bundle.h"

#include <CoreFoundation/CoreFoundation.h>

namespace platform {

std::optional<QString> bundleShortVersion() {
    CFBundleRef bundle = CFBundleGetMainBundle();
    if (!bundle)
        return std::nullopt;
    CFTypeRef value = CFBundleGetValueForInfoDictionaryKey(bundle, CFSTR("CFBundleShortVersionString"));
    if (!value || CFGetTypeID(value) != CFStringGetTypeID())
        return std::nullopt;
    return QString::fromCFString(static_cast<CFStringRef>(value));
}

} // namespace platform
