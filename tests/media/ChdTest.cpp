// CHD files made by chdman from data + audio discs built here (Mode 1 and Mode 2 Form 1 data
// sectors from an encoder of their own), read back through the CHD reader and compared with the
// plain image block for block and with the CUE sheet they were made from; then damaged ones.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "CdSectorEncoder.h"
#include "OperaImageBuilder.h"
#include "media/Chd.h"
#include "media/ChdCodecs.h"
#include "media/ChdFormat.h"
#include "media/Containers.h"
#include "media/ImageFile.h"

namespace fs = std::filesystem;
using brindle::media::BlockDevice;
using brindle::media::BlockStatus;
using brindle::media::kBlockSize;
using brindle::media::MediaError;
using brindle::testing::CdMode;
using brindle::testing::OperaEntry;
using brindle::testing::OperaImageBuilder;

namespace {

constexpr std::size_t kRawSector = 2352;
constexpr std::size_t kAudioPregap = 150;  // stored before track 2's INDEX 01
constexpr std::size_t kAudioFrames = 301;

// A slow two-tone chord: what FLAC is for.
std::vector<std::uint8_t> AudioSectors(std::size_t frames) {
  std::vector<std::uint8_t> raw(frames * kRawSector);
  for (std::size_t i = 0; i < raw.size() / 4; ++i) {
    const double t = static_cast<double>(i) / 44100.0;
    const auto left = static_cast<std::int16_t>(9000 * std::sin(2 * M_PI * 440 * t));
    const auto right = static_cast<std::int16_t>(7000 * std::sin(2 * M_PI * 660 * t));
    raw[4 * i] = static_cast<std::uint8_t>(left);
    raw[4 * i + 1] = static_cast<std::uint8_t>(left >> 8);
    raw[4 * i + 2] = static_cast<std::uint8_t>(right);
    raw[4 * i + 3] = static_cast<std::uint8_t>(right >> 8);
  }
  return raw;
}

void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The CHD reader over the file at path, opened as OpenContainer opens it (but without its
// detection, so files no longer recognisable as CHDs still reach the reader).
std::unique_ptr<BlockDevice> OpenChdAt(const std::string& path, MediaError& error) {
  auto file = brindle::media::ImageFile::Open(path);
  if (!file) {
    error.message = "could not open " + path;
    return nullptr;
  }
  return brindle::media::OpenChd(std::move(*file), path, error);
}

bool HaveChdman() {
  return std::system("command -v chdman >/dev/null 2>&1") == 0;
}

// The disc: an Opera volume (text, patterned, random and zero-filled files, so chdman meets
// compressible, incompressible and repeated hunks) on track 1, and an audio track with a stored
// pregap after it.
class ChdDisc : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!HaveChdman()) return;
    dir_ = new fs::path(fs::temp_directory_path() / ("brindle-chd-" + std::to_string(::getpid())));
    fs::create_directories(*dir_);
    std::mt19937 random(7);
    std::vector<std::uint8_t> noise(300000);
    for (auto& b : noise) b = static_cast<std::uint8_t>(random());
    auto image =
        OperaImageBuilder()
            .root({OperaEntry::File("pattern.bin", 700000), OperaEntry::File("noise.bin", noise),
                   OperaEntry::File("zeros.bin", std::vector<std::uint8_t>(200000, 0)),
                   OperaEntry::Dir("More", {OperaEntry::File("again.bin", noise)})})
            .build()
            .bytes;
    // An odd block count, so the data track ends inside a hunk and the audio track's padding
    // is exercised.
    image.resize((image.size() / kBlockSize | 1) * kBlockSize + kBlockSize * 2, 0x5A);
    image_ = new std::vector<std::uint8_t>(std::move(image));
    // Mode 1: track 2's pregap is stored in its file (INDEX 00). Mode 2: it is only on the disc
    // (PREGAP), which the CHD records but does not store.
    for (const CdMode mode : {CdMode::Mode1, CdMode::Mode2Form1}) {
      const std::string name = Name(mode);
      WriteFile(*dir_ / (name + ".bin"), brindle::testing::EncodeCdTrack(mode, 150, *image_));
      const bool stored = mode == CdMode::Mode1;
      WriteFile(*dir_ / (name + "-audio.bin"),
                AudioSectors((stored ? kAudioPregap : 0) + kAudioFrames));
      std::ofstream cue(*dir_ / (name + ".cue"));
      cue << "FILE \"" << name << ".bin\" BINARY\n  TRACK 01 "
          << (stored ? "MODE1/2352" : "MODE2/2352") << "\n    INDEX 01 00:00:00\n"
          << "FILE \"" << name << "-audio.bin\" BINARY\n  TRACK 02 AUDIO\n"
          << (stored ? "    INDEX 00 00:00:00\n    INDEX 01 00:02:00\n"
                     : "    PREGAP 00:02:00\n    INDEX 01 00:00:00\n");
    }
  }
  static void TearDownTestSuite() {
    if (dir_ && !std::getenv("BRINDLE_KEEP_CHD_FIXTURES"))
      fs::remove_all(*dir_);  // kept: to look into
    delete dir_;
    delete image_;
    dir_ = nullptr;
    image_ = nullptr;
  }
  void SetUp() override {
    if (!HaveChdman()) GTEST_SKIP() << "chdman (Debian package mame-tools) is not installed";
  }

  static std::string Name(CdMode mode) { return mode == CdMode::Mode1 ? "mode1" : "mode2"; }

  // The disc as a CHD with these codecs ("" for chdman's default); empty when chdman refuses.
  static fs::path MakeChd(const std::string& codecs, CdMode mode = CdMode::Mode1) {
    const fs::path out =
        *dir_ / (Name(mode) + "-" + (codecs.empty() ? "default" : codecs) + ".chd");
    if (fs::exists(out)) return out;
    const std::string command = "chdman createcd -f -i '" +
                                (*dir_ / (Name(mode) + ".cue")).string() + "' -o '" + out.string() +
                                "'" + (codecs.empty() ? "" : " -c " + codecs) + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0 ? out : fs::path();
  }

  // Every block in runs (by default ones that do not line up with hunks); statuses and bytes.
  static std::pair<std::vector<BlockStatus>, std::vector<std::uint8_t>> ReadAll(
      BlockDevice& device, std::uint64_t run = 37) {
    const std::uint64_t count = device.blockCount();
    std::vector<BlockStatus> status(count);
    std::vector<std::uint8_t> bytes(count * kBlockSize);
    for (std::uint64_t first = 0; first < count; first += run) {
      const std::uint64_t n = std::min<std::uint64_t>(run, count - first);
      device.read(first, std::span(bytes).subspan(first * kBlockSize, n * kBlockSize),
                  std::span(status).subspan(first, n));
    }
    return {status, bytes};
  }

  static std::optional<brindle::media::chd::Layout> Layout(const fs::path& path) {
    class Source : public brindle::media::chd::ByteSource {
     public:
      explicit Source(std::vector<std::uint8_t> b) : bytes(std::move(b)) {}
      std::uint64_t size() const override { return bytes.size(); }
      bool readAt(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        if (offset + out.size() > bytes.size()) return false;
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
        return true;
      }
      std::vector<std::uint8_t> bytes;
    } source(ReadFile(path));
    std::string why;
    return brindle::media::chd::ReadLayout(source, why);
  }

  static std::size_t Blocks() { return image_->size() / kBlockSize; }

  static fs::path* dir_;
  static std::vector<std::uint8_t>* image_;
};
fs::path* ChdDisc::dir_ = nullptr;
std::vector<std::uint8_t>* ChdDisc::image_ = nullptr;

