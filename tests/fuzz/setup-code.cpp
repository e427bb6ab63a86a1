// The setup-code field's grouping and the canonical form: both settle after one application, never
// grow past their limits, agree with each other, and match the obvious rules on ASCII input.
#include "FuzzInput.h"

#include "app/SetupCode.h"

#include <QRegularExpression>

#include <algorithm>

using namespace fuzzing;
using namespace tallowmere;
using namespace Qt::StringLiterals;

namespace {

// Groups of four characters joined by "-".
QString grouped(QString characters) { return characters.replace(QRegularExpression(u"(.{4})(?!$)"_s), u"\\1-"_s); }

// The obvious rules for ASCII text: the grouping keeps the first 16 code characters and "I", upper case;
// the canonical form is, without hyphens and blanks, a prefix and twelve code characters.
QString asciiFormatted(const QString &text)
{
    return grouped(text.toUpper().remove(QRegularExpression(QStringLiteral("[^0-9A-KMNP-TV-Z]"))).left(16));
}

std::optional<QString> asciiCanonical(const QString &text)
{
    const QString kept = text.toUpper().remove(QRegularExpression(QStringLiteral("[-\\t-\\r ]")));
    static const QRegularExpression code(QStringLiteral("^TM(S2|I1)[0-9A-HJKMNP-TV-Z]{12}$"));
    return code.match(kept).hasMatch() ? std::optional(grouped(kept)) : std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    const QString text = utf8(data, size);
    static const QRegularExpression fieldCharacters(QStringLiteral("^[0-9A-KMNP-TV-Z]{0,16}$"));
    static const QRegularExpression canonicalForm(
        QStringLiteral("^TM(S2|I1)-[0-9A-HJKMNP-TV-Z]{4}-[0-9A-HJKMNP-TV-Z]{4}-[0-9A-HJKMNP-TV-Z]{4}$"));

    const QString formatted = formattedTallowmereSetupCodeInput(text);
    const QString characters = QString(formatted).remove(u'-');
    require(fieldCharacters.match(characters).hasMatch() && grouped(characters) == formatted,
            "the grouped field holds at most 16 code characters and I, in groups of four", formatted);
    require(formattedTallowmereSetupCodeInput(formatted) == formatted, "grouping twice changes nothing", formatted);
    if (const auto code = canonicalTallowmereSetupCode(formatted))
        require(*code == formatted, "a grouped valid code is already canonical", formatted);

    if (const auto canonical = canonicalTallowmereSetupCode(text)) {
        require(canonicalForm.match(*canonical).hasMatch(),
                "a canonical code is a prefix and three groups of four code characters", *canonical);
        require(canonicalTallowmereSetupCode(*canonical) == canonical, "the canonical form is its own", *canonical);
        require(formatted == *canonical, "a valid code shows in the field as its canonical form", formatted);
    }

    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        require(formatted == asciiFormatted(text), "grouping ASCII text", formatted);
        require(canonicalTallowmereSetupCode(text) == asciiCanonical(text), "the canonical form of ASCII text", text);
    }
    return 0;
}
