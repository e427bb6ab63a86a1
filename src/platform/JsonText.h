#pragma once

#include <QByteArrayView>
#include <QStringView>

#include <optional>

namespace platform {

// A top-level member's value as it is written in a JSON object that QJsonDocument has accepted, so
// that a number keeps every digit it was written with. Empty when there is no such member; of
// duplicate keys, the last one, as QJsonDocument takes it.
QByteArrayView jsonMemberText(QByteArrayView document, QStringView key);

// The integer a JSON number denotes exactly ("42", "-0", "3.0", "1e3"), if it lies within 64 bits.
std::optional<qint64> jsonInteger(QByteArrayView number);

} // namespace platform
