#include "app/ModelFixture.h"

#include <QSignalSpy>

using namespace tallowmere;
using testing::ModelFixture;

namespace {

QString letters(const QList<SetupProgressItem> &items)
{
    QString text;
    for (const SetupProgressItem &item : items)
        text += QLatin1Char("prcf"[int(item.state)]);
    return text;
}

QList<SetupProgressItem> fromLetters(const QString &text)
{
    QList<SetupProgressItem> items;
    for (int i = 0; i < text.size(); ++i)
        items.append({SetupPhase(i), ProgressState(QStringLiteral("prcf").indexOf(text.at(i)))});
    return items;
}

const QString none = QStringLiteral("<none>");

} // namespace

class ProgressListTest : public QObject {
    Q_OBJECT

private slots:
    void restoreForEachStage_data()
    {
        QTest::addColumn<InstallStage>("stage");
        QTest::addColumn<QString>("progress");
        QTest::newRow("runtime") << InstallStage::runtime << "rppppppppp";
        QTest::newRow("permissions") << InstallStage::permissions << "ccrppppppp";
        QTest::newRow("setup runs nothing") << InstallStage::setup << "cccppppppp";
        QTest::newRow("daemon") << InstallStage::daemon << "ccccccrppp";
        QTest::newRow("channel") << InstallStage::channel << "cccccccrpp";
        QTest::newRow("handshake") << InstallStage::handshake << "ccccccccrp";
    }

    void restoreForEachStage()
    {
        QFETCH(InstallStage, stage);
        QFETCH(QString, progress);
        ModelFixture fixture;
        const auto model = fixture.build();
        model->setSetupProgress(fromLetters(QStringLiteral("ffffffffff")));
        model->setSetupProgressDetail(QStringLiteral("kept"));
        model->restoreProgress(stage);
        QCOMPARE(letters(model->setupProgress()), progress);
        QCOMPARE(model->setupProgressDetail(), QStringLiteral("kept"));
    }

    void applyEvent_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("phase");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("detail"); // none: absent
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("detailAfter"); // none: cleared

