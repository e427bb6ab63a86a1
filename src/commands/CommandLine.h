#pragma once

#include <optional>

namespace tallowmere::commands {

// Runs the command the arguments name, without a window, and returns its exit status; none when the
// arguments name no command and the application is to start with its windows.
std::optional<int> run(int argc, char *argv[]);

} // namespace tallowmere::commands
