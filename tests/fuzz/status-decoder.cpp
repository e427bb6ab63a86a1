// The status decoder. The input either is a body as it is (decoding fails only with DecodingError, and
// what decodes survives a round trip), or drives the building of a body whose decoding the harness
// knows: members present, missing, null or of the wrong type, texts of any characters, decoys of the
// integer members nested elsewhere, dates on and off the calendar, and integers written every way
// JSON allows, up to and past 64 bits.
#include "FuzzInput.h"

#include "cli/Errors.h"
#include "status/AgentRuntimeStatus.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>

using namespace fuzzing;
using namespace tallowmere;

namespace {

std::optional<AgentRuntimeStatus> decode(const QByteArray &body)
{
    try {
        return AgentRuntimeStatus::fromJson(body);
    } catch (const DecodingError &) {
        return std::nullopt;
    }
}

// The expected meaning of a JSON number, from its digits.

struct Number {
    QByteArray text;
    bool mustDecode = false;       // an exact integer in range that a double holds exactly
    bool mustFail = false;         // not an integer, or out of range
    std::vector<qint64> values;    // what it may decode as
};

// "a" <= "b" for digit strings without leading zeros.
bool notAbove(const QByteArray &a, const QByteArray &b)
{
    return a.size() != b.size() ? a.size() < b.size() : a <= b;
}

Number number(bool negative, QByteArray integerDigits, const QByteArray &fractionDigits, int exponent,
              bool withExponent)
{
    Number n;
    n.text = (negative ? "-" : "") + integerDigits + (fractionDigits.isEmpty() ? "" : "." + fractionDigits) +
             (withExponent ? "e" + QByteArray::number(exponent) : "");
    const bool plain = fractionDigits.isEmpty() && !withExponent;
    // value = digits * 10^scale
    QByteArray digits = integerDigits + fractionDigits;
    qsizetype scale = exponent - fractionDigits.size();
    while (digits.startsWith('0'))
        digits.remove(0, 1);
    while (digits.endsWith('0')) {
        digits.chop(1);
        ++scale;
    }
    const QByteArray limit = negative ? "9223372036854775808" : "9223372036854775807";
    if (digits.isEmpty()) {
        n.mustDecode = true;
        n.values = {0};
    } else if (scale >= 0) {
        const QByteArray magnitude = scale > 40 ? QByteArray(60, '9') : digits + QByteArray(scale, '0');
        if (!notAbove(magnitude, limit)) {
            n.mustFail = true;
        } else {
            const quint64 m = magnitude.toULongLong();
            const qint64 exact = negative ? qint64(0 - m) : qint64(m);
            n.values = {exact};
            n.mustDecode = plain || notAbove(magnitude, "9007199254740992");
        }
    } else {
        // A fraction: out of range, or a value a double may round to an integer.
        const QByteArray whole = digits.size() > -scale ? digits.left(digits.size() + scale) : QByteArray("0");
        const bool outOfRange = notAbove(limit, whole); // |value| is more than its whole part
        const double rounded = std::strtod(n.text.constData(), nullptr);
        n.mustFail = outOfRange || std::trunc(rounded) != rounded;
    }
    if (!n.mustFail && !n.mustDecode) {
        const double rounded = std::strtod(n.text.constData(), nullptr);
        if (rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0)
            n.values.push_back(qint64(rounded));
    }
    return n;
}

QByteArray digitsFrom(FuzzedDataProvider &in, size_t count, bool leadingZeroAllowed)
{
    QByteArray digits;
    for (size_t i = 0; i < count; ++i)
        digits += char('0' + in.ConsumeIntegralInRange(i == 0 && !leadingZeroAllowed ? 1 : 0, 9));
    return digits;
}

Number numberFrom(FuzzedDataProvider &in)
{
    static const char *const edges[] = {"9223372036854775807",  "9223372036854775808",  "-9223372036854775808",
                                        "-9223372036854775809", "9007199254740993",     "-0",
                                        "18446744073709551616", "9223372036854775807.0"};
    if (in.ConsumeIntegralInRange(0, 7) == 0) {
        const QByteArray edge = edges[in.ConsumeIntegralInRange<size_t>(0, std::size(edges) - 1)];
        const qsizetype dot = edge.indexOf('.');
        const bool minus = edge.startsWith('-');
        return number(minus, edge.mid(minus ? 1 : 0, dot < 0 ? -1 : dot - (minus ? 1 : 0)),
                      dot < 0 ? QByteArray() : edge.mid(dot + 1), 0, false);
    }
    const bool negative = in.ConsumeBool();
    const size_t length = in.ConsumeIntegralInRange<size_t>(1, 24);
    const QByteArray integer = in.ConsumeBool() ? QByteArray("0") : digitsFrom(in, length, false);
    const QByteArray fraction = in.ConsumeBool() ? digitsFrom(in, in.ConsumeIntegralInRange<size_t>(1, 24), true)
                                                 : QByteArray();
    const bool withExponent = in.ConsumeBool();
    return number(negative, integer, fraction, withExponent ? in.ConsumeIntegralInRange(-330, 330) : 0,
                  withExponent);
}

// The expected meaning of a date text.

qint64 daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return qint64(era) * 146097 + dayOfEra - 719468;
}

