// Hides secrets in child output before it is shown, logged or kept. Five rules, applied in order:
//   1. terminal control sequences    ESC \[ [0-?]* [ -/]* [@-~]          -> removed
//   2. (?i)(Email:\s*)\S+                                                -> $1[REDACTED]
//   3. (?i)(Password:\s*)\S+                                             -> $1[REDACTED]
//   4. https?://\S+                                                      -> [URL REDACTED]
//   5. (?i)\b(?:TMS2|TMI1)-C{4}-C{4}-C{4}\b, C = [0-9A-HJKMNP-TV-Z]      -> [SETUP CODE REDACTED]
// and, between the first two, the sign-in members of a workspace-authorisation event are hidden.
// Regular-expression engines are slower than the child that prints, so each rule is a scanner with
// the regular expression's exact meaning. Every match holds an escape, a colon after "l" (email:) or
// "d" (password:) or before "//" (a web address), or a hyphen after the "2" or "1" of a code prefix:
// a line without such a trigger, which is most lines, passes untouched. \s and \b are ICU's, with
// ICU's own character properties.
#include "cli/Redactor.h"

#include "cli/EventRedaction.h"

#include <unicode/uchar.h>

#include <iterator>

namespace tallowmere {

namespace {

// ICU \s: the White_Space property.
bool isSpace(char32_t c)
{
    if (c < 0x80)
        return c == ' ' || (c >= '\t' && c <= '\r');
    return u_hasBinaryProperty(UChar32(c), UCHAR_WHITE_SPACE);
}

// ICU \w: alphabetic characters, marks, decimal digits and connector punctuation. (ICU's set also
// holds ZWNJ and ZWJ, but as format characters they never decide a boundary.)
bool isWordCharacter(char32_t c)
{
    if (c < 0x80)
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    return u_hasBinaryProperty(UChar32(c), UCHAR_ALPHABETIC) ||
           (U_GET_GC_MASK(UChar32(c)) & (U_GC_M_MASK | U_GC_ND_MASK | U_GC_PC_MASK)) != 0;
}

// Characters that ICU's \b looks through: those that extend a grapheme (combining marks, variation
// selectors) and format characters (zero-width joiners and spaces).
bool isTransparent(char32_t c)
{
    return c >= 0x80 && (u_hasBinaryProperty(UChar32(c), UCHAR_GRAPHEME_EXTEND) ||
                         u_charType(UChar32(c)) == U_FORMAT_CHAR);
}

// The code point at `i` (< size) and the code point before `i` (> 0), surrogate pairs combined.
char32_t codePointAt(QStringView s, qsizetype i)
{
    const QChar c = s[i];
    if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate())
        return QChar::surrogateToUcs4(c, s[i + 1]);
    return c.unicode();
}

char32_t codePointBefore(QStringView s, qsizetype i)
{
    const QChar c = s[i - 1];
    if (c.isLowSurrogate() && i >= 2 && s[i - 2].isHighSurrogate())
        return QChar::surrogateToUcs4(s[i - 2], c);
    return c.unicode();
}

// ICU's \b at `i`: never before a transparent character; otherwise whether the character at `i` and
// the last non-transparent one before it differ in being word characters (the ends count as
// non-word).
bool isWordBoundary(QStringView s, qsizetype i)
{
    bool wordAfter = false;
    if (i < s.size()) {
        const char32_t c = codePointAt(s, i);
        if (isTransparent(c))
            return false;
        wordAfter = isWordCharacter(c);
    }
    for (qsizetype j = i; j > 0;) {
        const char32_t c = codePointBefore(s, j);
        j -= QChar::requiresSurrogates(c) ? 2 : 1;
        if (!isTransparent(c))
            return wordAfter != isWordCharacter(c);
    }
    return wordAfter;
}

// Length in code units of the run of \S starting at `i` (a surrogate pair is one non-space).
qsizetype nonSpaceRun(QStringView s, qsizetype i)
{
    qsizetype end = i;
    while (end < s.size()) {
        const char32_t c = codePointAt(s, end);
        if (isSpace(c))
            break;
        end += QChar::requiresSurrogates(c) ? 2 : 1;
    }
    return end - i;
}

qsizetype spaceRun(QStringView s, qsizetype i)
{
    qsizetype end = i;
    while (end < s.size() && isSpace(s[end].unicode())) // no white space lies outside the BMP
        ++end;
    return end - i;
}

struct Match {
    qsizetype start = -1; // -1: none
    qsizetype length = 0;
    qsizetype kept = 0; // leading part of the match kept in front of the replacement
};

// Replaces each match of a rule. Every match of a rule contains one fixed character at a fixed place
// (its anchor: the escape, the colon, the hyphen after the code prefix), so the scan jumps from one
// anchor to the next and `matchAt` checks the surroundings. Anchors come in the order of the match
// starts, so the leftmost-first, non-overlapping order of a regular-expression replacement holds.
template <typename MatchAt>
QString replaceMatches(const QString &s, QChar anchor, QLatin1String replacement, MatchAt matchAt)
{
    QString out;
    qsizetype copied = 0;
    for (qsizetype a = s.indexOf(anchor); a >= 0; a = s.indexOf(anchor, a + 1)) {
        const Match match = matchAt(QStringView(s), a);
        if (match.start < copied) // none, or overlapping the previous match
            continue;
        if (out.isNull())
            out.reserve(s.size());
        out.append(QStringView(s).mid(copied, match.start + match.kept - copied));
        out.append(replacement);
        copied = match.start + match.length;
        a = copied - 1;
    }
    if (out.isNull())
        return s;
    out.append(QStringView(s).mid(copied));
    return out;
}

Match controlSequenceAt(QStringView s, qsizetype i)
{
    if (i + 1 >= s.size() || s[i + 1] != u'[')
        return {};
    qsizetype j = i + 2;
    while (j < s.size() && s[j] >= u'0' && s[j] <= u'?')
        ++j;
    while (j < s.size() && s[j] >= u' ' && s[j] <= u'/')
        ++j;
    if (j < s.size() && s[j] >= u'@' && s[j] <= u'~')
        return {i, j + 1 - i, 0};
    return {};
}

bool foldedEquals(QStringView s, qsizetype i, std::u16string_view lowerWord)
{
    if (i < 0 || i + qsizetype(lowerWord.size()) > s.size())
        return false;
    for (size_t k = 0; k < lowerWord.size(); ++k) {
        if (fold(s[i + qsizetype(k)].unicode()) != lowerWord[k])
            return false;
    }
    return true;
}

// Where a label ending at `colon` starts, or -1. Matching ignores case as (?i) does, with full case
// folding: a sharp s stands for "ss".
qsizetype labelStart(QStringView s, qsizetype colon, std::u16string_view label)
{
    qsizetype i = colon;
    for (auto expected = label.rbegin(); expected != label.rend(); ++expected) {
        if (--i < 0)
            return -1;
        const char16_t c = s[i].unicode();
        if ((c == 0x00DF || c == 0x1E9E) && *expected == u's' && std::next(expected) != label.rend() &&
            *std::next(expected) == u's') {
            ++expected; // one character for both
            continue;
        }
        if (fold(c) != *expected)
            return -1;
    }
    return i;
}

// A label (anchored at its colon), then optional blanks, then at least one non-blank; the label and
// the blanks are kept.
Match labelledValueAt(QStringView s, qsizetype colon, std::u16string_view label)
{
    const qsizetype start = labelStart(s, colon, label);
    if (start < 0)
        return {};
    const qsizetype kept = colon + 1 - start + spaceRun(s, colon + 1);
    const qsizetype value = nonSpaceRun(s, start + kept);
    return value == 0 ? Match{} : Match{start, kept + value, kept};
}

// "http://" or "https://" (anchored at the colon) and at least one non-blank.
Match urlAt(QStringView s, qsizetype colon)
{
    if (!s.mid(colon).startsWith(u"://"))
        return {};
    qsizetype start = colon - 4;
    if (colon >= 5 && s[colon - 1] == u's')
        start = colon - 5;
    if (start < 0 || !s.mid(start).startsWith(u"http"))
        return {};
    const qsizetype rest = nonSpaceRun(s, colon + 3);
    return rest == 0 ? Match{} : Match{start, colon + 3 + rest - start, 0};
}

bool isCodeCharacter(char16_t c)
{
    const char16_t f = fold(c);
    if (f >= '0' && f <= '9')
        return true;
    if (f < 'a' || f > 'z')
        return false;
    return f != 'i' && f != 'l' && f != 'o' && f != 'u';
}

// PREFIX-XXXX-XXXX-XXXX between word boundaries, anchored at the hyphen after the prefix.
Match setupCodeAt(QStringView s, qsizetype hyphen)
{
    constexpr qsizetype length = 19;
    const qsizetype i = hyphen - 4;
    if (i < 0 || i + length > s.size())
        return {};
    if (!foldedEquals(s, i, u"tms2-") && !foldedEquals(s, i, u"tmi1-"))
        return {};
    for (qsizetype k = 5; k < length; ++k) {
        const char16_t c = s[i + k].unicode();
        if (k % 5 == 4 ? c != u'-' : !isCodeCharacter(c))
            return {};
    }
    if (!isWordBoundary(s, i) || !isWordBoundary(s, i + length))
        return {};
    return {i, length, 0};
}

} // namespace

