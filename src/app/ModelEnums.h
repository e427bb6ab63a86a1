#pragma once

#include <QMetaEnum>
#include <QObject>
#include <QString>

#include <optional>
#include <vector>

// The application model's enumerations. Case names are the raw values stored on disk and exchanged
// with the agent's tools, so they are spelled exactly as the product names them.
namespace tallowmere {
Q_NAMESPACE
// Cases of different enumerations share names ("permissions", "online"): QML reaches them only
// through their enumeration (Model.InstallStage.permissions).
Q_CLASSINFO("RegisterEnumClassesUnscoped", "false")

enum class PermissionKind { screenRecording, accessibility, automation, fullDiskAccess };
Q_ENUM_NS(PermissionKind)

enum class InstallStage { runtime, permissions, setup, daemon, channel, handshake };
Q_ENUM_NS(InstallStage)

enum class SetupPhase {
    runtime,
    preflight,
    permissions,
    redeem,
    configure,
    verify,
    starting,
    channel,
    handshake,
    online
};
Q_ENUM_NS(SetupPhase)

enum class ProgressState { pending, running, complete, failed };
Q_ENUM_NS(ProgressState)

enum class PermissionNativeState { unknown, notGranted, granted, manuallyConfirmed };
Q_ENUM_NS(PermissionNativeState)

enum class OverallState { notInstalled, starting, waitingSetup, online, error };
Q_ENUM_NS(OverallState)

enum class RootPage { setup, dashboard };
Q_ENUM_NS(RootPage)

enum class LoginItemState { unavailable };
Q_ENUM_NS(LoginItemState)

enum class ChromeState { trusted };
Q_ENUM_NS(ChromeState)

// The raw value of a case: its name.
template <typename E> QString rawValue(E value)
{
    return QString::fromLatin1(QMetaEnum::fromType<E>().valueToKey(int(value)));
}

// The case whose raw value is exactly `text` (case-sensitive), if any.
template <typename E> std::optional<E> fromRawValue(QStringView text)
{
    const QMetaEnum meta = QMetaEnum::fromType<E>();
    for (int i = 0; i < meta.keyCount(); ++i) {
        if (text == QLatin1String(meta.key(i)))
            return E(meta.value(i));
    }
    return std::nullopt;
}

// Every case, in declaration order.
template <typename E> std::vector<E> allCases()
{
    const QMetaEnum meta = QMetaEnum::fromType<E>();
    std::vector<E> cases;
    cases.reserve(meta.keyCount());
    for (int i = 0; i < meta.keyCount(); ++i)
        cases.push_back(E(meta.value(i)));
    return cases;
}

QString title(SetupPhase phase);

} // namespace tallowmere