struct DateMeaning {
    bool valid = false;
    bool yearZero = false; // 0000 may be read as 1 BC or refused
    qint64 milliseconds = 0;
};

// An internet date-time: YYYY-MM-DDTHH:MM:SS, optional fractional seconds, then Z or +HH:MM / -HH:MM.
DateMeaning dateMeaning(const QString &t)
{
    const auto digitsAt = [&t](qsizetype i, qsizetype count) {
        int value = 0;
        for (qsizetype k = i; k < i + count; ++k) {
            if (k >= t.size() || t[k] < u'0' || t[k] > u'9')
                return -1;
            value = value * 10 + (t[k].unicode() - u'0');
        }
        return value;
    };
    const auto charAt = [&t](qsizetype i, char16_t c) { return i < t.size() && t[i] == c; };
    DateMeaning meaning;
    const int year = digitsAt(0, 4), month = digitsAt(5, 2), day = digitsAt(8, 2);
    const int hour = digitsAt(11, 2), minute = digitsAt(14, 2), second = digitsAt(17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0 || !charAt(4, u'-') ||
        !charAt(7, u'-') || !charAt(10, u'T') || !charAt(13, u':') || !charAt(16, u':'))
        return meaning;
    qsizetype i = 19;
    int milliseconds = 0;
    if (charAt(i, u'.')) {
        const qsizetype start = ++i;
        while (digitsAt(i, 1) >= 0)
            ++i;
        if (i == start)
            return meaning;
        for (qsizetype k = start; k < start + 3; ++k)
            milliseconds = milliseconds * 10 + (k < i ? t[k].unicode() - u'0' : 0);
    }
    int offset = 0;
    if (!(charAt(i, u'Z') && i + 1 == t.size())) {
        if (!(charAt(i, u'+') || charAt(i, u'-')) || i + 6 != t.size() || !charAt(i + 3, u':'))
            return meaning;
        const int hours = digitsAt(i + 1, 2), minutes = digitsAt(i + 4, 2);
        if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59)
            return meaning;
        offset = (hours * 60 + minutes) * (t[i] == u'-' ? -1 : 1);
    }
    static constexpr int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    if (month < 1 || month > 12 || day < 1 || day > monthDays[month - 1] + (month == 2 && leap) || hour > 23 ||
        minute > 59 || second > 59)
        return meaning;
    meaning.valid = true;
    meaning.yearZero = year == 0;
    meaning.milliseconds = ((daysFromCivil(year, month, day) * 24 + hour) * 60 + minute - offset) * 60000 +
                           second * 1000 + milliseconds;
    return meaning;
}

