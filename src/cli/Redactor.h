#pragma once

#include <QString>

#include <type_traits>

namespace tallowmere {

// Which redaction rules can match a line at all.
struct RedactionTriggers {
    bool controlSequences = false;
    bool events = false; // a JSON object line, which may be a workspace-authorisation event
    bool emails = false;
    bool passwords = false;
    bool urls = false;
    bool codes = false;
    bool any() const { return controlSequences || events || emails || passwords || urls || codes; }
};

inline constexpr char16_t escape = 0x1B;

// Case folding as (?i) applies it to the ASCII letters of the patterns: long s folds to s and the
// Kelvin sign to k, like their ASCII counterparts.
constexpr char16_t fold(char16_t c)
{
    if (c >= u'A' && c <= u'Z')
        return char16_t(c + (u'a' - u'A'));
    if (c == 0x017F)
        return u's';
    if (c == 0x212A)
        return u'k';
    return c;
}

// The characters around which a rule can match.
constexpr bool isRedactionTrigger(char16_t c)
{
    return c == escape || c == u':' || c == u'-' || c == u'{';
}

// Notes what the trigger character at `i` of a line (UTF-16, or bytes of an ASCII line) makes
// possible: an escape a control sequence, a colon after "l" or "d" a label, a colon before "//" a
// web address, a hyphen after "2" or "1" a setup code, a brace after nothing but blanks an event.
template <typename Char>
void noteRedactionTrigger(const Char *text, qsizetype size, qsizetype i, RedactionTriggers &triggers)
{
    const auto at = [text](qsizetype k) { return char16_t(std::make_unsigned_t<Char>(text[k])); };
    switch (at(i)) {
    case escape:
        triggers.controlSequences = true;
        break;
    case u':':
        if (i > 0) {
            const char16_t before = fold(at(i - 1));
            triggers.emails |= before == u'l';
            triggers.passwords |= before == u'd';
        }
        triggers.urls |= i + 2 < size && at(i + 1) == u'/' && at(i + 2) == u'/';
        break;
    case u'-':
        triggers.codes |= i > 0 && (at(i - 1) == u'2' || at(i - 1) == u'1');
        break;
    case u'{': {
        qsizetype k = i;
        while (k > 0 && (at(k - 1) == u' ' || at(k - 1) == u'\t' || at(k - 1) == u'\n' || at(k - 1) == u'\r'))
            --k;
        triggers.events |= k == 0;
        break;
    }
    default:
        break;
    }
}

// The line with terminal control sequences removed and e-mail addresses, passwords, web addresses and
// setup codes replaced by redaction marks.
QString sanitize(const QString &line);
// The same, for a scan that has already found the line's triggers.
QString sanitize(const QString &line, const RedactionTriggers &triggers);

} // namespace tallowmere
