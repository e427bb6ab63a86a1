#include "app/AppModel.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QTimer>

#include <cstdio>

namespace {

// Saves what the window shows once it has rendered, says where, and quits.
void screenshotAndQuit(QQmlApplicationEngine &engine, const QString &path)
{
    QTimer::singleShot(1500, &engine, [&engine, path] {
        auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().value(0));
        const bool saved = window && window->grabWindow().save(path);
        std::printf(saved ? "screenshot saved to %s\n" : "could not save a screenshot to %s\n",
                    qPrintable(path));
        QCoreApplication::exit(saved ? 0 : 1);
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Tallowmere"));

    QCommandLineParser options;
    options.addHelpOption();
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the window to <file> and quit."),
                                        QStringLiteral("file"));
    options.addOption(screenshot);
    options.process(app);

    tallowmere::AppModel model({}, true);

    QQmlApplicationEngine engine;
    engine.setInitialProperties({{QStringLiteral("model"), QVariant::fromValue(&model)}});
    engine.load(QUrl(QStringLiteral("qrc:/qt/qml/Tallowmere/Main.qml")));
    if (engine.rootObjects().isEmpty())
        return 1;
    if (options.isSet(screenshot))
        screenshotAndQuit(engine, options.value(screenshot));
    return app.exec();
}
