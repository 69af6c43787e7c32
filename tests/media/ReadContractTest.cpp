// The read contract every container shares, asked of each kind over the same disc: the plain
// image, its raw BIN, a BIN/CUE and a CHD made by chdman, the raw sectors written by an encoder
// that shares no code with the readers. Runs of every length at odd starts, runs straddling the
// end, empty runs, a buffer too small, the raw view at the track's end, several threads at once.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "CdSectorEncoder.h"
#include "media/Containers.h"

namespace brindle::media {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBlocks = 301;  // odd: the CHD's last hunk is partly padding

void WriteFile(const fs::path& path, const std::string_view bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::ptrdiff_t>(bytes.size()));
}

// Reads count units of unitBytes at first through read (the device's read or readRaw) and says
// how the result breaks the contract against want (the units that exist, back to back): each
// unit before want's end Good with want's bytes, each after it PastEnd and zero. "" when it
// keeps it.
template <typename Read>
std::string Mismatch(Read&& read, std::size_t unitBytes, const std::vector<std::uint8_t>& want,
                     std::uint64_t first, std::size_t count) {
  std::vector<std::uint8_t> out(count * unitBytes, 0xAA);
  std::vector<BlockStatus> status(count, BlockStatus::FailedCheck);
  read(first, std::span(out), std::span(status));
  const std::uint64_t units = want.size() / unitBytes;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t unit = first + i;
    const std::uint8_t* got = out.data() + i * unitBytes;
    const std::string where = "run " + std::to_string(first) + "+" + std::to_string(count) +
                              ", unit " + std::to_string(unit) + ": ";
    if (unit < units) {
      if (status[i] != BlockStatus::Good) return where + ToText(status[i]);
      if (!std::equal(got, got + unitBytes, want.data() + unit * unitBytes))
        return where + "wrong bytes";
    } else {
      if (status[i] != BlockStatus::PastEnd) return where + ToText(status[i]) + " past the end";
      if (std::any_of(got, got + unitBytes, [](std::uint8_t b) { return b != 0; }))
        return where + "not zero past the end";
    }
  }
  return "";
}

TEST(ReadContract, EveryContainerKindKeepsTheSameReadContract) {
  if (std::system("command -v chdman >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "chdman (Debian package mame-tools) is not installed";
  const fs::path dir = fs::temp_directory_path() / ("brindle-contract-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::mt19937 random(19);
  std::vector<std::uint8_t> plain(kBlocks * kBlockSize);
  for (auto& b : plain) b = static_cast<std::uint8_t>(random());
  const auto raw = testing::EncodeCdTrack(testing::CdMode::Mode1, 150, plain);
  ASSERT_EQ(raw.size(), kBlocks * kRawSectorBytes);
  WriteFile(dir / "disc.iso", {reinterpret_cast<const char*>(plain.data()), plain.size()});
  WriteFile(dir / "disc.bin", {reinterpret_cast<const char*>(raw.data()), raw.size()});
  WriteFile(dir / "disc.cue",
            "FILE \"disc.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n");
  const std::string chdman = "chdman createcd -f -i '" + (dir / "disc.cue").string() + "' -o '" +
                             (dir / "disc.chd").string() + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(chdman.c_str()), 0);

  const std::vector<std::size_t> counts = {0, 1, 2, 3, 7, 16, 37, 64, 65, 300, 301, 302};
  const std::vector<std::uint64_t> starts = {0,           1,           5,       99,
                                             kBlocks - 3, kBlocks - 1, kBlocks, kBlocks + 9};
  for (const std::string name : {"disc.iso", "disc.bin", "disc.cue", "disc.chd"}) {
    SCOPED_TRACE(name);
    MediaError error;
    const auto device = OpenContainer((dir / name).string(), error);
    ASSERT_TRUE(device) << error.message;
    ASSERT_EQ(device->blockCount(), kBlocks);
    EXPECT_EQ(device->isPlainBlockFile(), name == "disc.iso");
    const auto read = [&](std::uint64_t first, std::span<std::uint8_t> out,
                          std::span<BlockStatus> status) { device->read(first, out, status); };
    const auto readRaw = [&](std::uint64_t first, std::span<std::uint8_t> out,
                             std::span<BlockStatus> status) {
      device->readRaw(0, first, out, status);
    };
    for (const std::uint64_t first : starts) {
      for (const std::size_t count : counts) {
        EXPECT_EQ(Mismatch(read, kBlockSize, plain, first, count), "");
        // The raw view of the data track: the encoder's sectors, rebuilt where only user data
        // is stored.
        EXPECT_EQ(Mismatch(readRaw, kRawSectorBytes, raw, first, count), "");
      }
    }
    // No such track, and a buffer one byte short: every unit PastEnd, nothing written but zeros.
    const auto noTrack = [&](std::uint64_t first, std::span<std::uint8_t> out,
                             std::span<BlockStatus> status) {
      device->readRaw(device->tracks().size(), first, out, status);
    };
    EXPECT_EQ(Mismatch(noTrack, kRawSectorBytes, {}, 0, 3), "");
    std::vector<std::uint8_t> shortOut(3 * kBlockSize - 1, 0xAA);
    std::vector<BlockStatus> status(3, BlockStatus::Good);
    device->read(0, shortOut, status);
    EXPECT_EQ(std::count(status.begin(), status.end(), BlockStatus::PastEnd), 3);
    EXPECT_EQ(std::count(shortOut.begin(), shortOut.end(), 0), std::ptrdiff_t(shortOut.size()));

    // Several readers at once, each going forward from its own place, some past the end.
    std::vector<std::string> found(3);
    std::vector<std::thread> readers;
    for (std::size_t t = 0; t < found.size(); ++t) {
      readers.emplace_back([&, t] {
        for (std::uint64_t first = t * 50; first < kBlocks + 20 && found[t].empty(); first += 13)
          found[t] = Mismatch(read, kBlockSize, plain, first, 1 + (first + t) % 29);
      });
    }
    for (std::thread& reader : readers) reader.join();
    for (const std::string& f : found) EXPECT_EQ(f, "");
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace brindle::media
