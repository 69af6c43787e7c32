// ls: the entry lines of a directory as the window shows them, or (--json) every field of every
// entry.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "cli/Command.h"
#include "cli/Inspect.h"
#include "cli/Session.h"
#include "cli/SourceOptions.h"

namespace brindle::cli {
namespace {

struct Options {
  SourceOptions source;
  std::vector<std::string> directories;
  bool json = false;
};

int RunJson(const Options& options) {
  Reporter reporter(std::cerr, ErrorIsTerminal());
  const auto disc = OpenSourceDisc(options.source, std::cerr);
  if (!disc) return kExitFailed;
  CatchInterrupt();
  return PrintDirectoryJson(*disc, options.directories, std::cout, reporter);
}

int Run(const Options& options) {
  if (options.json) return RunJson(options);
  const auto window = WindowSource::Open(options.source, std::cerr);
  if (!window) return kExitFailed;
  return window->session().list(options.directories, std::cout);
}

}  // namespace

RunCommand SetupLs(CLI::App& command) {
  auto options = std::make_shared<Options>();
  options->source.addTo(command);
  command.add_option("DIR", options->directories,
                     "Directory to enter (the name of a *dir line), in order");
  command.add_flag("--json", options->json, "Every field of every entry, as JSON (shape below)");
  return [options] { return Run(*options); };
}

}  // namespace brindle::cli
