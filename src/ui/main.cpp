#include "ApplicationShell.h"
#include "app/AppModel.h"
#include "commands/CommandLine.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QQuickWindow>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>

Q_IMPORT_QML_PLUGIN(TallowmerePlugin)

namespace {

// Saves what `window` shows once it has rendered, says where, and quits.
void screenshotAndQuit(QQuickWindow *window, const QString &path)
{
    QTimer::singleShot(1500, window, [window, path] {
        const bool saved = window->grabWindow().save(path);
        std::printf(saved ? "screenshot saved to %s\n" : "could not save a screenshot to %s\n",
                    qPrintable(path));
        QCoreApplication::exit(saved ? 0 : 1);
    });
}

} // namespace

int main(int argc, char *argv[])
{
    // A command runs without a window; only the window's own options are left for the parser below.
    if (const std::optional<int> status = tallowmere::commands::run(argc, argv))
        return *status;

    // Qt Widgets for the tray icon; the screens themselves are Qt Quick.
    QApplication app(argc, argv);
    tallowmere::ui::prepareApplication();

    QCommandLineParser options;
    // Saves a picture of the main window to <file> and quits.
    const QCommandLineOption screenshot(QStringLiteral("screenshot"), QString(), QStringLiteral("file"));
    options.addOption(screenshot);
    options.process(app);

    tallowmere::AppModel model({}, true);
    tallowmere::ui::ApplicationShell shell(model);
    if (!shell.start())
        return 1;
    if (options.isSet(screenshot))
        screenshotAndQuit(shell.mainWindow(), options.value(screenshot));
    return app.exec();
}
