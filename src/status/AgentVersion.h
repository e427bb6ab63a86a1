#pragma once

#include <QString>

#include <optional>

namespace tallowmere {

// The agent's version syntax and order: one to three signed 64-bit numbers (missing ones are 0), an
// optional "-" prerelease of dot-separated identifiers, and "+" build metadata that is ignored.
class AgentVersion {
public:
    AgentVersion() = delete;

    // The trimmed text when it is an acceptable version (1 to 64 bytes of letters, marks, numbers,
    // ".", "-" and "+" that parse), else none.
    static std::optional<QString> sanitized(const std::optional<QString> &text);
    // Whether `candidate` ranks strictly above `current`; false when either does not parse.
    static bool isNewer(const QString &candidate, const QString &current);

private:
    struct Parsed;
    static std::optional<Parsed> parse(QStringView text);
};

} // namespace tallowmere
