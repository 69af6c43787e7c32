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

#include "cli/Extract.h"
#include "cli/Inspect.h"
#include "media/BlockDevice.h"

namespace {

class MemoryDevice final : public brindle::media::BlockDevice {
 public:
  MemoryDevice(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint64_t blockCount() const override {
    return (size_ + brindle::media::kBlockSize - 1) / brindle::media::kBlockSize;
  }
  void read(std::uint64_t first, std::span<std::uint8_t> out,
            std::span<brindle::media::BlockStatus> status) override {
    if (out.size() != status.size() * brindle::media::kBlockSize) std::abort();
    for (std::size_t i = 0; i < status.size(); ++i) {
      std::uint8_t* into = out.data() + i * brindle::media::kBlockSize;
      std::memset(into, 0, brindle::media::kBlockSize);
      if (first + i >= blockCount()) {
        status[i] = brindle::media::BlockStatus::PastEnd;
        continue;
      }
      const std::uint64_t at = (first + i) * brindle::media::kBlockSize;
      const std::size_t n = std::min<std::uint64_t>(brindle::media::kBlockSize, size_ - at);
      std::memcpy(into, data_ + at, n);
      // Blocks whose first byte is 0xEE fail their check, so the copies are exercised.
      status[i] = into[0] == 0xEE ? brindle::media::BlockStatus::FailedCheck
                                  : brindle::media::BlockStatus::Good;
    }
  }
  bool serial() const override { return true; }  // one copying thread: runs stay comparable
  std::string describe() const override { return "memory"; }
  std::vector<brindle::media::TrackInfo> tracks() const override { return {}; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

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
  cli::PrintDirectoryJson(disc, {}, out, reporter);

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
