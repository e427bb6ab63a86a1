#include "cli/IcuOracle.h"
#include "cli/Redactor.h"
#include "support/TestSupport.h"

#include <QRandomGenerator>

using tallowmere::sanitize;
using testing::utf8;

namespace {

const struct {
    const char *name;
    const char *line;
    const char *redacted;
} rules[] = {
    {"control sequences vanish", "\x1b[31merror\x1b[0m: \x1b[1;4m\x1b[200~boom", "error: boom"},
    {"unfinished escape stays", "a\x1b[31", "a\x1b[31"},
    {"email keeps blanks", "Email:   agent@example.com rest", "Email:   [REDACTED] rest"},
    {"only the first word", "Password: hunter2 and more", "Password: [REDACTED] and more"},
    {"sharp s stands for ss", "Paßword: secret more", "Paßword: [REDACTED] more"},
    {"sharp s is not one s", "Paßsword: x", "Paßsword: x"},
    {"escape splitting a label", "Ema\x1b[0mil: a@b", "Email: [REDACTED]"},
    {"url", "see https://example.com/a?b=c now", "see [URL REDACTED] now"},
    {"setup code", "code TMS2-0000-1111-2222 ok", "code [SETUP CODE REDACTED] ok"},
    {"code glued to a word stays", "xTMS2-0000-1111-2222", "xTMS2-0000-1111-2222"},
    {"code followed by a digit stays", "TMS2-0000-1111-22223", "TMS2-0000-1111-22223"},
    {"code right after Chinese stays", "安装码TMS2-0000-1111-2222", "安装码TMS2-0000-1111-2222"},
    {"code after a Chinese colon", "安装码：TMS2-0000-1111-2222", "安装码：[SETUP CODE REDACTED]"},
    // ICU's \b looks through marks, variation selectors and format characters.
    {"code after an emoji with its selector", "✅️TMS2-ABCD-EFGH-JKMN redeemed",
     "✅️[SETUP CODE REDACTED] redeemed"},
    {"code after a mark on punctuation", "-\u0301TMS2-ABCD-EFGH-JKMN", "-\u0301[SETUP CODE REDACTED]"},
    {"code after a joiner", "\u200DTMS2-ABCD-EFGH-JKMN", "\u200D[SETUP CODE REDACTED]"},
    {"code after a mark on a letter stays", "e\u0301TMS2-ABCD-EFGH-JKMN", "e\u0301TMS2-ABCD-EFGH-JKMN"},
    {"code before a zero-width space stays", "TMS2-ABCD-EFGH-JKMN\u200B", "TMS2-ABCD-EFGH-JKMN\u200B"},
    {"code before a mark stays", "TMS2-ABCD-EFGH-JKMN\u0301", "TMS2-ABCD-EFGH-JKMN\u0301"},
    {"code after a circled letter stays", "ⒶTMS2-ABCD-EFGH-JKMN", "ⒶTMS2-ABCD-EFGH-JKMN"},
    // A workspace event that the authorisation check refused still hides its sign-in data.
    {"refused event",
     R"({"type":"jitAuthorization","provider":"Google","email":"agent@corp.example",)"
     R"("password":"Hunter2 Secret","authUrl":"x"})",
     R"({"type":"jitAuthorization","provider":"Google","email":"[REDACTED]","password":"[REDACTED]",)"
     R"("authUrl":"x"})"},
    {"escaped names, nested and odd values",
     " {\"type\":\"jitAuthorization\", \"em\\u0061il\" : "
     "{\"a\":[\"x}\"]},\"x\":{\"password\":1},\"password\":\"a\\\"b\"}",
     " {\"type\":\"jitAuthorization\", \"em\\u0061il\" : \"[REDACTED]\",\"x\":{\"password\":\"[REDACTED]\"},"
     "\"password\":\"[REDACTED]\"}"},
    {"other event stays", R"({"type":"progress","email":"a"})", R"({"type":"progress","email":"a"})"},
    {"broken event stays", R"({"type":"jitAuthorization","email":"a")",
     R"({"type":"jitAuthorization","email":"a")"},
};

// What the random lines are made of besides code-like text: labels, schemes, blanks, marks, joiners,
// selectors, letters and digits of other scripts.
const char pieces[] =
    "Email:|eMaIl:|Password:|paſsword:|paßword:|http://|https://|HTTP://|TMS2-|tmi1-|TMI1|0000|"
    "AbCd|K|\u212A|-|~| |\t|\u3000|\u00A0|\x1b[|31m|/|安装码|_|x|é|\u0301|😀|𝟘|:|@|\u2028|\v|"
    "\u0085|l|O|9|\u00B2|✅|\uFE0F|\u200B|\u200C|\u200D|\u00AD|Ⓐ|٣|ǅ|\u20DD|\U000E0100|\u1680|\u180E";

} // namespace

class RedactorTest : public QObject {
    Q_OBJECT

private slots:
    void rules_data() { testing::addRows(::rules); }

    void rules()
    {
        const auto &row = testing::currentRow(::rules);
        const QString line = utf8(row.line);
        QCOMPARE(sanitize(line), utf8(row.redacted));
        if (!line.trimmed().startsWith(u'{')) // events are not the regular expressions' business
            QCOMPARE(testing::icuSanitize(line), utf8(row.redacted));
    }

    // Random lines built from pieces and code-like text: the scanners agree with ICU on each.
    void agreesWithIcu()
    {
        const QStringList pieces = QString(::pieces).split('|');
        const QString codeCharacters =
            utf8("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyzſ\u212A");
        const QStringList prefixes = {"TMS2", "tmi1", "TMſ2", "TMI1", "TMS3"};
        QRandomGenerator random(20261206);
        // Something shaped like a setup code, often valid, often off by one character.
        const auto codeLike = [&] {
            QString code = prefixes.at(random.bounded(prefixes.size()));
            for (int group = 0; group < 3; ++group) {
                code += random.bounded(20) == 0 ? u'_' : u'-';
                for (int i = 0; i < 4; ++i)
                    code += codeCharacters.at(random.bounded(codeCharacters.size()));
            }
            return code;
        };
        for (int round = 0; round < 5000; ++round) {
            QString line;
            for (int i = random.bounded(1, 14); i > 0; --i)
                line += random.bounded(3) == 0 ? codeLike() : pieces.at(random.bounded(pieces.size()));
            QVERIFY2(sanitize(line) == testing::icuSanitize(line), qPrintable(line));
        }
    }
};

TALLOWMERE_TEST(RedactorTest)
#include "tst_Redactor.moc"
