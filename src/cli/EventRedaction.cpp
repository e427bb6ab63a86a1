#include "cli/EventRedaction.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <vector>

namespace tallowmere {

namespace {

bool isJsonBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

qsizetype skipBlanks(QStringView s, qsizetype i)
{
    while (i < s.size() && isJsonBlank(s[i]))
        ++i;
    return i;
}

// Where the string literal opening at `i` ends (past its closing quote), or -1.
qsizetype stringEnd(QStringView s, qsizetype i)
{
    for (++i; i < s.size(); ++i) {
        if (s[i] == u'\\')
            ++i;
        else if (s[i] == u'"')
            return i + 1;
    }
    return -1;
}

// Where the value starting at `i` ends: past a string or a container, or at the delimiter after a
// number or literal. -1 when the text ends inside it.
qsizetype valueEnd(QStringView s, qsizetype i)
{
    int depth = 0;
    for (; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'"') {
            i = stringEnd(s, i);
            if (i < 0 || depth == 0)
                return i;
            --i;
        } else if (c == u'{' || c == u'[') {
            ++depth;
        } else if (c == u'}' || c == u']') {
            if (depth == 0)
                return i;
            if (--depth == 0)
                return i + 1;
        } else if (depth == 0 && (c == u',' || isJsonBlank(c))) {
            return i;
        }
    }
    return depth == 0 ? i : -1;
}

bool isSignInName(QStringView literal)
{
    QString name = literal.sliced(1, literal.size() - 2).toString();
    if (name.contains(u'\\')) { // escaped: let the JSON reader spell it out
        const QJsonArray decoded = QJsonDocument::fromJson("[" + literal.toUtf8() + "]").array();
        name = decoded.isEmpty() ? QString() : decoded.first().toString();
    }
    return name == u"email" || name == u"password";
}

struct Span {
    qsizetype start;
    qsizetype end;
};

// The values of the members named "email" or "password", at any depth, in the order they appear.
std::vector<Span> signInValues(QStringView s)
{
    std::vector<Span> values;
    for (qsizetype i = 0; i < s.size();) {
        if (s[i] != u'"') {
            ++i;
            continue;
        }
        const qsizetype end = stringEnd(s, i);
        if (end < 0)
            break;
        const qsizetype colon = skipBlanks(s, end);
        if (colon < s.size() && s[colon] == u':' && isSignInName(s.sliced(i, end - i))) {
            const qsizetype start = skipBlanks(s, colon + 1);
            const qsizetype stop = valueEnd(s, start);
            if (stop < 0)
                break;
            values.push_back({start, stop});
            i = stop;
        } else {
            i = end;
        }
    }
    return values;
}

} // namespace

QString redactAuthorizationEvent(const QString &line)
{
    const qsizetype first = skipBlanks(line, 0);
    if (first == line.size() || line[first] != u'{')
        return line;
    // The walk finds no member in most event lines (progress), so they are not parsed twice.
    const std::vector<Span> values = signInValues(line);
    if (values.empty())
        return line;
    const QJsonDocument event = QJsonDocument::fromJson(line.toUtf8());
    if (!event.isObject() || event.object().value(QLatin1String("type")) != QLatin1String("jitAuthorization"))
        return line;
    QString redacted = line;
    for (auto value = values.rbegin(); value != values.rend(); ++value)
        redacted.replace(value->start, value->end - value->start, QLatin1String("\"[REDACTED]\""));
    return redacted;
}

} // namespace tallowmere
