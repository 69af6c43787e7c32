// The table of commands that main walks.
#include "cli/Command.h"

namespace brindle::cli {

RunCommand SetupPack(CLI::App& command);
RunCommand SetupRepack(CLI::App& command);

const std::vector<Command>& Commands() {
  static const std::vector<Command> kCommands{
      {"pack", "Pack a folder into an Opera disc image of 2048-byte blocks", SetupPack},
      {"repack", "Rewrite any disc as a compact plain image, damaged files from their copies",
       SetupRepack},
  };
  return kCommands;
}

}  // namespace brindle::cli