TEST_F(ChdDisc, EveryShapeAndCodecSetReadsBackThePlainImageAndTheSheetsTracks) {
  for (const CdMode mode : {CdMode::Mode1, CdMode::Mode2Form1}) {
    MediaError cueError;
    const auto cue =
        brindle::media::OpenContainer((*dir_ / (Name(mode) + ".cue")).string(), cueError);
    ASSERT_TRUE(cue) << cueError.message;
    const auto sheetTracks = cue->tracks();
    ASSERT_EQ(sheetTracks.size(), 2u);
    for (const std::string codecs : {"", "cdzl", "cdlz", "cdfl", "cdzs", "none", "huff", "flac",
                                     "cdlz,cdzl,cdfl", "cdlz,cdzl,huff,flac"}) {
      SCOPED_TRACE(Name(mode) + ", codecs: " + (codecs.empty() ? std::string("default") : codecs));
      const fs::path chd = MakeChd(codecs, mode);
      if (chd.empty()) {
        ASSERT_TRUE(codecs == "cdzs") << "chdman could not write " << codecs;
        continue;  // an older chdman without zstd
      }
      MediaError error;
      auto device = OpenChdAt(chd.string(), error);
      ASSERT_TRUE(device) << error.message;
      ASSERT_EQ(device->blockCount(), Blocks());
      const auto [status, bytes] = ReadAll(*device);
      EXPECT_EQ(std::count(status.begin(), status.end(), BlockStatus::Good),
                static_cast<std::ptrdiff_t>(Blocks()));
      EXPECT_TRUE(bytes == *image_) << "blocks differ from the plain image";

      // The same places on the disc as the sheet the CHD was made from, pregap or not.
      const auto tracks = device->tracks();
      ASSERT_EQ(tracks.size(), 2u);
      for (std::size_t t = 0; t < 2; ++t) {
        EXPECT_EQ(tracks[t].number, sheetTracks[t].number);
        EXPECT_EQ(tracks[t].mode, sheetTracks[t].mode);
        EXPECT_EQ(tracks[t].firstSector, sheetTracks[t].firstSector) << "track " << t + 1;
        EXPECT_EQ(tracks[t].sectorCount, sheetTracks[t].sectorCount) << "track " << t + 1;
      }
      EXPECT_EQ(tracks[1].firstSector, Blocks() + kAudioPregap);
      EXPECT_EQ(device->describe().rfind("CHD v5 (", 0), 0u) << device->describe();

      // chdman leaves out a sector's ECC only when its own check of it passes; so the flags of
      // the first hunk show that the sectors written here carry correct ECC, which the reader
      // then has to rebuild for the hunk CRC to match.
      if (codecs == "cdzl" || codecs == "cdlz") {
        const auto layout = Layout(chd);
        ASSERT_TRUE(layout);
        const auto& first = layout->hunks[0];
        ASSERT_EQ(first.kind, brindle::media::chd::HunkKind::Codec);
        const auto file = ReadFile(chd);
        EXPECT_EQ(file[first.offset], 0xFF) << "chdman kept the ECC of the first hunk's sectors";
      }
    }
  }
  // The reader's cache is shared: reading the same device from several threads gives the same.
  MediaError error;
  auto device = OpenChdAt(MakeChd("").string(), error);
  ASSERT_TRUE(device);
  std::vector<std::thread> threads;
  std::array<std::vector<std::uint8_t>, 3> results;
  for (auto& result : results)
    threads.emplace_back([&device, &result] { result = ReadAll(*device).second; });
  for (auto& thread : threads) thread.join();
  for (const auto& result : results) EXPECT_TRUE(result == *image_);
}

