// brindle-cli: the reader's actions from the command line, for scripts and for checking the
// reader against real discs. Each command lives in commands/ and is listed in the table of
// Commands.cpp; main registers them, parses, and runs the one named.
#include <CLI/CLI.hpp>
#include <string>
#include <utility>
#include <vector>

#include "BrindleVersion.h"
#include "cli/Command.h"
#include "cli/Inspect.h"
#include "cli/Session.h"

int main(int argc, char** argv) {
  CLI::App app{
      "Reads discs formatted with the 3DO Opera file system, from an image or a drive.\n"
      "Messages go to standard error. Exit status: 0 when the command completed without a\n"
      "message, 1 otherwise, 2 for a usage error.",
      "brindle-cli"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("brindle-cli ") + brindle::kVersion,
                       "Print the version and exit");
  // Paths may begin with '/' on every host; only "-" and "--" start options.
  app.allow_windows_style_options(false);

  std::vector<std::pair<CLI::App*, brindle::cli::RunCommand>> commands;
  for (const brindle::cli::Command& command : brindle::cli::Commands()) {
    CLI::App* sub = app.add_subcommand(command.name, command.summary);
    commands.emplace_back(sub, command.setup(*sub));
  }

  app.footer(std::string(brindle::cli::kJsonShape) +
             "\n\nImages:\n  Raw sectors are checked by their EDC; a damaged sector is read "
             "from another copy\n  of the entry, never corrected through its ECC.");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return brindle::cli::kExitUsage;
  }

  for (auto& [sub, run] : commands) {
    if (*sub) return run();
  }
  return brindle::cli::kExitUsage;  // require_subcommand(1) leaves no other way here
}
