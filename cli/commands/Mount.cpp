// mount: the disc served as a read-only file system until it is unmounted.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "cli/Command.h"
#include "cli/MountCommand.h"
#include "cli/Session.h"
#include "cli/SourceOptions.h"

namespace brindle::cli {
namespace {

struct Options {
  SourceOptions source;
  MountRequest request;
};

int Run(Options& options) {
  const auto disc = OpenSourceDisc(options.source, std::cerr);
  if (!disc) return kExitFailed;
  options.request.image = options.source.image;
  return RunMountCommand(*disc, options.request, std::cerr);
}

}  // namespace

RunCommand SetupMount(CLI::App& command) {
  auto options = std::make_shared<Options>();
  command.add_option("MOUNTPOINT", options->request.mountPoint, "An empty folder")->required();
  command.add_flag("-f,--foreground", options->request.foreground,
                   "Stay in the foreground; Ctrl+C unmounts (else: fusermount3 -u MOUNTPOINT)");
  options->source.addTo(command);
  return [options] { return Run(*options); };
}

}  // namespace brindle::cli
