#pragma once

#include <QDateTime>
#include <QObject>
#include <QUuid>

namespace tallowmere {

// One line of the activity feed.
struct ActivityEvent {
    Q_GADGET
    Q_PROPERTY(QUuid id MEMBER id CONSTANT)
    Q_PROPERTY(QDateTime occurredAt MEMBER occurredAt CONSTANT)
    Q_PROPERTY(Source source MEMBER source CONSTANT)
    Q_PROPERTY(QString sourceName READ sourceName CONSTANT)
    Q_PROPERTY(QString summary MEMBER summary CONSTANT)
public:
    enum class Source { agent, system };
    Q_ENUM(Source)

    QUuid id;
    QDateTime occurredAt;
    Source source = Source::agent;
    QString summary;

    // The source's display name ("Tallowmere" or "系统").
    static QString rawValue(Source source)
    {
        return source == Source::agent ? QStringLiteral("Tallowmere") : QStringLiteral("系统");
    }
    QString sourceName() const { return rawValue(source); }
    bool operator==(const ActivityEvent &) const = default;
};

} // namespace tallowmere
