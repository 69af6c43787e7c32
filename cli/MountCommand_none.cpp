#include <ostream>

#include "cli/MountCommand.h"
#include "cli/Session.h"

namespace brindle::cli {

// Built where libfuse 3 is not to be had (Windows, or a Linux build without libfuse3-dev).
int RunMountCommand(const Disc&, const MountRequest&, std::ostream& err) {
  err << "This build of brindle-cli cannot mount: it was made without libfuse 3.\n";
  return kExitFailed;
}

}  // namespace brindle::cli