QString dateFrom(FuzzedDataProvider &in)
{
    if (in.ConsumeIntegralInRange(0, 3) == 0)
        return QString::fromStdString(in.ConsumeRandomLengthString(40));
    const auto two = [&in](int max) { return QStringLiteral("%1").arg(in.ConsumeIntegralInRange(0, max), 2, 10, QChar(u'0')); };
    QString text = QStringLiteral("%1-").arg(in.ConsumeIntegralInRange(0, 9999), 4, 10, QChar(u'0'));
    text += two(13) + u'-' + two(32) + u'T' + two(25) + u':' + two(61) + u':' + two(61);
    if (in.ConsumeBool())
        text += u'.' + QString::fromLatin1(digitsFrom(in, in.ConsumeIntegralInRange<size_t>(1, 12), true));
    switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
        text += u'Z';
        break;
    default:
        text += (in.ConsumeBool() ? u'+' : u'-') + two(25) + u':' + two(61);
        break;
    }
    // Now and then one character in place of another: a digit of another script, a lower-case
    // letter, a blank.
    if (in.ConsumeIntegralInRange(0, 7) == 0) {
        static constexpr char16_t others[] = {0x0665, 0xFF15, 0x0966, u't', u'z', u' ', u',', 0x2212};
        text[in.ConsumeIntegralInRange<qsizetype>(0, text.size() - 1)] =
            others[in.ConsumeIntegralInRange<size_t>(0, std::size(others) - 1)];
    }
    return text;
}

// The body.

// A JSON string: quotes, backslashes and control characters escaped; with `escapeAll`, every
// non-ASCII UTF-16 unit too.
QByteArray jsonText(const QString &text, bool escapeAll)
{
    QString out = QStringLiteral("\"");
    for (QChar c : text) {
        if (c == u'"' || c == u'\\')
            out += u'\\' + QString(c);
        else if (c.unicode() < 0x20 || (escapeAll && c.unicode() >= 0x80))
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QChar(u'0'));
        else
            out += c;
    }
    return (out + u'"').toUtf8();
}

// Whether the body must decode, and whether it may fail where a double cannot tell.
struct Expectation {
    bool mustFail = false;
    bool mayFail = false;
};

enum class Form { valid, missing, null, wrongType };

// One JSON object's members as the input picks them, and what they do to the expectation.
class Members {
public:
    Members(FuzzedDataProvider &in, Expectation &expectation, bool escapeAll, const QByteArray &blank)
        : m_in(in)
        , m_expectation(expectation)
        , m_escapeAll(escapeAll)
        , m_blank(blank)
    {
    }

    Form form()
    {
        switch (m_in.ConsumeIntegralInRange(0, 7)) {
        case 5:
            return Form::missing;
        case 6:
            return Form::null;
        case 7:
            return Form::wrongType;
        default:
            return Form::valid;
        }
    }

    // A member in the given form; a missing or null required member fails the decoding, and so does
    // a value of the wrong type, required or not.
    void add(const char *name, Form form, const QByteArray &value, std::initializer_list<const char *> wrong,
             bool required)
    {
        switch (form) {
        case Form::valid:
            raw(name, value);
            return;
        case Form::missing:
            break;
        case Form::null:
            raw(name, "null");
            break;
        case Form::wrongType:
            raw(name, wrong.begin()[m_in.ConsumeIntegralInRange<size_t>(0, wrong.size() - 1)]);
            m_expectation.mustFail = true;
            return;
        }
        m_expectation.mustFail |= required;
    }

    QString text(const char *name)
    {
        const QString value = QString::fromStdString(m_in.ConsumeRandomLengthString(30));
        add(name, form(), jsonText(value, m_escapeAll), {"1", "true", "[]", "{}"}, true);
        return value;
    }

