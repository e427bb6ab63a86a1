#pragma once

#include "app/AppModel.h"
#include "support/TestSupport.h"
#include "ui/EngineSetup.h"
#include "ui/ModelActions.h"

#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>

#include <memory>

namespace testing {

// Registers a test class of this executable; main runs them all (or the one named first).
int registerScreenTest(const char *name, TestFactory factory);
#define TALLOWMERE_SCREEN_TEST(Class)                                                                        \
    static const int registered_##Class =                                                                    \
        testing::registerScreenTest(#Class, [] { return std::make_unique<Class>(); });

inline QString str(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// One screen file of the module in an offscreen window, over a model with a scratch profile and
// substitute operations that record their calls.
class Screen {
public:
    Screen()
        : m_profile(m_home.profileDirectory())
    {
        tallowmere::ui::prepareEngine(m_engine);
    }
    ~Screen() { delete m_window; }

    // Before build(): a state file of the profile (see app/PersistedState.h), the agent's configuration.
    void writeState(const char *file, const QByteArray &content)
    {
        writeFile(m_profile + QLatin1Char('/') + QLatin1String(file), content);
    }
    void configure() { writeState("config.json", "{}"); }
    tallowmere::AppModel &build();
    tallowmere::AppModel &buildInSetupStage(); // through a finished permission stage

    // Opens `file` (a window, or an item shown in a window of `size`).
    void open(const QString &file = QStringLiteral("Main.qml"), QSize size = {960, 1400});
    QQuickWindow *window() const { return m_window; }
    QQmlEngine &engine() { return m_engine; }

    // The object named `name`, waiting for it to appear; failing the test when absent.
    QQuickItem *item(const QString &name) const { return qobject_cast<QQuickItem *>(object(name)); }
    QObject *object(const QString &name) const;
    QObject *find(const QString &name) const; // null when absent
    static QString accessibleName(QObject *item);
    // The text of the item named `name` inside `root`, failing the test when absent.
    static QString textWithin(QQuickItem *root, const QString &name);
    static QQuickItem *within(QQuickItem *root, const QString &name);
    QString text(const QString &name) const;
    bool shown(const QString &name) const; // present and visible
    // Shown, enabled and with exactly `title`.
    void expectButton(const QString &name, const QString &title, bool isEnabled) const;

    void click(const QString &name);
    void type(const QString &text);
    // Lets bindings, loaders and images settle, then saves the window as screens/<name>.png.
    void save(const QString &name);

    tallowmere::AppModel &model() const { return *m_model; }
    // The substitute operations' calls, in order ("permissionCheck screenRecording", ...).
    QStringList calls;
    // What the substitute onboarding service answers, and whether the browser opens.
    tallowmere::OwnerSetupSession ownerSetupSession{
        true, QUrl(QStringLiteral("https://onboarding.example/bind/1")), {}, false, {}};
    bool browserOpens = true;

private:
    ScratchHome m_home;
    QString m_profile;
    std::unique_ptr<tallowmere::AppModel> m_model;
    std::unique_ptr<tallowmere::ui::ModelActions> m_actions;
    QQmlEngine m_engine;
    QQuickWindow *m_window = nullptr;
};

} // namespace testing
