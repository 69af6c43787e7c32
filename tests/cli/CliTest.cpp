// brindle-cli as a script sees it: standard output, the window's messages on standard error,
// exit statuses 0, 1 and 2, and the files it writes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include <nlohmann/json.hpp>

#include "OperaImageBuilder.h"
#include "media/RawImage.h"

namespace brindle::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

struct Result {
  int status = -1;
  std::string out;
  std::string err;

  std::vector<std::string> lines() const {
    std::vector<std::string> result;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
  }
};

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class Cli : public ::testing::Test {
 protected:
  Cli() {
    std::random_device random;
    dir_ = fs::temp_directory_path() / ("brindle-cli-" + std::to_string(random()));
    fs::create_directories(dir_);
  }
  ~Cli() override { fs::remove_all(dir_); }

  std::string write(const OperaImage& image, const std::string& name = "disc.iso") {
    const std::string path = (dir_ / name).string();
    EXPECT_TRUE(image.writeTo(path));
    return path;
  }

  // Runs brindle-cli with args (each quoted for the shell).
  Result run(const std::vector<std::string>& args) {
    std::string command = BRINDLE_CLI_PATH;
    for (const std::string& arg : args) {
      std::string quoted = "'";
      for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
      command += " " + quoted + "'";
    }
    const fs::path out = dir_ / "stdout";
    const fs::path err = dir_ / "stderr";
    command += " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int raw = std::system(command.c_str());
    Result result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadText(out);
    result.err = ReadText(err);
    return result;
  }

  fs::path dir_;
};

OperaImage Disc() {
  return OperaImageBuilder()
      .root(
          {OperaEntry::File("Read Me", 300),
           OperaEntry::Dir("Games", {OperaEntry::File("caf\xE9 au lait", 5000),
                                     OperaEntry::Dir("Saves", {OperaEntry::File("slot 1", 2048)})}),
           OperaEntry::File("../escape", 10)})
      .volumeBlocksField(300000)
      .build();
}

TEST_F(Cli, InfoPrintsTheDiscSize) {
  const Result r = run({"info", "--image", write(Disc())});
  EXPECT_EQ(r.status, 0);
  // The window's line first, then the label's fields, the ROM tags block and the entries.
  const auto lines = r.lines();
  ASSERT_GE(lines.size(), 8u) << r.out;
  EXPECT_EQ(lines[0], "585 MB");
  EXPECT_EQ(lines[1], "Volume label (block 0):");
  EXPECT_THAT(lines, Contains(HasSubstr("block count 300000")));
  EXPECT_THAT(lines, Contains(StartsWith("ROM tags (block 1): ")));
  EXPECT_THAT(lines, Contains(StartsWith("Entries: ")));
  EXPECT_EQ(r.err, "");
}

TEST_F(Cli, LsPrintsEntryLinesAsUtf8WithoutNavigationLines) {
  const std::string image = write(Disc());
  const Result root = run({"ls", "--image", image});
  EXPECT_EQ(root.status, 0);
  ASSERT_THAT(root.lines(),
              ElementsAre(StartsWith("Read Me "), StartsWith("Games "), StartsWith("../escape ")));
  EXPECT_EQ(root.lines()[0].size(), 65u);
  EXPECT_EQ(root.lines()[1].substr(34, 4), "*dir");

  const Result games = run({"ls", "--image", image, "Games"});
  EXPECT_EQ(games.status, 0);
  // One Latin-1 byte became two UTF-8 bytes; the columns count characters.
  EXPECT_THAT(games.lines(), ElementsAre(StartsWith("caf\xC3\xA9 au lait "), StartsWith("Saves ")));
  EXPECT_EQ(games.lines()[0].size(), 66u);

  const Result saves = run({"ls", "--image", image, "Games", "Saves"});
  EXPECT_THAT(saves.lines(), ElementsAre(StartsWith("slot 1 ")));
}

