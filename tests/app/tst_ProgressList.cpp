// The install progress list, and the failure routine that marks it and tells the user what went wrong.
#include "app/ModelFixture.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace tallowmere;
using namespace Qt::StringLiterals;
using testing::ModelFixture;

namespace {

// The counter as "completed/total percent%", or "".
const struct CounterRow {
    const char *name;
    std::vector<std::pair<std::optional<int>, std::optional<int>>> events; // completed, total
    const char *counter;
} counterRows[] = {
    {"never backwards", {{10, 100}, {5, 100}}, "10/100 10%"},
    {"capped at the total", {{150, 100}}, "100/100 100%"},
    {"missing total keeps the last", {{3, 7}, {5, {}}}, "5/7 71%"},
    {"missing total without a counter", {{5, {}}}, ""},
    {"zero total ignored", {{5, 0}}, ""},
    {"negative total ignored", {{5, -3}, {1, 4}}, "1/4 25%"},
    {"missing completed counts as zero", {{{}, 4}}, "0/4 0%"},
    {"new total, count carried", {{6, 10}, {2, 8}}, "6/8 75%"},
    {"1 of 200 rounds half up", {{1, 200}}, "1/200 1%"},
};

using enum RecoveryAction::Case;
constexpr char notSetUp[] = "Tallowmere 尚未完成设置。";
constexpr char runtimeImpact[] = "Tallowmere 尚未进入权限配置阶段。";
constexpr char channelImpact[] = "Tallowmere 尚未进入 Channel 绑定阶段。";
constexpr char generalImpact[] = "安装或运行尚未完成。请查看 App 中的安装详情。";
constexpr char deadCode[] = "SETUP_CODE_UNAVAILABLE";
constexpr char unavailable[] = "安装码已失效或不可用，请获取新的安装码后重试。";
constexpr char bootstrapCode[] = "SETUP_BOOTSTRAP_FAILED";
constexpr char bootstrap[] = "安装服务暂时未能完成配置，请稍后重试。";

// Shown code and message nullptr: as given.
const struct ErrorRow {
    const char *name, *code, *message, *shownCode, *shownMessage, *impact;
    RecoveryAction::Case recovery;
} errorRows[] = {
    {"unavailable by code", deadCode, nullptr, nullptr, unavailable, notSetUp, enterInstallCode},
    {"unavailable by message", "SETUP_EXIT_1", "error: code_unavailable", deadCode, unavailable, notSetUp,
     enterInstallCode},
    {"no longer available, any case", "RUNTIME_X", "Code is No Longer Available", deadCode, unavailable,
     notSetUp, enterInstallCode},
    {"bootstrap failed in capitals", "SETUP_EXIT_1", "BOOTSTRAP_FAILED: x", bootstrapCode, bootstrap,
     notSetUp, retryInstall},
    {"bootstrap wins over the runtime prefix", "RUNTIME_X", "bootstrap_failed", bootstrapCode, bootstrap,
     notSetUp, retryInstall},
    {"runtime without message", "RUNTIME_X", nullptr, nullptr, "运行环境准备未完成，请重试。", runtimeImpact,
     retryInstall},
    {"daemon without message", "DAEMON_X", nullptr, nullptr, "Agent 启动未完成，请重试。", channelImpact,
     retryInstall},
    {"start timeout keeps its message", "AGENT_START_TIMEOUT", "Agent 已安装，但未能在 15 秒内启动。",
     nullptr, nullptr, channelImpact, retryInstall},
    {"prefix tests are case-sensitive", "runtime_x", nullptr, nullptr, "操作失败：runtime_x", generalImpact,
     openLogs},
    {"code words in the code do not count", "CODE_UNAVAILABLE", "x", nullptr, nullptr, generalImpact,
     openLogs},
};

const std::string e241(241, 'e'), e240(240, 'e');
const QByteArray emoji241 = QByteArray("😀").repeated(241), emoji240 = QByteArray("😀").repeated(240);

const struct SafeRow {
    const char *name, *line, *safe; // nullptr: absent, none
} safeRows[] = {
    {"blank", " \n\t", nullptr},
    {"trimmed", "  pnpm failed\n", "pnpm failed"},
    {"redaction mark", "Email: [REDACTED] failed", nullptr},
    {"internal line", "TMAPP_STEP failed", nullptr},
    {"internal prefix only at the start", "x TMAPP_STEP failed", "x TMAPP_STEP failed"},
    {"cut to 240", e241.c_str(), e240.c_str()},
    {"240 kept whole", e240.c_str(), e240.c_str()},
    {"emoji are not split", emoji241.constData(), emoji240.constData()},
};

// A progress event of the setup's output.
QString event(const char *phase, const char *status, const QJsonValue &detail)
{
    const QJsonObject event{{u"type"_s, u"progress"_s}, {u"phase"_s, QLatin1String(phase)},
                            {u"status"_s, QLatin1String(status)}, {u"detail"_s, detail}};
    return QString::fromUtf8(QJsonDocument(event).toJson(QJsonDocument::Compact));
}

// Lines of the setup's output fed to a progress list that started afresh (runtime preparation running, no
// detail, no counter) or that stands as `before` with the detail "before": the progress, the detail and the
// package counter afterwards ("-": none).
const struct OutputRow {
    const char *name, *before;
    QStringList lines;
    QString after;
} outputRows[] = {
    {"plain text and other events are ignored", "",
     {u"npm notice"_s, R"({"type":"other","phase":"verify","status":"running"})", u"[1,2]"_s,
      R"({"type":"progress","phase":"verify"})"},
     u"rppppppppp - -"_s},
    {"running completes everything before", "rpppppppcp", {event("verify", "running", u"写入"_s)},
     u"cccccrppcp 写入 -"_s},
    {"a detail that is not a text", "", {event("redeem", "running", 5)}, u"cccrpppppp - -"_s},
    {"complete leaves the others", "rppppppppp", {event("verify", "complete", u"x"_s)}, u"rppppcpppp - -"_s},
    {"failed status marks the phase running", "rppppfpppp", {event("verify", "failed", u"x"_s)},
     u"rpppprpppp - -"_s},
    {"unknown status counts as running", "pppppppppp", {event("redeem", "waiting", u"x"_s)},
     u"ppprpppppp - -"_s},
    {"unknown phase changes nothing", "rppppppppp", {event("download", "running", u"x"_s)},
     u"rppppppppp before -"_s},
    {"detail cut to 80", "pppppppppp", {event("online", "running", QString(81, u'd'))},
     u"cccccccccr "_s + QString(80, u'd') + u" -"_s},
    {"package counts, only integers", "",
     {R"({"type":"packageProgress","completed":3,"total":12})",
      R"({"type":"packageProgress","completed":2.5,"total":"12"})",
      R"({"type":"packageProgress","completed":5.0})"},
     u"rppppppppp - 5/12"_s},
};

} // namespace

