#include "EngineSetup.h"

#include "ImageProviders.h"
#include "ModelActions.h"
#include "SymbolImage.h"
#include "app/AppModel.h"

#include <QQmlEngine>

namespace tallowmere::ui {

namespace {

void registerModelTypes()
{
    constexpr const char *uri = "Tallowmere.Model";
    const QString made = QStringLiteral("made by the application");
    qmlRegisterUncreatableType<AppModel>(uri, 1, 0, "AppModel", made);
    qmlRegisterUncreatableType<ModelActions>(uri, 1, 0, "ModelActions", made);
    qmlRegisterUncreatableMetaObject(tallowmere::staticMetaObject, uri, 1, 0, "Model", made);
    qmlRegisterUncreatableMetaObject(FocusTarget::staticMetaObject, uri, 1, 0, "FocusTarget", made);
    qmlRegisterUncreatableMetaObject(RecoveryAction::staticMetaObject, uri, 1, 0, "RecoveryAction", made);
}

} // namespace

void prepareEngine(QQmlEngine &engine)
{
    static const bool prepared = [] {
        registerModelTypes();
        prepareSymbols();
        return true;
    }();
    Q_UNUSED(prepared)
    engine.addImageProvider(QStringLiteral("symbol"), new SymbolImageProvider);
    engine.addImageProvider(QStringLiteral("brand"), new BrandImageProvider);
}

} // namespace tallowmere::ui
