// The few things measure-cli needs from the operating system: whether a
// stream is a terminal, the environment, and a Ctrl-C that asks the running
// command to stop instead of killing the process (so the instrument is
// stopped and closed properly). One implementation per system in platform/.
#pragma once

#include <string>

namespace cli {

// True when standard output / standard error is an interactive terminal.
bool stdoutIsTerminal();

// Sets an environment variable of this process (before the library reads it).
bool setEnvironment(const std::string& name, const std::string& value);
bool environmentHas(const std::string& name);

// Installs the Ctrl-C handler. The first Ctrl-C sets the interrupt flag; a
// second one ends the process at once.
void installInterruptHandler();
bool interrupted();
// For the handlers: sets the flag and tells whether it was set already.
bool noteInterrupt();
// Forgets an earlier Ctrl-C (tests of the flag, repeated commands).
void clearInterrupt();

// A fresh private folder for temporary files; empty on failure.
std::string makeTemporaryFolder(const std::string& prefix);
// Removes a folder made by makeTemporaryFolder and everything in it.
void removeFolder(const std::string& path);

}  // namespace cli
