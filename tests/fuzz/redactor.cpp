// The redactor on any line: the result is what ICU's own regular-expression engine makes of the five
// rules (so no setup code, no word after an Email: or Password: label and no http(s) address survives,
// and a line that no rule matches comes back as it was), and redacting again changes nothing.
#include "FuzzInput.h"

#include "support/IcuOracle.h"
#include "cli/Redactor.h"

using namespace fuzzing;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    const QString line = utf8(data, size);
    const QString redacted = tallowmere::sanitize(line);
    require(redacted == testing::icuSanitize(line), "the redaction is the five rules' as ICU applies them", line);
    require(tallowmere::sanitize(redacted) == testing::icuSanitize(redacted),
            "a redacted line is redacted as ICU redacts it", redacted);
    return 0;
}
