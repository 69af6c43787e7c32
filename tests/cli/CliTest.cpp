// brindle-cli as a script sees it: standard output, the window's messages on standard error,
// exit statuses 0, 1 and 2, and the files it writes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
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
  const Result r = run({"info", write(Disc())});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  // The window's line first, then the label and what holds it.
  ASSERT_GE(r.lines().size(), 12u);
  EXPECT_EQ(r.lines()[0], "585 MB");
  EXPECT_THAT(r.out, HasSubstr("\nBlock count:      300000\n"));
  EXPECT_THAT(r.out, HasSubstr("\nHeld in:          2048-byte image\n"));
  EXPECT_THAT(r.out, HasSubstr("\nSize:             614.4 MB (614400000 bytes)\n"));
  // Then the ROM tags block and the entries.
  EXPECT_THAT(r.lines(), Contains(StartsWith("ROM tags (block 1): ")));
  EXPECT_THAT(r.lines(), Contains(StartsWith("Entries: ")));
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
  EXPECT_EQ(missing.err, "\"" + (dir_ / "missing.iso").string() +
                             "\": No such file or directory.\n"
                             "The given file could not be opened for reading.\n");

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
  EXPECT_THAT(hidden.lines(), ::testing::Contains("585 MB"));
  // A folder is still no image.
  const Result folder = run({"info", "--image", dir_.string()});
  EXPECT_EQ(folder.status, 1);
  EXPECT_EQ(folder.err,
            "\"" + dir_.string() +
                "\": Is a directory.\nThe given file could not be opened for reading.\n");
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
  const Result info = run({"info", "--image", image});
  EXPECT_EQ(info.lines().front(), "0 MB");
  EXPECT_THAT(info.out, HasSubstr("\nHeld in:          raw 2352-byte sectors"));
}

}  // namespace
}  // namespace brindle::testing

