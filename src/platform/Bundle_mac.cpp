#include "platform/Bundle.h"

#include <CoreFoundation/CoreFoundation.h>

namespace platform {

std::optional<QString> bundleShortVersion()
{
    CFBundleRef bundle = CFBundleGetMainBundle();
    if (!bundle)
        return std::nullopt;
    CFTypeRef value = CFBundleGetValueForInfoDictionaryKey(bundle, CFSTR("CFBundleShortVersionString"));
    if (!value || CFGetTypeID(value) != CFStringGetTypeID())
        return std::nullopt;
    return QString::fromCFString(static_cast<CFStringRef>(value));
}

std::optional<QString> bundleResourcePath(const QString &name, const QString &extension)
{
    CFBundleRef bundle = CFBundleGetMainBundle();
    if (!bundle)
        return std::nullopt;
    CFStringRef cfName = name.toCFString();
    CFStringRef cfExtension = extension.toCFString();
    CFURLRef url = CFBundleCopyResourceURL(bundle, cfName, cfExtension, nullptr);
    CFRelease(cfName);
    CFRelease(cfExtension);
    if (!url)
        return std::nullopt;
    std::optional<QString> path;
    if (CFStringRef cfPath = CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle)) {
        path = QString::fromCFString(cfPath);
        CFRelease(cfPath);
    }
    CFRelease(url);
    return path;
}

} // namespace platform
