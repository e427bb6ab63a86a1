// The redactor on any line. Whatever it returns holds no setup code, no word after an Email: or
// Password: label but the redaction mark, and no http(s) address, each looked for by ICU's own
// regular-expression engine; a line that no rule matches comes back as it was; and the result is
// what ICU makes of the five rules.
#include "FuzzInput.h"

#include "cli/IcuOracle.h"
#include "cli/Redactor.h"

#include <QStringList>

#include <unicode/uregex.h>

using namespace fuzzing;
using namespace tallowmere;

namespace {

// A pattern of ICU's engine, and the first group of each of its matches in a text.
class Pattern {
public:
    explicit Pattern(const char16_t *pattern)
    {
        UErrorCode status = U_ZERO_ERROR;
        m_regex = uregex_open(pattern, -1, 0, nullptr, &status);
        if (U_FAILURE(status))
            fail("the harness's pattern compiles", QString::fromUtf16(pattern));
    }
    ~Pattern() { uregex_close(m_regex); }
    Pattern(const Pattern &) = delete;
    Pattern &operator=(const Pattern &) = delete;

    // The first group of every match (the whole match when there is no group).
    QStringList matches(const QString &text) const
    {
        UErrorCode status = U_ZERO_ERROR;
        uregex_setText(m_regex, reinterpret_cast<const UChar *>(text.utf16()), int32_t(text.size()), &status);
        QStringList found;
        while (uregex_findNext(m_regex, &status)) {
            const int group = uregex_groupCount(m_regex, &status) > 0 ? 1 : 0;
            const int32_t start = uregex_start(m_regex, group, &status);
            const int32_t end = uregex_end(m_regex, group, &status);
            found << text.mid(start, end - start);
        }
        return found;
    }

private:
    URegularExpression *m_regex = nullptr;
};

#define CODE_CHARACTERS u"[0-9A-HJKMNP-TV-Z]{4}"
const Pattern setupCode(u"(?i)\\b(?:TMS2|TMI1)-" CODE_CHARACTERS u"-" CODE_CHARACTERS u"-" CODE_CHARACTERS u"\\b");
const Pattern webAddress(u"https?://\\S");
const Pattern labelledWord(u"(?i)(?:Email|Password):\\s*(\\S+)");
// Any match of any rule.
const Pattern anyRule(u"\\x{1B}\\[[0-?]*[ -/]*[@-~]|(?i:Email|Password):\\s*\\S|https?://\\S|"
                      u"(?i:\\b(?:TMS2|TMI1)-" CODE_CHARACTERS u"-" CODE_CHARACTERS u"-" CODE_CHARACTERS u"\\b)");

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    const QString line = utf8(data, size);
    const QString redacted = sanitize(line);

    require(setupCode.matches(redacted).isEmpty(), "no setup code survives", redacted);
    require(webAddress.matches(redacted).isEmpty(), "no web address survives", redacted);
    for (const QString &word : labelledWord.matches(redacted))
        require(word == u"[REDACTED]", "no word after an Email: or Password: label survives", redacted);
    if (anyRule.matches(line).isEmpty())
        require(redacted == line, "a line that no rule matches passes untouched", redacted);
    require(redacted == testing::icuSanitize(line), "the redaction is the five rules' as ICU applies them",
            line);
    return 0;
}