namespace brindle::testing {
namespace {

// The command line as a new user meets it: for each input, the exit status and the first line
// of standard error and a piece of standard output it must give; IMAGE stands for the image.
TEST_F(Cli, EveryCommandAnswersByOneRule) {
  const OperaImage disc = Disc();
  const std::string image = write(disc);
  // A raw image holding no Opera volume, a sheet whose BIN is missing, and a raw image whose
  // root directory fails its check.
  WriteBytes(dir_ / "zeros.bin", RawWithEdc(OperaImageBuilder().syncBytes("zzzzz").build()));
  std::ofstream(dir_ / "sheet.cue") << "FILE \"gone.bin\" BINARY\n  TRACK 01 MODE1/2352\n"
                                       "    INDEX 01 00:00:00\n";
  // The root directory's block (its one copy) fails its check.
  std::vector<std::uint8_t> noRoot = RawWithEdc(disc);
  noRoot[disc.placements.at("").firstBlock * 2352 + 16 + 40] ^= 0x01;
  WriteBytes(dir_ / "noroot.bin", noRoot);
  fs::create_directories(dir_ / "folder");

  struct Row {
    std::vector<std::string> args;
    int status;
    std::string errFirst;  // the first line of standard error begins so ("" : no message)
    std::string outHas;    // standard output holds this
  };
  const std::string bin = (dir_ / "zeros.bin").string();
  const std::string cue = (dir_ / "sheet.cue").string();
  const std::string out = (dir_ / "out").string();
  const std::string notOpera = "The disc in \"" + bin + "\" is not formatted with the Opera";
  const std::vector<Row> rows = {
      // The image as the first argument, or named by -i; every path form enters the same.
      {{"ls", "IMAGE"}, 0, "", "Games "},
      {{"ls", "-i", "IMAGE", "Games/Saves"}, 0, "", "slot 1 "},
      {{"ls", "IMAGE", "/Games/Saves/"}, 0, "", "slot 1 "},
      {{"ls", "--json", "IMAGE", "Games/Saves"},
       0,
       "",
       "\"directory\": [\n    \"Games\",\n    \"Saves\""},
      {{"tree", "IMAGE", "/Games/"}, 0, "", "Saves/slot 1\n"},
      {{"extract", "IMAGE", out, "/Games/Saves"}, 0, "", ""},
      {{"get", "IMAGE", "/Games/Saves/slot 1", "-"}, 0, "", ""},
      // Names not found get the nearest, letter case first.
      {{"ls", "IMAGE", "games"},
       1,
       "No directory named \"games\" in the listing. Did you mean \"Games\"?",
       ""},
      {{"get", "IMAGE", "Games/Saves/slot 2", "-"},
       1,
       "No entry named \"slot 2\" on the disc. Did you mean \"slot 1\"?",
       ""},
      // Mistyped commands and options, missing arguments.
      {{"lss", "IMAGE"}, 2, "brindle-cli: there is no command \"lss\". Did you mean \"ls\"?", ""},
      {{"extarct", "IMAGE", out},
       2,
       "brindle-cli: there is no command \"extarct\". Did you mean \"extract\"?",
       ""},
      {{"help", "lss"}, 2, "brindle-cli: there is no command \"lss\". Did you mean \"ls\"?", ""},
      {{"ls"}, 2, "The image (ls IMAGE [DIR...], or --image FILE) or --drive DRIVE", ""},
      {{"get", "IMAGE", "Read Me"}, 2, "get takes [IMAGE] PATH OUTFILE (2 given", ""},
      {{"ls", "--image", "IMAGE", "IMAGE"},
       1,
       "\"" + image + "\" is read as a name on the disc",
       ""},
      // The command list and each command's own help.
      {{}, 2, "", "\n  extract  "},
      {{"help"}, 0, "", "\n  help     "},
      {{"help", "get"}, 0, "", "[IMAGE] PATH OUTFILE"},
      {{"ls", "--help"}, 0, "", "\"entries\": [ENTRY...]"},
      {{"info", "--help"}, 0, "", "\"rootCopies\""},
      // The file's own fault comes first, in the system's words, for every command.
      {{"info", (dir_ / "none.iso").string()},
       1,
       "\"" + (dir_ / "none.iso").string() + "\": No such file or directory.",
       ""},
      {{"tree", (dir_ / "folder").string()},
       1,
       "\"" + (dir_ / "folder").string() + "\": Is a directory.",
       ""},
      {{"extract", "IMAGE", (dir_ / "zeros.bin/sub").string()},
       1,
       "The folder \"" + (dir_ / "zeros.bin/sub").string() +
           "\" could not be created: Not a directory",
       ""},
      // A raw image without an Opera volume is no drive.
      {{"info", bin}, 1, notOpera, ""},
      {{"ls", bin}, 1, notOpera, ""},
      {{"extract", bin, out}, 1, notOpera, ""},
      {{"tree", bin}, 1, notOpera, ""},
      {{"get", bin, "x", "-"}, 1, notOpera, ""},
      // A root that cannot be read is said so, not taken for a missing name.
      {{"get", (dir_ / "noroot.bin").string(), "Read Me", "-"},
       1,
       "\"Read Me\" could not be looked up: block ",
       ""},
  };
  const std::string cueFault = run({"tree", cue}).err;
  ASSERT_THAT(cueFault, HasSubstr("gone.bin"));
  const std::string cueFirst = cueFault.substr(0, cueFault.find('\n'));
  for (const char* command : {"info", "ls", "extract", "tree", "verify", "get", "convert"}) {
    std::vector<std::string> args = {command, cue};
    if (std::string(command) == "extract" || std::string(command) == "convert")
      args.push_back(out + "/x");
    if (std::string(command) == "get") args.insert(args.end(), {"x", "-"});
    const Result r = run(args);
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_THAT(r.err, StartsWith(cueFirst + "\n")) << command;
  }

  for (const Row& row : rows) {
    std::vector<std::string> args;
    std::string shown;
    for (const std::string& arg : row.args) {
      args.push_back(arg == "IMAGE" ? image : arg);
      shown += " " + arg;
    }
    const Result r = run(args);
    EXPECT_EQ(r.status, row.status) << shown << "\n" << r.err;
    const std::string first = r.err.substr(0, r.err.find('\n'));
    if (row.errFirst.empty()) {
      EXPECT_EQ(r.err, "") << shown;
    } else {
      EXPECT_THAT(first, StartsWith(row.errFirst)) << shown;
    }
    EXPECT_THAT(r.out, HasSubstr(row.outHas)) << shown;
  }
  // get PATH - writes the entry's bytes, and nothing else, to standard output.
  const Result piped = run({"get", image, "Games/caf\xC3\xA9 au lait", "-"});
  EXPECT_EQ(std::vector<std::uint8_t>(piped.out.begin(), piped.out.end()),
            disc.contents.at("Games/caf\xE9 au lait"));
}

}  // namespace
}  // namespace brindle::testing

