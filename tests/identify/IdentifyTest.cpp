// Track hashes: for random volumes, the plain image, a BIN/CUE set written by the encoder below
// (which shares nothing with the media library) and the CHD chdman makes of that set must give
// the same hashes, and those must be what sha1sum and md5sum say of the track files. Then DATs in
// both forms, each with a near miss, matched against such a disc.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "CdSectorEncoder.h"
#include "OperaImageBuilder.h"
#include "identify/Dat.h"
#include "identify/Match.h"
#include "identify/TrackHashes.h"
#include "media/Containers.h"
#include "media/RawSectors.h"

namespace fs = std::filesystem;
using brindle::identify::Digests;
using brindle::identify::Hex;
using brindle::identify::RomVerdict;
using brindle::identify::TrackHashes;
using brindle::testing::OperaEntry;
using brindle::testing::OperaImageBuilder;
using testing::HasSubstr;

namespace {

constexpr std::size_t kSector = 2352;
constexpr std::size_t kUser = 2048;

// A Mode 1 sector as a drive dump holds it, from the test encoder that shares no code with
// media/ (tests/media/CdSectorEncoder).
void EncodeMode1(const std::uint8_t* user, std::size_t lba, std::uint8_t* sector) {
  brindle::testing::EncodeCdSector(brindle::testing::CdMode::Mode1,
                                   static_cast<std::uint32_t>(lba + 150),
                                   std::span<const std::uint8_t, 2048>(user, kUser),
                                   std::span<std::uint8_t, 2352>(sector, kSector));
}

void Write(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// The first word a command prints (a hash from sha1sum or md5sum).
std::string FirstWord(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {};
  char buffer[256] = {};
  const std::size_t got = std::fread(buffer, 1, sizeof buffer - 1, pipe);
  pclose(pipe);
  std::string text(buffer, got);
  return text.substr(0, text.find(' '));
}

std::vector<TrackHashes> HashesOf(const fs::path& path) {
  brindle::media::MediaError error;
  auto device = brindle::media::OpenContainer(path.string(), error);
  EXPECT_TRUE(device) << error.message;
  if (!device) return {};
  // What the progress meter is told adds up to the whole of every track, once each.
  std::atomic<std::uint64_t> hashed = 0;
  std::size_t tracksDone = 0;
  brindle::identify::HashOptions options;
  options.userData = true;
  options.hashed = [&](std::uint64_t bytes) { hashed += bytes; };
  options.trackDone = [&] { ++tracksDone; };
  auto hashes = brindle::identify::HashTracks(*device, options);
  EXPECT_EQ(hashed, brindle::identify::RawBytes(device->tracks()));
  EXPECT_EQ(tracksDone, hashes.size());
  return hashes;
}

class TempDir {
 public:
  TempDir() {
    std::string name = (fs::temp_directory_path() / "identify-XXXXXX").string();
    path_ = mkdtemp(name.data());
  }
  ~TempDir() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

bool HaveChdman() {
  return std::system("command -v chdman >/dev/null 2>&1") == 0;
}

// A disc of a random volume (and, when audioSectors is not 0, an audio track of random samples
// after it), written as a plain image, a BIN/CUE set of one file per track and a CHD.
struct Disc {
  fs::path iso, cue, chd, dataBin, audioBin;
};

Disc MakeDisc(const fs::path& dir, std::mt19937& random, std::size_t audioSectors) {
  std::vector<OperaEntry> files;
  const int count = 1 + static_cast<int>(random() % 6);
  for (int i = 0; i < count; ++i) {
    std::vector<std::uint8_t> bytes(random() % 60000);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    files.push_back(OperaEntry::File("F" + std::to_string(i), std::move(bytes)));
  }
  // chdman 0.251 writes CHDs it cannot read itself for discs of a few hunks: at least 300
  // sectors, partly zeros (other codecs than for the random bytes).
  files.push_back(OperaEntry::File("Zeros", std::vector<std::uint8_t>(200000 + random() % 100000)));
  std::vector<std::uint8_t> large(400000 + random() % 400000);
  for (auto& b : large) b = static_cast<std::uint8_t>(random() % 7);
  files.push_back(OperaEntry::File("Large", std::move(large)));
  // Random padding makes the block count anything, not only a multiple of a CHD hunk.
  const auto volume = OperaImageBuilder().root(std::move(files)).build().bytes;
  std::vector<std::uint8_t> image = volume;
  image.resize(image.size() + kUser * (random() % 9));
  Disc disc{dir / "disc.iso", dir / "disc.cue", dir / "disc.chd", dir / "disc (Track 1).bin",
            dir / "disc (Track 2).bin"};
  Write(disc.iso, image);

  const std::size_t sectors = image.size() / kUser;
  std::vector<std::uint8_t> bin(sectors * kSector);
  for (std::size_t i = 0; i < sectors; ++i)
    EncodeMode1(image.data() + i * kUser, i, bin.data() + i * kSector);
  Write(disc.dataBin, bin);
  std::string sheet =
      "FILE \"disc (Track 1).bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n";
  if (audioSectors) {
    std::vector<std::uint8_t> audio(audioSectors * kSector);
    for (auto& b : audio) b = static_cast<std::uint8_t>(random());
    Write(disc.audioBin, audio);
    sheet += "FILE \"disc (Track 2).bin\" BINARY\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n";
  }
  std::ofstream(disc.cue) << sheet;
  const std::string command = "chdman createcd -f -i '" + disc.cue.string() + "' -o '" +
                              disc.chd.string() + "' >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return disc;
}

TEST(TrackHashes, EveryContainerGivesTheDumpsOwnHashes) {
  if (!HaveChdman()) GTEST_SKIP() << "chdman (Debian package mame-tools) is not installed";
  std::mt19937 random(19);
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    TempDir dir;
    // Odd audio lengths: the CHD pads its tracks to whole hunks, the hashes must not see it.
    const std::size_t audio = round % 2 ? 1 + random() % 40 : 0;
    const Disc disc = MakeDisc(dir.path(), random, audio);

    const auto plain = HashesOf(disc.iso);
    const auto cue = HashesOf(disc.cue);
    const auto chd = HashesOf(disc.chd);
    ASSERT_EQ(plain.size(), 1u);
    ASSERT_EQ(cue.size(), audio ? 2u : 1u);
    ASSERT_EQ(chd.size(), cue.size());

    const Digests& data = plain[0].raw;
    EXPECT_EQ(data.size, fs::file_size(disc.dataBin));
    EXPECT_EQ(Hex(data.sha1), FirstWord("sha1sum '" + disc.dataBin.string() + "'"));
    EXPECT_EQ(Hex(data.md5), FirstWord("md5sum '" + disc.dataBin.string() + "'"));
    EXPECT_EQ(cue[0].raw, data);
    EXPECT_EQ(chd[0].raw, data);
    // The user data alone is the plain image, whatever held it.
    ASSERT_TRUE(plain[0].user && cue[0].user && chd[0].user);
    EXPECT_EQ(Hex(plain[0].user->sha1), FirstWord("sha1sum '" + disc.iso.string() + "'"));
    EXPECT_EQ(cue[0].user, plain[0].user);
    EXPECT_EQ(chd[0].user, plain[0].user);
    for (const auto* hashes : {&plain, &cue, &chd}) EXPECT_EQ((*hashes)[0].badSectors, 0u);
    // The same sectors stored as 2048 user bytes, and as Mode 2 without sync and header: the
    // rebuilt sectors are those of the raw files that hold them whole.
    std::vector<std::uint8_t> bin(fs::file_size(disc.dataBin)), headerless;
    std::ifstream(disc.dataBin, std::ios::binary)
        .read(reinterpret_cast<char*>(bin.data()), static_cast<std::streamsize>(bin.size()));
    for (std::size_t at = 0; at < bin.size(); at += kSector) {
      bin[at + 15] = 2;
      headerless.insert(headerless.end(), bin.begin() + at + 16, bin.begin() + at + kSector);
    }
    Write(dir.path() / "mode2.bin", bin);
    Write(dir.path() / "mode2.2336", headerless);
    const auto sheet = [&](const char* name, const std::string& file, const char* mode) {
      std::ofstream(dir.path() / name)
          << "FILE \"" << file << "\" BINARY\n  TRACK 01 " << mode << "\n    INDEX 01 00:00:00\n";
      return HashesOf(dir.path() / name);
    };
    EXPECT_EQ(sheet("user.cue", "disc.iso", "MODE1/2048")[0].raw, data);
    EXPECT_EQ(sheet("headerless.cue", "mode2.2336", "MODE2/2336")[0].raw,
              sheet("mode2.cue", "mode2.bin", "MODE2/2352")[0].raw);

    if (audio) {
      EXPECT_EQ(cue[1].raw.size, audio * kSector);
      EXPECT_EQ(Hex(cue[1].raw.sha1), FirstWord("sha1sum '" + disc.audioBin.string() + "'"));
      EXPECT_EQ(chd[1].raw, cue[1].raw);  // byte order undone, hunk padding left out
      EXPECT_FALSE(chd[1].user);
    }
  }
}

// Sectors rebuilt from their user data equal the encoder's across second and minute boundaries,
// up to the last address of a 99-minute disc.
TEST(TrackHashes, RebuiltSectorsEqualTheEncodersAtEveryAddress) {
  std::vector<std::uint8_t> user(kUser), ours(kSector), theirs(kSector);
  for (std::size_t lba : {0, 74, 75, 4349, 4350, 4499, 71234, 449849}) {
    for (std::size_t i = 0; i < kUser; ++i) user[i] = static_cast<std::uint8_t>(i * 7 + lba);
    std::copy(user.begin(), user.end(), ours.begin());
    brindle::media::ExpandToMode1(ours, 1, lba);
    EncodeMode1(user.data(), lba, theirs.data());
    EXPECT_TRUE(ours == theirs) << "LBA " << lba;
  }
}

// A source cut inside its last sector: that sector is counted as unreadable (hashed as zeros),
// and `hash` says so by its exit status.
TEST(TrackHashes, ACutSourceCountsItsLastSectorUnreadable) {
  TempDir dir;
  Write(dir.path() / "cut.iso", std::vector<std::uint8_t>(kUser * 20 + 100, 0x5A));
  Write(dir.path() / "cut.bin", std::vector<std::uint8_t>(kSector * 20 + 2000, 0x5A));
  std::ofstream(dir.path() / "cut.cue")
      << "FILE \"cut.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n";
  for (const char* name : {"cut.iso", "cut.cue"}) {
    const auto hashes = HashesOf(dir.path() / name);
    ASSERT_EQ(hashes.size(), 1u) << name;
    EXPECT_EQ(hashes[0].badSectors, 1u) << name;
    EXPECT_EQ(hashes[0].raw.size, 21 * kSector) << name;
    const std::string command = std::string(BRINDLE_CLI_PATH) + " hash --image '" +
                                (dir.path() / name).string() + "' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1) << name;
  }
}

// The track file entries of a disc's hashes, with one field changed where asked.
struct RomText {
  std::string name, size, crc, md5, sha1;
};
RomText RomOf(const std::string& name, const Digests& d) {
  return {name, std::to_string(d.size), Hex(d.crc32), Hex(d.md5), Hex(d.sha1)};
}

std::string Xml(const std::vector<std::pair<std::string, std::vector<RomText>>>& games) {
  std::string text =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE datafile SYSTEM \"datafile.dtd\">\n<datafile>\n"
      "  <header><name>Test &amp; Co - 3DO</name></header>\n";
  for (const auto& [game, roms] : games) {
    text += "  <game name=\"" + game + "\">\n    <description>" + game + "</description>\n";
    for (const RomText& r : roms)
      text += "    <rom name=\"" + r.name + "\" size=\"" + r.size + "\" crc=\"" + r.crc +
              "\" md5=\"" + r.md5 + "\" sha1=\"" + r.sha1 + "\"/>\n";
    text += "  </game>\n";
  }
  return text + "</datafile>\n";
}

std::string ClrMamePro(const std::vector<std::pair<std::string, std::vector<RomText>>>& games) {
  std::string text = "clrmamepro (\n\tname \"Test - 3DO\"\n\tversion 1\n)\n\n";
  for (const auto& [game, roms] : games) {
    text += "game (\n\tname \"" + game + "\"\n\tdescription \"" + game + "\"\n";
    for (const RomText& r : roms)
      text += "\trom ( name \"" + r.name + "\" size " + r.size + " crc " + r.crc + " md5 " + r.md5 +
              " sha1 " + r.sha1 + " )\n";
    text += ")\n\n";
  }
  return text;
}

TEST(Identify, BothDatFormsFindTheGameAndTellANearMiss) {
  if (!HaveChdman()) GTEST_SKIP() << "chdman (Debian package mame-tools) is not installed";
  std::mt19937 random(7);
  TempDir dir;
  const Disc disc = MakeDisc(dir.path(), random, 23);
  const auto hashes = HashesOf(disc.cue);
  ASSERT_EQ(hashes.size(), 2u);
  const RomText cue{"disc.cue", "180", "01234567", std::string(32, 'a'), std::string(40, 'b')};
  const RomText data = RomOf("disc (Track 1).bin", hashes[0].raw);
  const RomText audio = RomOf("disc (Track 2).bin", hashes[1].raw);
  RomText audioOneOff = audio;  // the same length, one hash digit off: a bad dump of track 2
  audioOneOff.sha1[39] = audioOneOff.sha1[39] == '0' ? '1' : '0';
  RomText dataShorter = data;
  dataShorter.size = std::to_string(hashes[0].raw.size - kSector);
  dataShorter.sha1[0] = dataShorter.sha1[0] == '0' ? '1' : '0';

  const auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(dir.path() / name) << text;
    return (dir.path() / name).string();
  };
  struct Case {
    std::string name;
    std::string text;
    bool full;
    std::vector<std::string> games;  // in the order listed
    std::vector<RomVerdict> firstVerdicts;
  };
  const std::vector<Case> cases{
      {"xml.dat",
       Xml({{"Other Disc", {cue, dataShorter, audioOneOff}},
            {"Near Miss", {cue, data, audioOneOff}},
            {"The Disc", {cue, data, audio}}}),
       true,
       {"The Disc", "Near Miss"},
       {RomVerdict::Matched, RomVerdict::Matched}},
      {"text.dat",
       ClrMamePro({{"Near Miss", {cue, data, audioOneOff}}, {"Other Disc", {dataShorter, audio}}}),
       false,
       {"Near Miss", "Other Disc"},
       {RomVerdict::Matched, RomVerdict::HashDiffers}},
      // Track 2 listed first: the data rom's own place is taken, so it is missing, not a miss.
      {"swapped.dat",
       Xml({{"Swapped", {audio, dataShorter}}}),
       false,
       {"Swapped"},
       {RomVerdict::Matched, RomVerdict::Missing}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    const auto dat = brindle::identify::ParseDat(c.text, c.name, error);
    ASSERT_TRUE(dat) << error;
    const std::vector<brindle::identify::Dat> dats{*dat};
    const auto matches = brindle::identify::MatchGames(dats, hashes);
    std::vector<std::string> names;
    for (const auto& m : matches) names.push_back(m.game->name);
    EXPECT_EQ(names, c.games);
    ASSERT_FALSE(matches.empty());
    EXPECT_EQ(matches[0].full, c.full);
    std::vector<RomVerdict> verdicts;
    for (const auto& r : matches[0].roms) verdicts.push_back(r.verdict);
    EXPECT_EQ(verdicts, c.firstVerdicts);
    if (!c.full && matches.size() > 1) {
      // The second game: its data track is a sector short.
      EXPECT_EQ(matches[1].roms[0].verdict, RomVerdict::SizeDiffers);
      EXPECT_EQ(matches[1].roms[1].verdict, RomVerdict::Matched);
    }
    // The program says the same by its exit status, from the CHD of the same disc.
    const std::string command = std::string(BRINDLE_CLI_PATH) + " identify --dat '" +
                                write(c.name, c.text) + "' --image '" + disc.chd.string() +
                                "' >/dev/null 2>'" + (dir.path() / "err.txt").string() + "'";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.full ? 0 : 1);
    // Standard error is no terminal here: no progress meter on it.
    EXPECT_EQ(fs::file_size(dir.path() / "err.txt"), 0u);
  }

  // Sizes alone identify nothing.
  std::string error;
  const auto sizes = brindle::identify::ParseDat(
      "game ( name S rom ( name t.bin size " + data.size + " ) )", "sizes.dat", error);
  ASSERT_TRUE(sizes) << error;
  EXPECT_TRUE(brindle::identify::MatchGames({*sizes}, hashes).empty());
  // User data is hashed when a rom has the size of a Mode 1 track's, its pregap included.
  brindle::media::TrackInfo track{1, "MODE1/2352", 2352, 150, 1000, "", 150};
  brindle::identify::Dat userDat;
  userDat.games.push_back({});
  userDat.games[0].roms.push_back({});
  for (std::uint64_t sectors : {1150, 1000}) {
    userDat.games[0].roms[0].size = sectors * kUser;
    EXPECT_EQ(brindle::identify::WantsUserData({userDat}, {track}), sectors == 1150);
  }

  // A malformed DAT is refused with its line.
  std::string nested = "game (\n";
  for (int i = 0; i < 100; ++i) nested += "x ( ";
  nested += std::string(101, ')');
  const std::vector<std::pair<std::string, std::string>> broken{
      {"<datafile>\n<game name=\"A\">\n<rom name=\"a\" size=\"12x\"/>\n</game>\n</datafile>\n",
       "bad.dat line 3: rom size"},
      {"<datafile>\n<game name=\"A\">\n</datafile>\n", "bad.dat line 3: </datafile> closes <game>"},
      {"game (\n name \"A\"\n rom ( name \"a\" size 1 crc 1234567Z )\n)\n",
       "bad.dat line 3: rom crc"},
      {"game (\n name \"A\n)\n", "bad.dat line 2: a quoted value"},
      {"game (\n name \"A\"\n rom ( name \"a\" size 1 )\n",
       "bad.dat line 4: a block is not closed"},
      {"game (\n rom ( name a size 123456789012345678901 )\n)\n", "bad.dat line 2: rom size"},
      {nested, "bad.dat line 2: blocks nested too deeply"},
      {"<datafile>\n<game name=\"A&#0;\"/>\n</datafile>\n", "bad.dat line 2: unknown entity"},
  };
  for (const auto& [text, message] : broken) {
    EXPECT_FALSE(brindle::identify::ParseDat(text, "bad.dat", error));
    EXPECT_THAT(error, HasSubstr(message));
  }
}

}  // namespace
