// brindle-cli picture: one of the disc's picture files (IMAG, CEL, a banner) as PNG.
#include "cli/Command.h"
#include "cli/DiscPicture.h"
#include "cli/Session.h"
#include "cli/commands/PictureArguments.h"

namespace brindle::cli {

RunCommand SetupPicture(CLI::App& command) {
  auto options = std::make_shared<PictureArguments>();
  options->addTo(command,
                 "[IMAGE] PATH [OUT.png]: the disc image (unless --image or --drive names the "
                 "source), the picture's path on the disc (directories and name joined by '/'), "
                 "then the PNG file to write (standard output when left out)",
                 1, 1);
  return [options]() -> int {
    const auto disc = OpenSourceDisc(options->source, std::cerr);
    if (!disc) return kExitFailed;
    const std::string& path = options->rest[0];
    const auto entry = FindEntry(*disc->volume, path, std::cerr);
    if (!entry) return kExitFailed;
    const auto bytes = ReadPictureBytes(*disc->device, *entry, path, std::cerr);
    if (!bytes) return kExitFailed;
    const auto picture = DecodeNamed(*bytes, path, std::cerr);
    if (!picture) return kExitFailed;
    return WritePicture(*picture, options->size, options->rest.size() > 1 ? options->rest[1] : "",
                        std::cerr);
  };
}

}  // namespace brindle::cli
