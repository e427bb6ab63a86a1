#pragma once

#include "app/ModelEnums.h"

#include <QString>
#include <QUrl>

#include <optional>

namespace tallowmere {

// How the application speaks of each privacy permission, and where System Settings grants it.
struct PermissionVocabulary {
    QString title;
    QString purpose;
    QString symbol;         // the SF Symbol the screens show
    QString settingsAnchor; // the privacy pane's anchor
};

const PermissionVocabulary &vocabulary(PermissionKind kind);

// The System Settings privacy pane of a kind (without one: the Accessibility pane).
QUrl settingsPaneUrl(std::optional<PermissionKind> kind);

} // namespace tallowmere
