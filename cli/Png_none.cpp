// Builds without libpng (the Windows cross builds): the picture commands say so.
#include <ostream>

#include "cli/Png.h"

namespace brindle::cli {

std::vector<std::uint8_t> EncodePng(const pictures::Picture&) {
  return {};
}

bool WritePng(const pictures::Picture&, const std::string&, std::ostream& err) {
  err << "This build of brindle-cli writes no PNG files (built without libpng).\n";
  return false;
}

}  // namespace brindle::cli
