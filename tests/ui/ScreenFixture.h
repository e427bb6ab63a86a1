#pragma once

#include "app/OutsideWorld.h"
#include "ui/ModelActions.h"

#include <QAccessible>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>

#include <memory>

namespace testing {

// The agent out of reach, with `recovery` offered.
inline tallowmere::DisplayError unreachable(tallowmere::RecoveryAction::Case recovery)
{
    return {QStringLiteral("AGENT_UNREACHABLE"), utf8("无法连接 Agent。"), utf8("任务暂停。"),
            tallowmere::RecoveryAction::of(recovery)};
}

// One screen file of the module in an offscreen window, over a model whose outside world is fakes that
// record their calls (nothing granted), on virtual time.
class Screen {
public:
    Screen() { world.granted.clear(); }
    ~Screen() { delete m_window; }

    // The model's outside world, to be set up before build(): its state files, its fakes and their calls.
    OutsideWorld world;
    tallowmere::AppModel &build();
    tallowmere::AppModel &buildInSetupStage(); // through a finished permission stage
    tallowmere::AppModel &model() const { return *world.model; }

    // Opens `file` (a window, or an item shown in a window of `size`).
    void open(const QString &file = QStringLiteral("Main.qml"), QSize size = {960, 1400});
    QQuickWindow *window() const { return m_window; }

    // The object named `name` (inside `root`, if given), waiting for it to appear; failing the test when
    // it is absent.
    QQuickItem *item(const QString &name) const { return qobject_cast<QQuickItem *>(object(name)); }
    QObject *object(const QString &name) const;
    static QQuickItem *within(QQuickItem *root, const QString &name);
    QObject *find(const QString &name) const; // null when absent
    static QString accessibleName(QObject *item)
    {
        return QAccessible::queryAccessibleInterface(item)->text(QAccessible::Name);
    }
    QString text(const QString &name) const { return textOf(object(name)); }
    static QString textWithin(QQuickItem *root, const QString &name) { return textOf(within(root, name)); }
    bool shown(const QString &name) const; // present and visible
    // Shown, enabled and with exactly `title`.
    void expectButton(const QString &name, const QString &title, bool isEnabled) const;

    void click(const QString &name);
    // Lets bindings, loaders and images settle, then saves the window as screens/<name>.png.
    void save(const QString &name);

private:
    static QString textOf(QObject *o) { return o ? o->property("text").toString() : QStringLiteral("<absent>"); }
    std::unique_ptr<tallowmere::ui::ModelActions> m_actions;
    QQmlEngine m_engine;
    QQuickWindow *m_window = nullptr;
};

} // namespace testing
