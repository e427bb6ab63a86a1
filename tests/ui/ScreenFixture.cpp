#include "ScreenFixture.h"

#include "app/PersistedState.h"
#include "ui/EngineSetup.h"
#include "ui/ImageProviders.h"

#include <QApplication>
#include <QQuickStyle>

#include <QDir>
#include <QQmlComponent>
#include <QQuickView>

#include <map>

using namespace tallowmere;

namespace testing {

std::map<std::string, TestFactory> &screenTests()
{
    static std::map<std::string, TestFactory> tests;
    return tests;
}

namespace {

template <typename T> QCoro::Task<T> recorded(QStringList *calls, QString call, T answer)
{
    calls->append(call);
    co_return answer;
}

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

} // namespace

int registerScreenTest(const char *name, TestFactory factory)
{
    screenTests().emplace(name, std::move(factory));
    return 0;
}

AppModel &Screen::build()
{
    AppModel::Operations ops;
    const auto call = [this](const char *what, PermissionKind kind) {
        return recorded(&calls, QLatin1String(what) + rawValue(kind), false);
    };
    ops.permissionCheck = [call](PermissionKind kind) { return call("permissionCheck ", kind); };
    ops.permissionPrepare = [call](PermissionKind kind) { return call("permissionPrepare ", kind); };
    ops.openSystemSettings = [this](std::optional<PermissionKind> kind) {
        calls.append(QStringLiteral("openSystemSettings ") + (kind ? rawValue(*kind) : QString()));
    };
    ops.ownerSetupRequest = [this](std::optional<QUrl>, bool fresh) {
        return recorded(&calls, QStringLiteral("ownerSetupRequest") + QLatin1String(fresh ? " new" : ""),
                        ownerSetupSession);
    };
    ops.ownerSetupOpen = [this](QUrl url) {
        return recorded(&calls, QStringLiteral("ownerSetupOpen ") + url.toString(), browserOpens);
    };
    ops.ownerSetupCopy = [this](QUrl url) {
        calls.append(QStringLiteral("ownerSetupCopy ") + url.toString());
        return true;
    };
    ops.setupAuthorizationOpen = [this](QUrl url) {
        return recorded(&calls, QStringLiteral("setupAuthorizationOpen ") + url.toString(), true);
    };
    ops.ownerSetupLinkSave = [](std::optional<QUrl>, std::optional<QDateTime>) {};
    ops.ownerSetupLinkLoad = [] { return std::optional<OwnerSetupLink>(); };
    ops.agentUpdateVersion = []() -> QCoro::Task<std::optional<QString>> { co_return std::nullopt; };
    m_model = std::make_unique<AppModel>(
        AppModel::Dependencies{.profileDirectory = m_profile, .cli = {}, .operations = std::move(ops)},
        false);
    m_actions = std::make_unique<tallowmere::ui::ModelActions>(*m_model);
    return *m_model;
}

AppModel &Screen::buildInSetupStage()
{
    writeState(persisted::installStageFile, "permissions");
    writeState(persisted::completedPermissionsFile,
               "screenRecording\naccessibility\nautomation\nfullDiskAccess\n");
    build().finishPermissionStageIfReady();
    return *m_model;
}

void Screen::open(const QString &file, QSize size)
{
    QQmlComponent component(&m_engine, QUrl(QStringLiteral("qrc:/qt/qml/Tallowmere/") + file));
    QObject *made = component.createWithInitialProperties(
        {{QStringLiteral("model"), QVariant::fromValue(m_model.get())},
         {QStringLiteral("actions"), QVariant::fromValue(m_actions.get())}});
    QVERIFY2(made, qPrintable(component.errorString()));
    m_window = qobject_cast<QQuickWindow *>(made);
    if (!m_window) {
        auto *view = new QQuickView(&m_engine, nullptr);
        view->setResizeMode(QQuickView::SizeRootObjectToView);
        view->setColor(Qt::white);
        static_cast<QQuickItem *>(made)->setParentItem(view->contentItem());
        made->setParent(view);
        m_window = view;
        static_cast<QQuickItem *>(made)->setSize(size);
    }
    m_window->resize(size);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

QObject *Screen::find(const QString &name) const
{
    if (QObject *found = findObject(m_window->contentItem(), name))
        return found;
    return m_window->findChild<QObject *>(name); // the popups
}

QString Screen::accessibleName(QObject *item)
{
    // The attached Accessible object is a child of the item it describes.
    for (QObject *child : item->children()) {
        if (qstrcmp(child->metaObject()->className(), "QQuickAccessibleAttached") == 0)
            return child->property("name").toString();
    }
    return {};
}

QQuickItem *Screen::within(QQuickItem *root, const QString &name)
{
    auto *found = root ? qobject_cast<QQuickItem *>(findObject(root, name)) : nullptr;
    if (!found)
        QTest::qFail(qPrintable(QStringLiteral("nothing named ") + name + QStringLiteral(" inside")),
                     __FILE__, __LINE__);
    return found;
}

QString Screen::textWithin(QQuickItem *root, const QString &name)
{
    QQuickItem *found = within(root, name);
    return found ? found->property("text").toString() : QStringLiteral("<absent>");
}

QObject *Screen::object(const QString &name) const
{
    QObject *found = nullptr;
    spinUntil([&] { return (found = find(name)) != nullptr; }, std::chrono::seconds(2));
    if (!found)
        QTest::qFail(qPrintable(QStringLiteral("no object named ") + name), __FILE__, __LINE__);
    return found;
}

QString Screen::text(const QString &name) const
{
    QObject *found = object(name);
    return found ? found->property("text").toString() : QStringLiteral("<absent>");
}

bool Screen::shown(const QString &name) const
{
    auto *found = qobject_cast<QQuickItem *>(find(name));
    return found && found->isVisible();
}

void Screen::expectButton(const QString &name, const QString &title, bool isEnabled) const
{
    QVERIFY2(shown(name), qPrintable(name + QStringLiteral(" is not shown")));
    QCOMPARE(text(name), title);
    QCOMPARE(item(name)->isEnabled(), isEnabled);
}

void Screen::click(const QString &name)
{
    QQuickItem *target = item(name);
    if (!target)
        return;
    QVERIFY2(target->isVisible(), qPrintable(name + QStringLiteral(" is not visible")));
    const QPoint centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2)).toPoint();
    QVERIFY2(QRect(QPoint(), m_window->size()).contains(centre),
             qPrintable(name + QStringLiteral(" is off screen")));
    QTest::mouseClick(m_window, Qt::LeftButton, {}, centre);
    QCoreApplication::processEvents();
}

void Screen::type(const QString &text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, m_window, Qt::Key(c.toUpper().unicode()), QString(c),
                            Qt::NoModifier);
    QCoreApplication::processEvents();
}

void Screen::save(const QString &name)
{
    QTest::qWait(50); // loaders, images and the first frame
    const QString directory = QCoreApplication::applicationDirPath() + QStringLiteral("/screens");
    QDir().mkpath(directory);
    const QString path = directory + QLatin1Char('/') + name + QStringLiteral(".png");
    QVERIFY2(m_window->grabWindow().save(path), qPrintable(path));
}

} // namespace testing

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    QApplication::setWindowIcon(tallowmere::ui::brandIcon(QStringLiteral("TallowmereMark")));
    // A leading test class name picks that class; everything else goes to Qt Test.
    QStringList arguments = QCoreApplication::arguments();
    const auto &tests = testing::screenTests();
    const QString only =
        arguments.size() > 1 && tests.count(arguments.at(1).toStdString()) ? arguments.takeAt(1) : QString();
    int failures = 0;
    for (const auto &[name, factory] : tests) {
        if (only.isEmpty() || only == QLatin1String(name.c_str()))
            failures += QTest::qExec(factory().get(), arguments);
    }
    return failures == 0 ? 0 : 1;
}
