#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace tallowmere {

// One status sample of the running agent.
struct AgentRuntimeStatus {
    struct CodingSession {
        QString status;
        QString taskSummary;
        bool operator==(const CodingSession &) const = default;
    };

    QDateTime sampledAt;
    QString lifecycle;
    bool ready = false;
    QString version;
    bool busy = false;
    std::optional<bool> compacting;
    qint64 queueSize = 0;
    qint64 pid = 0;
    std::optional<CodingSession> codingSession;

    bool operator==(const AgentRuntimeStatus &) const = default;

    // Decodes the status endpoint's JSON body strictly: a missing key or a value of the wrong type
    // (a number for a truth value, a fraction for an integer) fails with DecodingError.
    static AgentRuntimeStatus fromJson(const QByteArray &body);
    // An ISO 8601 internet date-time, with or without fractional seconds; nothing otherwise.
    static std::optional<QDateTime> parseDate(const QString &text);
};

} // namespace tallowmere