namespace brindle::testing {
namespace {

std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

// A disc as real ones are laid out: system files with two copies, a file with one, a folder.
OperaImage SystemDisc(std::vector<OperaEntry> more = {}) {
  std::vector<OperaEntry> root = {OperaEntry::File("rom_tags", 64).withCopies(2),
                                  OperaEntry::File("LaunchMe", 5000).withCopies(2),
                                  OperaEntry::File("solo", 3000),
                                  OperaEntry::Dir("Data", {OperaEntry::File("x", 100)})};
  for (OperaEntry& e : more) root.push_back(std::move(e));
  return OperaImageBuilder().root(std::move(root)).build();
}

// Byte at of the given copy's block of an entry, in plain image bytes or raw sectors.
std::size_t At(const OperaImage& disc, const std::string& path, std::uint32_t copy,
               std::uint32_t block, std::size_t at, bool raw) {
  const OperaPlacement& p = disc.placements.at(path);
  const std::size_t lba = p.firstBlock + copy * p.blockCount + block;
  return raw ? lba * 2352 + 16 + at : lba * 2048 + at;
}

// One fault at a time, each with the exit status and the first message it must give: the
// statuses hide nothing when only one thing is wrong.
TEST_F(Cli, SingleFaultsGiveTheirOwnStatusAndFirstMessage) {
  const OperaImage disc = SystemDisc();
  const OperaImage unsafe = SystemDisc({OperaEntry::File("../escape", 10)});
  // The ROM tags' copies differ as on real discs: a field of the second copy.
  std::vector<std::uint8_t> differ = disc.bytes;
  differ[At(disc, "rom_tags", 1, 0, 28, false)] ^= 0x10;
  WriteBytes(dir_ / "differ.iso", differ);
  std::vector<std::uint8_t> recoverable = RawWithEdc(disc);
  recoverable[At(disc, "LaunchMe", 0, 1, 9, true)] ^= 0x01;
  WriteBytes(dir_ / "recoverable.bin", recoverable);
  std::vector<std::uint8_t> lost = RawWithEdc(disc);
  lost[At(disc, "solo", 0, 1, 9, true)] ^= 0x01;
  WriteBytes(dir_ / "lost.bin", lost);
  std::vector<std::uint8_t> walk = RawWithEdc(disc);
  walk[At(disc, "Data", 0, 0, 40, true)] ^= 0x01;  // the folder's only directory block
  WriteBytes(dir_ / "walk.bin", walk);
  write(unsafe, "unsafe.iso");
  write(disc, "disc.iso");
  fs::create_directories(dir_ / "folder");
  const std::string launchBlock = std::to_string(disc.placements.at("LaunchMe").firstBlock + 1);
  const std::string soloBlock = std::to_string(disc.placements.at("solo").firstBlock + 1);
  const std::string dataBlock = std::to_string(disc.placements.at("Data").firstBlock);

  struct Fault {
    std::vector<std::string> args;  // after the command: image, then the rest
    int status;
    std::string firstMessage;  // the start of standard error's first line
    std::string output;        // a line standard output must hold
  };
  const std::string out = (dir_ / "out").string();
  const std::vector<Fault> faults = {
      {{"verify", "differ.iso"}, 0, "", "rom_tags: block 0 differs between copy 1 and copy 2"},
      {{"verify", "differ.iso"}, 0, "", "the disc is whole; copies that read cleanly but differ"},
      {{"verify", "differ.iso", "--strict"},
       1,
       "rom_tags: block 0 differs between copy 1 and copy 2",
       "copies differ, which --strict counts as damage."},
      {{"verify", "disc.iso", "--strict"}, 0, "", ": the disc is whole."},
      {{"verify", "recoverable.bin"},
       1,
       "LaunchMe: block 1 of copy 1 (disc block " + launchBlock + ") failed its check.",
       "every entry can still be read whole from its other copies."},
      {{"verify", "lost.bin"},
       1,
       "solo: block 1 of copy 1 (disc block " + soloBlock + ") failed its check.",
       "1 entry has blocks that no copy gives."},
      {{"verify", "walk.bin"},
       1,
       "Directory \"Data\", disc block " + dataBlock,
       "the disc is damaged"},
      {{"extract", "unsafe.iso", "-r", out}, 1, "\"../escape\": skipped", ""},
      {{"extract", "walk.bin", "-r", out}, 1, "Directory \"Data\", disc block " + dataBlock, ""},
      {{"extract", "disc.iso", "-r", out}, 0, "", ""},
      {{"get", "disc.iso", "Data/x", (dir_ / "folder").string()}, 0, "", ""},
      {{"get", "disc.iso", "Data/x", (dir_ / "none/").string()},
       1,
       "The folder \"" + (dir_ / "none/").string() + "\" does not exist.",
       ""},
      {{"convert", "lost.bin", (dir_ / "folder").string()}, 1, "Block " + soloBlock, ""},
      {{"extract", "lost.bin", out + "-plain"}, 1, "Could not read block " + soloBlock, ""},
  };
  for (const Fault& f : faults) {
    std::vector<std::string> args = {f.args[0], "--image", (dir_ / f.args[1]).string()};
    args.insert(args.end(), f.args.begin() + 2, f.args.end());
    const Result r = run(args);
    const std::string what =
        f.args[0] + " " + f.args[1] + (f.args.size() > 2 ? " " + f.args[2] : "");
    EXPECT_EQ(r.status, f.status) << what << "\n" << r.err;
    if (f.firstMessage.empty()) {
      EXPECT_EQ(r.err, "") << what;
    } else {
      EXPECT_THAT(FirstLine(r.err), StartsWith(f.firstMessage)) << what << "\n" << r.err;
    }
    if (!f.output.empty()) {
      EXPECT_THAT(r.out, HasSubstr(f.output)) << what;
    }
    fs::remove_all(out);
  }

  // get and convert into a folder write there under the entry's and the image's names, as cp.
  EXPECT_EQ(ReadBytes(dir_ / "folder" / "x"), disc.contents.at("Data/x"));
  std::vector<std::uint8_t> plain = disc.bytes;
  std::fill_n(plain.begin() + (disc.placements.at("solo").firstBlock + 1) * 2048, 2048, 0);
  EXPECT_EQ(ReadBytes(dir_ / "folder" / "lost.iso"), plain);
  // Never over the image being read, also when only its folder is named.
  EXPECT_EQ(run({"convert", "--image", (dir_ / "disc.iso").string(), dir_.string()}).status, 1);
  EXPECT_EQ(ReadBytes(dir_ / "disc.iso"), disc.bytes);

  // The plain extract leaves whole entries only: no cut-short file under an entry's name, and no
  // part file, whatever failed.
  const fs::path plainOut = out + "-plain";
  EXPECT_FALSE(fs::exists(plainOut / "solo"));
  EXPECT_EQ(ReadBytes(plainOut / "LaunchMe"), disc.contents.at("LaunchMe"));
  for (const auto& e : fs::directory_iterator(plainOut))
    EXPECT_THAT(e.path().filename().string(), ::testing::Not(StartsWith("."))) << e.path();
}

// Every field of every entry of ls --json, against the entry's own bytes in its directory block.
TEST_F(Cli, LsJsonCarriesEveryFieldOfEveryEntryAsStored) {
  const OperaImage disc =
      OperaImageBuilder()
          .root({OperaEntry::File("one", 5000).withCopies(3).withType("TEXT"),
                 OperaEntry::Dir("Folder", {OperaEntry::File("a", 1)}).withCopies(2),
                 OperaEntry::File("caf\xE9", 0)})
          .build();
  const Result r = run({"ls", "--json", "--image", write(disc)});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto doc = nlohmann::json::parse(r.out);
  const std::vector<std::uint8_t>& block = disc.contents.at("");
  const auto u32 = [&block](std::size_t at) {
    return std::uint32_t{block[at]} << 24 | std::uint32_t{block[at + 1]} << 16 |
           std::uint32_t{block[at + 2]} << 8 | block[at + 3];
  };
  std::size_t index = 0;
  for (std::size_t at = 20; at + 72 <= u32(12); at += 72 + 4 * u32(at + 64), ++index) {
    ASSERT_LT(index, doc["entries"].size());
    const auto& e = doc["entries"][index];
    const std::string type(block.begin() + at + 8, block.begin() + at + 12);
    std::string name(block.begin() + at + 32, block.begin() + at + 64);
    name.resize(name.find('\0'));
    EXPECT_EQ(e["name"], name == "caf\xE9" ? "caf\xC3\xA9" : name);
    EXPECT_EQ(e["type"], type);
    EXPECT_EQ(e["directory"], type == "*dir");
    EXPECT_EQ(e["flags"], u32(at));
    EXPECT_EQ(e["id"], u32(at + 4));
    EXPECT_EQ(e["blockSize"], u32(at + 12));
    EXPECT_EQ(e["byteCount"], u32(at + 16));
    EXPECT_EQ(e["blockCount"], u32(at + 20));
    EXPECT_EQ(e["burst"], u32(at + 24));
    EXPECT_EQ(e["gap"], u32(at + 28));
    EXPECT_EQ(e["lastCopyIndex"], u32(at + 64));
    std::vector<std::uint32_t> copies;
    for (std::uint32_t c = 0; c <= u32(at + 64); ++c) copies.push_back(u32(at + 68 + 4 * c));
    EXPECT_EQ(e["copies"], copies);
    EXPECT_EQ(e.size(), 12u);  // no field left uncompared
  }
  EXPECT_EQ(index, 3u);
  EXPECT_EQ(doc["entries"].size(), 3u);
}

}  // namespace
}  // namespace brindle::testing

