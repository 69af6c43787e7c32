// Every container the command line accepts, built from one Opera volume: the plain image, raw
// sectors of each layout, and CUE sheets of the shapes drive dumps come in. Each must give the
// plain image's blocks back; damaged sectors and unusable sheets must be reported, not crash.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "OperaImageBuilder.h"
#include "media/Containers.h"

namespace brindle::media {
namespace {

using brindle::testing::OperaEntry;
using brindle::testing::OperaImageBuilder;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class ScratchDir {
 public:
  ScratchDir() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("brindle-media-" + std::to_string(random()) + "-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

  std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    std::ofstream out(file(name), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return file(name);
  }
  std::string write(const std::string& name, const std::string& text) const {
    return write(name, std::vector<std::uint8_t>(text.begin(), text.end()));
  }

 private:
  std::filesystem::path path_;
};

// How the test writes a data track's sectors.
enum class Layout { Mode1, Mode1Subcode, Mode2Form1, Mode2Headerless };

// The sectors' error-detection code, bit by bit, straight from its definition.
std::uint32_t Edc(const std::uint8_t* p, std::size_t n) {
  std::uint32_t crc = 0;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1) ? 0xD8018001u : 0u);
  }
  return crc;
}

void PutEdc(std::vector<std::uint8_t>& sector, std::size_t from, std::size_t length) {
  const std::uint32_t edc = Edc(sector.data() + from, length);
  for (int i = 0; i < 4; ++i) sector[from + length + i] = static_cast<std::uint8_t>(edc >> (8 * i));
}

std::uint8_t Bcd(std::uint32_t v) {
  return static_cast<std::uint8_t>((v / 10) << 4 | (v % 10));
}

// One stored sector holding block (2048 bytes) at disc sector lba. Error-correction bytes stay
// zero: nothing reads them.
std::vector<std::uint8_t> Sector(const std::uint8_t* block, std::uint32_t lba, Layout layout) {
  std::vector<std::uint8_t> s(2352, 0);
  for (int i = 1; i <= 10; ++i) s[i] = 0xFF;
  const std::uint32_t frames = lba + 150;
  s[12] = Bcd(frames / 75 / 60);
  s[13] = Bcd(frames / 75 % 60);
  s[14] = Bcd(frames % 75);
  if (layout == Layout::Mode1 || layout == Layout::Mode1Subcode) {
    s[15] = 1;
    std::copy(block, block + 2048, s.begin() + 16);
    PutEdc(s, 0, 2064);
  } else {
    s[15] = 2;
    const std::uint8_t subheader[8] = {0, 0, 0x08, 0, 0, 0, 0x08, 0};  // Form 1 data
    std::copy(subheader, subheader + 8, s.begin() + 16);
    std::copy(block, block + 2048, s.begin() + 24);
    PutEdc(s, 16, 2056);
  }
  if (layout == Layout::Mode2Headerless) s.erase(s.begin(), s.begin() + 16);
  if (layout == Layout::Mode1Subcode) {
    for (std::uint32_t i = 0; i < 96; ++i) s.push_back(static_cast<std::uint8_t>(lba * 7 + i));
  }
  return s;
}

std::vector<std::uint8_t> ToSectors(const std::vector<std::uint8_t>& image, Layout layout,
                                    std::uint32_t firstLba) {
  std::vector<std::uint8_t> out;
  for (std::size_t at = 0; at < image.size(); at += 2048) {
    const auto sector =
        Sector(image.data() + at, firstLba + static_cast<std::uint32_t>(at / 2048), layout);
    out.insert(out.end(), sector.begin(), sector.end());
  }
  return out;
}

// Audio sectors: sample bytes with no structure at all.
std::vector<std::uint8_t> Audio(std::size_t sectors, std::uint32_t sectorSize = 2352) {
  std::vector<std::uint8_t> out(sectors * sectorSize);
  std::mt19937 random(static_cast<std::uint32_t>(sectors));
  for (auto& b : out) b = static_cast<std::uint8_t>(random());
  return out;
}

// A position in a sheet's mm:ss:ff form.
std::string Msf(std::size_t frames) {
  auto two = [](std::size_t v) { return std::string(v < 10 ? "0" : "") + std::to_string(v); };
  return two(frames / 75 / 60) + ":" + two(frames / 75 % 60) + ":" + two(frames % 75);
}

std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<std::uint8_t> Volume() {
  return OperaImageBuilder()
      .root(
          {OperaEntry::File("Launch", 70000),
           OperaEntry::Dir("Data", {OperaEntry::File("Movie", 200000), OperaEntry::File("x", 5)})})
      .build()
      .bytes;
}

struct ReadBack {
  std::vector<std::uint8_t> bytes;
  std::vector<BlockStatus> status;
};

