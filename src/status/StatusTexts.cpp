// The status texts of the dashboard and the menu-bar menu, from the model's state.
#include "app/AppModel.h"
#include "status/StatusPresentation.h"

namespace tallowmere {

presentation::StatusInputs AppModel::statusInputs() const
{
    return {m_overallState, m_installationValidated, m_isSubmittingSetup, m_installStage, m_statusSnapshot};
}

QString AppModel::currentTask() const
{
    return presentation::currentTask(statusInputs());
}

QString AppModel::headlineStatusTitle() const
{
    return presentation::headlineTitle(statusInputs());
}

QString AppModel::headlineStatusDetail() const
{
    return presentation::headlineDetail(statusInputs());
}

QString AppModel::agentProcessDescription() const
{
    return presentation::processDescription(m_statusSnapshot);
}

QString AppModel::heartbeatDescription(const QDateTime &now) const
{
    return presentation::heartbeat(m_statusSnapshot, now);
}

} // namespace tallowmere