class ProgressListTest : public QObject {
    Q_OBJECT

    std::optional<ModelFixture> fixture;
    std::unique_ptr<AppModel> model;

private slots:
    void init()
    {
        model.reset();
        fixture.emplace();
        model = fixture->build();
    }

    void setupOutput_data() { testing::addRows(outputRows); }
    void setupOutput()
    {
        const OutputRow &row = testing::currentRow(outputRows);
        model->setSetupProgressDetail(u"x"_s);
        model->updatePackageInstallProgress(1, 2);
        model->beginProgress();
        if (*row.before) {
            QList<SetupProgressItem> items = model->setupProgress();
            for (qsizetype i = 0; i < items.size(); ++i)
                items[i].state = ProgressState(u"prcf"_s.indexOf(QLatin1Char(row.before[i])));
            model->setSetupProgress(items);
            model->setSetupProgressDetail(u"before"_s);
        }
        for (const QString &line : row.lines)
            model->consumeSetupOutput(line);
        const auto counter = model->packageInstallProgress();
        QCOMPARE(testing::progressLetters(model->setupProgress()) + u' ' +
                     model->setupProgressDetail().value_or(u"-"_s) + u' ' +
                     (counter ? u"%1/%2"_s.arg(counter->completed).arg(counter->total) : u"-"_s),
                 row.after);
    }

    void packageCounter_data() { testing::addRows(counterRows); }
    void packageCounter()
    {
        const CounterRow &row = testing::currentRow(counterRows);
        for (const auto &[completed, total] : row.events)
            model->updatePackageInstallProgress(completed, total);
        const auto p = model->packageInstallProgress();
        QCOMPARE(p ? u"%1/%2 %3%"_s.arg(p->completed).arg(p->total).arg(p->percentage()) : QString(),
                 testing::utf8(row.counter));
    }

    void classification_data() { testing::addRows(errorRows); }
    void classification()
    {
        const ErrorRow &row = testing::currentRow(errorRows);
        const DisplayError error =
            DisplayError::from(testing::utf8(row.code), testing::optionalText(row.message));
        QCOMPARE(error.code, testing::utf8(row.shownCode ? row.shownCode : row.code));
        QCOMPARE(error.message, testing::utf8(row.shownMessage ? row.shownMessage : row.message));
        QCOMPARE(error.impact, testing::utf8(row.impact));
        QCOMPARE(error.recovery, RecoveryAction::of(row.recovery));
    }

    void safeErrorMessage_data() { testing::addRows(safeRows); }
    void safeErrorMessage()
    {
        const SafeRow &row = testing::currentRow(safeRows);
        QCOMPARE(AppModel::safeErrorMessage(testing::optionalText(row.line)),
                 testing::optionalText(row.safe));
    }

    void failureMarksRunningPhasesFailed()
    {
        const QString setupState = fixture->file(u"setup-state.json"_s);
        testing::writeFile(setupState, "{}");
        model->applyProgress(u"redeem"_s, u"running"_s, u"验证"_s);
        model->setSetupAuthorization(
            JITWorkspaceAuthorization{u"google"_s, u"a@b"_s, u"pw"_s, QUrl(u"https://x"_s)});
        model->setFocusTarget(FocusTarget::recovery());

        // The code, message, state and progress shown: see InstallPipelineTest::submission.
        model->fail(u"SETUP_EXIT_3"_s, u"server said no"_s);
        QCOMPARE(model->setupAuthorization(), std::nullopt);
        QCOMPARE(model->setupProgressFraction(), 0.3); // three of ten phases complete
        QCOMPARE(model->focusRevision(), 0);
        QVERIFY(QFileInfo::exists(setupState));

        // A dead code: the setup tool must not resume with it, and the focus goes to the code field.
        model->fail(u"SETUP_EXIT_1"_s, u"code_unavailable"_s);
        QCOMPARE(model->lastError()->code, u"SETUP_CODE_UNAVAILABLE"_s);
        QVERIFY(!QFileInfo::exists(setupState));
        QCOMPARE(model->focusTarget(), FocusTarget::setupCode());
        QCOMPARE(model->focusRevision(), 1);
    }

    void activityFeedKeepsTheNewestTwenty()
    {
        for (int i = 1; i <= 21; ++i)
            model->appendActivity(u"event %1"_s.arg(i));
        QCOMPARE(model->activities().size(), 20);
        QCOMPARE(model->activities().first().summary, u"event 21"_s);
        QCOMPARE(model->activities().last().summary, u"event 2"_s);
    }
};

TALLOWMERE_TEST(ProgressListTest)
#include "tst_ProgressList.moc"
