#pragma once

#include "ModelActions.h"

#include <QPointer>
#include <QQmlApplicationEngine>

#include <memory>

class QQuickWindow;
class QSystemTrayIcon;

namespace tallowmere {
class AppModel;
}

namespace tallowmere::ui {

// What the application sets up, once its QApplication exists and before its first window: its name, the
// controls' style, its icon and, off the Mac, the clipboard the platform layer copies through.
void prepareApplication();

// The application's two scenes over the one model: the main window ("main") and the menu-bar item,
// which on Linux is a tray icon (where the desktop has a tray) opening the menu-bar panel. Closing the
// main window leaves the application running; the panel opens it again.
class ApplicationShell : public QObject {
    Q_OBJECT

public:
    explicit ApplicationShell(AppModel &model, QObject *parent = nullptr);
    ~ApplicationShell() override;

    // Loads the main window and installs the menu-bar item; false when the window cannot be made.
    bool start();
    QQuickWindow *mainWindow() const;
    // The menu-bar panel, made on first use; shown only by the menu-bar item.
    QQuickWindow *menuBarPanel();

public Q_SLOTS:
    // Shows the main window (again, if it was closed) in front of every other window.
    void openMainWindow();

private:
    void installMenuBarItem();
    void togglePanel(const QRect &itemGeometry);

    AppModel &m_model;
    ModelActions m_actions;
    QQmlApplicationEngine m_engine;
    std::unique_ptr<QSystemTrayIcon> m_menuBarItem;
    QPointer<QQuickWindow> m_panel;
};

} // namespace tallowmere::ui