TEST_F(Cli, LsOfAMissingOrNonDirectoryNameFails) {
  const std::string image = write(Disc());
  for (const char* name : {"Nothing", "Read Me", "games", ".."}) {
    const Result r = run({"ls", "--image", image, name});
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_EQ(r.out, "") << name;
    EXPECT_THAT(r.err, HasSubstr(std::string("\"") + name + "\"")) << name;
  }
}

TEST_F(Cli, WindowMessagesGoToStandardErrorWithStatusOne) {
  const Result missing = run({"info", "--image", (dir_ / "missing.iso").string()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "The given file could not be opened for reading.\n");

  const Result lower =
      run({"ls", "--image", write(OperaImageBuilder().syncBytes("zzzzz").build())});
  EXPECT_EQ(lower.status, 1);
  EXPECT_EQ(lower.err, "This program only supports 3DO disc images with 2048 bytes/sector.\n");
  EXPECT_EQ(lower.out, "");

  // An open the window ends silently still fails here, with a message.
  const Result damaged = run(
      {"ls", "--image",
       write(
           OperaImageBuilder().root({OperaEntry::File("a", 1)}).rootBlockCountField(40).build())});
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.err, "");
}

TEST_F(Cli, TakesThePathItIsGivenEvenWhenItsNameBeginsWithADot) {
  const Result hidden = run({"info", "--image", write(Disc(), ".disc.iso")});
  EXPECT_EQ(hidden.status, 0);
  EXPECT_THAT(hidden.out, StartsWith("585 MB\n"));
  // A folder is still no image.
  const Result folder = run({"info", "--image", dir_.string()});
  EXPECT_EQ(folder.status, 1);
  EXPECT_EQ(folder.err, "The given file could not be opened for reading.\n");
}

TEST_F(Cli, DrivesFailsAfterTheNoInterfaceWarning) {
  if (fs::exists("/dev/sr0")) GTEST_SKIP() << "this machine has an optical drive";
  const Result r = run({"drives", "--transport", "spti"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("Kein funktionierendes Interface gefunden!"));
  EXPECT_EQ(r.out, "");
}

TEST_F(Cli, UsageErrorsExitWithTwoAndHelpWithZero) {
  EXPECT_EQ(run({}).status, 2);
  EXPECT_EQ(run({"ls"}).status, 2);  // --image missing
  EXPECT_EQ(run({"unknown", "--image", "x"}).status, 2);
  EXPECT_EQ(run({"get", "--image", "x", "only-path"}).status, 2);
  const Result help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* command : {"info", "ls", "extract", "get"})
    EXPECT_THAT(help.out, HasSubstr(command));
  EXPECT_EQ(run({"extract", "--help"}).status, 0);
}

