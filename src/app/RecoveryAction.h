#pragma once

#include "app/ModelEnums.h"

#include <QVariant>

namespace tallowmere {

// What the error panel offers to do about a failure.
struct RecoveryAction {
    Q_GADGET
    Q_PROPERTY(Case action MEMBER action)
    Q_PROPERTY(QVariant permission READ permissionVariant)
    Q_PROPERTY(QString title READ titleText)
public:
    enum class Case {
        openSystemSettings, // with an optional permission kind
        none,
        enterInstallCode,
        retryInstall,
        restartAgent,
        openLogs,
        checkForUpdates,
        recheckPermissions,
    };
    Q_ENUM(Case)

    Case action = Case::none;
    std::optional<PermissionKind> permission; // only for openSystemSettings

    static RecoveryAction openSystemSettings(std::optional<PermissionKind> kind = std::nullopt)
    {
        return {Case::openSystemSettings, kind};
    }
    static RecoveryAction of(Case action) { return {action, std::nullopt}; }

    // The button title; none for `none`.
    std::optional<QString> title() const;
    QString titleText() const { return title().value_or(QString()); }
    QVariant permissionVariant() const { return permission ? QVariant::fromValue(*permission) : QVariant(); }
    bool operator==(const RecoveryAction &) const = default;
};

} // namespace tallowmere