    bool truth(const char *name, bool required)
    {
        const Form f = form();
        const bool value = m_in.ConsumeBool();
        add(name, f, value ? "true" : "false", {"1", "\"true\"", "[]", "{}"}, required);
        return value;
    }

    // The values the member may decode as (none when it must not decode).
    std::vector<qint64> integer(const char *name)
    {
        const Form f = form();
        Number n = numberFrom(m_in);
        add(name, f, n.text, {"\"1\"", "true", "[]", "{}"}, true);
        if (f != Form::valid)
            return {};
        if (m_in.ConsumeIntegralInRange(0, 15) == 0) { // the same key twice: either may count
            const Number again = numberFrom(m_in);
            raw(name, again.text);
            m_expectation.mustFail |= n.mustFail && again.mustFail;
            m_expectation.mayFail = true;
            n.values.insert(n.values.end(), again.values.begin(), again.values.end());
        } else {
            m_expectation.mustFail |= n.mustFail;
            m_expectation.mayFail |= !n.mustDecode;
        }
        return n.values;
    }

    // Mentions of the integer members that are not them: nested, inside a text, in a list.
    void decoys()
    {
        switch (m_in.ConsumeIntegralInRange(0, 3)) {
        case 0:
            raw("note", "{\"queueSize\":" + numberFrom(m_in).text + ",\"pid\":" + numberFrom(m_in).text + "}");
            break;
        case 1:
            raw("note", jsonText(QStringLiteral("\"queueSize\": 5, \"pid\": 6,"), false));
            break;
        case 2:
            raw("pid" + QByteArray(m_in.ConsumeBool() ? "s" : "_"), numberFrom(m_in).text);
            break;
        default:
            break;
        }
    }

    void raw(const QByteArray &name, const QByteArray &value)
    {
        QByteArray key = jsonText(QString::fromLatin1(name), false);
        if (m_in.ConsumeIntegralInRange(0, 7) == 0) // a key spelled with an escape
            key = "\"\\u00" + QByteArray::number(key[1], 16) + key.mid(2);
        m_members.push_back(key + m_blank + ":" + m_blank + value);
    }

    // The object, its members in an order the input picks.
    QByteArray object()
    {
        if (!m_members.empty())
            std::rotate(m_members.begin(),
                        m_members.begin() + m_in.ConsumeIntegralInRange<size_t>(0, m_members.size() - 1),
                        m_members.end());
        QByteArray out = "{" + m_blank;
        for (size_t i = 0; i < m_members.size(); ++i)
            out += (i ? m_blank + "," + m_blank : QByteArray()) + m_members[i];
        return out + m_blank + "}";
    }

private:
    FuzzedDataProvider &m_in;
    Expectation &m_expectation;
    bool m_escapeAll;
    QByteArray m_blank;
    std::vector<QByteArray> m_members;
};

bool contains(const std::vector<qint64> &values, qint64 value)
{
    return std::find(values.begin(), values.end(), value) != values.end();
}

