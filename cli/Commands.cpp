// The table of commands that main walks.
#include "cli/Command.h"

namespace brindle::cli {

RunCommand SetupHash(CLI::App& command);
RunCommand SetupIdentify(CLI::App& command);

const std::vector<Command>& Commands() {
  static const std::vector<Command> kCommands{
#ifdef BRINDLE_HAVE_IDENTIFY
      {"hash", "Hashes of each track as a dump holds it (size, CRC-32, MD5, SHA-1)", SetupHash},
      {"identify", "The DAT games whose tracks the disc matches", SetupIdentify},
#endif
  };
  return kCommands;
}

}  // namespace brindle::cli