// Every block of the device, in runs of 37 blocks so reads cross the device's own chunks.
ReadBack ReadAll(BlockDevice& device) {
  const std::size_t blocks = static_cast<std::size_t>(device.blockCount());
  ReadBack all{std::vector<std::uint8_t>(blocks * kBlockSize, 0xAA),
               std::vector<BlockStatus>(blocks, BlockStatus::PastEnd)};
  for (std::size_t first = 0; first < blocks; first += 37) {
    const std::size_t n = std::min<std::size_t>(37, blocks - first);
    device.read(first, std::span(all.bytes).subspan(first * kBlockSize, n * kBlockSize),
                std::span(all.status).subspan(first, n));
  }
  return all;
}

struct Case {
  std::string name;
  std::string path;
  std::string describe;
  // Expected tracks as (number, first sector on the disc, sectors); empty: not checked.
  std::vector<std::array<std::uint64_t, 3>> tracks;
};

TEST(Containers, EveryContainerReadsBlockForBlockAsThePlainImage) {
  ScratchDir dir;
  const auto plain = Volume();
  const std::size_t blocks = plain.size() / kBlockSize;
  ASSERT_GT(blocks, 64u);  // runs longer than one device read
  std::vector<Case> cases;
  auto add = [&](std::string name, std::string path, std::string describe,
                 std::vector<std::array<std::uint64_t, 3>> tracks = {}) {
    cases.push_back(Case{std::move(name), std::move(path), std::move(describe), std::move(tracks)});
  };

  add("plain image", dir.write("plain.iso", plain), "2048-byte image");
  add("raw Mode 1", dir.write("mode1.bin", ToSectors(plain, Layout::Mode1, 0)),
      "raw 2352-byte sectors, Mode 1");
  add("raw with subcode", dir.write("sub.img", ToSectors(plain, Layout::Mode1Subcode, 0)),
      "raw 2448-byte sectors, Mode 1");
  add("raw Mode 2", dir.write("mode2.bin", ToSectors(plain, Layout::Mode2Form1, 0)),
      "raw 2352-byte sectors, Mode 2 Form 1");

  // One BIN per track, as drive dumps come: a byte-order mark, CRLF, names with blanks.
  dir.write("Game (Track 1).bin", ToSectors(plain, Layout::Mode1, 0));
  dir.write("Game (Track 2).bin", Audio(300));
  dir.write("Game (Track 3).bin", Audio(80));
  add("one BIN per track",
      dir.write("per-track.cue",
                "\xEF\xBB\xBFREM DISC \"x\"\r\nCATALOG 0000000000000\r\n"
                "FILE \"Game (Track 1).bin\" BINARY\r\n  TRACK 01 MODE1/2352\r\n"
                "    INDEX 01 00:00:00\r\n"
                "FILE \"Game (Track 2).bin\" BINARY\r\n  TRACK 02 AUDIO\r\n    FLAGS DCP\r\n"
                "    INDEX 00 00:00:00\r\n    INDEX 01 00:02:00\r\n"
                "FILE \"Game (Track 3).bin\" BINARY\r\n  TRACK 03 AUDIO\r\n"
                "    INDEX 01 00:00:00\r\n"),
      "BIN/CUE, 3 tracks, data track MODE1/2352",
      {{{1, 0, blocks}, {2, blocks + 150, 150}, {3, blocks + 300, 80}}});

  // One BIN for everything, audio first, the data track in headerless Mode 2 sectors after a
  // stored pregap: every offset is the earlier tracks' sectors in their own sizes.
  dir.write("shared.bin",
            Join({Audio(100),
                  ToSectors(std::vector<std::uint8_t>(150 * 2048, 0), Layout::Mode2Headerless, 100),
                  ToSectors(plain, Layout::Mode2Headerless, 250), Audio(40)}));
  add("shared BIN, data after audio",
      dir.write("shared.cue",
                "FILE shared.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                "TRACK 02 MODE2/2336\nINDEX 00 00:01:25\nINDEX 01 00:03:25\n"
                "TRACK 03 AUDIO\nINDEX 01 " +
                    Msf(250 + blocks) + "\n"),
      "BIN/CUE, 3 tracks, data track MODE2/2336",
      {{{1, 0, 100}, {2, 250, blocks}, {3, 250 + blocks, 40}}});

  // Plain 2048-byte sectors after an audio track in one BIN: unquoted names, small letters, an
  // absolute path to the last track's file.
  dir.write("cooked.bin", Join({Audio(30), plain}));
  dir.write("audio.bin", Audio(10));
  add("MODE1/2048 sheet",
      dir.write("cooked.cue",
                "file cooked.bin binary\n track 1 audio\n  index 1 00:00:00\n"
                " track 2 mode1/2048\n  index 1 00:00:30\n"
                "FILE \"" +
                    dir.file("audio.bin") +
                    "\" BINARY\n TRACK 3 AUDIO\n"
                    "  PREGAP 00:02:00\n  INDEX 1 00:00:00\n"),
      "BIN/CUE, 3 tracks, data track MODE1/2048",
      {{{1, 0, 30}, {2, 30, blocks}, {3, 30 + blocks + 150, 10}}});

  // A pregap that takes no bytes: the data track's sectors carry disc addresses past it.
  dir.write("pregap.bin", Join({Audio(75), ToSectors(plain, Layout::Mode1, 75 + 150)}));
  add("PREGAP",
      dir.write("pregap.cue",
                "FILE \"pregap.bin\" BINARY\nTRACK 01 AUDIO\n"
                "INDEX 01 00:00:00\nTRACK 02 MODE1/2352\nPREGAP 00:02:00\n"
                "INDEX 01 00:01:00\n"),
      "BIN/CUE, 2 tracks, data track MODE1/2352", {{{1, 0, 75}, {2, 225, blocks}}});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MediaError error;
    const auto device = OpenContainer(c.path, error);
    ASSERT_TRUE(device) << error.message;
    EXPECT_EQ(device->describe(), c.describe);
    ASSERT_EQ(device->blockCount(), blocks);
    const ReadBack all = ReadAll(*device);
    EXPECT_EQ(std::count(all.status.begin(), all.status.end(), BlockStatus::Good),
              static_cast<std::ptrdiff_t>(blocks));
    EXPECT_TRUE(all.bytes == plain);
    std::vector<std::uint8_t> past(2 * kBlockSize, 0xAA);
    std::vector<BlockStatus> pastStatus(2);
    device->read(blocks - 1, past, pastStatus);
    EXPECT_EQ(pastStatus[0], BlockStatus::Good);
    EXPECT_EQ(pastStatus[1], BlockStatus::PastEnd);
    if (!c.tracks.empty()) {
      std::vector<std::array<std::uint64_t, 3>> tracks;
      for (const TrackInfo& t : device->tracks()) {
        tracks.push_back({static_cast<std::uint64_t>(t.number), t.firstSector, t.sectorCount});
      }
      EXPECT_EQ(tracks, c.tracks);
    }
    // Where the blocks lie as they are, the file range holds exactly them.
    const bool plainBlocks = c.describe == "2048-byte image" || c.describe.ends_with("MODE1/2048");
    const auto range = device->fileRange(3, 10);
    ASSERT_EQ(range.has_value(), plainBlocks);
    if (range) {
      const auto data = device->tracks();
      const auto track = std::find_if(data.begin(), data.end(),
                                      [](const TrackInfo& t) { return t.mode != "AUDIO"; });
      std::ifstream in(track->file, std::ios::binary);
      std::vector<char> bytes(static_cast<std::size_t>(range->length));
      in.seekg(static_cast<std::streamoff>(range->offset));
      in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), plain.begin() + 3 * kBlockSize,
                             plain.begin() + 13 * kBlockSize, [](char a, std::uint8_t b) {
                               return static_cast<std::uint8_t>(a) == b;
                             }));
    }
  }
}

