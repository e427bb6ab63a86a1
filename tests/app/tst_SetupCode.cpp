#include "app/ModelFixture.h"

#include "app/SetupCode.h"

using namespace tallowmere;
using namespace Qt::StringLiterals;
using testing::ModelFixture;

namespace {

constexpr char codeMessage[] = "请输入 TMS2 或 TMI1 格式的安装码。";
constexpr char nameMessage[] = "名称需为 6-64 位小写字母、数字或连字符。";
constexpr char workspaceCode[] = "TMI1-0000-1111-2222";
const std::string longName(64, 'a'), tooLongName(65, 'a');

// The text as the field shows it while it is typed, and its canonical form ("": none).
const struct FormatRow {
    const char *name, *text, *field, *canonical;
} formatRows[] = {
    {"drops blanks, L, O, U and punctuation, keeps I", "tms2abcd efgh ijkl mnop u!", "TMS2-ABCD-EFGH-IJKM",
     ""},
    {"full-width digits are not code characters", "TMS2１２", "TMS2", ""},
    {"a letter with a combining mark is another character", "TMS2A\u0301B", "TMS2-B", ""},
    {"lower-case workspace code", "tmi1-0000-1111-2222", workspaceCode, workspaceCode},
    {"tabs and newlines", "\tTMS2ABCD\nEFGH-JKMN\n", "TMS2-ABCD-EFGH-JKMN", "TMS2-ABCD-EFGH-JKMN"},
    {"combining mark in the last place", "TMS2-0000-1111-222A\u0301", "TMS2-0000-1111-222", ""},
    {"too long", "TMS2-0000-1111-22222", "TMS2-0000-1111-2222", ""},
};

const struct ValidationRow {
    const char *name, *code, *agentName, *normalized, *codeError, *nameError; // errors "": none
} validationRows[] = {
    {"ordinary code needs no name", "tms2 0000 1111 2222", "", "TMS2-0000-1111-2222", "", ""},
    {"invalid code keeps its text", " tms2-abcd-efgh-ijkm ", "", "TMS2-ABCD-EFGH-IJKM", codeMessage, ""},
    {"name of 5", workspaceCode, "abc12", workspaceCode, "", nameMessage},
    {"name of 6", workspaceCode, "agent1", workspaceCode, "", ""},
    {"name lowered and trimmed first", workspaceCode, " My-Agent\n", workspaceCode, "", ""},
    {"name starting with hyphen", workspaceCode, "-agent1", workspaceCode, "", nameMessage},
    {"name ending with hyphen", workspaceCode, "agent1-", workspaceCode, "", nameMessage},
    {"name with underscore", workspaceCode, "my_agent", workspaceCode, "", nameMessage},
    {"name of 64", workspaceCode, longName.c_str(), workspaceCode, "", ""},
    {"name of 65", workspaceCode, tooLongName.c_str(), workspaceCode, "", nameMessage},
    {"invalid workspace-looking code still asks for a name", "TMI1-0000", "", "TMI1-0000", codeMessage,
     nameMessage},
};

} // namespace

class SetupCodeTest : public QObject {
    Q_OBJECT

private slots:
    void formatting_data() { testing::addRows(formatRows); }
    void formatting()
    {
        const FormatRow &row = testing::currentRow(formatRows);
        QCOMPARE(formattedTallowmereSetupCodeInput(testing::utf8(row.text)), testing::utf8(row.field));
        QCOMPARE(canonicalTallowmereSetupCode(testing::utf8(row.text)).value_or(QString()),
                 testing::utf8(row.canonical));
    }

    void validationMessages_data() { testing::addRows(validationRows); }
    void validationMessages()
    {
        const ValidationRow &row = testing::currentRow(validationRows);
        ModelFixture fixture;
        const auto model = fixture.build();
        model->setSetupCode(testing::utf8(row.code));
        model->setSetupAgentName(testing::utf8(row.agentName));
        QCOMPARE(model->normalizedSetupCode(), testing::utf8(row.normalized));
        QCOMPARE(model->setupCodeValidationMessage().value_or(QString()), testing::utf8(row.codeError));
        QCOMPARE(model->setupAgentNameValidationMessage().value_or(QString()), testing::utf8(row.nameError));
        QVERIFY(!model->canSubmitSetup()); // nothing is submitted before the setup stage
    }

    // A valid code is taken in the setup stage, and no longer once the installation is configured.
    void submission()
    {
        for (const bool configured : {false, true}) {
            ModelFixture fixture;
            fixture.write("mac-app-install-stage", configured ? "setup\n" : "permissions\n");
            fixture.write("mac-app-permissions-completed",
                          "screenRecording\naccessibility\nautomation\nfullDiskAccess\n");
            if (configured)
                fixture.configure();
            const auto model = fixture.build();
            testing::await(model->advancePermissionOnboarding()); // all granted: on to the setup stage
            model->setSetupCode(u"tms2 0000 1111 2222"_s);
            QCOMPARE(model->canSubmitSetup(), !configured);
        }
    }
};

TALLOWMERE_TEST(SetupCodeTest)
#include "tst_SetupCode.moc"
