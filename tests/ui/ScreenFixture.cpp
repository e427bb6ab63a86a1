#include "ScreenFixture.h"

#include "app/PersistedState.h"
#include "ui/EngineSetup.h"

#include <QDir>
#include <QQmlComponent>
#include <QQuickView>

#include <map>

using namespace tallowmere;

namespace testing {

namespace {

std::map<std::string, TestFactory> &screenTests()
{
    static std::map<std::string, TestFactory> tests;
    return tests;
}

QString screensDirectory()
{
    const QString directory = QCoreApplication::applicationDirPath() + QStringLiteral("/screens");
    QDir().mkpath(directory);
    return directory;
}

QCoro::Task<bool> recorded(QStringList *calls, QString call, bool answer)
{
    calls->append(call);
    co_return answer;
}

QCoro::Task<OwnerSetupSession> session(QStringList *calls, bool forceRefresh, OwnerSetupSession answer)
{
    calls->append(forceRefresh ? QStringLiteral("ownerSetupRequest new")
                               : QStringLiteral("ownerSetupRequest"));
    co_return answer;
}

} // namespace

int registerScreenTest(const char *name, TestFactory factory)
{
    screenTests().emplace(name, std::move(factory));
    return 0;
}

int runScreenTests()
{
    // A leading test class name picks that class; everything else goes to Qt Test.
    QStringList arguments = QCoreApplication::arguments();
    QString only;
    if (arguments.size() > 1 && screenTests().count(arguments.at(1).toStdString()))
        only = arguments.takeAt(1);
    int failures = 0;
    for (const auto &[name, factory] : screenTests()) {
        if (!only.isEmpty() && only != QLatin1String(name.c_str()))
            continue;
        std::unique_ptr<QObject> test = factory();
        failures += QTest::qExec(test.get(), arguments);
    }
    return failures;
}

Screen::Screen()
    : m_profile(m_home.profileDirectory())
{
    tallowmere::ui::prepareEngine(m_engine);
}

Screen::~Screen()
{
    delete m_window;
}

void Screen::writeState(const char *file, const QByteArray &content)
{
    writeFile(m_profile + QLatin1Char('/') + QLatin1String(file), content);
}

void Screen::configure()
{
    writeFile(m_profile + QStringLiteral("/config.json"), "{}");
}

AppModel &Screen::build()
{
    AppModel::Operations operations;
    operations.permissionCheck = [this](PermissionKind kind) {
        return recorded(&calls, QStringLiteral("permissionCheck ") + rawValue(kind), false);
    };
    operations.permissionPrepare = [this](PermissionKind kind) {
        return recorded(&calls, QStringLiteral("permissionPrepare ") + rawValue(kind), false);
    };
    operations.openSystemSettings = [this](std::optional<PermissionKind> kind) {
        calls.append(QStringLiteral("openSystemSettings ") + (kind ? rawValue(*kind) : QString()));
    };
    operations.ownerSetupRequest = [this](std::optional<QUrl>, bool forceRefresh) {
        return session(&calls, forceRefresh, ownerSetupSession);
    };
    operations.ownerSetupOpen = [this](QUrl url) {
        return recorded(&calls, QStringLiteral("ownerSetupOpen ") + url.toString(), browserOpens);
    };
    operations.ownerSetupCopy = [this](QUrl url) {
        calls.append(QStringLiteral("ownerSetupCopy ") + url.toString());
        return true;
    };
    operations.setupAuthorizationOpen = [this](QUrl url) {
        return recorded(&calls, QStringLiteral("setupAuthorizationOpen ") + url.toString(), true);
    };
    operations.ownerSetupLinkSave = [](std::optional<QUrl>, std::optional<QDateTime>) {};
    operations.ownerSetupLinkLoad = [] { return std::optional<OwnerSetupLink>(); };
    operations.agentUpdateVersion = []() -> QCoro::Task<std::optional<QString>> { co_return std::nullopt; };
    m_model = std::make_unique<AppModel>(
        AppModel::Dependencies{.profileDirectory = m_profile, .cli = {}, .operations = std::move(operations)},
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

void Screen::open(const QString &file, QSize size, const QVariantMap &properties)
{
    QVariantMap initial = properties;
    initial.insert(QStringLiteral("model"), QVariant::fromValue(m_model.get()));
    initial.insert(QStringLiteral("actions"), QVariant::fromValue(m_actions.get()));
    const QUrl url(QStringLiteral("qrc:/qt/qml/Tallowmere/") + file);
    QQmlComponent component(&m_engine, url);
    QObject *made = component.createWithInitialProperties(initial);
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

// Repeaters' rows have no object parent: the search follows the item tree, then the object tree (where
// the popups are).
static QObject *findObject(QQuickItem *root, const QString &name)
{
    if (root->objectName() == name)
        return root;
    for (QQuickItem *child : root->childItems()) {
        if (QObject *found = findObject(child, name))
            return found;
    }
    return nullptr;
}

QQuickItem *Screen::find(const QString &name) const
{
    return qobject_cast<QQuickItem *>(findAnywhere(name));
}

QObject *Screen::findAnywhere(const QString &name) const
{
    if (QObject *found = findObject(m_window->contentItem(), name))
        return found;
    return m_window->findChild<QObject *>(name);
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

QObject *Screen::object(const QString &name) const
{
    QObject *found = nullptr;
    spinUntil([&] { return (found = findAnywhere(name)) != nullptr; }, std::chrono::seconds(2));
    if (!found)
        QTest::qFail(qPrintable(QStringLiteral("no object named ") + name), __FILE__, __LINE__);
    return found;
}

QQuickItem *Screen::item(const QString &name) const
{
    return qobject_cast<QQuickItem *>(object(name));
}

QString Screen::text(const QString &name) const
{
    QObject *found = object(name);
    return found ? found->property("text").toString() : QString();
}

bool Screen::shown(const QString &name) const
{
    QQuickItem *found = find(name);
    return found && found->isVisible();
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

void Screen::press(Qt::Key key)
{
    QTest::keyClick(m_window, key);
    QCoreApplication::processEvents();
}

void Screen::save(const QString &name)
{
    QTest::qWait(50); // loaders, images and the first frame
    const QString path = screensDirectory() + QLatin1Char('/') + name + QStringLiteral(".png");
    QVERIFY2(m_window->grabWindow().save(path), qPrintable(path));
}

} // namespace testing
