#include "app/ModelFixture.h"

using namespace tallowmere;
using testing::ModelFixture;

Q_DECLARE_METATYPE(tallowmere::RecoveryAction::Case)

namespace {
const QString notSetUp = QStringLiteral("Tallowmere 尚未完成设置。");
const QString runtimeImpact = QStringLiteral("Tallowmere 尚未进入权限配置阶段。");
const QString channelImpact = QStringLiteral("Tallowmere 尚未进入 Channel 绑定阶段。");
const QString generalImpact = QStringLiteral("安装或运行尚未完成。请查看 App 中的安装详情。");
const QString unavailable = QStringLiteral("安装码已失效或不可用，请获取新的安装码后重试。");
const QString bootstrap = QStringLiteral("安装服务暂时未能完成配置，请稍后重试。");
const QString noMessage = QStringLiteral("<none>");
} // namespace

class FailuresTest : public QObject {
    Q_OBJECT

private slots:
    void classification_data()
    {
        using Case = RecoveryAction::Case;
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("message"); // noMessage: absent
        QTest::addColumn<QString>("shownCode");
        QTest::addColumn<QString>("shownMessage");
        QTest::addColumn<QString>("impact");
        QTest::addColumn<Case>("recovery");

        QTest::newRow("unavailable by code")
            << "SETUP_CODE_UNAVAILABLE" << noMessage << "SETUP_CODE_UNAVAILABLE" << unavailable << notSetUp
            << Case::enterInstallCode;
        QTest::newRow("unavailable by message")
            << "SETUP_EXIT_1"
            << "error: code_unavailable"
            << "SETUP_CODE_UNAVAILABLE" << unavailable << notSetUp << Case::enterInstallCode;
        QTest::newRow("no longer available, any case")
            << "RUNTIME_PREPARE_EXIT_1"
            << "Code is No Longer Available"
            << "SETUP_CODE_UNAVAILABLE" << unavailable << notSetUp << Case::enterInstallCode;
        QTest::newRow("bootstrap failed in capitals")
            << "SETUP_EXIT_1"
            << "BOOTSTRAP_FAILED: try later"
            << "SETUP_BOOTSTRAP_FAILED" << bootstrap << notSetUp << Case::retryInstall;
        QTest::newRow("bootstrap wins over the runtime prefix")
            << "RUNTIME_X"
            << "bootstrap_failed"
            << "SETUP_BOOTSTRAP_FAILED" << bootstrap << notSetUp << Case::retryInstall;
        QTest::newRow("runtime without message")
            << "RUNTIME_PREPARE_EXIT_2" << noMessage << "RUNTIME_PREPARE_EXIT_2"
            << QStringLiteral("运行环境准备未完成，请重试。") << runtimeImpact << Case::retryInstall;
        QTest::newRow("runtime with message") << "RUNTIME_PREPARE_EXIT_2"
                                              << "pnpm missing"
                                              << "RUNTIME_PREPARE_EXIT_2"
                                              << "pnpm missing" << runtimeImpact << Case::retryInstall;
        QTest::newRow("daemon without message")
            << "DAEMON_INSTALL_FAILED" << noMessage << "DAEMON_INSTALL_FAILED"
            << QStringLiteral("Agent 启动未完成，请重试。") << channelImpact << Case::retryInstall;
        QTest::newRow("start timeout keeps its message")
            << "AGENT_START_TIMEOUT" << QStringLiteral("Agent 已安装，但未能在 15 秒内启动。")
            << "AGENT_START_TIMEOUT" << QStringLiteral("Agent 已安装，但未能在 15 秒内启动。")
            << channelImpact << Case::retryInstall;
        QTest::newRow("runner busy") << "OPERATION_ALREADY_RUNNING" << noMessage
                                     << "OPERATION_ALREADY_RUNNING"
                                     << QStringLiteral("操作失败：OPERATION_ALREADY_RUNNING") << generalImpact
                                     << Case::openLogs;
        QTest::newRow("prefix tests are case-sensitive")
            << "runtime_x" << noMessage << "runtime_x" << QStringLiteral("操作失败：runtime_x")
            << generalImpact << Case::openLogs;
        QTest::newRow("code words in the code do not count")
            << "CODE_UNAVAILABLE" << noMessage << "CODE_UNAVAILABLE"
            << QStringLiteral("操作失败：CODE_UNAVAILABLE") << generalImpact << Case::openLogs;
    }

    void classification()
    {
        using Case = RecoveryAction::Case;
        QFETCH(QString, code);
        QFETCH(QString, message);
        QFETCH(QString, shownCode);
        QFETCH(QString, shownMessage);
        QFETCH(QString, impact);
        QFETCH(Case, recovery);

        const DisplayError error =
            DisplayError::from(code, message == noMessage ? std::nullopt : std::optional<QString>(message));
        QCOMPARE(error.code, shownCode);
        QCOMPARE(error.message, shownMessage);
        QCOMPARE(error.impact, impact);
        QCOMPARE(error.recovery, RecoveryAction::of(recovery));
    }