QString sanitize(const QString &line)
{
    RedactionTriggers triggers;
    const char16_t *text = QStringView(line).utf16();
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (isRedactionTrigger(text[i]))
            noteRedactionTrigger(text, line.size(), i, triggers);
    }
    return sanitize(line, triggers);
}

QString sanitize(const QString &line, const RedactionTriggers &triggers)
{
    if (!triggers.any())
        return line;
    QString redacted = line;
    const bool joined = triggers.controlSequences;
    if (triggers.controlSequences)
        redacted = replaceMatches(redacted, QChar(escape), QLatin1String(""), controlSequenceAt);
    // Removing control sequences can join a label or a code that they split: then every rule looks.
    // An event is looked at before the other rules can break its JSON.
    if (triggers.events || joined)
        redacted = redactAuthorizationEvent(redacted);
    if (triggers.emails || joined)
        redacted = replaceMatches(redacted, u':', QLatin1String("[REDACTED]"),
                                  [](QStringView s, qsizetype i) { return labelledValueAt(s, i, u"email"); });
    if (triggers.passwords || joined)
        redacted =
            replaceMatches(redacted, u':', QLatin1String("[REDACTED]"),
                           [](QStringView s, qsizetype i) { return labelledValueAt(s, i, u"password"); });
    if (triggers.urls || joined)
        redacted = replaceMatches(redacted, u':', QLatin1String("[URL REDACTED]"), urlAt);
    if (triggers.codes || joined)
        redacted = replaceMatches(redacted, u'-', QLatin1String("[SETUP CODE REDACTED]"), setupCodeAt);
    return redacted;
}

} // namespace tallowmere
