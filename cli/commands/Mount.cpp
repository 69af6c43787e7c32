// mount: the disc served as a read-only file system until it is unmounted.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "cli/Command.h"
#include "cli/MountCommand.h"
#include "cli/Progress.h"
#include "cli/Session.h"
#include "cli/SourceOptions.h"

namespace brindle::cli {
namespace {

struct Options {
  SourceOptions source;
  MountRequest request;
  bool quiet = false;
};

int Run(Options& options) {
  const auto disc = OpenSourceDisc(options.source, std::cerr);
  if (!disc) return kExitFailed;
  options.request.image = options.source.image;
  options.request.mountPoint = options.source.arguments[0];
  if (options.request.foreground && !options.quiet && ErrorIsTerminal())
    std::cerr << "Serving the disc on \"" << options.request.mountPoint
              << "\"; Ctrl+C unmounts it.\n";
  return RunMountCommand(*disc, options.request, std::cerr);
}

}  // namespace

RunCommand SetupMount(CLI::App& command) {
  auto options = std::make_shared<Options>();
  command.description(
      "Serve the disc as a read-only file system on MOUNTPOINT (an empty folder) until it is "
      "unmounted");
  command.add_flag("-f,--foreground", options->request.foreground,
                   "Stay in the foreground; Ctrl+C unmounts (else: fusermount3 -u MOUNTPOINT)");
  command.add_flag("-q,--quiet", options->quiet, "Nothing on standard error but messages");
  options->source.addTo(command, "MOUNTPOINT", 1, 1);
  return [options] { return Run(*options); };
}

}  // namespace brindle::cli
