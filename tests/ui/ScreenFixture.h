#pragma once

#include "app/AppModel.h"
#include "support/TestSupport.h"
#include "ui/ModelActions.h"

#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>

#include <functional>
#include <memory>

namespace testing {

// Registers a test class of this executable; main runs them all.
int registerScreenTest(const char *name, TestFactory factory);
int runScreenTests(); // the number of failed test classes
#define TALLOWMERE_SCREEN_TEST(Class)                                                                        \
    static const int registered_##Class =                                                                    \
        testing::registerScreenTest(#Class, [] { return std::make_unique<Class>(); });

// One screen file of the module in an offscreen window, over a model with a scratch profile and
// substitute operations that record their calls.
class Screen {
public:
    Screen();
    ~Screen();

    // Before build(): a state file of the profile (see app/PersistedState.h), the agent's configuration.
    void writeState(const char *file, const QByteArray &content);
    void configure();
    // The model, built from the profile's state; the setup stage through a finished permission stage.
    tallowmere::AppModel &build();
    tallowmere::AppModel &buildInSetupStage();

    // Opens `file` (a window, or an item shown in a window of `size`) with `properties` besides the
    // model and the operations.
    void open(const QString &file, QSize size = {960, 640}, const QVariantMap &properties = {});
    QQuickWindow *window() const { return m_window; }
    QQmlEngine &engine() { return m_engine; }

    // The object named `name` in the window, waiting for it to appear; failing the test when absent.
    QQuickItem *item(const QString &name) const;
    QObject *object(const QString &name) const;
    QQuickItem *find(const QString &name) const;      // null when absent
    QObject *findAnywhere(const QString &name) const; // null when absent
    // What a screen reader calls `item` (its Accessible.name).
    static QString accessibleName(QObject *item);
    // The item named `name` inside `root`, failing the test when absent.
    static QQuickItem *within(QQuickItem *root, const QString &name);
    QString text(const QString &name) const;
    bool shown(const QString &name) const; // present and visible

    void click(const QString &name);
    void type(const QString &text);
    void press(Qt::Key key);
    // Lets bindings, loaders and images settle, then saves what the window shows as <name>.png in the
    // build folder's "screens" directory.
    void save(const QString &name);

    tallowmere::AppModel &model() const { return *m_model; }
    tallowmere::ui::ModelActions &actions() const { return *m_actions; }
    // The substitute operations' calls, in order ("permissionCheck screenRecording", ...).
    QStringList calls;
    // What the substitute onboarding service answers, and whether the browser opens.
    tallowmere::OwnerSetupSession ownerSetupSession{
        .required = true,
        .url = QUrl(QStringLiteral("https://onboarding.example/bind/1")),
        .expiresAt = {},
        .hasLiveSession = false,
        .hasPendingBinding = {}};
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