namespace brindle::testing {
namespace {

// A small image whose entries claim far more than it holds costs what the image holds: output
// files no larger than the disc, messages of a few lines with ranges.
TEST_F(Cli, EntriesClaimingHugeSizesCostNoMoreThanTheDisc) {
  const OperaImage disc = OperaImageBuilder()
                              .root({OperaEntry::File("huge", 5000).withSizeField(0x7FFFF000),
                                     OperaEntry::File("small", 100)})
                              .volumeBlocksField(0x7FFFFFFF)
                              .build();
  const std::string image = write(disc);
  const std::uint64_t size = disc.bytes.size();
  const std::uint32_t first = disc.placements.at("huge").firstBlock;
  const std::string past = "lie past the end of the disc";

  const fs::path out = dir_ / "out";
  const Result extract = run({"extract", "-r", "--image", image, out.string()});
  EXPECT_EQ(extract.status, 1);
  EXPECT_THAT(extract.err, HasSubstr(past));
  EXPECT_LT(extract.err.size(), 400u) << extract.err;
  EXPECT_LE(fs::file_size(out / "huge.damaged"), size);
  EXPECT_EQ(ReadBytes(out / "small"), disc.contents.at("small"));

  const Result get = run({"get", "--image", image, "huge", (dir_ / "got").string()});
  EXPECT_EQ(get.status, 1);
  EXPECT_LT(get.err.size(), 400u) << get.err;
  const auto got = ReadBytes(dir_ / "got.damaged");
  ASSERT_LE(got.size(), size);
  EXPECT_TRUE(std::equal(got.begin(), got.end(), disc.bytes.begin() + first * 2048));
  // To standard output: the bytes on the disc, then one line naming the range past its end.
  const Result piped = run({"get", "--image", image, "huge", "-"});
  EXPECT_EQ(piped.status, 1);
  EXPECT_EQ(piped.out, std::string(got.begin(), got.end()));
  EXPECT_THAT(piped.err, HasSubstr(past));
  EXPECT_EQ(std::count(piped.err.begin(), piped.err.end(), '\n'), 1) << piped.err;

  const Result verify = run({"verify", "--image", image});
  EXPECT_EQ(verify.status, 1);
  EXPECT_THAT(verify.err, HasSubstr(past));
  EXPECT_LT(verify.err.size() + verify.out.size(), 600u) << verify.err << verify.out;

  const Result convert = run({"convert", "--image", image, (dir_ / "plain.iso").string()});
  EXPECT_EQ(convert.status, 1);
  EXPECT_THAT(convert.err, HasSubstr(past));
  EXPECT_EQ(ReadBytes(dir_ / "plain.iso"), disc.bytes);

  const Result tree = run({"tree", "--image", image});
  EXPECT_EQ(tree.status, 0);
  EXPECT_THAT(tree.lines(), ElementsAre("huge", "small"));

  // A root claiming thousands of blocks past the end: one line for them, in every command.
  const std::string longRoot = write(
      OperaImageBuilder().root({OperaEntry::File("a", 10)}).rootBlockCountField(30000).build(),
      "long-root.iso");
  for (const char* command : {"tree", "verify"}) {
    const Result r = run({command, "--image", longRoot});
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_THAT(r.err, HasSubstr("blocks")) << command;
    EXPECT_LT(std::count(r.err.begin(), r.err.end(), '\n'), 8) << command << r.err.substr(0, 800);
  }

  // A root of 60 directory blocks, every other one malformed, claiming 30,000: 31 runs of bad
  // blocks. ls --json carries every run (those past the end as one), the messages a screenful.
  std::vector<std::vector<std::uint8_t>> holes;
  for (std::uint32_t b = 0; b < 60; ++b)
    holes.push_back(
        OperaDirectoryBlock({}, b % 2 ? std::optional<std::uint32_t>(40000) : std::nullopt));
  const OperaImage holey = OperaImageBuilder()
                               .rootDirectory(OperaEntry::Dir("", {}).withRawBlocks(holes))
                               .rootBlockCountField(30000)
                               .build();
  const std::string holeyImage = write(holey, "holey.iso");
  const std::uint32_t root = holey.placements.at("").firstBlock;
  ASSERT_EQ(holey.bytes.size(), (root + 60) * 2048u);  // the root's blocks end the image
  std::vector<std::pair<std::uint32_t, std::uint32_t>> expected;
  for (std::uint32_t b = 1; b < 60; b += 2) expected.emplace_back(root + b, root + b);
  expected.emplace_back(root + 60, root + 29999);
  const Result json = run({"ls", "--json", "--image", holeyImage});
  EXPECT_EQ(json.status, 1);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;
  const auto problems = nlohmann::json::parse(json.out)["problems"];
  for (const auto& p : problems) ranges.emplace_back(p["block"], p["lastBlock"]);
  EXPECT_EQ(ranges, expected);
  EXPECT_LT(json.out.size(), 4096u);
  for (const auto& [args, lines] : std::vector<std::pair<std::vector<std::string>, int>>{
           {{"ls", "--json"}, 21}, {{"tree"}, 21}, {{"verify"}, 22}}) {
    std::vector<std::string> command = args;
    command.insert(command.end(), {"--image", holeyImage});
    const Result r = run(command);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), lines) << args[0] << r.err;
    EXPECT_THAT(r.err, HasSubstr("\"/\": and 11 more directory problems.")) << args[0];
  }

