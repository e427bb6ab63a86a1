#include "app/ModelFixture.h"

#include "app/PersistedState.h"
#include "app/SetupCode.h"

using namespace tallowmere;
using testing::ModelFixture;

namespace {
const QString codeMessage = QStringLiteral("请输入 TMS2 或 TMI1 格式的安装码。");
const QString nameMessage = QStringLiteral("名称需为 6-64 位小写字母、数字或连字符。");
} // namespace

class SetupCodeTest : public QObject {
    Q_OBJECT

private slots:
    void formattedInput_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("field");

        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("drops blanks, L and O, keeps I") << "tms2abcd efgh ijkl mnop"
                                                        << "TMS2-ABCD-EFGH-IJKM";
        QTest::newRow("partial group") << "tms2-ab"
                                       << "TMS2-AB";
        QTest::newRow("keeps the first 16") << "TMS2000011112222333344445555"
                                            << "TMS2-0000-1111-2222";
        QTest::newRow("re-groups pasted dashes") << "T-M-I-1-0000--1111"
                                                 << "TMI1-0000-1111";
        QTest::newRow("U and punctuation vanish") << "uu!@#$tms2"
                                                  << "TMS2";
        QTest::newRow("full-width digits are not code characters") << QString::fromUtf8("TMS2１２") << "TMS2";
        QTest::newRow("a letter with a combining mark is another character")
            << QString::fromUtf8("TMS2A\u0301B") << "TMS2-B";
    }

    void formattedInput()
    {
        QFETCH(QString, typed);
        QFETCH(QString, field);
        QCOMPARE(formattedTallowmereSetupCodeInput(typed), field);
    }

    void canonicalCode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("canonical"); // empty: none

        QTest::newRow("spaces") << "TMS2 0000 1111 2222"
                                << "TMS2-0000-1111-2222";
        QTest::newRow("lower case workspace code") << "tmi1-0000-1111-2222"
                                                   << "TMI1-0000-1111-2222";
        QTest::newRow("tabs and newlines") << "\tTMS2ABCD\nEFGH-JKMN\n"
                                           << "TMS2-ABCD-EFGH-JKMN";
        QTest::newRow("I after the prefix") << "TMS2-ABCD-EFGH-IJKM"
                                            << "";
        QTest::newRow("O after the prefix") << "TMS2-0000-1111-222O"
                                            << "";
        QTest::newRow("unknown prefix") << "TMS3-0000-1111-2222"
                                        << "";
        QTest::newRow("too short") << "TMS2-0000-1111-222"
                                   << "";
        QTest::newRow("too long") << "TMS2-0000-1111-22222"
                                  << "";
        QTest::newRow("empty") << ""
                               << "";
    }

    void canonicalCode()
    {
        QFETCH(QString, text);
        QFETCH(QString, canonical);
        QCOMPARE(canonicalTallowmereSetupCode(text).value_or(QString()), canonical);
    }

    void validationMessages_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("normalized");
        QTest::addColumn<QString>("codeError"); // empty: none
        QTest::addColumn<QString>("nameError");

        QTest::newRow("empty field") << ""
                                     << ""
                                     << ""
                                     << ""
                                     << "";
        QTest::newRow("blank field") << "  \n"
                                     << ""
                                     << ""
                                     << ""
                                     << "";
        QTest::newRow("ordinary code needs no name") << "tms2 0000 1111 2222"
                                                     << ""
                                                     << "TMS2-0000-1111-2222"
                                                     << ""
                                                     << "";
        QTest::newRow("invalid code keeps its text") << " tms2-abcd-efgh-ijkm "
                                                     << ""
                                                     << "TMS2-ABCD-EFGH-IJKM" << codeMessage << "";
        QTest::newRow("workspace code without name") << "tmi1-0000-1111-2222"
                                                     << ""
                                                     << "TMI1-0000-1111-2222"
                                                     << "" << nameMessage;
        QTest::newRow("name too short") << "TMI1-0000-1111-2222"
                                        << "abc12"
                                        << "TMI1-0000-1111-2222"
                                        << "" << nameMessage;
        QTest::newRow("name fine") << "TMI1-0000-1111-2222"
                                   << "my-agent"
                                   << "TMI1-0000-1111-2222"
                                   << ""
                                   << "";
        QTest::newRow("name lowered first") << "TMI1-0000-1111-2222"
                                            << " My-Agent\n"
                                            << "TMI1-0000-1111-2222"
                                            << ""
                                            << "";
        QTest::newRow("name starting with hyphen") << "TMI1-0000-1111-2222"
                                                   << "-agent1"
                                                   << "TMI1-0000-1111-2222"
                                                   << "" << nameMessage;
        QTest::newRow("name ending with hyphen") << "TMI1-0000-1111-2222"
                                                 << "agent1-"
                                                 << "TMI1-0000-1111-2222"
                                                 << "" << nameMessage;
        QTest::newRow("name with underscore") << "TMI1-0000-1111-2222"
                                              << "my_agent"
                                              << "TMI1-0000-1111-2222"
                                              << "" << nameMessage;
        QTest::newRow("name of 64") << "TMI1-0000-1111-2222" << QString(64, QLatin1Char('a'))
                                    << "TMI1-0000-1111-2222"
                                    << ""
                                    << "";
        QTest::newRow("name of 65") << "TMI1-0000-1111-2222" << QString(65, QLatin1Char('a'))
                                    << "TMI1-0000-1111-2222"
                                    << "" << nameMessage;
        QTest::newRow("invalid workspace-looking code still asks for a name")
            << "TMI1-0000"
            << ""
            << "TMI1-0000" << codeMessage << nameMessage;
    }

    void validationMessages()
    {
        QFETCH(QString, code);
        QFETCH(QString, name);
        QFETCH(QString, normalized);
        QFETCH(QString, codeError);
        QFETCH(QString, nameError);

        ModelFixture fixture;
        const auto model = fixture.build();
        model->setSetupCode(code);
        model->setSetupAgentName(name);
        QCOMPARE(model->normalizedSetupCode(), normalized);
        QCOMPARE(model->setupCodeValidationMessage().value_or(QString()), codeError);
        QCOMPARE(model->setupAgentNameValidationMessage().value_or(QString()), nameError);
    }

    void noSubmissionOutsideTheSetupStage()
    {
        ModelFixture fixture; // fresh profile: stage runtime
        const auto model = fixture.build();
        model->setSetupCode(QStringLiteral("TMS2-0000-1111-2222"));
        QVERIFY(!model->canSubmitSetup());
    }

    void noSubmissionOnceConfigured()
    {
        ModelFixture fixture;
        fixture.configure();
        fixture.write(QLatin1String(persisted::installStageFile), "setup\n");
        const auto model = fixture.build();
        QCOMPARE(model->installStage(), InstallStage::setup);
        model->setSetupCode(QStringLiteral("TMS2-0000-1111-2222"));
        QVERIFY(!model->canSubmitSetup());
    }
};

TALLOWMERE_TEST(SetupCodeTest)
#include "tst_SetupCode.moc"
