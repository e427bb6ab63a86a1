#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <functional>
#include <optional>

namespace tallowmere {

// How a child process ended: its termination status and the last output line that looked like an
// error (already redacted, at most 240 characters).
struct CLIResult {
    std::int32_t status = 0;
    std::optional<QString> lastErrorLine;
    bool operator==(const CLIResult &) const = default;
};

// Receives one redacted output line of a child process, on the main thread. The view is valid during
// the call only: a handler that keeps the line copies it.
using OutputHandler = std::function<void(QStringView line)>;

} // namespace tallowmere
