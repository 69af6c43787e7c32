// brindle-cli pack and repack end to end: what is refused (and that nothing is written then),
// the same bytes from the same tree, and a repack listing as its source.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "OperaImageBuilder.h"
#include "media/RawImage.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

struct Result {
  int status = -1;
  std::string out, err;
};

class PackCli : public ::testing::Test {
 protected:
  PackCli()
      : dir_(fs::temp_directory_path() /
             ("brindle-pack-cli-" + std::to_string(std::random_device{}()))) {
    fs::create_directories(dir_);
  }
  ~PackCli() override { fs::remove_all(dir_); }

  Result run(const std::vector<std::string>& args) {
    std::string command = BRINDLE_CLI_PATH;
    for (const std::string& arg : args) {
      std::string quoted = "'";
      for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
      command += " " + quoted + "'";
    }
    command += " >'" + (dir_ / "stdout").string() + "' 2>'" + (dir_ / "stderr").string() + "'";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(dir_ / "stdout"),
            ReadText(dir_ / "stderr")};
  }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  // A small tree like a homebrew disc's.
  void makeTree(const std::string& name) {
    const fs::path tree = dir_ / name;
    WriteText(tree / "LaunchMe", std::string(5000, 'L'));
    WriteText(tree / "signatures", std::string(2048, 's'));
    WriteText(tree / "rom_tags", std::string(32, 'r'));
    WriteText(tree / "System" / "Kernel", std::string(9000, 'k'));
    WriteText(tree / "Art" / "caf\xC3\xA9.cel", std::string(100, 'c'));
    fs::create_directories(tree / "Empty");
  }

  fs::path dir_;
};

