#include "Desktop.h"

#include "platform/DisplayPreferences.h"

#include <QQmlEngine>

namespace tallowmere::ui {

Desktop::Desktop(QObject *parent)
    : QObject(parent)
    , m_reduceMotion(platform::reduceMotion())
    , m_reduceTransparency(platform::reduceTransparency())
{
}

Desktop *Desktop::create(QQmlEngine *engine, QJSEngine *)
{
    return new Desktop(engine);
}

} // namespace tallowmere::ui
