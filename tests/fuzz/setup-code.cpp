// The setup-code field's grouping and the canonical form: both settle after one application, never
// grow past their limits, agree with each other, and match the obvious rules on ASCII input.
#include "FuzzInput.h"

#include "app/SetupCode.h"

#include <algorithm>

using namespace fuzzing;
using namespace tallowmere;

namespace {

constexpr QLatin1StringView alphabet("0123456789ABCDEFGHJKMNPQRSTVWXYZ");

bool inAlphabet(QChar c)
{
    return alphabet.contains(c);
}

// Groups of four joined by "-", each character passing `allowed`.
bool isGrouped(const QString &text, bool (*allowed)(QChar))
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (i % 5 == 4 ? text[i] != u'-' : !allowed(text[i]))
            return false;
    }
    return !text.endsWith(u'-');
}

QString grouped(const QString &characters)
{
    QString text;
    for (qsizetype i = 0; i < characters.size(); ++i)
        text += (i > 0 && i % 4 == 0 ? QStringLiteral("-") : QString()) + characters[i];
    return text;
}

bool isAsciiSpace(QChar c)
{
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

// The field's grouping, for ASCII text: upper case, code characters and "I", the first 16, grouped.
QString asciiFormatted(const QString &text)
{
    QString kept;
    for (QChar c : text.toUpper()) {
        if ((inAlphabet(c) || c == u'I') && kept.size() < 16)
            kept += c;
    }
    return grouped(kept);
}

// The canonical form, for ASCII text: without hyphens and blanks, 16 characters, a prefix and twelve
// code characters.
std::optional<QString> asciiCanonical(const QString &text)
{
    QString kept;
    for (QChar c : text.toUpper()) {
        if (c != u'-' && !isAsciiSpace(c))
            kept += c;
    }
    if (kept.size() != 16 || !(kept.startsWith(u"TMS2") || kept.startsWith(u"TMI1")) ||
        !std::all_of(kept.begin() + 4, kept.end(), inAlphabet))
        return std::nullopt;
    return grouped(kept);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    const QString text = utf8(data, size);

    const QString formatted = formattedTallowmereSetupCodeInput(text);
    require(formatted.size() <= 19, "the grouped field holds at most 16 characters", formatted);
    require(isGrouped(formatted, [](QChar c) { return inAlphabet(c) || c == u'I'; }),
            "the grouped field holds code characters and I in groups of four", formatted);
    require(formattedTallowmereSetupCodeInput(formatted) == formatted, "grouping twice changes nothing", formatted);
    if (const auto code = canonicalTallowmereSetupCode(formatted))
        require(*code == formatted, "a grouped valid code is already canonical", formatted);

    if (const auto canonical = canonicalTallowmereSetupCode(text)) {
        require(canonical->size() == 19 && (canonical->startsWith(u"TMS2-") || canonical->startsWith(u"TMI1-")) &&
                    isGrouped(canonical->mid(5), inAlphabet),
                "a canonical code is a prefix and three groups of four code characters", *canonical);
        require(canonicalTallowmereSetupCode(*canonical) == canonical, "the canonical form is its own",
                *canonical);
        require(formatted == *canonical, "a valid code shows in the field as its canonical form", formatted);
    }

    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        require(formatted == asciiFormatted(text), "grouping ASCII text", formatted);
        require(canonicalTallowmereSetupCode(text) == asciiCanonical(text), "the canonical form of ASCII text",
                text);
    }
    return 0;
}