        QTest::newRow("running completes everything before") << "rppppppppp"
                                                             << "verify"
                                                             << "running"
                                                             << "写入"
                                                             << "cccccrpppp"
                                                             << "写入";
        QTest::newRow("complete leaves the others") << "rppppppppp"
                                                    << "verify"
                                                    << "complete"
                                                    << "x"
                                                    << "rppppcpppp" << none;
        QTest::newRow("failed status marks the phase running") << "rppppppppp"
                                                               << "verify"
                                                               << "failed"
                                                               << "x"
                                                               << "rpppprpppp" << none;
        QTest::newRow("unknown status counts as running") << "pppppppppp"
                                                          << "redeem"
                                                          << "waiting"
                                                          << "x"
                                                          << "ppprpppppp" << none;
        QTest::newRow("running without detail") << "pppppppppp"
                                                << "runtime"
                                                << "running" << none << "rppppppppp" << none;
        QTest::newRow("unknown phase changes nothing") << "rppppppppp"
                                                       << "download"
                                                       << "running"
                                                       << "x"
                                                       << "rppppppppp"
                                                       << "before";
        QTest::newRow("phase names are case-sensitive") << "rppppppppp"
                                                        << "Verify"
                                                        << "complete"
                                                        << "x"
                                                        << "rppppppppp"
                                                        << "before";
        QTest::newRow("detail cut to 80")
            << "pppppppppp"
            << "online"
            << "running" << QString(100, QLatin1Char('d')) << "cccccccccr" << QString(80, QLatin1Char('d'));
    }

    void applyEvent()
    {
        QFETCH(QString, before);
        QFETCH(QString, phase);
        QFETCH(QString, status);
        QFETCH(QString, detail);
        QFETCH(QString, after);
        QFETCH(QString, detailAfter);

        ModelFixture fixture;
        const auto model = fixture.build();
        model->setSetupProgress(fromLetters(before));
        model->setSetupProgressDetail(QStringLiteral("before"));
        model->applyProgress(phase, status, detail == none ? std::nullopt : std::optional<QString>(detail));
        QCOMPARE(letters(model->setupProgress()), after);
        QCOMPARE(model->setupProgressDetail().value_or(none), detailAfter);
    }

    void packageCounter_data()
    {
        QTest::addColumn<QString>("events");  // "completed/total" events, "-" for an absent number
        QTest::addColumn<QString>("counter"); // "completed/total", or none

        QTest::newRow("never backwards") << "10/100 5/100"
                                         << "10/100";
        QTest::newRow("capped at the total") << "150/100"
                                             << "100/100";
        QTest::newRow("missing total keeps the last") << "3/7 5/-"
                                                      << "5/7";
        QTest::newRow("missing total without a counter") << "5/-" << none;
        QTest::newRow("zero total ignored") << "5/0" << none;
        QTest::newRow("negative total ignored") << "5/-3 1/4"
                                                << "1/4";
        QTest::newRow("missing completed counts as zero") << "-/4"
                                                          << "0/4";
        QTest::newRow("new total, count carried") << "6/10 2/8"
                                                  << "6/8";
    }

    void packageCounter()
    {
        QFETCH(QString, events);
        QFETCH(QString, counter);
        ModelFixture fixture;
        const auto model = fixture.build();
        const auto number = [](const QString &text) {
            return text == QLatin1String("-") ? std::nullopt : std::optional<int>(text.toInt());
        };
        for (const QString &event : events.split(QLatin1Char(' '))) {
            const QStringList parts = event.split(QLatin1Char('/'));
            model->updatePackageInstallProgress(number(parts[0]), number(parts[1]));
        }
        const auto progress = model->packageInstallProgress();
        QCOMPARE(progress ? QStringLiteral("%1/%2").arg(progress->completed).arg(progress->total) : none,
                 counter);
    }

    void percentage_data()
    {
        QTest::addColumn<int>("completed");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("percent");
        QTest::newRow("5 of 0") << 5 << 0 << 0;
        QTest::newRow("3 of 2") << 3 << 2 << 100;
        QTest::newRow("1 of 3") << 1 << 3 << 33;
        QTest::newRow("2 of 3") << 2 << 3 << 67;
        QTest::newRow("1 of 200 rounds up") << 1 << 200 << 1;
    }

    void percentage()
    {
        QFETCH(int, completed);
        QFETCH(int, total);
        QFETCH(int, percent);
        QCOMPARE((PackageInstallProgress{completed, total}.percentage()), percent);
    }

    void beginStartsAFreshList()
    {
        ModelFixture fixture;
        const auto model = fixture.build();
        model->setSetupProgress(fromLetters(QStringLiteral("ccccfppppp")));
        model->setSetupProgressDetail(QStringLiteral("x"));
        model->updatePackageInstallProgress(1, 2);
        model->setOverallState(OverallState::error);

        model->beginProgress();

        QCOMPARE(letters(model->setupProgress()), QStringLiteral("rppppppppp"));
        QCOMPARE(model->setupProgressDetail(), std::nullopt);
        QCOMPARE(model->packageInstallProgress(), std::nullopt);
        QCOMPARE(model->overallState(), OverallState::starting);
    }

    void countsAndFraction()
    {
        ModelFixture fixture;
        const auto model = fixture.build();
        model->setSetupProgress(fromLetters(QStringLiteral("cccfrppppp")));
        QCOMPARE(model->setupProgressCounts().completed, 3);
        QCOMPARE(model->setupProgressCounts().total, 10);
        QCOMPARE(model->setupProgressFraction(), 0.3);
    }

    void packageCounterShowsOnlyWhileInstallingThePackage()
    {
        ModelFixture fixture;
        const auto model = fixture.build();
        model->setIsPreparingEnvironment(true);
        model->applyProgress(QStringLiteral("runtime"), QStringLiteral("running"),
                             QStringLiteral("安装 Tallowmere"));
        QVERIFY(model->showsPackageInstallProgress());
        model->applyProgress(QStringLiteral("runtime"), QStringLiteral("running"),
                             QStringLiteral("安装 Tallowmere "));
        QVERIFY(!model->showsPackageInstallProgress());
        model->applyProgress(QStringLiteral("runtime"), QStringLiteral("running"),
                             QStringLiteral("安装 Tallowmere"));
        model->setIsPreparingEnvironment(false);
        QVERIFY(!model->showsPackageInstallProgress());
    }

    void unchangedListDoesNotNotify()
    {
        ModelFixture fixture;
        const auto model = fixture.build();
        QSignalSpy spy(model.get(), &AppModel::setupProgressChanged);
        model->applyProgress(QStringLiteral("runtime"), QStringLiteral("running"), std::nullopt);
        QCOMPARE(spy.count(), 0);
        model->applyProgress(QStringLiteral("runtime"), QStringLiteral("complete"), std::nullopt);
        QCOMPARE(spy.count(), 1);
    }
};

TALLOWMERE_TEST(ProgressListTest)
#include "tst_ProgressList.moc"
