#include "ImageProviders.h"

#include "SymbolImage.h"
#include "platform/Bundle.h"

#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QPainter>

namespace tallowmere::ui {

namespace {

constexpr int defaultPixels = 16;

QImage tinted(QImage image, const QColor &colour)
{
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), colour);
    return image;
}

QImage sized(const QImage &image, QSize *size, const QSize &requestedSize)
{
    const QImage result = requestedSize.isValid() && !image.isNull() && image.size() != requestedSize
                              ? image.scaled(requestedSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                              : image;
    if (size)
        *size = result.size();
    return result;
}

} // namespace

SymbolImageProvider::SymbolImageProvider()
    : QQuickImageProvider(QQmlImageProviderBase::Image)
{
}

QImage SymbolImageProvider::requestImage(const QString &id, QSize *size, const QSize &requestedSize)
{
    const QString name = id.section(QLatin1Char('/'), 0, 0);
    const QColor colour(QLatin1Char('#') + id.section(QLatin1Char('/'), 1, 1));
    const int pixels =
        requestedSize.isValid() ? qMax(requestedSize.width(), requestedSize.height()) : defaultPixels;
    QImage image = symbolImage(name, pixels);
    if (!image.isNull() && colour.isValid())
        image = tinted(image.convertToFormat(QImage::Format_ARGB32_Premultiplied), colour);
    return sized(image, size, requestedSize);
}

BrandImageProvider::BrandImageProvider()
    : QQuickImageProvider(QQmlImageProviderBase::Image)
{
}

QImage BrandImageProvider::requestImage(const QString &id, QSize *size, const QSize &requestedSize)
{
    const int pixels = requestedSize.isValid() ? qMax(requestedSize.width(), requestedSize.height()) : 128;
    if (id == QLatin1String("application")) {
        const QIcon icon = QGuiApplication::windowIcon();
        return sized(icon.isNull() ? QImage() : icon.pixmap(pixels, pixels).toImage(), size, requestedSize);
    }
    return sized(brandImage(id, pixels), size, requestedSize);
}

namespace {

const QString brandSymbol = QStringLiteral("sparkles.rectangle.stack.fill");

// The resource's picture, read as PNG alone: probing by content would load every image-format plugin
// there is.
QImage brandPicture(const QString &resource)
{
    const auto path = platform::bundleResourcePath(resource, QStringLiteral("png"));
    if (!path)
        return {};
    QImageReader reader(*path, "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

} // namespace

QImage brandImage(const QString &resource, int fallbackPixels)
{
    const QImage image = brandPicture(resource);
    return image.isNull() ? symbolImage(brandSymbol, fallbackPixels) : image;
}

QIcon brandIcon(const QString &resource)
{
    return QIcon(QPixmap::fromImage(brandImage(resource, 64)));
}

} // namespace tallowmere::ui
