#pragma once

#include <QString>

#include <optional>

namespace tallowmere::commands {

// One line with every secret the runner's rules know hidden, and the values of settings whose names say
// they hold secrets, bearer tokens, e-mail addresses and every URL's query and fragment.
QString redactForDiagnostics(const QString &line);

// `diagnostics [FILE]`: writes the archive and says what it holds; returns the exit status.
int writeDiagnostics(const std::optional<QString> &file);

} // namespace tallowmere::commands
