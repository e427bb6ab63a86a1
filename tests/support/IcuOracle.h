#pragma once

#include <QString>

#include <unicode/regex.h>

namespace testing {

// The runner's five redaction rules run by ICU's regular-expression engine, whose \b, \s and (?i)
// the runner's scanners must follow exactly: the independent reference they are checked against.
inline QString icuSanitize(const QString &line)
{
    static const std::pair<const char16_t *, const char16_t *> rules[] = {
        {u"\\x{1B}\\[[0-?]*[ -/]*[@-~]", u""},
        {u"(?i)(Email:\\s*)\\S+", u"$1[REDACTED]"},
        {u"(?i)(Password:\\s*)\\S+", u"$1[REDACTED]"},
        {u"https?://\\S+", u"[URL REDACTED]"},
        {u"(?i)\\b(?:TMS2|TMI1)-[0-9A-HJKMNP-TV-Z]{4}-[0-9A-HJKMNP-TV-Z]{4}-[0-9A-HJKMNP-TV-Z]{4}\\b",
         u"[SETUP CODE REDACTED]"},
    };
    icu::UnicodeString text(reinterpret_cast<const UChar *>(line.utf16()), int32_t(line.size()));
    for (const auto &[pattern, replacement] : rules) {
        UErrorCode status = U_ZERO_ERROR;
        icu::RegexMatcher matcher(pattern, text, 0, status);
        text = matcher.replaceAll(replacement, status);
        if (U_FAILURE(status))
            qFatal("ICU: %s", u_errorName(status));
    }
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
}

} // namespace testing
