#pragma once

#include <QDateTime>
#include <QObject>
#include <QVariant>

#include <cstdint>
#include <optional>

namespace tallowmere {

// The agent's status as the views show it, derived from the latest status sample.
struct StatusSnapshot {
    Q_GADGET
    Q_PROPERTY(QVariant currentTask READ currentTaskVariant)
    Q_PROPERTY(bool isWorking MEMBER isWorking)
    Q_PROPERTY(bool bridgeConnected MEMBER bridgeConnected)
    Q_PROPERTY(bool handshakeComplete MEMBER handshakeComplete)
    Q_PROPERTY(bool cloudConnected MEMBER cloudConnected)
    Q_PROPERTY(QVariant agentVersion READ agentVersionVariant)
    Q_PROPERTY(QVariant processID READ processIDVariant)
    Q_PROPERTY(qint64 queueSize MEMBER queueSize)
public:
    std::optional<QString> currentTask;
    bool isWorking = false;
    bool bridgeConnected = false;
    bool handshakeComplete = false;
    std::optional<QDateTime> bridgeHeartbeatAt;
    bool cloudConnected = false;
    std::optional<QDateTime> cloudHeartbeatAt;
    std::optional<QString> agentVersion;
    std::optional<QString> lastErrorCode;
    std::optional<qint64> processID;
    qint64 queueSize = 0;
    std::uint64_t statusSequence = 0;

    static StatusSnapshot empty() { return {}; }

    QVariant currentTaskVariant() const { return currentTask ? QVariant(*currentTask) : QVariant(); }
    QVariant agentVersionVariant() const { return agentVersion ? QVariant(*agentVersion) : QVariant(); }
    QVariant processIDVariant() const { return processID ? QVariant(*processID) : QVariant(); }
    // Not inlined: g++ 12, inlining the comparison of an optional member after reset(), takes the
    // emptied member's storage for read and warns (-Wmaybe-uninitialized, a false positive).
    [[gnu::noinline]] bool operator==(const StatusSnapshot &) const = default;
};

} // namespace tallowmere
