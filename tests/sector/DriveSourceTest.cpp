// The Opera reader on the drive source, end to end below the window: the sector reader, the
// real pass-through transport, the recording OS and an emulated drive holding a built disc.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "OperaImageBuilder.h"
#include "reader/PlainWindow.h"
#include "reader/VolumeReader.h"
#include "sector/ReadSectors.h"
#include "tests/support/drive/FakeOs.h"
#include "transport/clsSPTI.h"

namespace brindle::sector {
namespace {

using ::testing::ElementsAre;
using testing::EmulatedDrive;
using ::testing::IsEmpty;
using testing::OperaEntry;

namespace fs = std::filesystem;

std::vector<std::uint8_t> FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string FileName(int i) {
  std::string name(1, 'F');
  name += std::to_string(i);
  return name;
}

// Blocks read other than the volume header's block 0, in order.
std::vector<std::uint32_t> BlocksPastHeader(const EmulatedDrive& drive) {
  std::vector<std::uint32_t> blocks;
  for (const auto& read : drive.reads()) {
    if (read.lba != 0) blocks.push_back(read.lba);
  }
  return blocks;
}

class DriveSource : public ::testing::Test {
 protected:
  DriveSource() {
    std::vector<OperaEntry> rootEntries;
    for (int i = 0; i < 40; ++i) rootEntries.push_back(OperaEntry::File(FileName(i), 10));
    rootEntries.push_back(OperaEntry::Dir("SUB", {OperaEntry::File("DATA", 5000)}));
    image = testing::OperaImageBuilder()
                .rootDirectory(OperaEntry::Dir("", rootEntries).withEntriesPerBlock(15))
                .build();
    os.addDrive('D', image.bytes).setIdentity("EMU", "OPERA DRIVE");
    transport = std::make_unique<transport::clsSPTI>(os);

    window.source = reader::SectorSource::Drive;
    window.drives = {"D: EMU      OPERA DRIVE     "};
    window.drive = 0;
    access.transport = [this] { return transport.get(); };
    access.selectedIndex = [this] { return window.driveIndex(); };
    access.os = &os;
    access.showError = [this](const std::string& message) { window.showError(message); };

    folder = fs::temp_directory_path() /
             std::string("brindle-drive-source-").append(std::to_string(std::random_device{}()));
    fs::create_directories(folder);
  }
  ~DriveSource() override { fs::remove_all(folder); }

  EmulatedDrive& drive() { return os.drive('D'); }

  testing::OperaImage image;
  testing::FakeOs os;
  std::unique_ptr<transport::ISCSI> transport;
  reader::PlainWindow window;
  DriveAccess access;
  reader::VolumeReader reader{window, [this](std::int32_t lba, std::int16_t count) {
                                return ReadSectors(access, lba, count);
                              }};
  fs::path folder;
};

TEST_F(DriveSource, OpenListsAThreeBlockRootWithOneReadPerBlock) {
  const auto root = image.placements.at("");
  ASSERT_EQ(root.blockCount, 3u);
  ASSERT_TRUE(reader.cmdOpen_Click());
  EXPECT_THAT(window.errors, IsEmpty());
  EXPECT_EQ(window.files.size(), 41u);
  EXPECT_THAT(BlocksPastHeader(drive()),
              ElementsAre(root.firstBlock, root.firstBlock + 1, root.firstBlock + 2));
  for (const auto& read : drive().reads()) EXPECT_EQ(read.count, 1);
  EXPECT_THAT(os.sleeps(), IsEmpty());
}

TEST_F(DriveSource, NavigateAndSaveAnEntryReadsItsBlocksOnce) {
  ASSERT_TRUE(reader.cmdOpen_Click());
  ASSERT_TRUE(window.select(window.files.back()));  // SUB, the last entry
  ASSERT_TRUE(reader.lstFiles_DblClick());
  const auto data = image.placements.at("SUB/DATA");

  const auto readsBefore = drive().reads().size();
  const fs::path target = folder / "DATA.bin";
  window.saveAnswers.push_back(target.string());
  ASSERT_TRUE(window.select(window.files.back()));
  ASSERT_TRUE(reader.lstFiles_DblClick());
  EXPECT_THAT(window.errors, IsEmpty());
  EXPECT_EQ(FileBytes(target), image.contents.at("SUB/DATA"));
  std::vector<std::uint32_t> fileReads;
  for (auto i = readsBefore; i < drive().reads().size(); ++i)
    fileReads.push_back(drive().reads()[i].lba);
  EXPECT_THAT(fileReads, ElementsAre(data.firstBlock, data.firstBlock + 1, data.firstBlock + 2));
}

TEST_F(DriveSource, ExtractAllCopiesEveryEntryFromTheDrive) {
  ASSERT_TRUE(reader.cmdOpen_Click());
  ASSERT_TRUE(reader.ExtractAllTo(folder.string() + "/"));
  EXPECT_THAT(window.errors, IsEmpty());
  for (int i = 0; i < 40; ++i) {
    const std::string name = FileName(i);
    EXPECT_EQ(FileBytes(folder / name), image.contents.at(name)) << name;
  }
}

TEST_F(DriveSource, NoDiscGivesTwoCommandsHalfASecondApartAndOneMessage) {
  drive().setMediumPresent(false);
  EXPECT_FALSE(reader.cmdOpen_Click());
  EXPECT_THAT(window.errors, ElementsAre("Could not read sector 0. Drive not ready."));
  EXPECT_EQ(drive().commandCount(), 2);
  EXPECT_THAT(os.sleeps(), ElementsAre(500u));
  EXPECT_THAT(window.files, IsEmpty());
}

TEST_F(DriveSource, ADiscThatIsNotOperaIsNamedByItsDrive) {
  std::vector<std::uint8_t> other(16 * 2048, 0);
  drive().setImage(other);
  EXPECT_FALSE(reader.cmdOpen_Click());
  EXPECT_THAT(window.errors,
              ElementsAre("The disc in drive (D:) is not formatted with the Opera file system."));
}

}  // namespace
}  // namespace brindle::sector
