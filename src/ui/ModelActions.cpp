#include "ModelActions.h"

#include "app/AppModel.h"
#include "app/TaskLauncher.h"

#include <QClipboard>
#include <QGuiApplication>

namespace tallowmere::ui {

ModelActions::ModelActions(AppModel &model, QObject *parent)
    : QObject(parent)
    , m_model(&model)
{
}

void ModelActions::sceneDidBecomeActive()
{
    if (m_model)
        launch(m_model->sceneDidBecomeActive(), "sceneDidBecomeActive");
}

void ModelActions::submitSetupCode()
{
    if (m_model)
        launch(m_model->submitSetupCode(), "submitSetupCode");
}

void ModelActions::openSetupAuthorization()
{
    if (m_model)
        launch(m_model->openSetupAuthorization(), "openSetupAuthorization");
}

void ModelActions::continuePermissionOnboarding()
{
    if (m_model)
        launch(m_model->continuePermissionOnboarding(), "continuePermissionOnboarding");
}

void ModelActions::confirmPermissionOnboarding(PermissionKind kind)
{
    if (m_model)
        launch(m_model->confirmPermissionOnboarding(kind), "confirmPermissionOnboarding");
}

void ModelActions::dismissPermissionPrompt()
{
    if (m_model)
        m_model->setPermissionPromptKind(std::nullopt);
}

void ModelActions::manuallyConfirmFullDiskAccess()
{
    if (m_model)
        launch(m_model->manuallyConfirmFullDiskAccess(), "manuallyConfirmFullDiskAccess");
}

void ModelActions::refreshExistingPermissions()
{
    if (m_model)
        launch(m_model->refreshExistingPermissions(), "refreshExistingPermissions");
}

void ModelActions::perform(const RecoveryAction &action)
{
    if (m_model)
        launch(m_model->perform(action), "perform");
}

void ModelActions::updateAgent()
{
    if (m_model)
        launch(m_model->updateAgent(), "updateAgent");
}

void ModelActions::dismissAgentUpdate()
{
    if (m_model)
        m_model->setDismissedAgentVersion(m_model->availableAgentVersion());
}

void ModelActions::refreshOwnerSetup(bool forceRefresh)
{
    if (m_model)
        launch(m_model->refreshOwnerSetup(forceRefresh), "refreshOwnerSetup");
}

void ModelActions::copyToPasteboard(const QString &text)
{
    QClipboard *pasteboard = QGuiApplication::clipboard();
    pasteboard->clear();
    pasteboard->setText(text);
}

RecoveryAction ModelActions::recovery(RecoveryAction::Case action) const
{
    return RecoveryAction::of(action);
}

RecoveryAction ModelActions::settingsRecovery(PermissionKind kind) const
{
    return RecoveryAction::openSystemSettings(kind);
}

} // namespace tallowmere::ui
