// The command line's drive side over a recording OS with emulated drives: the transport choice,
// the drive list, the choice of drive by letter and the reads that go to it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "OperaImageBuilder.h"
#include "cli/DriveSide.h"
#include "cli/Session.h"
#include "tests/aspi/AspiTestSupport.h"
#include "tests/support/drive/FakeOs.h"

namespace brindle::cli {
namespace {

using ::testing::ElementsAre;
using testing::FakeOs;
using ::testing::HasSubstr;
using testing::OperaEntry;

class DriveSideTest : public ::testing::Test {
 protected:
  DriveSideTest() {
    disc = testing::OperaImageBuilder()
               .root({OperaEntry::File("A", 10), OperaEntry::Dir("SUB", {})})
               .build();
    auto fake = std::make_unique<FakeOs>();
    os = fake.get();
    os->addDrive('D', {}).setIdentity("EMPTY", "TRAY");
    os->addDrive('F', disc.bytes).setIdentity("EMU", "OPERA");
    side = std::make_unique<DriveSide>(std::move(fake), TransportChoice::Spti, err);
  }

  // The selected drive as the command line hands it to a session.
  Source DriveSource() {
    Source source;
    source.kind = reader::SectorSource::Drive;
    source.driveLabel = side->selectedLabel();
    source.readDrive = [this](std::int32_t lba, std::int16_t count) {
      return side->read(lba, count);
    };
    return source;
  }

  testing::OperaImage disc;
  FakeOs* os = nullptr;
  std::ostringstream err;
  std::unique_ptr<DriveSide> side;
};

TEST_F(DriveSideTest, ListsTheDrivesAsTheWindowDoesAndReadsTheOneNamed) {
  ASSERT_TRUE(side->build());
  EXPECT_EQ(side->transportName(), "SPTI");
  EXPECT_THAT(side->labels(),
              ElementsAre("D: EMPTY    TRAY            ", "F: EMU      OPERA           "));

  EXPECT_FALSE(side->select("E"));
  EXPECT_FALSE(side->select("FF"));
  ASSERT_TRUE(side->select("f:"));
  EXPECT_EQ(side->selectedLabel(), "F: EMU      OPERA           ");

  std::ostringstream out;
  Session session(DriveSource(), err);
  side->setWindow(&session.window());
  EXPECT_EQ(session.list({}, out), kExitOk);
  EXPECT_THAT(out.str(), HasSubstr("SUB"));
  EXPECT_EQ(os->drive('D').commandCount(), 1);  // its INQUIRY only
  EXPECT_EQ(err.str(), "");
}

TEST_F(DriveSideTest, AFailedReadIsTheWindowsMessageAndAFailedRun) {
  ASSERT_TRUE(side->build());
  ASSERT_TRUE(side->select("F"));
  os->drive('F').setMediumPresent(false);
  std::ostringstream out;
  Session session(DriveSource(), err);
  side->setWindow(&session.window());
  EXPECT_EQ(session.list({}, out), kExitFailed);
  EXPECT_EQ(err.str(), "Could not read sector 0. Drive not ready.\n");
  EXPECT_THAT(os->sleeps(), ElementsAre(500u));
}

TEST_F(DriveSideTest, AFailedReadPastTheOpenIsAFailedRun) {
  disc = testing::OperaImageBuilder()
             .root({OperaEntry::Dir("FAR", {}).withFirstBlockField(5000)})
             .build();
  os->drive('F').setImage(disc.bytes);
  ASSERT_TRUE(side->build());
  ASSERT_TRUE(side->select("F"));
  std::ostringstream out;
  Session session(DriveSource(), err);
  side->setWindow(&session.window());
  EXPECT_EQ(session.list({"FAR"}, out), kExitFailed);
  EXPECT_EQ(err.str(), "Could not read sector 5000. Drive not ready.\n");
}

TEST(DriveSideOverAspi, WaitsForARequestWithoutSpinning) {
  testing::TestAspiLibrary library;
  library.Control(testing::kAspiSetSupportWord, 0x101);
  library.AddCdrom(0, 1, 0, 3);  // D:
  library.SetImage(0, 1, 0, testing::NumberedImage(4));
  library.Control(testing::kAspiSetCompletion, 1, 20);  // each request ends after 20 ms
  auto machine = std::make_unique<testing::AspiMachine>();
  machine->setVersion({4, 10, 1});  // letters from the library's disk information
  testing::AspiMachine* os = machine.get();
  std::ostringstream err;
  DriveSide side(std::move(machine), TransportChoice::Aspi, err);
  ASSERT_TRUE(side.build());
  ASSERT_TRUE(side.select("D"));
  os->clearCalls();
  const sector::SectorData block = side.read(2, 1);
  ASSERT_EQ(block.size(), 2048u);
  EXPECT_EQ(block[0], 3);
  // Every pass of the wait slept through the facade: no pass spun on the status byte.
  EXPECT_THAT(os->sleeps(), ::testing::Not(::testing::IsEmpty()));
  EXPECT_THAT(os->sleeps(), ::testing::Each(1u));
}

TEST(DriveSideWithoutDrives, WarnsAndListsNothing) {
  std::ostringstream err;
  DriveSide side(std::make_unique<FakeOs>(), TransportChoice::Spti, err);
  EXPECT_FALSE(side.build());
  EXPECT_EQ(side.transportName(), "");
  EXPECT_TRUE(side.labels().empty());
  EXPECT_EQ(err.str(), "Kein funktionierendes Interface gefunden!\n");
  EXPECT_FALSE(side.select("D"));
}

}  // namespace
}  // namespace brindle::cli
