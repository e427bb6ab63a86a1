#include "status/AgentVersion.h"

#include <QList>

#include <array>
#include <limits>

namespace tallowmere {

// Major, minor and patch, and the prerelease identifiers (views into the parsed text).
struct AgentVersion::Parsed {
    std::array<qint64, 3> numbers{};
    std::optional<QList<QStringView>> prerelease;
};

namespace {

constexpr qsizetype maxBytes = 64;

// The whole text as a signed decimal 64-bit integer (ASCII digits only); none when it does not fit:
// a piece beyond the range is rejected, never wrapped or clamped.
std::optional<qint64> decimal(QStringView text)
{
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'-' || text.front() == u'+')) {
        negative = text.front() == u'-';
        text = text.sliced(1);
    }
    if (text.isEmpty())
        return std::nullopt;
    // Accumulated towards the negative side, which holds one value more than the positive one.
    qint64 value = 0;
    constexpr qint64 lowest = std::numeric_limits<qint64>::min();
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c.unicode() - u'0';
        if (value < (lowest + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == lowest)
            return std::nullopt;
        value = -value;
    }
    return value;
}

bool isVersionCharacter(char32_t c)
{
    if (c == U'.' || c == U'-' || c == U'+')
        return true;
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
        return true;
    default:
        return false;
    }
}

// How two prerelease identifiers that differ rank: whether the candidate's ranks above.
bool identifierAbove(QStringView candidate, QStringView current)
{
    const std::optional<qint64> candidateNumber = decimal(candidate);
    const std::optional<qint64> currentNumber = decimal(current);
    if (candidateNumber && currentNumber)
        return *candidateNumber > *currentNumber;
    if (candidateNumber || currentNumber)
        return !candidateNumber; // text outranks a number
    // Literal order on UTF-16 code units: no case folding, no normalisation.
    return candidate.compare(current, Qt::CaseSensitive) > 0;
}

} // namespace

std::optional<AgentVersion::Parsed> AgentVersion::parse(QStringView text)
{
    if (const qsizetype plus = text.indexOf(u'+'); plus >= 0)
        text = text.first(plus);
    const qsizetype dash = text.indexOf(u'-');
    const QStringView core = dash >= 0 ? text.first(dash) : text;

    const QList<QStringView> pieces = core.split(u'.');
    if (pieces.size() > 3)
        return std::nullopt;
    Parsed parsed;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const std::optional<qint64> number = decimal(pieces.at(i));
        if (!number)
            return std::nullopt;
        parsed.numbers[i] = *number;
    }
    if (dash < 0)
        return parsed;
    const QList<QStringView> identifiers = text.sliced(dash + 1).split(u'.');
    for (QStringView identifier : identifiers) {
        if (identifier.isEmpty())
            return std::nullopt;
    }
    parsed.prerelease = identifiers;
    return parsed;
}

std::optional<QString> AgentVersion::sanitized(const std::optional<QString> &text)
{
    if (!text)
        return std::nullopt;
    const QString trimmed = text->trimmed();
    const qsizetype bytes = trimmed.toUtf8().size();
    if (bytes < 1 || bytes > maxBytes)
        return std::nullopt;
    // A lone surrogate comes out of toUcs4() as U+FFFD, a symbol, and is refused with the rest.
    for (char32_t c : trimmed.toUcs4()) {
        if (!isVersionCharacter(c))
            return std::nullopt;
    }
    if (!parse(trimmed))
        return std::nullopt;
    return trimmed;
}

bool AgentVersion::isNewer(const QString &candidate, const QString &current)
{
    const std::optional<Parsed> next = parse(candidate);
    const std::optional<Parsed> now = parse(current);
    if (!next || !now)
        return false;
    if (next->numbers != now->numbers)
        return next->numbers > now->numbers;
    if (!next->prerelease || !now->prerelease)
        return !next->prerelease && now->prerelease; // a release outranks its prereleases
    const QList<QStringView> &mine = *next->prerelease;
    const QList<QStringView> &theirs = *now->prerelease;
    for (qsizetype i = 0;; ++i) {
        if (i == mine.size())
            return false;
        if (i == theirs.size())
            return true;
        // Identifiers spelt apart may still rank the same ("01" and "1"): only a difference in rank decides.
        if (identifierAbove(mine.at(i), theirs.at(i)))
            return true;
        if (identifierAbove(theirs.at(i), mine.at(i)))
            return false;
    }
}

} // namespace tallowmere
