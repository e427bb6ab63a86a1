#pragma once

#include <QIcon>
#include <QQuickImageProvider>

namespace tallowmere::ui {

// "image://symbol/<SF Symbol name>/<rrggbb>": the symbol in one colour.
class SymbolImageProvider : public QQuickImageProvider {
public:
    SymbolImageProvider();
    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;
};

// "image://brand/<resource>": the bundle's PNG of that name ("TallowmereMark", "TallowmereMenuBar"),
// or the brand symbol when it is missing or unreadable; "image://brand/application": the application's
// own icon, or nothing.
class BrandImageProvider : public QQuickImageProvider {
public:
    BrandImageProvider();
    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;
};

// The bundle's brand image `resource`, or the brand symbol `fallbackPixels` high.
QImage brandImage(const QString &resource, int fallbackPixels);
// The same as an icon, for the menu-bar item.
QIcon brandIcon(const QString &resource);

} // namespace tallowmere::ui
