#pragma once

#include "app/ModelEnums.h"

namespace tallowmere {

// The field the window should focus: a permission row, the setup-code field or the recovery button.
struct FocusTarget {
    Q_GADGET
    Q_PROPERTY(Case target MEMBER target)
    Q_PROPERTY(QVariant permission READ permissionVariant)
public:
    enum class Case { permission, setupCode, recovery };
    Q_ENUM(Case)

    Case target = Case::setupCode;
    std::optional<PermissionKind> permission; // only for Case::permission

    static FocusTarget forPermission(PermissionKind kind) { return {Case::permission, kind}; }
    static FocusTarget setupCode() { return {Case::setupCode, std::nullopt}; }
    static FocusTarget recovery() { return {Case::recovery, std::nullopt}; }

    QVariant permissionVariant() const { return permission ? QVariant::fromValue(*permission) : QVariant(); }
    bool operator==(const FocusTarget &) const = default;
};

} // namespace tallowmere
