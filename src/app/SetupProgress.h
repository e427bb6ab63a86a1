#pragma once

#include "app/ModelEnums.h"

namespace tallowmere {

// One row of the install progress list.
struct SetupProgressItem {
    Q_GADGET
    Q_PROPERTY(tallowmere::SetupPhase phase MEMBER phase CONSTANT)
    Q_PROPERTY(tallowmere::ProgressState state MEMBER state)
    Q_PROPERTY(QString title READ title CONSTANT)
public:
    SetupPhase phase = SetupPhase::runtime;
    ProgressState state = ProgressState::pending;

    QString title() const { return tallowmere::title(phase); }
    bool operator==(const SetupProgressItem &) const = default;
};

// The package download counter shown while the runtime is prepared.
struct PackageInstallProgress {
    Q_GADGET
    Q_PROPERTY(int completed MEMBER completed)
    Q_PROPERTY(int total MEMBER total)
    Q_PROPERTY(int percentage READ percentage)
public:
    int completed = 0;
    int total = 0;

    // Whole percent, rounded to nearest; 0 without a total, never above 100.
    int percentage() const;
    bool operator==(const PackageInstallProgress &) const = default;
};

} // namespace tallowmere
