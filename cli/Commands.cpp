// The table of commands that main walks.
#include "cli/Command.h"

namespace brindle::cli {

RunCommand SetupBanner(CLI::App& command);
RunCommand SetupPicture(CLI::App& command);
RunCommand SetupThumbnail(CLI::App& command);

const std::vector<Command>& Commands() {
  static const std::vector<Command> kCommands{
      {"banner", "Write the disc's banner (the picture shown while it starts) as PNG", SetupBanner},
      {"picture", "Write one of the disc's pictures (IMAG, CEL, banner) as PNG", SetupPicture},
      {"thumbnail", "The file manager's thumbnailer: -s SIZE IMAGE OUT.png from the banner",
       SetupThumbnail},
  };
  return kCommands;
}

}  // namespace brindle::cli