TEST_F(ChdDisc, AHunkWithDamagedBytesFailsItsCheckAndNothingElseDoes) {
  for (const std::string codecs : {"cdzl", "huff", "flac"}) {
    SCOPED_TRACE(codecs);
    const fs::path chd = MakeChd(codecs);
    ASSERT_FALSE(chd.empty());
    const auto layout = Layout(chd);
    ASSERT_TRUE(layout);
    const std::uint32_t framesPerHunk = layout->header.hunkBytes / brindle::media::chd::kFrameBytes;
    // A compressed hunk inside the data track that no other hunk repeats.
    std::optional<std::uint32_t> target;
    for (std::uint32_t h = 3; h + 1 < Blocks() / framesPerHunk && !target; ++h) {
      const auto& entry = layout->hunks[h];
      if (entry.kind != brindle::media::chd::HunkKind::Codec || entry.dataHunk != h) continue;
      if (std::none_of(layout->hunks.begin(), layout->hunks.end(),
                       [&](const auto& other) { return &other != &entry && other.dataHunk == h; }))
        target = h;
    }
    ASSERT_TRUE(target);
    auto file = ReadFile(chd);
    const auto& entry = layout->hunks[*target];
    file[entry.offset + entry.length / 2] ^= 0x10;
    const fs::path damaged = *dir_ / "damaged.chd";
    WriteFile(damaged, file);

    MediaError error;
    auto device = OpenChdAt(damaged.string(), error);
    ASSERT_TRUE(device) << error.message;
    // Hunks are decoded ahead of a reader going forward, on other threads: whatever the run
    // length, read once or again on the same device, the blocks arrive in order and only the
    // damaged hunk's fail.
    for (const std::uint64_t run : {std::uint64_t{37}, std::uint64_t{1}, std::uint64_t{Blocks()},
                                    std::uint64_t{framesPerHunk}}) {
      SCOPED_TRACE("run of " + std::to_string(run));
      const auto [status, bytes] = ReadAll(*device, run);
      for (std::size_t b = 0; b < Blocks(); ++b) {
        const bool inside = b / framesPerHunk == *target;
        ASSERT_EQ(status[b], inside ? BlockStatus::FailedCheck : BlockStatus::Good)
            << "block " << b;
        ASSERT_TRUE(std::equal(bytes.begin() + b * kBlockSize, bytes.begin() + (b + 1) * kBlockSize,
                               inside ? std::vector<std::uint8_t>(kBlockSize).begin()
                                      : image_->begin() + b * kBlockSize))
            << "block " << b;
      }
    }
    // Readers on several threads at once, one going forward and one reading single blocks
    // backwards, share the device's hunks decoded ahead.
    std::vector<BlockStatus> backwardStatus(Blocks());
    std::vector<std::uint8_t> backward(Blocks() * kBlockSize);
    std::thread back([&] {
      for (std::size_t b = Blocks(); b-- > 0;)
        device->read(b, std::span(backward).subspan(b * kBlockSize, kBlockSize),
                     std::span(backwardStatus).subspan(b, 1));
    });
    const auto [status, bytes] = ReadAll(*device);
    back.join();
    EXPECT_TRUE(status == backwardStatus);
    EXPECT_TRUE(bytes == backward);
    EXPECT_EQ(std::count(status.begin(), status.end(), BlockStatus::FailedCheck),
              static_cast<std::ptrdiff_t>(framesPerHunk));
  }
}

