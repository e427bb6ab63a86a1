// The symbols drawn from the freedesktop icon theme (Adwaita): for each SF Symbol the screens name, the
// closest monochrome theme icon.
#include "SymbolImage.h"

#include <QHash>
#include <QIcon>

namespace tallowmere::ui {

namespace {

const QHash<QString, QString> &themeIcons()
{
    static const QHash<QString, QString> icons{
        {QStringLiteral("circle.dashed"), QStringLiteral("content-loading-symbolic")},
        {QStringLiteral("key.horizontal"), QStringLiteral("dialog-password-symbolic")},
        {QStringLiteral("checkmark.circle.fill"), QStringLiteral("emblem-default-symbolic")},
        {QStringLiteral("xmark.octagon.fill"), QStringLiteral("process-stop-symbolic")},
        {QStringLiteral("hand.raised"), QStringLiteral("preferences-system-privacy-symbolic")},
        {QStringLiteral("lock.shield"), QStringLiteral("security-high-symbolic")},
        {QStringLiteral("gearshape.2"), QStringLiteral("emblem-system-symbolic")},
        {QStringLiteral("person.badge.key"), QStringLiteral("avatar-default-symbolic")},
        {QStringLiteral("exclamationmark.triangle"), QStringLiteral("dialog-warning-symbolic")},
        {QStringLiteral("exclamationmark.triangle.fill"), QStringLiteral("dialog-warning-symbolic")},
        {QStringLiteral("arrow.triangle.2.circlepath"), QStringLiteral("emblem-synchronizing-symbolic")},
        {QStringLiteral("accessibility"), QStringLiteral("preferences-desktop-accessibility-symbolic")},
        {QStringLiteral("internaldrive"), QStringLiteral("drive-harddisk-symbolic")},
        {QStringLiteral("rectangle.inset.filled.and.person.filled"),
         QStringLiteral("screen-shared-symbolic")},
        {QStringLiteral("network"), QStringLiteral("network-wired-symbolic")},
        {QStringLiteral("sparkles.rectangle.stack.fill"), QStringLiteral("starred-symbolic")},
        {QStringLiteral("xmark"), QStringLiteral("window-close-symbolic")},
        {QStringLiteral("circle"), QStringLiteral("radio-symbolic")},
        {QStringLiteral("xmark.circle.fill"), QStringLiteral("dialog-error-symbolic")},
        {QStringLiteral("chevron.right"), QStringLiteral("pan-end-symbolic")},
        {QStringLiteral("chevron.down"), QStringLiteral("pan-down-symbolic")},
    };
    return icons;
}

} // namespace

void prepareSymbols()
{
    // Offscreen there is no desktop to name the theme; the one that has every icon above is set here.
    QIcon::setThemeSearchPaths(QIcon::themeSearchPaths() << QStringLiteral("/usr/share/icons"));
    QIcon::setThemeName(QStringLiteral("Adwaita"));
}

QImage symbolImage(const QString &name, int pixels)
{
    const auto icon = themeIcons().constFind(name);
    if (icon == themeIcons().cend() || !QIcon::hasThemeIcon(*icon))
        return {};
    return QIcon::fromTheme(*icon).pixmap(pixels, pixels).toImage();
}

} // namespace tallowmere::ui