TEST_F(Cli, ExtractWritesTheDirectoryReached) {
  const OperaImage disc = Disc();
  const std::string image = write(disc);
  const fs::path out = dir_ / "out" / "games";
  const Result r = run({"extract", "--image", image, out.string(), "Games"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string cafe = ReadText(out / "caf\xC3\xA9 au lait");
  EXPECT_EQ(std::vector<std::uint8_t>(cafe.begin(), cafe.end()),
            disc.contents.at("Games/caf\xE9 au lait"));
  EXPECT_EQ(fs::file_size(out / "Saves"), 2048u);  // the directory's blocks
}

TEST_F(Cli, ExtractSkipsUnsafeNamesAndSaysSo) {
  const fs::path out = dir_ / "out";
  const Result r = run({"extract", "--image", write(Disc()), out.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("\"../escape\""));
  EXPECT_TRUE(fs::exists(out / "Read Me"));
  EXPECT_FALSE(fs::exists(dir_ / "escape"));
}

TEST_F(Cli, GetSavesOneEntryByPath) {
  const OperaImage disc = Disc();
  const std::string image = write(disc);
  const fs::path target = dir_ / "slot.bin";
  const Result r = run({"get", "--image", image, "Games/Saves/slot 1", target.string()});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string got = ReadText(target);
  EXPECT_EQ(std::vector<std::uint8_t>(got.begin(), got.end()),
            disc.contents.at("Games/Saves/slot 1"));

  const Result missing = run({"get", "--image", image, "Games/none", target.string()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_THAT(missing.err, HasSubstr("\"none\""));

  const Result unwritable = run({"get", "--image", image, "Read Me", (dir_ / "no/dir/f").string()});
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_THAT(unwritable.err, HasSubstr("could not be written"));
}

TEST_F(Cli, DemoImageMatchesItsTree) {
  // The demo written at build time holds exactly the files of its tree.
  const fs::path demo = fs::path(BRINDLE_DEMO_DIR);
  if (!fs::exists(demo / "demo.iso")) GTEST_SKIP() << "no demo image in this build";
  const fs::path out = dir_ / "demo";
  ASSERT_EQ(run({"extract", "--image", (demo / "demo.iso").string(), out.string(), "Art", "Icons"})
                .status,
            0);
  for (const char* name : {"small icon.raw", "big icon.raw"})
    EXPECT_EQ(ReadText(out / name), ReadText(demo / "tree" / "Art" / "Icons" / name)) << name;
  const Result root = run({"ls", "--image", (demo / "demo.iso").string()});
  EXPECT_EQ(root.status, 0);
  EXPECT_GE(root.lines().size(), 4u);
}

}  // namespace
}  // namespace brindle::testing

namespace brindle::testing {
namespace {

// The builder's raw sectors with a true error-detection code, so the raw container checks them.
std::vector<std::uint8_t> RawWithEdc(const OperaImage& image) {
  std::vector<std::uint8_t> raw = ToRawSectors(image.bytes);
  for (std::size_t at = 0; at < raw.size(); at += 2352) {
    const std::uint32_t edc = media::SectorEdc(std::span(raw).subspan(at, 2064));
    for (int i = 0; i < 4; ++i) raw[at + 2064 + i] = static_cast<std::uint8_t>(edc >> (8 * i));
  }
  return raw;
}

void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
  const std::string text = ReadText(path);
  return {text.begin(), text.end()};
}

// The whole-disc commands on one raw image whose sector of one file's first copy fails its
// check: every command agrees with the tree the image was built from.
TEST_F(Cli, WholeDiscCommandsReadEveryContainerAndRecoverFromTheOtherCopy) {
  const OperaImage disc =
      OperaImageBuilder()
          .root({OperaEntry::File("Read Me", 300),
                 OperaEntry::Dir("Movies",
                                 {OperaEntry::File("intro.stream", 9000).withCopies(2),
                                  OperaEntry::File("Same", 10), OperaEntry::File("Same", 20),
                                  OperaEntry::Dir("Empty", {})}),
                 OperaEntry::File("../escape", 10), OperaEntry::File("lost", 5000)})
          .build();
  std::vector<std::uint8_t> raw = RawWithEdc(disc);
  const std::uint32_t intro = disc.placements.at("Movies/intro.stream").firstBlock;
  const std::uint32_t lost = disc.placements.at("lost").firstBlock;
  raw[(intro + 1) * 2352 + 16 + 100] ^= 0x40;  // second block of the first copy
  raw[(lost + 2) * 2352 + 16 + 7] ^= 0x01;     // the last block of the only copy
  WriteBytes(dir_ / "disc.bin", raw);
  const std::string image = (dir_ / "disc.bin").string();

  const Result tree = run({"tree", "--image", image});
  EXPECT_EQ(tree.status, 0) << tree.err;
  EXPECT_THAT(tree.lines(), ElementsAre("Read Me", "Movies/", "Movies/intro.stream", "Movies/Same",
                                        "Movies/Same", "Movies/Empty/", "../escape", "lost"));

  const fs::path out = dir_ / "out";
  const Result extract = run({"extract", "-r", "--image", image, out.string()});
  EXPECT_EQ(extract.status, 1);  // an unsafe name and a damaged file
  EXPECT_THAT(extract.err, HasSubstr("\"Movies/intro.stream\": block 1 (disc block " +
                                     std::to_string(intro + 1) +
                                     ") could not be read from copy 1; read from copy 2."));
  EXPECT_THAT(extract.err, HasSubstr("\"../escape\": skipped"));
  EXPECT_THAT(extract.err, HasSubstr("written as \"Same~2\""));
  EXPECT_THAT(extract.err, HasSubstr("\"lost\": damaged"));
  EXPECT_EQ(ReadBytes(out / "Read Me"), disc.contents.at("Read Me"));
  EXPECT_EQ(ReadBytes(out / "Movies" / "intro.stream"), disc.contents.at("Movies/intro.stream"));
  // The builder places both entries named Same at the same bytes: both files come out.
  EXPECT_EQ(ReadBytes(out / "Movies" / "Same"), disc.contents.at("Movies/Same"));
  EXPECT_EQ(ReadBytes(out / "Movies" / "Same~2"), disc.contents.at("Movies/Same"));
  EXPECT_TRUE(fs::is_directory(out / "Movies" / "Empty"));
  std::vector<std::uint8_t> lostBytes = disc.contents.at("lost");
  std::fill(lostBytes.begin() + 4096, lostBytes.end(), 0);
  EXPECT_EQ(ReadBytes(out / "lost.damaged"), lostBytes);
  EXPECT_FALSE(fs::exists(out / "lost"));
  EXPECT_FALSE(fs::exists(dir_ / "escape"));
  std::size_t files = 0;
  for (const auto& e : fs::recursive_directory_iterator(out)) files += e.is_regular_file();
  EXPECT_EQ(files, 5u);  // no temporary file left behind

  const Result verify = run({"verify", "--image", image});
  EXPECT_EQ(verify.status, 1);
  EXPECT_THAT(verify.err, HasSubstr("Movies/intro.stream: block 1 of copy 1 (disc block " +
                                    std::to_string(intro + 1) + ") failed its check."));
  EXPECT_THAT(verify.out, HasSubstr("the disc is damaged"));

  const Result convert = run({"convert", "--image", image, (dir_ / "plain.iso").string()});
  EXPECT_EQ(convert.status, 1);
  EXPECT_THAT(convert.err, HasSubstr("Block " + std::to_string(intro + 1) + " could not be read"));
  std::vector<std::uint8_t> expected = disc.bytes;
  std::fill_n(expected.begin() + (intro + 1) * 2048, 2048, 0);
  std::fill_n(expected.begin() + (lost + 2) * 2048, 2048, 0);
  EXPECT_EQ(ReadBytes(dir_ / "plain.iso"), expected);

  const Result json = run({"ls", "--json", "--image", image, "Movies"});
  EXPECT_EQ(json.status, 0) << json.err;
  const auto doc = nlohmann::json::parse(json.out);
  ASSERT_EQ(doc["entries"].size(), 4u);
  EXPECT_EQ(doc["entries"][0]["name"], "intro.stream");
  EXPECT_EQ(doc["entries"][0]["copies"].size(), 2u);
  EXPECT_EQ(doc["entries"][0]["byteCount"], 9000);
  EXPECT_EQ(run({"info", "--json", "--image", image}).status, 0);

  // The window's own commands read the container too, with the plain image's lines.
  WriteBytes(dir_ / "built.iso", disc.bytes);
  const Result fromRaw = run({"ls", "--image", image, "Movies"});
  EXPECT_EQ(fromRaw.status, 0) << fromRaw.err;
  EXPECT_EQ(fromRaw.out, run({"ls", "--image", (dir_ / "built.iso").string(), "Movies"}).out);
  const auto infoLines = run({"info", "--image", image}).lines();
  ASSERT_GE(infoLines.size(), 2u);
  EXPECT_EQ(infoLines[0], "0 MB");
  EXPECT_THAT(infoLines[1], StartsWith("raw 2352-byte sectors"));
}

}  // namespace
}  // namespace brindle::testing
