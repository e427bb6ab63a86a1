#pragma once

class QQmlEngine;

namespace tallowmere::ui {

// Makes an engine ready for the screens: the model's types under "Tallowmere.Model", the symbol and
// brand image providers, and what the symbols are drawn from.
void prepareEngine(QQmlEngine &engine);

} // namespace tallowmere::ui