TEST(Containers, UnusableSheetsAreRefusedNamingTheLine) {
  struct Failure {
    std::string sheet;
    std::vector<std::pair<std::string, std::size_t>> files;  // name, bytes
    std::string message;
  };
  const std::string track1 = "TRACK 01 MODE1/2352\nINDEX 01 00:00:00\n";
  const std::vector<Failure> failures = {
      {"FILE \"gone.bin\" BINARY\n" + track1,
       {},
       "disc.cue line 1: \"gone.bin\" could not be opened"},
      // A shared BIN cut inside the data track: the audio track after it is missing.
      {"FILE disc.bin BINARY\n" + track1 + "TRACK 02 AUDIO\nINDEX 01 00:02:00\n",
       {{"disc.bin", 100 * 2352}},
       "disc.cue line 2: TRACK 1 needs 352800 bytes of \"disc.bin\", which holds 235200"},
      {"FILE disc.bin BINARY\n" + track1 + "TRACK 02 AUDIO\nINDEX 01 00:02:00\n",
       {{"disc.bin", 150 * 2352}},
       "disc.cue line 4: TRACK 2 starts at byte 352800, past the end of \"disc.bin\""},
      {"REM one\nREM two\nFILE disc.bin BINARY\nTRACK 01 MODE3/2352\nINDEX 01 00:00:00\n",
       {{"disc.bin", 2352}},
       "disc.cue line 4: unknown track mode MODE3/2352"},
      {"FILE disc.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:61:00\n",
       {{"disc.bin", 2352}},
       "disc.cue line 3: malformed INDEX"},
      {"FILE disc.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01\n",
       {{"disc.bin", 2352}},
       "disc.cue line 3: malformed INDEX"},
      {"FILE disc.bin BINARY\nTRACK 01 MODE1/2352\nTRACK 02 AUDIO\nINDEX 01 00:00:00\n",
       {{"disc.bin", 2352}},
       "disc.cue line 2: TRACK 1 has no INDEX 01"},
      {"FILE \"disc.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",
       {{"disc.wav", 2352}},
       "disc.cue line 1: WAVE files are not supported"},
      {"FILE disc.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",
       {{"disc.bin", 2352}},
       "disc.cue: no data track"},
  };
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.sheet);
    ScratchDir dir;
    for (const auto& [name, bytes] : f.files)
      dir.write(name, Audio(1, static_cast<std::uint32_t>(bytes)));
    MediaError error;
    EXPECT_FALSE(OpenContainer(dir.write("disc.cue", f.sheet), error));
    EXPECT_THAT(error.message, StartsWith(f.message));
  }
}