void checkBuilt(FuzzedDataProvider &in)
{
    static const char *const blanks[] = {"", " ", "\n", "\t ", "\r\n  "};
    const bool escapeAll = in.ConsumeBool();
    const QByteArray blank = blanks[in.ConsumeIntegralInRange<size_t>(0, std::size(blanks) - 1)];
    Expectation expectation;
    Members members(in, expectation, escapeAll, blank);

    const Form dateForm = members.form();
    const QString date = dateFrom(in);
    members.add("sampledAt", dateForm, jsonText(date, escapeAll), {"0", "[]", "{}"}, true);
    const DateMeaning meaning = dateMeaning(date);
    if (dateForm == Form::valid) {
        expectation.mustFail |= !meaning.valid;
        expectation.mayFail |= meaning.yearZero;
    }
    const QString lifecycle = members.text("lifecycle");
    const bool ready = members.truth("ready", true);
    const QString version = members.text("version");
    const bool busy = members.truth("busy", true);
    const Form compactingForm = members.form();
    const bool compacting = in.ConsumeBool();
    members.add("compacting", compactingForm, compacting ? "true" : "false", {"0", "\"false\"", "{}"}, false);
    const std::vector<qint64> queueSizes = members.integer("queueSize");
    const std::vector<qint64> pids = members.integer("pid");
    members.decoys();

    const Form sessionForm = members.form();
    QString sessionStatus, sessionSummary;
    QByteArray session = "null";
    if (sessionForm == Form::valid) {
        Members nested(in, expectation, escapeAll, blank);
        sessionStatus = nested.text("status");
        sessionSummary = nested.text("taskSummary");
        nested.decoys();
        session = nested.object();
    }
    members.add("codingSession", sessionForm, session, {"1", "\"x\"", "true", "[]"}, false);

    const QByteArray body = members.object();
    if (!QJsonDocument::fromJson(body).isObject()) // a number JSON itself cannot hold, such as 1e330
        expectation.mustFail = true;
    const std::optional<AgentRuntimeStatus> status = decode(body);
    const QString shownBody = QString::fromUtf8(body);
    if (expectation.mustFail) {
        require(!status, "a body with a member missing, null, of the wrong type or out of range fails", shownBody);
        return;
    }
    require(status || expectation.mayFail, "a well-formed body decodes", shownBody);
    if (!status)
        return;
    require(meaning.yearZero || status->sampledAt == QDateTime::fromMSecsSinceEpoch(meaning.milliseconds, Qt::UTC),
            "sampledAt is the instant the date names", shownBody);
    require(status->lifecycle == lifecycle && status->version == version && status->ready == ready &&
                status->busy == busy,
            "texts and truth values decode as written", shownBody);
    require(status->compacting == (compactingForm == Form::valid ? std::optional(compacting) : std::nullopt),
            "compacting is the truth value, or none when missing or null", shownBody);
    require(contains(queueSizes, status->queueSize) && contains(pids, status->pid),
            "queueSize and pid are the integers written", shownBody);
    require(status->codingSession ==
                (sessionForm == Form::valid
                     ? std::optional(AgentRuntimeStatus::CodingSession{sessionStatus, sessionSummary})
                     : std::nullopt),
            "codingSession is the object's texts, or none when missing or null", shownBody);
}

// Any body: decoding fails only with DecodingError, and a decoded status written out again decodes
// as itself.
void checkRaw(const QByteArray &body)
{
    const std::optional<AgentRuntimeStatus> status = decode(body);
    if (!status)
        return;
    const QDateTime sampledAt = status->sampledAt.toUTC();
    if (sampledAt.date().year() < 1 || sampledAt.date().year() > 9999)
        return; // no four-digit year to write it with
    QJsonObject object{{QStringLiteral("sampledAt"), sampledAt.toString(Qt::ISODateWithMs)},
                       {QStringLiteral("lifecycle"), status->lifecycle},
                       {QStringLiteral("ready"), status->ready},
                       {QStringLiteral("version"), status->version},
                       {QStringLiteral("busy"), status->busy},
                       {QStringLiteral("queueSize"), status->queueSize},
                       {QStringLiteral("pid"), status->pid}};
    if (status->compacting)
        object.insert(QStringLiteral("compacting"), *status->compacting);
    if (status->codingSession)
        object.insert(QStringLiteral("codingSession"),
                      QJsonObject{{QStringLiteral("status"), status->codingSession->status},
                                  {QStringLiteral("taskSummary"), status->codingSession->taskSummary}});
    const QByteArray again = QJsonDocument(object).toJson(QJsonDocument::Compact);
    require(decode(again) == status, "a decoded status written out decodes as itself", QString::fromUtf8(again));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    if (size > 0 && data[0] == '{') {
        checkRaw(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    } else {
        FuzzedDataProvider in(data, size);
        checkBuilt(in);
    }
    return 0;
}
