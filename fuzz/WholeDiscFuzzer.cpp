// The whole-disc commands' reporting over an untrusted image held in memory: tree, ls --json,
// verify and extract -r, as the command line runs them. They must end, stay inside their
// buffers, write no file larger than the disc, and say what they found in a bounded number of
// lines however large the sizes and counts the entries claim.
#include <unistd.h>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "MemoryDevice.h"
#include "cli/Extract.h"
#include "cli/Inspect.h"
#include "media/BlockDevice.h"

namespace {

using brindle::fuzz::MemoryDevice;

std::size_t Lines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brindle;
  cli::Disc disc;
  disc.device = std::make_unique<MemoryDevice>(data, size);
  media::BlockStatus status{};
  disc.volume = opera::Volume::Open(*disc.device, status);
  if (!disc.volume) return 0;
  const std::uint64_t discBytes = disc.device->blockCount() * media::kBlockSize;

  std::ostringstream out, err;
  cli::Reporter reporter(err, false);
  cli::PrintTree(disc, {}, out, reporter);
  const std::size_t entries = Lines(out.str());
  // Every walk message names one directory block or one entry.
  if (Lines(err.str()) > 2 * entries + 64) std::abort();
  std::ostringstream json;
  cli::PrintDirectoryJson(disc, {}, json, reporter);
  // Bad directory blocks come as ranges: at most one for each block on the disc, and one for all
  // those past its end, however many blocks the directory claims.
  std::size_t ranges = 0;
  const std::string document = json.str();
  for (auto at = document.find("\"lastBlock\""); at != std::string::npos;
       at = document.find("\"lastBlock\"", at + 1))
    ++ranges;
  if (ranges > disc.device->blockCount() + 1) std::abort();

  // verify: per entry and copy, at most a screenful of runs and one line for the rest.
  std::ostringstream verifyOut, verifyErr;
  cli::Reporter verifyReporter(verifyErr, false);
  cli::Verify(disc, verifyOut, verifyReporter, (data[size - 1] & 1) != 0);
  if (Lines(verifyOut.str()) + Lines(verifyErr.str()) > (entries + 1) * 24 + Lines(err.str()) + 1)
    std::abort();

  // extract -r: no file larger than the disc, however large the entry claims to be.
  static const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("brindle-fuzz-" + std::to_string(::getpid()));
  std::ostringstream extractErr;
  cli::Reporter extractReporter(extractErr, false);
  cli::ExtractRecursive(disc, folder.string(), {}, extractReporter);
  std::error_code ec;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder, ec))
    if (e.is_regular_file() && e.file_size() > discBytes) std::abort();
  // Recovered and damaged runs, past-end ranges and walk problems: a few lines per entry.
  if (Lines(extractErr.str()) > 4 * entries + Lines(err.str()) + 64) std::abort();
  std::filesystem::remove_all(folder, ec);
  return 0;
}