// A TRACK line whose mode does not fit its file's sectors is refused naming both, not opened to
// fail every sector's check (or to hand out raw sectors as blocks).
TEST(Containers, ASheetWhoseModeDoesNotFitItsSectorsSaysSo) {
  const auto plain = Volume();
  struct Case {
    std::vector<std::uint8_t> bin;
    std::string mode;
    std::string message;
  };
  const std::string says = "disc.cue line 2: TRACK 1 says ";
  const std::vector<Case> cases = {
      {plain, "MODE1/2352", says + "MODE1/2352, but \"disc.bin\" holds no raw sectors"},
      {ToSectors(plain, Layout::Mode1, 0), "MODE1/2048",
       says + "MODE1/2048, but \"disc.bin\" holds raw 2352-byte Mode 1 sectors (MODE1/2352)"},
      {ToSectors(plain, Layout::Mode2Form1, 0), "MODE1/2352",
       says + "MODE1/2352, but \"disc.bin\" holds Mode 2 sectors (MODE2/2352)"},
      {ToSectors(plain, Layout::Mode1Subcode, 0), "MODE1/2352",
       says + "MODE1/2352, but \"disc.bin\" holds raw 2448-byte Mode 1 sectors"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode + ": " + c.message);
    ScratchDir dir;
    dir.write("disc.bin", c.bin);
    MediaError error;
    EXPECT_FALSE(OpenContainer(
        dir.write("disc.cue", "FILE disc.bin BINARY\nTRACK 01 " + c.mode + "\nINDEX 01 00:00:00\n"),
        error));
    EXPECT_THAT(error.message, StartsWith(c.message));
  }
}

TEST(Containers, DamagedRawSectorsFailTheirCheckAlone) {
  const auto plain = Volume();
  const std::size_t blocks = plain.size() / kBlockSize;
  for (const Layout layout : {Layout::Mode1, Layout::Mode2Form1, Layout::Mode1Subcode}) {
    SCOPED_TRACE(static_cast<int>(layout));
    const std::size_t size = layout == Layout::Mode1Subcode ? 2448 : 2352;
    const std::size_t dataAt = layout == Layout::Mode2Form1 ? 24 : 16;
    auto raw = ToSectors(plain, layout, 0);
    raw[5 * size + dataAt + 1000] ^= 0x01;  // one bit of user data
    raw[9 * size + 3] = 0x7F;               // the sync
    raw[12 * size + 15] = 0x00;             // the mode
    // Two sectors in each other's places: their own checks hold, their addresses do not.
    std::swap_ranges(raw.begin() + 70 * size, raw.begin() + 71 * size, raw.begin() + 71 * size);
    raw.resize(raw.size() - 400);  // the last sector cut off

    ScratchDir dir;
    MediaError error;
    const auto device = OpenContainer(dir.write("damaged.bin", raw), error);
    ASSERT_TRUE(device) << error.message;
    ASSERT_EQ(device->blockCount(), blocks);
    const ReadBack all = ReadAll(*device);
    for (std::size_t b = 0; b < blocks; ++b) {
      const std::vector<std::uint8_t> got(all.bytes.begin() + b * kBlockSize,
                                          all.bytes.begin() + (b + 1) * kBlockSize);
      if (b == 5 || b == 9 || b == 12 || b == 70 || b == 71) {
        EXPECT_EQ(all.status[b], BlockStatus::FailedCheck) << "block " << b;
        EXPECT_EQ(got, std::vector<std::uint8_t>(kBlockSize, 0)) << "block " << b;
      } else if (b == blocks - 1) {
        EXPECT_EQ(all.status[b], BlockStatus::Unreadable);
      } else {
        EXPECT_EQ(all.status[b], BlockStatus::Good) << "block " << b;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), plain.begin() + b * kBlockSize))
            << "block " << b;
      }
    }
  }
}

}  // namespace
}  // namespace brindle::media
