#include "ScreenFixture.h"
#include "ui/ImageProviders.h"

#include <QApplication>
#include <QQuickStyle>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    QApplication::setWindowIcon(tallowmere::ui::brandIcon(QStringLiteral("TallowmereMark")));
    return testing::runScreenTests() == 0 ? 0 : 1;
}
