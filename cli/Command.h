// One brindle-cli command: its name, one line for the command list, and a setup function that
// registers the command's options on its own subcommand and returns what runs it once the
// command line has been parsed. main walks the table of them; a new command is one new file in
// commands/ and one line of the table in Commands.cpp.
#pragma once

#include <functional>
#include <vector>

namespace CLI {
class App;
}

namespace brindle::cli {

// Runs a parsed command; returns its exit status (kExitOk, kExitFailed, kExitUsage, ...).
using RunCommand = std::function<int()>;

struct Command {
  const char* name;
  const char* summary;  // one line, shown in the command list
  RunCommand (*setup)(CLI::App& command);
};

// Every table command, in the order the help lists them.
const std::vector<Command>& Commands();

}  // namespace brindle::cli