  // Directory blocks read from the second copy: runs, a screenful of them, then a count.
  const OperaImage twice = TwoCopyDirectoryWithScratchedRuns();
  const std::uint32_t two = twice.placements.at("Two").firstBlock;
  const std::string twiceImage = write(twice, "twice.iso");
  for (const char* command : {"tree", "verify"}) {
    const Result r = run({command, "--image", twiceImage});
    EXPECT_THAT(r.err, StartsWith("\"Two\": directory blocks 1 to 2 (disc blocks " +
                                  std::to_string(two + 1) + " to " + std::to_string(two + 2) +
                                  ") could not be used from copy 1; read from copy 2.\n"))
        << command;
    EXPECT_THAT(r.err, HasSubstr("\"Two\": and 2 more directory blocks read from another copy."));
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 21) << command << r.err;
  }

  // The window's extract over raw sectors: one message for the blocks past the end, not one each.
  WriteBytes(dir_ / "huge.bin", RawWithEdc(disc));
  const Result plain =
      run({"extract", "--image", (dir_ / "huge.bin").string(), (dir_ / "plain").string()});
  EXPECT_EQ(plain.status, 1);
  EXPECT_LT(plain.err.size(), 400u) << plain.err.substr(0, 400);
  EXPECT_FALSE(fs::exists(dir_ / "plain" / "huge"));
  EXPECT_EQ(ReadBytes(dir_ / "plain" / "small"), disc.contents.at("small"));
}

