#include "cli/ExtractLayout.h"

#include <sstream>

#include "cli/Session.h"
#include "pack/Layout.h"

namespace brindle::cli {

int WriteExtractLayout(const Disc& disc, const std::vector<std::string>& dirs,
                       const std::string& path, Reporter& reporter) {
  std::ostringstream err;
  const auto start = FindDirectory(*disc.volume, dirs, err);
  if (!start) {
    reporter.line(err.str());
    return kExitFailed;
  }
  std::string error;
  if (!pack::WriteLayoutFile(*disc.volume, *start, path, error)) {
    reporter.line("The layout \"" + path + "\" " + error + ".");
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace brindle::cli
