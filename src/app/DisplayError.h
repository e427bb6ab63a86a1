#pragma once

#include "app/RecoveryAction.h"

namespace tallowmere {

// The one failure shown to the user: what happened, what it means, and what to do about it.
struct DisplayError {
    Q_GADGET
    Q_PROPERTY(QString code MEMBER code CONSTANT)
    Q_PROPERTY(QString message MEMBER message CONSTANT)
    Q_PROPERTY(QString impact MEMBER impact CONSTANT)
    Q_PROPERTY(tallowmere::RecoveryAction recovery MEMBER recovery CONSTANT)
public:
    QString code;
    QString message;
    QString impact;
    RecoveryAction recovery;

    // Classifies a failure code (and the message that came with it, if any) into what the user sees.
    static DisplayError from(const QString &code, const std::optional<QString> &message);
    bool operator==(const DisplayError &) const = default;
};

} // namespace tallowmere