TEST_F(PackCli, RefusesWhatCannotBeStoredByNameAndWritesNothing) {
  struct Case {
    const char* what;
    std::string file;  // added to the tree (UTF-8)
    std::vector<std::string> extra;
    std::string out;
    std::string said;
  };
  const std::string longName(32, 'n');
  const std::vector<Case> cases{
      {"a name of 32 bytes", "Art/" + longName, {}, "disc.iso", longName + ": the name is 32"},
      {"a name beyond Latin-1",
       "Art/\xE6\x97\xA5\xE6\x9C\xAC",
       {},
       "disc.iso",
       "Art/\xE6\x97\xA5\xE6\x9C\xAC: the name has characters"},
      {"the image inside the tree", "", {}, "tree/disc.iso", "lies inside the folder"},
      {"a volume name of 32 bytes", "", {"--volume-name", longName}, "disc.iso", "at most 31"},
      {"a type of 5 characters", "", {"--type", "cel=LONGER"}, "disc.iso", "--type cel=LONGER"},
      {"nine copies", "", {"--copies", "9"}, "disc.iso", "--copies 9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir_ / "tree");
    makeTree("tree");
    if (!c.file.empty()) WriteText(dir_ / "tree" / c.file, "x");
    std::vector<std::string> args{"pack", path("tree"), path(c.out)};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const Result r = run(args);
    EXPECT_NE(r.status, 0);
    EXPECT_THAT(r.err, HasSubstr(c.said));
    EXPECT_FALSE(fs::exists(path(c.out)));
    // No part file left behind either.
    for (const auto& item : fs::directory_iterator(dir_))
      EXPECT_THAT(item.path().filename().string(), ::testing::Not(HasSubstr(".part")));
  }
}

TEST_F(PackCli, SameTreeSameBytesAndRepackListsAsTheSource) {
  makeTree("tree");
  ASSERT_EQ(run({"pack", path("tree"), path("a.iso"), "--copies", "2", "--copies", "System=3",
                 "--volume-name", "Homebrew", "--type", "dat=DATA"})
                .status,
            0);
  makeTree("again");
  ASSERT_EQ(run({"pack", path("again"), path("b.iso"), "--copies", "2", "--copies", "System=3",
                 "--volume-name", "Homebrew", "--type", "dat=DATA"})
                .status,
            0);
  EXPECT_EQ(ReadText(path("a.iso")), ReadText(path("b.iso")));

  const Result tree = run({"tree", "--image", path("a.iso")});
  EXPECT_EQ(tree.status, 0);
  EXPECT_EQ(tree.out,
            "Art/\nArt/caf\xC3\xA9.cel\nEmpty/\nLaunchMe\nSystem/\nSystem/Kernel\nrom_tags\n"
            "signatures\n");
  const Result ls = run({"ls", "--image", path("a.iso"), "Art"});
  EXPECT_THAT(ls.out, HasSubstr("CEL "));

  // Repack to one copy: the same listing, a smaller image; never over its input.
  ASSERT_EQ(run({"repack", "--image", path("a.iso"), path("c.iso")}).status, 0);
  EXPECT_EQ(run({"tree", "--image", path("c.iso")}).out, tree.out);
  EXPECT_THAT(run({"ls", "--image", path("c.iso"), "Art"}).out, HasSubstr("CEL "));
  EXPECT_LT(fs::file_size(path("c.iso")), fs::file_size(path("a.iso")));
  const Result over = run({"repack", "--image", path("a.iso"), path("a.iso")});
  EXPECT_NE(over.status, 0);
  EXPECT_EQ(ReadText(path("a.iso")), ReadText(path("b.iso")));
  // Its only fault a block of a file kept once (the image cut inside its last block): status 1.
  const std::string whole = ReadText(path("c.iso"));
  WriteText(dir_ / "d.iso", whole.substr(0, whole.size() - 1000));
  const Result damaged = run({"repack", "--image", path("d.iso"), path("e.iso")});
  EXPECT_EQ(damaged.status, 1);
  EXPECT_THAT(damaged.err, HasSubstr("unreadable in every copy"));
}

// Each line of a listing without its first-block column, which a rebuilt disc may change.
std::string WithoutBlocks(const std::string& listing) {
  std::istringstream in(listing);
  std::string line, out;
  while (std::getline(in, line)) out += line.substr(0, 55) + "\n";
  return out;
}

TEST_F(PackCli, PackOfAnExtractedLayoutListsAsTheOriginal) {
  using brindle::testing::OperaEntry;
  // Entries out of name order, with types, and copies.
  const auto disc =
      brindle::testing::OperaImageBuilder()
          .root({OperaEntry::File("Zebra", 3000).withType("IMAG"),
                 OperaEntry::Dir("Levels", {OperaEntry::File("b", 10).withType("DATA"),
                                            OperaEntry::File("a", 4096).withCopies(2)})
                     .withCopies(2),
                 OperaEntry::File("Alpha", 0)})
          .build();
  ASSERT_TRUE(disc.writeTo(path("original.iso")));
  ASSERT_EQ(run({"extract", "-r", "-q", "--image", path("original.iso"), path("tree"), "--layout",
                 path("layout.json")})
                .status,
            0);
  ASSERT_EQ(
      run({"pack", path("tree"), path("rebuilt.iso"), "--layout", path("layout.json")}).status, 0);
  for (const std::vector<std::string>& dir : {std::vector<std::string>{}, {"Levels"}}) {
    std::vector<std::string> original{"ls", "--image", path("original.iso")};
    std::vector<std::string> rebuilt{"ls", "--image", path("rebuilt.iso")};
    original.insert(original.end(), dir.begin(), dir.end());
    rebuilt.insert(rebuilt.end(), dir.begin(), dir.end());
    const std::string want = WithoutBlocks(run(original).out);
    EXPECT_EQ(WithoutBlocks(run(rebuilt).out), want);
    EXPECT_THAT(want, HasSubstr(dir.empty() ? "Zebra                             IMAG" : "DATA"));
  }
  // The copies came back too.
  EXPECT_THAT(run({"ls", "--json", "--image", path("rebuilt.iso"), "Levels"}).out,
              HasSubstr("\"lastCopyIndex\": 1"));
}

// A raw image whose damaged sectors fail their own check: repack reads the file with two copies
// whole, writes the one with one copy with zeros where it failed and names it, and keeps every
// entry the disc lists, odd names and repeated names included; a size beyond the disc is cut to
// what the disc holds.
TEST_F(PackCli, RepackRecoversFromCopiesAndNamesWhatItCannot) {
  using brindle::testing::OperaEntry;
  const auto disc =
      brindle::testing::OperaImageBuilder()
          .root({OperaEntry::Dir("Movies",
                                 {OperaEntry::File("intro.stream", 9000).withCopies(2),
                                  OperaEntry::File("Same", 10), OperaEntry::File("Same", 20)}),
                 OperaEntry::File("../escape", 10), OperaEntry::File("lost", 5000),
                 OperaEntry::File("huge", 10).withSizeField(0x7FFFFFF0)})
          .build();
  std::vector<std::uint8_t> raw = brindle::testing::ToRawSectors(disc.bytes);
  for (std::size_t at = 0; at < raw.size(); at += 2352) {
    const std::uint32_t edc = brindle::media::SectorEdc(std::span(raw).subspan(at, 2064));
    for (int i = 0; i < 4; ++i) raw[at + 2064 + i] = static_cast<std::uint8_t>(edc >> (8 * i));
  }
  const std::uint32_t intro = disc.placements.at("Movies/intro.stream").firstBlock;
  const std::uint32_t lost = disc.placements.at("lost").firstBlock;
  raw[(intro + 1) * 2352 + 16 + 100] ^= 0x40;
  raw[(lost + 1) * 2352 + 16 + 7] ^= 0x01;
  WriteText(dir_ / "disc.bin", std::string(raw.begin(), raw.end()));

  const Result r = run({"repack", "--image", path("disc.bin"), path("new.iso"), "--copies", "2"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("Movies/intro.stream: read from its other copies"));
  EXPECT_THAT(r.err, HasSubstr("lost: 1 of its blocks unreadable in every copy"));
  EXPECT_EQ(run({"tree", "--image", path("new.iso")}).out,
            "Movies/\nMovies/intro.stream\nMovies/Same\nMovies/Same\n../escape\nlost\nhuge\n");
  // A size field beyond the disc costs no more than the disc holds.
  EXPECT_THAT(r.err, HasSubstr("huge: 2147483632 bytes from disc block"));
  EXPECT_LT(fs::file_size(path("new.iso")), 1u << 20);
  EXPECT_EQ(run({"get", "--image", path("new.iso"), "Movies/intro.stream", path("intro")}).status,
            0);
  const auto& introBytes = disc.contents.at("Movies/intro.stream");
  EXPECT_EQ(ReadText(path("intro")), std::string(introBytes.begin(), introBytes.end()));
  EXPECT_EQ(run({"get", "--image", path("new.iso"), "lost", path("lost")}).status, 0);
  std::string lostBytes(disc.contents.at("lost").begin(), disc.contents.at("lost").end());
  std::fill_n(lostBytes.begin() + 2048, 2048, '\0');
  EXPECT_EQ(ReadText(path("lost")), lostBytes);
}

}  // namespace
