// What every host's output file does the same way; the host steps (closing the handle, naming or
// removing the new file) are in OutputFile_posix.cpp and OutputFile_win.cpp.
#include "output/OutputFile.h"

namespace brindle::output {

bool OutputFile::close() {
  if (!closeHandle()) {
    discard();
    return false;
  }
  return rename(true);
}

bool OutputFile::closeUnlessExists() {
  if (!closeHandle()) {
    discard();
    return false;
  }
  return rename(false);
}

}  // namespace brindle::output
