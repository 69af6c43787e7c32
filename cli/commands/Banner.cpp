// brindle-cli banner: the picture the console shows while the disc starts, as PNG.
#include "cli/Command.h"
#include "cli/DiscPicture.h"
#include "cli/Session.h"
#include "cli/commands/PictureArguments.h"

namespace brindle::cli {

RunCommand SetupBanner(CLI::App& command) {
  auto options = std::make_shared<PictureArguments>();
  options->addTo(command,
                 "[IMAGE] [OUT.png]: the disc image (unless --image or --drive names the source), "
                 "then the PNG file to write (standard output when left out)",
                 0, 1);
  return [options]() -> int {
    const auto disc = OpenSourceDisc(options->source, std::cerr);
    if (!disc) return kExitFailed;
    const auto banner = ReadBanner(*disc, std::cerr);
    if (!banner) return kExitFailed;
    return WritePicture(*banner, options->size, options->rest.empty() ? "" : options->rest[0],
                        std::cerr);
  };
}

}  // namespace brindle::cli
