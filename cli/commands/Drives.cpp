// drives: the drive list as the window shows it.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "cli/Command.h"
#include "cli/DriveSide.h"
#include "cli/Session.h"
#include "cli/SourceOptions.h"
#include "output/Names.h"
#include "platform/Os.h"

namespace brindle::cli {
namespace {

struct Options {
  TransportChoice transport = TransportChoice::Auto;
};

int Run(const Options& options) {
  DriveSide side(platform::MakeSystemOs(), options.transport, std::cerr);
  const bool usable = side.build();
  std::cerr << "Transport: " << (side.transportName().empty() ? "none" : side.transportName())
            << '\n';
  for (const std::string& label : side.labels()) std::cout << output::Latin1ToUtf8(label) << '\n';
  return usable ? kExitOk : kExitFailed;
}

}  // namespace

RunCommand SetupDrives(CLI::App& command) {
  auto options = std::make_shared<Options>();
  SourceOptions::addTransport(command, options->transport);
  return [options] { return Run(*options); };
}

}  // namespace brindle::cli
