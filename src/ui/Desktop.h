#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

class QQmlEngine;
class QJSEngine;

namespace tallowmere::ui {

// The desktop's display settings the screens follow, read from the platform when the screens start.
class Desktop : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool reduceMotion MEMBER m_reduceMotion NOTIFY reduceMotionChanged)
    Q_PROPERTY(bool reduceTransparency MEMBER m_reduceTransparency NOTIFY reduceTransparencyChanged)

public:
    // The engine's one instance (QML builds it through here only: the class has no default constructor).
    static Desktop *create(QQmlEngine *engine, QJSEngine *);

Q_SIGNALS:
    void reduceMotionChanged();
    void reduceTransparencyChanged();

private:
    explicit Desktop(QObject *parent);

    bool m_reduceMotion;
    bool m_reduceTransparency;
};

} // namespace tallowmere::ui
