#pragma once

#include "app/ModelEnums.h"

namespace tallowmere {

struct PermissionRule {
    Q_GADGET
    Q_PROPERTY(tallowmere::PermissionKind kind MEMBER kind CONSTANT)
public:
    PermissionKind kind = PermissionKind::screenRecording;
    bool operator==(const PermissionRule &) const = default;
};

// The state of one privacy permission. Identity is the rule's kind.
struct PermissionItem {
    Q_GADGET
    Q_PROPERTY(tallowmere::PermissionRule rule MEMBER rule CONSTANT)
    Q_PROPERTY(tallowmere::PermissionNativeState nativeState MEMBER nativeState)
    Q_PROPERTY(bool verified MEMBER verified)
public:
    PermissionRule rule;
    PermissionNativeState nativeState = PermissionNativeState::unknown;
    bool verified = false;

    PermissionKind kind() const { return rule.kind; }
    bool operator==(const PermissionItem &) const = default;
};

} // namespace tallowmere
