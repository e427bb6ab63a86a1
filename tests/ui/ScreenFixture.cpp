#include "ScreenFixture.h"

#include "ui/EngineSetup.h"
#include "ui/ImageProviders.h"

#include <QApplication>
#include <QDir>
#include <QQmlComponent>
#include <QQuickStyle>

using namespace tallowmere;
using namespace Qt::StringLiterals;

namespace testing {

namespace {

// Repeaters' rows have no object parent: the search follows the item tree.
QObject *findObject(QQuickItem *root, const QString &name)
{
    if (root->objectName() == name)
        return root;
    for (QQuickItem *child : root->childItems()) {
        if (QObject *found = findObject(child, name))
            return found;
    }
    return nullptr;
}

// Every symbol shown is drawn: a name the icon table lacks, or an icon the theme lacks, draws nothing.
void expectSymbolsDrawn(QQuickItem *item)
{
    if (QTest::currentTestFailed())
        return;
    const QString source = item->property("source").toUrl().toString();
    if (item->isVisible() && source.startsWith(u"image://symbol/"_s))
        QVERIFY2(item->property("status").toInt() == 1 /* Image.Ready */, qPrintable(source + u" is not drawn"_s));
    for (QQuickItem *child : item->childItems())
        expectSymbolsDrawn(child);
}

} // namespace

AppModel &Screen::build()
{
    ui::prepareEngine(m_engine);
    m_actions = std::make_unique<ui::ModelActions>(world.build());
    return model();
}

AppModel &Screen::buildInSetupStage()
{
    world.at("permissions", false);
    build().finishPermissionStageIfReady();
    return model();
}

void Screen::open(const QString &file, QSize size)
{
    QQmlComponent component(&m_engine, QUrl(u"qrc:/qt/qml/Tallowmere/"_s + file));
    QObject *made =
        component.createWithInitialProperties({{u"model"_s, QVariant::fromValue(world.model.get())},
                                               {u"actions"_s, QVariant::fromValue(m_actions.get())}});
    QVERIFY2(made, qPrintable(component.errorString()));
    m_window = qobject_cast<QQuickWindow *>(made);
    if (!m_window) {
        m_window = new QQuickWindow;
        made->setParent(m_window);
        static_cast<QQuickItem *>(made)->setParentItem(m_window->contentItem());
        static_cast<QQuickItem *>(made)->setSize(size);
    }
    m_window->resize(size);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

QObject *Screen::find(const QString &name) const
{
    QObject *found = findObject(m_window->contentItem(), name);
    return found ? found : m_window->findChild<QObject *>(name); // the popups
}

QQuickItem *Screen::within(QQuickItem *root, const QString &name)
{
    auto *found = root ? qobject_cast<QQuickItem *>(findObject(root, name)) : nullptr;
    if (!found)
        QTest::qFail(qPrintable(u"nothing named "_s + name + u" inside"_s), __FILE__, __LINE__);
    return found;
}

QObject *Screen::object(const QString &name) const
{
    QObject *found = nullptr;
    spinUntil([&] { return (found = find(name)) != nullptr; }, std::chrono::seconds(2));
    if (!found)
        QTest::qFail(qPrintable(u"no object named "_s + name), __FILE__, __LINE__);
    return found;
}

bool Screen::shown(const QString &name) const
{
    auto *found = qobject_cast<QQuickItem *>(find(name));
    return found && found->isVisible();
}

void Screen::expectButton(const QString &name, const QString &title, bool isEnabled) const
{
    QVERIFY2(shown(name), qPrintable(name + u" is not shown"_s));
    QCOMPARE(text(name), title);
    QCOMPARE(item(name)->isEnabled(), isEnabled);
}

void Screen::click(const QString &name)
{
    QQuickItem *target = item(name);
    if (!target)
        return;
    QVERIFY2(target->isVisible(), qPrintable(name + u" is not visible"_s));
    const QPoint centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2)).toPoint();
    QVERIFY2(QRect(QPoint(), m_window->size()).contains(centre), qPrintable(name + u" is off screen"_s));
    QTest::mouseClick(m_window, Qt::LeftButton, {}, centre);
    QCoreApplication::processEvents();
}

void Screen::save(const QString &name)
{
    QTest::qWait(50); // loaders, images and the first frame
    expectSymbolsDrawn(m_window->contentItem());
    const QString directory = QCoreApplication::applicationDirPath() + u"/screens"_s;
    QDir().mkpath(directory);
    const QString path = directory + QLatin1Char('/') + name + u".png"_s;
    QVERIFY2(m_window->grabWindow().save(path), qPrintable(path));
}

} // namespace testing

// The screens need a QApplication, made before the registered tests run.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QQuickStyle::setStyle(u"Fusion"_s);
    QApplication::setWindowIcon(ui::brandIcon(u"TallowmereMark"_s));
    return testing::runRegisteredTests(argc, argv);
}
