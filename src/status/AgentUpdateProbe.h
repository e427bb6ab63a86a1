#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

namespace tallowmere {

// Asks the npm registry for the agent package's newest "beta" version. Every failure (no registry,
// network, status, redirect, size, JSON, an unacceptable version) is none; nothing is thrown.
class AgentUpdateProbe {
public:
    AgentUpdateProbe() = delete;

    static constexpr char path[] = "/tallowmere/beta";
    static constexpr std::chrono::milliseconds limit{5000};
    static constexpr qsizetype bodyLimit = 512 * 1024;

    // The sanitized "beta" version, or none.
    static QCoro::Task<std::optional<QString>> fetchBetaVersion();
    // The sanitized "version" of a registry document, or none.
    static std::optional<QString> version(const QByteArray &body);
    // The beta document's address under the configured registry (npm's order of precedence), or
    // none when no registry is configured or it is not https (plain http only on loopback).
    static QCoro::Task<std::optional<QUrl>> endpoint();
    static std::optional<QUrl> endpoint(const QString &registry);
};

} // namespace tallowmere
