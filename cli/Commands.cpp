// The table of commands that main walks.
#include "cli/Command.h"

namespace brindle::cli {

const std::vector<Command>& Commands() {
  static const std::vector<Command> kCommands{};
  return kCommands;
}

}  // namespace brindle::cli
