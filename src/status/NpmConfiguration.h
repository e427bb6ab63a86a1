#pragma once

#include <QCoro/QCoroTask>
#include <QString>

#include <chrono>
#include <optional>

namespace tallowmere::npm {

// How long the runtime's npm may take to report its default registry.
inline constexpr std::chrono::milliseconds defaultRegistryLimit{10000};

// The registry the agent's package manager is configured with, in npm's order of precedence: the
// npm_config_registry variable, the `registry` setting of the private runtime's npmrc, then of the
// user's ~/.npmrc, and last what the runtime's npm reports as its default (asked once per process,
// on a thread of its own). None when nothing names one. The text is returned as written.
QCoro::Task<std::optional<QString>> configuredRegistry();

// A top-level setting of an npmrc text (the last one wins; ${NAME} takes the variable's value).
std::optional<QString> setting(const QString &npmrc, QStringView key);

} // namespace tallowmere::npm
