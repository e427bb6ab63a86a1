import QtQuick
import Tallowmere
import Tallowmere.Model

// The page once the installation is validated: the agent and what it does on the left (three fifths of
// the width), its technical state and the actions on the right.
Item {
    id: view

    required property AppModel model
    required property ModelActions actions

    AgentOverviewPane {
        id: overview
        model: view.model
        width: Math.round(view.width * 0.6)
        height: view.height
    }
    Divider {
        id: divider
        vertical: true
        x: overview.width
        height: view.height
    }
    SystemStatusPane {
        model: view.model
        actions: view.actions
        x: divider.x + divider.width
        width: view.width - x
        height: view.height
    }
}