// A directory entry naming these copies (the first copy first) of blocks directory blocks.
std::vector<std::uint8_t> DirectoryEntry(const std::string& name,
                                         const std::vector<std::uint32_t>& copies,
                                         std::uint32_t blocks) {
  auto e = OperaEntryBytes(name, "*dir", blocks * 2048, copies[0],
                           static_cast<std::uint32_t>(copies.size() - 1));
  e[3] = 7;
  for (std::size_t c = 0; c < copies.size(); ++c)
    for (int i = 0; i < 4; ++i) e[68 + 4 * c + i] = copies[c] >> (24 - 8 * i) & 0xFF;
  return e;
}

// Crafted directories that would make a walk list the same blocks again and again, without end,
// or past the disc: tree, ls --json and verify end with output bounded by the disc's size and say
// what they left out.
TEST_F(Cli, CraftedDirectoriesCostNoMoreThanTheDisc) {
  using Blocks = std::vector<std::vector<std::uint8_t>>;
  struct Case {
    std::string name;
    Blocks root;   // the root directory, from block 1
    Blocks after;  // blocks after the root's
    std::string said;
  };
  std::vector<Case> cases;
  {
    // D, 60 blocks after a one-block root, whose 1,680 entries are directories starting at each
    // of D's own blocks: walked naively, 47,000 listings of D's tail.
    Case c{"overlapping directories", {}, {}, "directory contains itself"};
    const std::uint32_t d = 2;
    c.root.push_back(OperaDirectoryBlock({DirectoryEntry("D", {d}, 60)}));
    for (std::uint32_t b = 0; b < 60; ++b) {
      std::vector<std::vector<std::uint8_t>> entries;
      for (std::uint32_t j = 0; j < 28; ++j) {
        const std::uint32_t k = (b * 28 + j) % 59 + 1;
        entries.push_back(DirectoryEntry("entry " + std::to_string(b * 28 + j), {d + k}, 60 - k));
      }
      c.after.push_back(OperaDirectoryBlock(entries));
    }
    cases.push_back(std::move(c));
  }
  {
    // 84 directories whose first copies lie past the end and whose second copy is one
    // directory of 1,680 entries.
    Case c{"directories sharing a second copy", {}, {}, "shares its blocks"};
    const std::uint32_t shared = 4;
    for (std::uint32_t b = 0; b < 3; ++b) {
      std::vector<std::vector<std::uint8_t>> entries;
      for (std::uint32_t j = 0; j < 28; ++j)
        entries.push_back(DirectoryEntry("s" + std::to_string(b * 28 + j),
                                         {0x70000000u + (b * 28 + j) * 100, shared}, 60));
      c.root.push_back(OperaDirectoryBlock(entries));
    }
    for (std::uint32_t b = 0; b < 60; ++b)
      c.after.push_back(OperaDirectoryBlock(
          std::vector(28, OperaEntryBytes("file " + std::to_string(b), "    ", 10, 1))));
    cases.push_back(std::move(c));
  }
  {
    // Directories of 32,767 blocks in 480 copies, all past the end.
    Case c{"many copies past the end", {}, {}, "directory blocks after it"};
    for (std::uint32_t b = 0; b < 8; ++b) {
      std::vector<std::uint32_t> copies;
      for (std::uint32_t k = 0; k < 480; ++k) copies.push_back(0x40000000u + (b * 480 + k) * 32767);
      c.root.push_back(
          OperaDirectoryBlock({DirectoryEntry("c" + std::to_string(b), copies, 32767)}));
    }
    cases.push_back(std::move(c));
  }
  {
    // A chain of 300 directories, each the only entry of the one before, the last naming the
    // root.
    Case c{"deep chain", {}, {}, "nested too deep"};
    c.root.push_back(OperaDirectoryBlock({DirectoryEntry("d", {2}, 1)}));
    for (std::uint32_t b = 0; b < 300; ++b)
      c.after.push_back(OperaDirectoryBlock({DirectoryEntry("d", {b < 299 ? 3 + b : 1}, 1)}));
    cases.push_back(std::move(c));
  }
  {
    // Names of 32 bytes with no terminator, full of control characters, and a loop to the root.
    Case c{"control characters and a loop", {}, {}, "directory contains itself"};
    std::vector<std::vector<std::uint8_t>> entries{DirectoryEntry("again", {1}, 1)};
    for (int j = 0; j < 27; ++j) {
      auto e = OperaEntryBytes("", "    ", 10, 1);
      for (int i = 0; i < 32; ++i) e[32 + i] = static_cast<std::uint8_t>(i % 2 ? 0x1B : 1 + j);
      entries.push_back(e);
    }
    c.root.push_back(OperaDirectoryBlock(entries));
    cases.push_back(std::move(c));
  }

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OperaImage image =
        OperaImageBuilder().rootDirectory(OperaEntry::Dir("", {}).withRawBlocks(c.root)).build();
    ASSERT_EQ(image.bytes.size(), (1 + c.root.size()) * 2048);
    for (const auto& block : c.after)
      image.bytes.insert(image.bytes.end(), block.begin(), block.end());
    const std::string path = write(image, "crafted.iso");
    const std::size_t size = image.bytes.size();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"tree"}, {"ls", "--json"}, {"verify"}}) {
      std::vector<std::string> command = args;
      command.insert(command.end(), {"--image", path});
      const Result r = run(command);
      // Every entry on the disc may take a line of a few path names; nothing more.
      EXPECT_LT(r.out.size() + r.err.size(), 8 * size + 16384) << args[0];
      if (args[0] != "ls") {
        EXPECT_THAT(r.err, HasSubstr(c.said)) << args[0];
      }
      // verify tells each entry's blocks past the end; a walk, a screenful per directory.
      if (args[0] != "verify") {
        EXPECT_LT(std::count(r.err.begin(), r.err.end(), '\n'), 64)
            << args[0] << r.err.substr(0, 2000);
      }
    }
  }
}

}  // namespace
}  // namespace brindle::testing
