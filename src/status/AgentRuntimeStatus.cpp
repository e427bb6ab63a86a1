#include "status/AgentRuntimeStatus.h"

#include "cli/Errors.h"
#include "platform/JsonText.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace tallowmere {

namespace {

[[noreturn]] void fail(const QString &path, const QString &description)
{
    throw DecodingError(QStringLiteral("%1: %2").arg(path, description));
}

QJsonValue required(const QJsonObject &object, const QString &key, const QString &path)
{
    const auto it = object.constFind(key);
    if (it == object.constEnd())
        fail(path + key, QStringLiteral("key not found"));
    return it.value();
}

QString text(const QJsonValue &value, const QString &path)
{
    if (!value.isString())
        fail(path, QStringLiteral("expected a string"));
    return value.toString();
}

bool truth(const QJsonValue &value, const QString &path)
{
    if (!value.isBool())
        fail(path, QStringLiteral("expected a truth value"));
    return value.toBool();
}

// Read from the digits as written: QJsonDocument holds a number beyond 64 bits only as a rounded double.
qint64 integer(const QJsonObject &object, const QByteArray &body, const QString &key)
{
    if (!required(object, key, {}).isDouble())
        fail(key, QStringLiteral("expected an integer"));
    const std::optional<qint64> value = platform::jsonInteger(platform::jsonMemberText(body, key));
    if (!value)
        fail(key, QStringLiteral("expected an integer"));
    return *value;
}

bool isNull(const QJsonObject &object, const QString &key)
{
    const auto it = object.constFind(key);
    return it == object.constEnd() || it.value().isNull();
}

} // namespace

std::optional<QDateTime> AgentRuntimeStatus::parseDate(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})T(\\d{2}):(\\d{2}):(\\d{2})(?:\\.(\\d+))?(?:(Z)|([+-])("
                       "\\d{2}):(\\d{2}))\\z"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const auto number = [&match](int group) { return match.capturedView(group).toInt(); };
    const QDate date(number(1), number(2), number(3));
    const int milliseconds =
        match.capturedView(7).isEmpty() ? 0 : match.captured(7).append(QStringLiteral("00")).left(3).toInt();
    const QTime time(number(4), number(5), number(6), milliseconds);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    int offset = 0;
    if (match.capturedView(8).isEmpty()) {
        if (number(10) > 23 || number(11) > 59)
            return std::nullopt;
        offset = (number(10) * 60 + number(11)) * 60 * (match.capturedView(9) == u"-" ? -1 : 1);
    }
    return QDateTime(date, time, Qt::OffsetFromUTC, offset).toUTC();
}

AgentRuntimeStatus AgentRuntimeStatus::fromJson(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        throw DecodingError(QStringLiteral("not JSON: ") + error.errorString());
    if (!document.isObject())
        throw DecodingError(QStringLiteral("expected an object"));
    const QJsonObject object = document.object();

    AgentRuntimeStatus status;
    const QJsonValue sampledAt = required(object, QStringLiteral("sampledAt"), {});
    const std::optional<QDateTime> date = parseDate(text(sampledAt, QStringLiteral("sampledAt")));
    if (!date)
        fail(QStringLiteral("sampledAt"), QStringLiteral("Invalid ISO-8601 date"));
    status.sampledAt = *date;
    status.lifecycle = text(required(object, QStringLiteral("lifecycle"), {}), QStringLiteral("lifecycle"));
    status.ready = truth(required(object, QStringLiteral("ready"), {}), QStringLiteral("ready"));
    status.version = text(required(object, QStringLiteral("version"), {}), QStringLiteral("version"));
    status.busy = truth(required(object, QStringLiteral("busy"), {}), QStringLiteral("busy"));
    if (!isNull(object, QStringLiteral("compacting")))
        status.compacting = truth(object.value(QLatin1String("compacting")), QStringLiteral("compacting"));
    status.queueSize = integer(object, body, QStringLiteral("queueSize"));
    status.pid = integer(object, body, QStringLiteral("pid"));
    if (!isNull(object, QStringLiteral("codingSession"))) {
        const QJsonValue session = object.value(QLatin1String("codingSession"));
        if (!session.isObject())
            fail(QStringLiteral("codingSession"), QStringLiteral("expected an object"));
        const QJsonObject fields = session.toObject();
        const QString path = QStringLiteral("codingSession.");
        status.codingSession = CodingSession{
            text(required(fields, QStringLiteral("status"), path), path + QStringLiteral("status")),
            text(required(fields, QStringLiteral("taskSummary"), path),
                 path + QStringLiteral("taskSummary"))};
    }
    return status;
}

} // namespace tallowmere