// Uncompressed hunks carry no CRC: each sector is checked as a raw image's is, so a damaged byte
// or a map entry naming another hunk is reported, never handed out as good.
TEST_F(ChdDisc, UncompressedDamageFailsItsCheckAndNothingElseDoes) {
  for (const CdMode mode : {CdMode::Mode1, CdMode::Mode2Form1}) {
    const fs::path chd = MakeChd("none", mode);
    ASSERT_FALSE(chd.empty());
    const auto layout = Layout(chd);
    ASSERT_TRUE(layout);
    const std::uint32_t hunkBytes = layout->header.hunkBytes;
    const std::uint32_t framesPerHunk = hunkBytes / brindle::media::chd::kFrameBytes;
    const std::uint64_t mapOffset = layout->header.mapOffset;
    const std::uint32_t hunk = 3;
    ASSERT_LT((hunk + 2) * framesPerHunk, Blocks());
    const auto good = ReadFile(chd);
    auto position = [&](std::uint32_t h) {
      std::uint32_t value = 0;
      for (int i = 0; i < 4; ++i) value = value << 8 | good[mapOffset + 4 * h + i];
      return value;
    };
    struct Case {
      std::string name;
      std::vector<std::uint8_t> bytes;
      std::size_t firstBad, badCount;
    };
    std::vector<Case> cases;
    const std::size_t block = hunk * framesPerHunk + 2;
    auto flipped = good;
    flipped[std::uint64_t(position(hunk)) * hunkBytes + 2 * brindle::media::chd::kFrameBytes + 24 +
            100] ^= 0x04;
    cases.push_back({"a flipped byte", flipped, block, 1});
    auto moved = good;
    std::copy_n(good.begin() + static_cast<std::ptrdiff_t>(mapOffset + 4 * (hunk + 1)), 4,
                moved.begin() + static_cast<std::ptrdiff_t>(mapOffset + 4 * hunk));
    cases.push_back(
        {"a map entry naming the next hunk", moved, hunk * framesPerHunk, framesPerHunk});
    for (const Case& c : cases) {
      SCOPED_TRACE(Name(mode) + ": " + c.name);
      const fs::path damaged = *dir_ / "damaged-none.chd";
      WriteFile(damaged, c.bytes);
      MediaError error;
      auto device = OpenChdAt(damaged.string(), error);
      ASSERT_TRUE(device) << error.message;
      const auto [status, bytes] = ReadAll(*device);
      for (std::size_t b = 0; b < Blocks(); ++b) {
        const bool bad = b >= c.firstBad && b < c.firstBad + c.badCount;
        ASSERT_EQ(status[b], bad ? BlockStatus::FailedCheck : BlockStatus::Good) << "block " << b;
        if (!bad) {
          ASSERT_TRUE(std::equal(bytes.begin() + b * kBlockSize,
                                 bytes.begin() + (b + 1) * kBlockSize,
                                 image_->begin() + b * kBlockSize));
        }
      }
    }
  }
}

