// info: the disc size as the window shows it, or (--json) the container, its tracks and every
// field of the volume label.
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
  bool json = false;
};

int RunJson(const Options& options) {
  Reporter reporter(std::cerr, ErrorIsTerminal());
  const auto disc = OpenSourceDisc(options.source, std::cerr);
  if (!disc) return kExitFailed;
  CatchInterrupt();
  return PrintVolumeJson(*disc, std::cout, reporter);
}

int Run(const Options& options) {
  if (options.json) return RunJson(options);
  const auto window = WindowSource::Open(options.source, std::cerr);
  if (!window) return kExitFailed;
  const int status = window->session().info(std::cout);
  // What holds the disc, when it is not the window's own plain image.
  if (status == kExitOk && window->container() != nullptr)
    std::cout << window->container()->describe() << '\n';
  if (status != kExitOk) return status;
  // Then every field of the label, the ROM tags, the entries, through the Opera library.
  const auto disc = OpenSourceDisc(options.source, std::cerr);
  if (!disc) return kExitFailed;
  PrintVolumeText(*disc, std::cout);
  return status;
}

}  // namespace

RunCommand SetupInfo(CLI::App& command) {
  auto options = std::make_shared<Options>();
  options->source.addTo(command);
  command.add_flag("--json", options->json, "Every field, as JSON (shape below)");
  return [options] { return Run(*options); };
}

}  // namespace brindle::cli
