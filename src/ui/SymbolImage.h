#pragma once

#include <QImage>
#include <QString>

namespace tallowmere::ui {

// Prepares what symbolImage draws from (on Linux, the icon theme); call once before the first image.
void prepareSymbols();

// The product's symbol `name` (an SF Symbol name) drawn `pixels` high, in black on transparency; a null
// image for a name the table does not know.
QImage symbolImage(const QString &name, int pixels);

} // namespace tallowmere::ui