TEST_F(ChdDisc, FilesThatCannotBeReadAreRefusedWithAMessage) {
  const fs::path chd = MakeChd("");
  ASSERT_FALSE(chd.empty());
  const auto good = ReadFile(chd);
  struct Case {
    std::string name;
    std::vector<std::uint8_t> bytes;
    std::string says;
  };
  std::vector<Case> cases;
  auto parent = good;
  parent[110] = 0x42;  // inside the parent's SHA1
  cases.push_back({"parent", parent, "parent"});
  cases.push_back({"half", {good.begin(), good.begin() + good.size() / 2}, "cut off"});
  cases.push_back({"header only", {good.begin(), good.begin() + 124}, ""});
  cases.push_back({"short", {good.begin(), good.begin() + 60}, "too short"});
  std::mt19937 random(3);
  std::vector<std::uint8_t> garbage(good.size());
  for (auto& b : garbage) b = static_cast<std::uint8_t>(random());
  cases.push_back({"garbage", garbage, "not a CHD"});
  auto version = good;
  version[15] = 4;
  cases.push_back({"version 4", version, "version 4"});
  auto hunkSize = good;
  hunkSize[56] = 0x7F;  // a hunk of about 2 GiB
  cases.push_back({"hunk size", hunkSize, "not a CD"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = *dir_ / "bad.chd";
    WriteFile(path, c.bytes);
    MediaError error;
    EXPECT_FALSE(OpenChdAt(path.string(), error));
    EXPECT_NE(error.message.find("bad.chd"), std::string::npos) << error.message;
    EXPECT_NE(error.message.find(c.says), std::string::npos) << error.message;
  }
}

}  // namespace

namespace {

// The compressed hunk map carries a CRC16 of its decoded entries; a map whose entries no longer
// match it would send reads to wrong offsets, so the file is refused.
TEST_F(ChdDisc, AHunkMapThatFailsItsOwnCrcIsRefused) {
  const fs::path chd = MakeChd("");
  ASSERT_FALSE(chd.empty());
  const auto layout = Layout(chd);
  ASSERT_TRUE(layout);
  ASSERT_TRUE(layout->header.compressed);
  auto file = ReadFile(chd);
  file[layout->header.mapOffset + 11] ^= 0x01;  // the map header's CRC field, low byte
  const fs::path damaged = *dir_ / "map-crc.chd";
  WriteFile(damaged, file);
  MediaError error;
  EXPECT_FALSE(OpenChdAt(damaged.string(), error));
  EXPECT_NE(error.message.find("hunk map"), std::string::npos) << error.message;
}

}  // namespace
