// The directory-block parser of the window's listing on any bytes, of any length: it must never
// read outside the block, and every line it appends must be a whole 65-column entry line.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "reader/Directory.h"
#include "reader/EntryLine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brindle::reader;
  // An exact-size copy, so that the sanitizer sees any read past the block's end.
  const std::vector<std::uint8_t> block(data, data + size);
  std::vector<std::string> lines = {kRootLine, kParentLine};
  AppendBlockLines(block, lines);
  if (lines.size() < 2 || lines[0] != kRootLine || lines[1] != kParentLine) std::abort();
  for (std::size_t i = 2; i < lines.size(); ++i) {
    if (lines[i].size() != 65) std::abort();
    // A type column holds the four stored bytes or spaces, never a zero byte.
    if (EntryType(lines[i]).find('\0') != std::string::npos) std::abort();
  }
  // Parsing the same block again gives the same lines: nothing depends on earlier calls.
  std::vector<std::string> again = {kRootLine, kParentLine};
  AppendBlockLines(block, again);
  if (again != lines) std::abort();
  return 0;
}
