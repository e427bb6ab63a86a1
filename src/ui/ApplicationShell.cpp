#include "ApplicationShell.h"

#include "EngineSetup.h"
#include "ImageProviders.h"
#include "app/AppModel.h"
#include "platform/Pasteboard.h"

#include <QApplication>
#include <QClipboard>
#include <QQmlComponent>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QScreen>
#include <QSystemTrayIcon>

namespace tallowmere::ui {

namespace {

const QString moduleDirectory = QStringLiteral("qrc:/qt/qml/Tallowmere/");

} // namespace

void prepareApplication()
{
    QApplication::setApplicationName(QStringLiteral("Tallowmere"));
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    QApplication::setWindowIcon(brandIcon(QStringLiteral("TallowmereMark")));
#ifndef Q_OS_MACOS
    // The clipboard belongs to the application object; the platform layer copies through it.
    platform::setClipboardWriter([](const QString &text) {
        QGuiApplication::clipboard()->setText(text);
        return QGuiApplication::clipboard()->text() == text;
    });
#endif
}

ApplicationShell::ApplicationShell(AppModel &model, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_actions(model)
{
    prepareEngine(m_engine);
}

ApplicationShell::~ApplicationShell()
{
    delete m_panel;
}

bool ApplicationShell::start()
{
    QApplication::setQuitOnLastWindowClosed(false);
    m_engine.setInitialProperties({{QStringLiteral("model"), QVariant::fromValue(&m_model)},
                                   {QStringLiteral("actions"), QVariant::fromValue(&m_actions)}});
    m_engine.load(QUrl(moduleDirectory + QStringLiteral("Main.qml")));
    if (!mainWindow())
        return false;
    installMenuBarItem();
    return true;
}

QQuickWindow *ApplicationShell::mainWindow() const
{
    return qobject_cast<QQuickWindow *>(m_engine.rootObjects().value(0));
}

void ApplicationShell::openMainWindow()
{
    QQuickWindow *window = mainWindow();
    if (!window)
        return;
    window->show();
    window->raise();
    window->requestActivate();
}

QQuickWindow *ApplicationShell::menuBarPanel()
{
    if (m_panel)
        return m_panel;
    QQmlComponent component(&m_engine, QUrl(moduleDirectory + QStringLiteral("MenuBarPanel.qml")));
    QObject *made =
        component.createWithInitialProperties({{QStringLiteral("model"), QVariant::fromValue(&m_model)},
                                               {QStringLiteral("actions"), QVariant::fromValue(&m_actions)}});
    m_panel = qobject_cast<QQuickWindow *>(made);
    if (!m_panel) {
        qWarning() << "the menu-bar panel could not be made:" << component.errorString();
        delete made;
        return nullptr;
    }
    connect(m_panel, SIGNAL(openMainWindowRequested()), this, SLOT(openMainWindow()));
    return m_panel;
}

void ApplicationShell::installMenuBarItem()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_menuBarItem = std::make_unique<QSystemTrayIcon>(brandIcon(QStringLiteral("TallowmereMenuBar")));
    m_menuBarItem->setToolTip(QStringLiteral("Tallowmere"));
    connect(m_menuBarItem.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context)
                    togglePanel(m_menuBarItem->geometry());
            });
    m_menuBarItem->show();
}

// Opens the panel under the item, kept on the item's screen; a second press closes it.
void ApplicationShell::togglePanel(const QRect &itemGeometry)
{
    QQuickWindow *panel = menuBarPanel();
    if (!panel)
        return;
    if (panel->isVisible()) {
        panel->hide();
        return;
    }
    const QScreen *screen = QGuiApplication::screenAt(itemGeometry.center());
    const QRect area = screen ? screen->availableGeometry() : QRect(itemGeometry.topLeft(), panel->size());
    const int x = std::clamp(itemGeometry.center().x() - panel->width() / 2, area.left(),
                             std::max(area.left(), area.right() - panel->width()));
    const int below = itemGeometry.bottom() + 4;
    const int y = below + panel->height() <= area.bottom() ? below : itemGeometry.top() - 4 - panel->height();
    panel->setPosition(x, y);
    panel->show();
    panel->raise();
    panel->requestActivate();
}

} // namespace tallowmere::ui
