#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

namespace tallowmere {

// A workspace account announced by the setup command: the sign-in data and the provider's
// authorisation page the user must visit.
struct JITWorkspaceAuthorization {
    Q_GADGET
    Q_PROPERTY(QString provider MEMBER provider CONSTANT)
    Q_PROPERTY(QString email MEMBER email CONSTANT)
    Q_PROPERTY(QString password MEMBER password CONSTANT)
    Q_PROPERTY(QUrl authURL MEMBER authURL CONSTANT)
public:
    QString provider; // "google" or "zoho"
    QString email;
    QString password;
    QUrl authURL;
    bool operator==(const JITWorkspaceAuthorization &) const = default;
};

} // namespace tallowmere
