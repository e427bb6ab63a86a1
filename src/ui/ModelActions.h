#pragma once

#include "app/ModelEnums.h"
#include "app/RecoveryAction.h"

#include <QObject>
#include <QPointer>

namespace tallowmere {
class AppModel;
}

namespace tallowmere::ui {

// The model's operations as the screens call them: each control calls one, which starts the model's
// coroutine on the main thread and returns at once; the model guards against overlapping work.
class ModelActions : public QObject {
    Q_OBJECT

public:
    explicit ModelActions(AppModel &model, QObject *parent = nullptr);

    Q_INVOKABLE void sceneDidBecomeActive();
    Q_INVOKABLE void submitSetupCode();
    Q_INVOKABLE void openSetupAuthorization();
    Q_INVOKABLE void continuePermissionOnboarding();
    Q_INVOKABLE void confirmPermissionOnboarding(tallowmere::PermissionKind kind);
    Q_INVOKABLE void dismissPermissionPrompt();
    Q_INVOKABLE void manuallyConfirmFullDiskAccess();
    Q_INVOKABLE void refreshExistingPermissions();
    Q_INVOKABLE void perform(const tallowmere::RecoveryAction &action);
    Q_INVOKABLE void updateAgent();
    // Hides the update banner until a different version is found.
    Q_INVOKABLE void dismissAgentUpdate();
    Q_INVOKABLE void refreshOwnerSetup(bool forceRefresh);
    // Clears the pasteboard and puts `text` on it as plain text.
    Q_INVOKABLE void copyToPasteboard(const QString &text);

    // Recovery actions as the screens name them.
    Q_INVOKABLE tallowmere::RecoveryAction recovery(tallowmere::RecoveryAction::Case action) const;
    Q_INVOKABLE tallowmere::RecoveryAction settingsRecovery(tallowmere::PermissionKind kind) const;

private:
    QPointer<AppModel> m_model;
};

} // namespace tallowmere::ui
