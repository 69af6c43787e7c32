// brindle-cli thumbnail: what the file manager runs (brindle.thumbnailer) for a disc image's
// icon. A file that is not a 3DO disc with a banner ends it at once, writing nothing, so the
// file manager keeps its own icon.
#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/Command.h"
#include "cli/DiscPicture.h"
#include "cli/Session.h"

namespace brindle::cli {
namespace {

struct ThumbnailOptions {
  std::uint32_t size = 256;
  std::string input;
  std::string output;
};

}  // namespace

RunCommand SetupThumbnail(CLI::App& command) {
  auto options = std::make_shared<ThumbnailOptions>();
  command.add_option("-s,--size", options->size, "Fit within N x N pixels (default 256)")
      ->check(CLI::Range(1u, 4096u));
  command.add_option("INPUT", options->input, "The disc image (any container)")->required();
  command.add_option("OUTPUT", options->output, "The PNG file to write")->required();
  return [options]() -> int {
    const auto disc = OpenDisc(options->input, nullptr, std::cerr);
    if (!disc) return kExitFailed;
    const auto banner = ReadBanner(*disc, std::cerr);
    if (!banner) return kExitFailed;
    return WritePicture(*banner, options->size, options->output, std::cerr);
  };
}

}  // namespace brindle::cli
