// Start-up state and the two source buttons.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "WindowTestSupport.h"
#include "reader/Messages.h"

namespace brindle::testing {
namespace {

using reader::SectorSource;
using ::testing::ElementsAre;

class SourceTest : public WindowTest {};

TEST_F(SourceTest, StartsWithTheImageSourceAndNothingListed) {
  EXPECT_EQ(form().sectorSource(), SectorSource::Image);
  EXPECT_EQ(form().Label1->text().toStdString(), "Disc Image:");
  EXPECT_EQ(form().cmdOpen->text().toStdString(), "...");
  EXPECT_EQ(form().txtFile->text().toStdString(), "[no file selected]");
  EXPECT_TRUE(form().txtFile->isVisible());
  EXPECT_FALSE(form().txtFile->isEnabled());
  form().txtFile->setFocus();
  EXPECT_FALSE(form().txtFile->hasFocus());
  EXPECT_FALSE(form().cbDrives->isVisible());
  EXPECT_EQ(form().cbDrives->count(), 0);
  EXPECT_EQ(form().tag(), "");
  EXPECT_EQ(form().fileCount(), 0);
  EXPECT_EQ(form().historyCount(), 0);
  EXPECT_FALSE(form().lstHistory->isVisible());
  EXPECT_EQ(form().discSize(), "--- MB");
  EXPECT_EQ(application->currentTransport(), nullptr);
}

TEST_F(SourceTest, DriveSourceShowsTheDriveListAndKeepsThePathHidden) {
  const std::string image = writeImage(
      OperaImageBuilder().root({OperaEntry::File("A", 10)}).volumeBlocksField(300000).build());
  openImage(image);
  ASSERT_EQ(form().fileCount(), 1);

  QTest::mouseClick(form().optCDROM, Qt::LeftButton);
  EXPECT_TRUE(form().optCDROM->isChecked());
  EXPECT_FALSE(form().optDiscImage->isChecked());
  EXPECT_EQ(form().sectorSource(), SectorSource::Drive);
  EXPECT_EQ(form().Label1->text().toStdString(), "CD/DVD-ROM Drive:");
  EXPECT_EQ(form().cmdOpen->text().toStdString(), "OK");
  EXPECT_TRUE(form().cbDrives->isVisible());
  EXPECT_FALSE(form().txtFile->isVisible());
  EXPECT_EQ(form().imagePath(), image);  // kept, only hidden
  EXPECT_EQ(form().fileCount(), 0);
  // The stack and the size of the disc opened last are not the source's business.
  EXPECT_EQ(form().historyCount(), 1);
  EXPECT_EQ(form().discSize(), "585 MB");
  EXPECT_EQ(form().tag(), "1111");

  QTest::mouseClick(form().optDiscImage, Qt::LeftButton);
  EXPECT_EQ(form().sectorSource(), SectorSource::Image);
  EXPECT_EQ(form().Label1->text().toStdString(), "Disc Image:");
  EXPECT_EQ(form().cmdOpen->text().toStdString(), "...");
  EXPECT_FALSE(form().cbDrives->isVisible());
  EXPECT_TRUE(form().txtFile->isVisible());
  EXPECT_EQ(form().txtFile->text().toStdString(), "[no file selected]");
  EXPECT_EQ(form().discSize(), "585 MB");
  EXPECT_TRUE(prompts.errors.empty());
}

TEST_F(SourceTest, ImageSourceAfterAnOpenForgetsThePathButKeepsTheSize) {
  openImage(writeImage(
      OperaImageBuilder().root({OperaEntry::File("A", 10)}).volumeBlocksField(512).build()));
  ASSERT_EQ(form().fileCount(), 1);
  ASSERT_EQ(form().discSize(), "1 MB");
  // Choosing the source that is already chosen changes nothing.
  QTest::mouseClick(form().optDiscImage, Qt::LeftButton);
  EXPECT_EQ(form().fileCount(), 1);
  EXPECT_NE(form().imagePath(), "[no file selected]");

  QTest::mouseClick(form().optCDROM, Qt::LeftButton);
  QTest::mouseClick(form().optDiscImage, Qt::LeftButton);
  EXPECT_EQ(form().imagePath(), "[no file selected]");
  EXPECT_EQ(form().fileCount(), 0);
  EXPECT_EQ(form().discSize(), "1 MB");
}

TEST_F(SourceTest, OpeningFromTheDriveSourceWithNoDriveListedTellsTheUserAndChangesNothing) {
  openImage(writeImage(
      OperaImageBuilder().root({OperaEntry::File("A", 10)}).volumeBlocksField(512).build()));
  QTest::mouseClick(form().optCDROM, Qt::LeftButton);
  ASSERT_EQ(form().cbDrives->count(), 0);
  ASSERT_EQ(form().driveIndex(), -1);

  QTest::mouseClick(form().cmdOpen, Qt::LeftButton);
  EXPECT_THAT(prompts.errors, ElementsAre(reader::messages::kNoDriveSelected));
  EXPECT_EQ(prompts.openRequests.size(), 1u);  // the image's; no file dialog for a drive
  EXPECT_EQ(form().fileCount(), 0);
  EXPECT_EQ(form().historyCount(), 1);
  EXPECT_EQ(form().discSize(), "1 MB");
  EXPECT_EQ(prompts.beeps, 0);
}

// The window alone, with a drive side that lists two drives the way the transport selection
// does, so the built marker and the user's selection can be followed.
class DriveListTest : public ::testing::Test {
 protected:
  DriveListTest()
      : form(prompts, app::frmMain::DriveSide{[this] {
                                                ++selections;
                                                form.addDrive("D: VENDOR   CD-ROM 52X");
                                                form.addDrive("E: [INQUIRY FAILED]");
                                                form.selectDrive(0);
                                                form.setTag("1111");
                                              },
                                              {}}) {
    form.show();
  }

