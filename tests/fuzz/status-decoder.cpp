// The status decoder on any body fails only with DecodingError, always alike. What it accepts is what the
// body says, in the documented types and ranges (an instant that gives back the date's fields at its offset);
// written out again it decodes as itself, and fails without a required member or with one of a wrong type.
#include "FuzzInput.h"

#include "cli/Errors.h"
#include "status/AgentRuntimeStatus.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

using namespace fuzzing;
using namespace tallowmere;
using namespace Qt::StringLiterals;

namespace {

std::optional<AgentRuntimeStatus> decode(const QByteArray &body)
{
    try {
        return AgentRuntimeStatus::fromJson(body);
    } catch (const DecodingError &) {
        return std::nullopt;
    }
}

QByteArray json(const QJsonObject &o, QJsonDocument::JsonFormat f = QJsonDocument::Compact) { return QJsonDocument(o).toJson(f); }

QJsonObject written(const AgentRuntimeStatus &status)
{
    QJsonObject object{{u"sampledAt"_s, status.sampledAt.toString(Qt::ISODateWithMs)},
                       {u"lifecycle"_s, status.lifecycle}, {u"ready"_s, status.ready}, {u"version"_s, status.version},
                       {u"busy"_s, status.busy}, {u"queueSize"_s, status.queueSize}, {u"pid"_s, status.pid}};
    if (status.compacting)
        object.insert(u"compacting"_s, *status.compacting);
    if (status.codingSession)
        object.insert(u"codingSession"_s, QJsonObject{{u"status"_s, status.codingSession->status},
                                                      {u"taskSummary"_s, status.codingSession->taskSummary}});
    return object;
}

// The instant, shown at the offset its text was written with, gives back the text's fields.
void checkDate(const QString &text, const QDateTime &instant)
{
    static const QRegularExpression shape(
        u"^(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d)(?:\\.(\\d+))?(?:Z|([+-])(\\d\\d):(\\d\\d))\\z"_s);
    const QRegularExpressionMatch match = shape.match(text);
    require(match.hasMatch(), "sampledAt is an internet date-time", text);
    const int hours = match.captured(4).toInt(), minutes = match.captured(5).toInt();
    require(hours <= 23 && minutes <= 59, "the offset is at most 23:59", text);
    require(instant.isValid() && instant.timeSpec() == Qt::UTC, "sampledAt is a UTC instant", text);
    const int offset = (hours * 60 + minutes) * 60 * (match.captured(3) == u"-" ? -1 : 1);
    require(instant.toOffsetFromUtc(offset).toString(u"yyyy-MM-ddTHH:mm:ss.zzz"_s) ==
                match.captured(1) + u'.' + (match.captured(2) + u"000"_s).left(3),
            "sampledAt is the instant the date names, to the millisecond", text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString shown = QString::fromUtf8(body);
    const std::optional<AgentRuntimeStatus> status = decode(body);
    require(decode(body) == status, "decoding is deterministic", shown);
    if (!status)
        return 0;

    const QJsonObject object = QJsonDocument::fromJson(body).object(), again = written(*status);
    for (const QString &key : {u"lifecycle"_s, u"ready"_s, u"version"_s, u"busy"_s, u"compacting"_s}) {
        const QJsonValue value = object.value(key);
        require(again.value(key) == (value.isNull() ? QJsonValue(QJsonValue::Undefined) : value),
                "texts and truth values are as written, of their types; compacting may be missing or null", key);
    }
    const QJsonValue session = object.value(u"codingSession"_s);
    require(session.isObject() ? again.value(u"codingSession"_s).toObject() ==
                                     QJsonObject{{u"status"_s, session[u"status"_s]},
                                                 {u"taskSummary"_s, session[u"taskSummary"_s]}}
                               : !again.contains(u"codingSession"_s) && (session.isNull() || session.isUndefined()),
            "codingSession is the object's texts, or missing when missing or null", shown);
    for (const QString &key : {u"queueSize"_s, u"pid"_s})
        require(object.value(key).isDouble() && again.value(key).toDouble() == object.value(key).toDouble(),
                "queueSize and pid are the numbers written", key);
    checkDate(object.value(u"sampledAt"_s).toString(), status->sampledAt);

    if (status->sampledAt.date().year() < 1 || status->sampledAt.date().year() > 9999)
        return 0; // no four-digit year to write it with
    require(decode(json(again)) == status && decode(json(again, QJsonDocument::Indented)) == status,
            "a decoded status written out decodes as itself", QString::fromUtf8(json(again)));
    for (const QString &key : {u"sampledAt"_s, u"lifecycle"_s, u"ready"_s, u"version"_s, u"busy"_s, u"queueSize"_s,
                              u"pid"_s}) {
        QJsonObject broken = again;
        broken.remove(key);
        require(!decode(json(broken)), "a status without a required member fails", key);
        broken.insert(key, QJsonArray());
        require(!decode(json(broken)), "a required member of the wrong type fails", key);
    }
    return 0;
}
