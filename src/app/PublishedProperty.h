#pragma once

#include <QVariant>

#include <optional>

// One line per published field of a QObject: the Q_PROPERTY, the getter, a setter that notifies only
// when the value changes, the NOTIFY signal and the storage with its initial value.
#define TM_PUBLISHED(Type, name, setter, ...)                                                                \
    Q_PROPERTY(Type name READ name WRITE setter NOTIFY name##Changed)                                        \
public:                                                                                                      \
    const Type &name() const { return m_##name; }                                                            \
    TM_PUBLISHED_SETTER(Type, name, setter)                                                                  \
    Q_SIGNAL void name##Changed();                                                                           \
                                                                                                             \
private:                                                                                                     \
    Type m_##name{__VA_ARGS__};

// The same for an optional value, which QML sees as a variant that is null when the value is absent
// (and sets to null or undefined to clear it).
#define TM_PUBLISHED_OPTIONAL(Type, name, setter)                                                            \
    Q_PROPERTY(QVariant name READ name##Variant WRITE setter##Variant NOTIFY name##Changed)                  \
public:                                                                                                      \
    const std::optional<Type> &name() const { return m_##name; }                                             \
    QVariant name##Variant() const { return m_##name ? QVariant::fromValue(*m_##name) : QVariant(); }        \
    TM_PUBLISHED_SETTER(std::optional<Type>, name, setter)                                                   \
    void setter##Variant(const QVariant &value)                                                              \
    {                                                                                                        \
        setter(value.isNull() ? std::optional<Type>() : std::optional<Type>(value.value<Type>()));           \
    }                                                                                                        \
    Q_SIGNAL void name##Changed();                                                                           \
                                                                                                             \
private:                                                                                                     \
    std::optional<Type> m_##name;

#define TM_PUBLISHED_SETTER(Type, name, setter)                                                              \
    void setter(const Type &value)                                                                           \
    {                                                                                                        \
        if (m_##name == value)                                                                               \
            return;                                                                                          \
        m_##name = value;                                                                                    \
        Q_EMIT name##Changed();                                                                              \
    }