    void safeErrorMessage_data()
    {
        QTest::addColumn<QString>("line"); // noMessage: absent
        QTest::addColumn<QString>("safe"); // noMessage: none

        QTest::newRow("absent") << noMessage << noMessage;
        QTest::newRow("blank") << " \n\t" << noMessage;
        QTest::newRow("trimmed") << "  pnpm failed\n"
                                 << "pnpm failed";
        QTest::newRow("redaction mark") << "Email: [REDACTED] failed" << noMessage;
        QTest::newRow("internal line") << "TMAPP_STEP failed" << noMessage;
        QTest::newRow("internal prefix only at the start") << "x TMAPP_STEP failed"
                                                           << "x TMAPP_STEP failed";
        QTest::newRow("300 characters") << QString(300, QLatin1Char('e')) << QString(240, QLatin1Char('e'));
        QTest::newRow("emoji are not split")
            << QString::fromUtf8("😀").repeated(241) << QString::fromUtf8("😀").repeated(240);
    }

    void safeErrorMessage()
    {
        QFETCH(QString, line);
        QFETCH(QString, safe);
        const auto result =
            AppModel::safeErrorMessage(line == noMessage ? std::nullopt : std::optional<QString>(line));
        QCOMPARE(result.value_or(noMessage), safe);
    }

    void failureRecordsOneErrorAndMarksRunningPhases()
    {
        ModelFixture fixture;
        const auto model = fixture.build();
        model->applyProgress(QStringLiteral("redeem"), QStringLiteral("running"),
                             QStringLiteral("正在验证安装码"));
        model->setIsSubmittingSetup(true);
        model->setSetupAuthorization(JITWorkspaceAuthorization{QStringLiteral("google"),
                                                               QStringLiteral("a@b"), QStringLiteral("pw"),
                                                               QUrl(QStringLiteral("https://x"))});

        model->fail(QStringLiteral("SETUP_EXIT_3"), QStringLiteral("server said no"));

        QCOMPARE(model->isSubmittingSetup(), false);
        QCOMPARE(model->setupAuthorization(), std::nullopt);
        QCOMPARE(model->overallState(), OverallState::error);
        QCOMPARE(model->lastError()->code, QStringLiteral("SETUP_EXIT_3"));
        QCOMPARE(model->lastError()->message, QStringLiteral("server said no"));
        QCOMPARE(model->setupProgress().at(int(SetupPhase::redeem)).state, ProgressState::failed);
        QCOMPARE(model->setupProgress().at(int(SetupPhase::runtime)).state, ProgressState::complete);
        QCOMPARE(model->setupProgress().at(int(SetupPhase::configure)).state, ProgressState::pending);
        QCOMPARE(model->focusRevision(), 0); // only a dead code moves the focus
        QCOMPARE(model->installStage(), InstallStage::runtime);
    }

    void deadCodeForgetsTheSetupToolState()
    {
        ModelFixture fixture;
        fixture.write(QStringLiteral("setup-state.json"), "{}");
        const auto model = fixture.build();
        model->setFocusTarget(FocusTarget::recovery());

        model->fail(QStringLiteral("SETUP_EXIT_1"), QStringLiteral("code_unavailable"));

        QCOMPARE(model->lastError()->code, QStringLiteral("SETUP_CODE_UNAVAILABLE"));
        QVERIFY(!QFileInfo::exists(fixture.file(QStringLiteral("setup-state.json"))));
        QCOMPARE(model->focusTarget(), FocusTarget::setupCode());
        QCOMPARE(model->focusRevision(), 1);

        model->fail(QStringLiteral("SETUP_CODE_UNAVAILABLE"), std::nullopt); // nothing left to delete
        QCOMPARE(model->focusRevision(), 2);
    }

    void activityFeedKeepsTheNewestTwenty()
    {
        testing::VirtualTime time;
        ModelFixture fixture;
        const auto model = fixture.build();
        for (int i = 1; i <= 21; ++i) {
            model->appendActivity(QStringLiteral("event %1").arg(i));
            time.advance(std::chrono::seconds(1));
        }
        const QList<ActivityEvent> feed = model->activities();
        QCOMPARE(feed.size(), 20);
        QCOMPARE(feed.first().summary, QStringLiteral("event 21"));
        QCOMPARE(feed.last().summary, QStringLiteral("event 2"));
        QCOMPARE(feed.first().source, ActivityEvent::Source::agent);
        QCOMPARE(feed.first().sourceName(), QStringLiteral("Tallowmere"));
        QCOMPARE(feed.first().occurredAt, time.clock().now().addSecs(-1));
        QVERIFY(feed.first().id != feed.at(1).id);
    }
};

TALLOWMERE_TEST(FailuresTest)
#include "tst_Failures.moc"