  ScriptedPrompts prompts;
  int selections = 0;
  app::frmMain form;
};

TEST_F(DriveListTest, TheListIsBuiltOnTheFirstSwitchOnlyAndKeepsTheUsersChoice) {
  QTest::mouseClick(form.optCDROM, Qt::LeftButton);
  EXPECT_EQ(selections, 1);
  ASSERT_EQ(form.cbDrives->count(), 2);
  EXPECT_EQ(form.driveIndex(), 0);
  EXPECT_EQ(form.driveText(), "D: VENDOR   CD-ROM 52X");

  form.cbDrives->setCurrentIndex(1);
  QTest::mouseClick(form.optDiscImage, Qt::LeftButton);
  QTest::mouseClick(form.optCDROM, Qt::LeftButton);
  EXPECT_EQ(selections, 1);
  EXPECT_EQ(form.cbDrives->count(), 2);
  EXPECT_EQ(form.driveIndex(), 1);
  EXPECT_EQ(form.driveText(), "E: [INQUIRY FAILED]");
}

TEST_F(DriveListTest, DriveLabelsKeepTheirBytes) {
  QTest::mouseClick(form.optCDROM, Qt::LeftButton);
  form.addDrive(std::string("F: ") + char(0xC4) + "BC");
  form.selectDrive(2);
  EXPECT_EQ(form.driveText(), std::string("F: ") + char(0xC4) + "BC");
}

TEST_F(DriveListTest, WithoutAReaderADriveReadTellsTheUserNoDriveIsSelected) {
  QTest::mouseClick(form.optCDROM, Qt::LeftButton);
  form.cbDrives->setCurrentIndex(0);
  QTest::mouseClick(form.cmdOpen, Qt::LeftButton);
  EXPECT_THAT(prompts.errors, ElementsAre(reader::messages::kNoDriveSelected));
  EXPECT_EQ(form.fileCount(), 0);
}

// The window as the drive list of the real transport selection, on a machine where neither
// transport works: the warning comes through the window, the list stays empty and is marked
// built, and an open from the drive source tells the user that no drive is selected.
TEST(DriveSelectionView, NoWorkingTransportWarnsOnceAndLeavesAnEmptyList) {
  ScriptedPrompts prompts;
  std::unique_ptr<transport::ISCSI> chosen;
  int selections = 0;
  app::frmMain* view = nullptr;
  app::frmMain form(prompts, app::frmMain::DriveSide{[&] {
                                                       ++selections;
                                                       chosen = transport::SelectTransport(
                                                           *view, nullptr, nullptr);
                                                     },
                                                     {}});
  view = &form;
  form.show();

  QTest::mouseClick(form.optCDROM, Qt::LeftButton);
  QTest::mouseClick(form.optDiscImage, Qt::LeftButton);
  QTest::mouseClick(form.optCDROM, Qt::LeftButton);
  EXPECT_EQ(selections, 1);
  EXPECT_EQ(chosen, nullptr);
  EXPECT_THAT(prompts.warnings, ElementsAre("Brindle: Kein funktionierendes Interface gefunden!"));
  EXPECT_EQ(form.tag(), "1111");
  EXPECT_EQ(form.cbDrives->count(), 0);
  EXPECT_EQ(form.driveIndex(), -1);

  QTest::mouseClick(form.cmdOpen, Qt::LeftButton);
  EXPECT_THAT(prompts.errors, ElementsAre(reader::messages::kNoDriveSelected));
}

}  // namespace
}  // namespace brindle::testing
