// Keychain services of the Security framework, with the item attributes the application has always
// used, so that items written by earlier versions are found.
#include "platform/SecretStore.h"

#include <Security/Security.h>

#include <memory>
#include <type_traits>

namespace platform {

namespace {

struct Release {
    void operator()(CFTypeRef object) const { CFRelease(object); }
};
template <typename Ref> using Owned = std::unique_ptr<std::remove_pointer_t<Ref>, Release>;

// A generic-password query for one item, to which each call adds its own attributes.
Owned<CFMutableDictionaryRef> itemQuery(const QString &service, const QString &account)
{
    Owned<CFMutableDictionaryRef> query(CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    const Owned<CFStringRef> serviceText(service.toCFString());
    const Owned<CFStringRef> accountText(account.toCFString());
    CFDictionarySetValue(query.get(), kSecClass, kSecClassGenericPassword);
    CFDictionarySetValue(query.get(), kSecAttrService, serviceText.get());
    CFDictionarySetValue(query.get(), kSecAttrAccount, accountText.get());
    return query;
}

} // namespace

std::optional<QByteArray> readSecret(const QString &service, const QString &account)
{
    const Owned<CFMutableDictionaryRef> query = itemQuery(service, account);
    CFDictionarySetValue(query.get(), kSecReturnData, kCFBooleanTrue);
    CFDictionarySetValue(query.get(), kSecMatchLimit, kSecMatchLimitOne);
    CFTypeRef result = nullptr;
    const OSStatus status = SecItemCopyMatching(query.get(), &result);
    const Owned<CFTypeRef> owned(result);
    if (status != errSecSuccess || !result || CFGetTypeID(result) != CFDataGetTypeID())
        return std::nullopt;
    return QByteArray::fromCFData(static_cast<CFDataRef>(result));
}

void deleteSecret(const QString &service, const QString &account)
{
    SecItemDelete(itemQuery(service, account).get());
}

void addSecret(const QString &service, const QString &account, const QByteArray &data)
{
    const Owned<CFMutableDictionaryRef> item = itemQuery(service, account);
    const Owned<CFDataRef> bytes(data.toCFData());
    CFDictionarySetValue(item.get(), kSecAttrAccessible, kSecAttrAccessibleAfterFirstUnlockThisDeviceOnly);
    CFDictionarySetValue(item.get(), kSecValueData, bytes.get());
    SecItemAdd(item.get(), nullptr);
}

} // namespace platform
