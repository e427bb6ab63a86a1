// The baseline of bench-startup: a bare Qt Quick window of the main window's size with one text, built
// with the same compiler and build type as the application. It says when its first frame is on screen
// the way the application does there, and ends.
#include "FirstFrame.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>

#include <memory>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    bench::reportPhase("application-object");
    QQmlEngine engine;
    bench::reportPhase("engine");
    QQmlComponent component(&engine);
    component.setData("import QtQuick\n"
                      "Window { width: 960; height: 640; visible: true; color: \"white\"\n"
                      "    Text { anchors.centerIn: parent; text: \"Tallowmere\" } }\n",
                      QUrl());
    std::unique_ptr<QObject> window(component.create());
    auto *quickWindow = qobject_cast<QQuickWindow *>(window.get());
    if (!quickWindow) {
        std::fprintf(stderr, "the bare window could not be made: %s\n", qPrintable(component.errorString()));
        return 1;
    }
    bench::reportPhase("window-loaded");
    bench::reportFirstFrame(quickWindow);
    return app.exec();
}
