#include "platform/JsonText.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace platform {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigits(QByteArrayView text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Just past the string whose opening quote is at `at`.
qsizetype stringEnd(QByteArrayView text, qsizetype at)
{
    for (qsizetype i = at + 1; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == '"')
            return i + 1;
    }
    return text.size();
}

// Just past the value that starts at `at` (inside the text): a string, an object or array with all it
// holds, or a scalar.
qsizetype valueEnd(QByteArrayView text, qsizetype at)
{
    qsizetype i = at;
    if (text[i] != '"' && text[i] != '{' && text[i] != '[') {
        while (i < text.size() && !isSpace(text[i]) && text[i] != ',' && text[i] != '}' && text[i] != ']')
            ++i;
        return i;
    }
    int depth = 0;
    do {
        if (text[i] == '"') {
            i = stringEnd(text, i);
            continue;
        }
        depth += int(text[i] == '{' || text[i] == '[') - int(text[i] == '}' || text[i] == ']');
        ++i;
    } while (depth > 0 && i < text.size());
    return i;
}

// A key with its quotes, decoded.
QString keyName(QByteArrayView quoted)
{
    if (!quoted.contains('\\'))
        return QString::fromUtf8(quoted.sliced(1, std::max<qsizetype>(quoted.size() - 2, 0)));
    // Escapes decoded exactly as the parser that accepted the document decodes them.
    return QJsonDocument::fromJson('[' + quoted.toByteArray() + ']').array().at(0).toString();
}

} // namespace

QByteArrayView jsonMemberText(QByteArrayView document, QStringView key)
{
    qsizetype i = document.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const auto skipSpace = [&] {
        while (i < document.size() && isSpace(document[i]))
            ++i;
    };
    QByteArrayView found;
    skipSpace();
    ++i; // the object's opening brace
    for (;;) {
        skipSpace();
        if (i >= document.size() || document[i] != '"')
            return found;
        const qsizetype keyEnd = stringEnd(document, i);
        const bool wanted = keyName(document.sliced(i, keyEnd - i)) == key;
        i = keyEnd;
        skipSpace();
        ++i; // the colon
        skipSpace();
        if (i >= document.size())
            return found;
        const qsizetype end = valueEnd(document, i);
        if (wanted)
            found = document.sliced(i, end - i);
        i = end;
        skipSpace();
        ++i; // the comma, or the closing brace
    }
}

std::optional<qint64> jsonInteger(QByteArrayView number)
{
    const bool negative = number.startsWith('-');
    const QByteArrayView unsignedNumber = number.sliced(negative ? 1 : 0);
    const qsizetype e = std::max(unsignedNumber.indexOf('e'), unsignedNumber.indexOf('E'));
    const QByteArrayView mantissa = e < 0 ? unsignedNumber : unsignedNumber.first(e);
    const qsizetype dot = mantissa.indexOf('.');

    // The value is digits × 10^exponent, both exact.
    qint64 exponent = 0;
    if (e >= 0) {
        QByteArrayView written = unsignedNumber.sliced(e + 1);
        const bool negativeExponent = written.startsWith('-');
        if (written.startsWith('-') || written.startsWith('+'))
            written = written.sliced(1);
        if (written.isEmpty() || !isDigits(written))
            return std::nullopt;
        for (const char c : written) // far beyond any 64-bit integer's, and no further
            exponent = std::min<qint64>(exponent * 10 + (c - '0'), 1000000);
        exponent = negativeExponent ? -exponent : exponent;
    }
    QByteArray digits = mantissa.first(dot < 0 ? mantissa.size() : dot).toByteArray();
    if (dot >= 0) {
        digits += mantissa.sliced(dot + 1);
        exponent -= mantissa.size() - dot - 1;
    }
    if (digits.isEmpty() || !isDigits(digits))
        return std::nullopt;

    const qsizetype leading =
        std::find_if(digits.cbegin(), digits.cend(), [](char c) { return c != '0'; }) - digits.cbegin();
    digits.remove(0, leading);
    if (digits.isEmpty())
        return 0; // zero, whatever its exponent
    while (digits.endsWith('0')) {
        digits.chop(1);
        ++exponent;
    }
    if (exponent < 0 || digits.size() + exponent > 19)
        return std::nullopt; // a fraction, or more digits than any 64-bit integer has
    digits += QByteArray(exponent, '0');
    const QByteArrayView bound = negative ? "9223372036854775808" : "9223372036854775807";
    if (digits.size() == bound.size() && QByteArrayView(digits) > bound)
        return std::nullopt;
    const quint64 magnitude = digits.toULongLong();
    return negative ? qint64(0 - magnitude) : qint64(magnitude);
}

} // namespace platform
